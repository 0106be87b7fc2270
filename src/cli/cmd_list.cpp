#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "cli/args.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/console_progress.h"
#include "platform/directory_search.h"
#include "platform/path_text.h"
#include "sheet/contact_sheet.h"

namespace tablora::cli {

namespace {

constexpr const char* kListHelp =
    "usage: tablora-cli list FOLDER [--template NAME] [--rows N] [--cols N] [--sort ORDER] [--min-rating N]\n"
    "                        [--pairs MODE] [--selection FILE] [-0] [--quiet]\n"
    "\n"
    "Walks FOLDER and its subfolders the way Build does and prints the sorted image files,\n"
    "one line per file: the page it falls on, a tab, and its path relative to FOLDER; a\n"
    "picture that stands for others of its name (the RAW of a RAW + JPEG pair, a Live\n"
    "Photo's clip) has a tab and \"+ \" with their names after it.\n"
    "The last line gives the number of files and pages.\n"
    "Names are printed with C escapes, so that each line is one file and nothing in a name\n"
    "reaches the terminal as a command: a backslash as \\\\, tab, newline and carriage return as\n"
    "\\t, \\n, \\r (likewise \\a \\b \\v \\f), every other control character byte as \\ and\n"
    "three octal digits (\\033 for escape; C1 controls too, also when UTF-8 encoded). Other\n"
    "bytes are printed as stored.\n"
    "\n"
    "  --template NAME  the layout the pages follow, by name or FILE.json (default: the\n"
    "              template last used in the window, else Classic; pages on A4 paper)\n"
    "  --rows N    thumbnail rows per page, 1..30 (default: the template's, 10)\n"
    "  --cols N    thumbnails per row, 1..30 (default: the template's, 6)\n"
    "  --sort ORDER  order within each folder: name (default), natural (numbers in names by\n"
    "              value: IMG_2 before IMG_10) or date (taken; undated pictures last)\n"
    "  --min-rating N  only pictures rated N stars or more, 0..5 (default 0: every picture)\n"
    "  --pairs MODE  files of one name in one folder that are one frame, RAW and JPEG (or\n"
    "              HEIF): once (default: the JPEG, standing for both), both, raw or jpeg\n"
    "  --selection FILE  the pictures left out and the order within folders as FILE holds\n"
    "              them (default: those the window keeps for FOLDER, in\n"
    "              $XDG_DATA_HOME/Tablora/selections)\n"
    "  -0          end each file's entry with a NUL byte instead of a newline and print names\n"
    "              as they are, for xargs -0 and the like; no count line\n"
    "  --quiet     no progress line on stderr\n"
    "  --help      this text\n";

// Length of the UTF-8 sequence of a character other than a control character at text[at], or 0
// (a control character, or a byte that starts no whole UTF-8 sequence).
std::size_t PrintableSequence(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead >= 0x20 && lead < 0x7F) return 1;
  std::size_t length = 0;
  uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  const bool c1Control = code >= 0x80 && code <= 0x9F;
  if (overlong || surrogate || c1Control || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::string EscapedName(std::string_view name) {
  std::string out;
  for (std::size_t at = 0; at < name.size();) {
    const char c = name[at];
    if (c == '\\') {
      out += "\\\\";
      ++at;
    } else if (const std::size_t length = PrintableSequence(name, at); length > 0) {
      out.append(name, at, length);
      at += length;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      const auto next = at + 1 < name.size() ? static_cast<unsigned char>(name[at + 1]) : 0u;
      // C1 controls, lone or in their UTF-8 form C2 80 to C2 9F.
      const bool control = byte < 0x20 || (byte >= 0x7F && byte <= 0x9F) || (byte == 0xC2 && next >= 0x80 && next <= 0x9F);
      if (!control) {
        out += c;
      } else if (byte >= 7 && byte <= 13) {
        out += '\\';
        out += "abtnvfr"[byte - 7];
      } else {
        char octal[5];
        std::snprintf(octal, sizeof octal, "\\%03o", byte);
        out += octal;
      }
      ++at;
    }
  }
  return out;
}

std::string FolderArgument(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) {
    throw UsageError{"folder '" + path + "' does not exist"};
  }
  if (!S_ISDIR(info.st_mode)) throw UsageError{"'" + path + "' is not a folder"};
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

int RunList(int argc, char** argv) {
  const Args args(argc, argv, 2, {"--rows", "--cols", "--sort", "--min-rating", "--pairs", "--template", "--selection"},
                  {"--quiet", "--help", "-0"});
  if (args.Has("--help")) {
    std::fputs(kListHelp, stdout);
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"list needs exactly one FOLDER"};
  CliInputs inputs;
  inputs.layout = ReadTemplateOption(args);
  inputs.rows = args.IntOr("--rows", inputs.layout.rows, kMinGridSize, kMaxGridSize);
  inputs.columns = args.IntOr("--cols", inputs.layout.columns, kMinGridSize, kMaxGridSize);
  ReadOrderOptions(args, inputs);
  ReadSelectionOption(args, inputs);
  inputs.folder = FolderArgument(args.Positional()[0]);
  // A root folder is passed as "/" and its entries join it as "//...", which the file functions
  // accept.

  ConsoleProgress progress(args.Has("--quiet"));
  PosixDirectorySearch directories;
  TContactSheet sheet(SheetServices{.progress = &progress, .pump = &progress, .inputs = &inputs, .options = &inputs, .directories = &directories});
  sheet.Layout = inputs.layout;
  SelectionStore selections;
  UseSelection(sheet, inputs, selections);
  sheet.BuildFileList();
  const bool cancelled = !progress.Working();
  progress.Close();
  ReportSelectionProblem(sheet);
  if (cancelled) {
    std::fputs("tablora-cli: cancelled\n", stderr);
    return kExitFailed;
  }
  sheet.Paginate();

  const bool nulSeparated = args.Has("-0");
  std::size_t page = 0;
  for (std::size_t i = 0; i < sheet.FileList.size(); ++i) {
    while (page < sheet.PageEnds.size() && static_cast<int32_t>(i) > sheet.PageEnds[page]) ++page;
    const std::string name = nulSeparated ? sheet.FileList[i] : EscapedName(sheet.FileList[i]);
    std::printf("%zu\t", page + 1);
    std::fwrite(name.data(), 1, name.size(), stdout);
    if (const PairNote* pair = sheet.PairOf(sheet.FileList[i]); pair != nullptr && !nulSeparated) {
      std::string partners;
      for (const std::string& partner : pair->partners) {
        partners += (partners.empty() ? "\t+ " : ", ") + EscapedName(std::string(NamePart(partner)));
      }
      std::fwrite(partners.data(), 1, partners.size(), stdout);
    }
    std::fputc(nulSeparated ? '\0' : '\n', stdout);
  }
  if (!nulSeparated) std::printf("%zu files, %d pages\n", sheet.FileList.size(), sheet.PageCount);
  return kExitOk;
}

}  // namespace tablora::cli
