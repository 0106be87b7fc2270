#include "cli/sheet_output.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "cli/args.h"
#include "platform/pending_outputs.h"

namespace tablora::cli {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A whole number of 1 or more, all of `text`.
bool ParsePageNumber(const std::string& text, int& value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  return !text.empty() && ec == std::errc() && ptr == end && value >= 1;
}

}  // namespace

OutputKind OutputKindOf(const std::string& path) {
  const std::string lower = Lower(path);
  const std::size_t slash = lower.rfind('/');
  const std::string name = slash == std::string::npos ? lower : lower.substr(slash + 1);
  // A bare ".pdf" names no file, only a hidden one with no stem.
  if (name.size() > 4 && EndsWith(name, ".pdf")) return OutputKind::Pdf;
  if (name.size() > 4 && EndsWith(name, ".png")) return OutputKind::Png;
  if ((name.size() > 4 && EndsWith(name, ".jpg")) || (name.size() > 5 && EndsWith(name, ".jpeg"))) {
    return OutputKind::Jpeg;
  }
  throw UsageError{"option -o must name a .pdf, .png, .jpg or .jpeg file, not '" + path + "'"};
}

ManifestKind ManifestKindOf(const std::string& path) {
  const std::string lower = Lower(path);
  const std::string name = lower.substr(lower.rfind('/') + 1);
  if (name.size() > 4 && EndsWith(name, ".csv")) return ManifestKind::Csv;
  if (name.size() > 5 && EndsWith(name, ".json")) return ManifestKind::Json;
  throw UsageError{"option --manifest must name a .csv or .json file, not '" + path + "'"};
}

QPageSize::PageSizeId PaperSizeOf(const std::string& name) {
  const std::string lower = Lower(name);
  if (lower == "a4") return QPageSize::A4;
  if (lower == "letter") return QPageSize::Letter;
  if (lower == "legal") return QPageSize::Legal;
  if (lower == "a3") return QPageSize::A3;
  throw UsageError{"option --paper must be A4, Letter, Legal or A3, not '" + name + "'"};
}

PageRange ParsePageRange(const std::string& text) {
  const auto bad = [&] {
    return UsageError{"option --pages must look like 2-5 (pages from 1, first not after last), not '" +
                      text + "'"};
  };
  PageRange range;
  const std::size_t dash = text.find('-');
  if (dash == std::string::npos) {
    if (!ParsePageNumber(text, range.from)) throw bad();
    range.to = range.from;
    return range;
  }
  if (!ParsePageNumber(text.substr(0, dash), range.from) ||
      !ParsePageNumber(text.substr(dash + 1), range.to) || range.from > range.to) {
    throw bad();
  }
  return range;
}

std::pair<std::string, std::string> ParseCupsOption(const std::string& text, const std::string& option) {
  const std::size_t eq = text.find('=');
  const std::string name = text.substr(0, eq);
  const bool named = !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '_' || c == '.';
  });
  if (!named) throw UsageError{"option " + option + " must look like name=value, not '" + text + "'"};
  return {name, eq == std::string::npos ? std::string() : text.substr(eq + 1)};
}

std::string PagePicturePath(const std::string& output, int32_t page) {
  const std::size_t dot = output.rfind('.');
  const std::string stem = output.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : output.substr(dot);
  char number[16];
  std::snprintf(number, sizeof number, "-%03d", static_cast<int>(page));
  return stem + number + extension;
}

void RefuseInputAsOutput(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
  if (const auto same = OutputThatIsInput(inputs, outputs)) {
    throw UsageError{"the output '" + same->first + "' is the input file '" + same->second +
                     "'; choose another output"};
  }
}

}  // namespace tablora::cli
