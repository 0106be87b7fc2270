#include "sheet/pdf_extras.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/output_file.h"
#include "platform/path_text.h"
#include "sheet/contact_sheet.h"
#include "version/version.h"

namespace tablora {

namespace {

namespace fs = std::filesystem;

std::string Encoded(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved || c == '/') {
      out += c;
    } else {
      out.append(1, '%').append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
    }
  }
  return out;
}

// A folder's name as its bookmark shows it; the root of the file system is "/".
std::string NameOf(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const std::string name = folder.substr(folder.rfind('/') + 1);
  return name.empty() ? std::string("/") : name;
}

// Where a bookmark opens.
struct Anchor {
  int32_t page = 0;
  double top = 0;
};

// The outline while it grows: nodes by index, children in the order first met.
struct Tree {
  struct Node {
    std::string title;
    Anchor anchor;
    std::vector<std::size_t> children;
  };
  std::vector<Node> nodes;
  std::map<std::string, std::size_t> byFolder;

  PdfOutlineNode Done(std::size_t index) const {
    const Node& node = nodes[index];
    PdfOutlineNode done{node.title, node.anchor.page, node.anchor.top, {}};
    for (const std::size_t child : node.children) done.children.push_back(Done(child));
    return done;
  }
};

}  // namespace

std::string FileUri(const std::string& absolutePath) {
  return std::string("file://").append(Encoded(fs::path(absolutePath).lexically_normal().string()));
}

std::string RelativeUri(const std::string& from, const std::string& to) {
  return Encoded(fs::path(to).lexically_normal().lexically_relative(fs::path(from).lexically_normal()).string());
}

std::string PdfDate(std::time_t time) {
  std::tm local{};
  ::localtime_r(&time, &local);
  // Offsets of the world's time zones lie within a day.
  const int offset = static_cast<int>(std::clamp<long>(local.tm_gmtoff / 60, -24 * 60, 24 * 60));
  char text[64];
  std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d%c%02d'%02d'", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', std::abs(offset) / 60,
                std::abs(offset) % 60);
  return text;
}

std::string UserFullName() {
  const passwd* account = ::getpwuid(::getuid());
  if (account == nullptr) return {};
  const std::string comment = account->pw_gecos != nullptr ? account->pw_gecos : "";
  const std::string name = comment.substr(0, comment.find(','));
  return name.empty() ? std::string(account->pw_name != nullptr ? account->pw_name : "") : name;
}

PdfExtras SheetPdfExtras(TContactSheet& sheet, const SheetPdfOptions& options) {
  PdfExtras extras;
  const PaperFrame& frame = options.frame;
  const double scale = frame.dpi > 0 ? 72.0 / frame.dpi : 0.0;
  const auto x = [&](int32_t pixels) { return (static_cast<double>(frame.left) + pixels) * scale; };
  const auto y = [&](int32_t pixels) { return frame.heightPoints - (static_cast<double>(frame.top) + pixels) * scale; };

  const SheetGeometry geometry = sheet.Geometry();
  const bool classic = geometry.Template().ClassicGeometry();
  const SheetPage page = sheet.PageOn(sheet.PageRect);
  const std::string base = fs::absolute(sheet.BaseFolder).string();
  std::error_code error;
  const fs::path linkedBase = options.relativeLinks ? fs::weakly_canonical(base, error) : fs::path(base);
  const fs::path pdfFolder =
      options.relativeLinks ? fs::weakly_canonical(fs::absolute(options.pdfPath).parent_path(), error) : fs::path();

  // Each printed picture's anchor: its folder's heading when one introduces it, else its cell.
  std::map<int32_t, Anchor> anchors;
  const int32_t first = std::max(options.firstPage, 1);
  const int32_t last = std::min(options.lastPage, sheet.PageCount);
  for (int32_t number = first; number <= last; ++number) {
    const PageLayout placed = geometry.LayOut(sheet.FileList, sheet.PageEnds, number, page);
    const int32_t index = number - first;
    for (const HeadingPlace& heading : placed.headings) anchors.emplace(heading.entry, Anchor{index, y(heading.y)});
    for (const CellPlace& cell : placed.cells) {
      anchors.emplace(cell.entry, Anchor{index, y(cell.cell.Top)});
      // Classic captions stand below the cell, in the row's lower part.
      const int32_t bottom = classic ? cell.cell.Bottom + placed.metrics.captionHeight : cell.cell.Bottom;
      const std::string& entry = sheet.FileList[static_cast<std::size_t>(cell.entry)];
      const std::string uri = options.relativeLinks
                                  ? RelativeUri(pdfFolder.string(), linkedBase.string() + entry)
                                  : FileUri(base + entry);
      extras.links.push_back({index, {x(cell.cell.Left), y(bottom), x(cell.cell.Right), y(cell.cell.Top)}, uri});
    }
  }

  Tree tree;
  std::vector<std::string> keywords;
  for (const auto& [entry, anchor] : anchors) {
    const std::string_view folder = FolderPart(sheet.FileList[static_cast<std::size_t>(entry)]);
    if (tree.nodes.empty()) {
      tree.nodes.push_back({NameOf(sheet.BaseFolder), anchor, {}});
      keywords.push_back(tree.nodes.back().title);
    }
    std::size_t parent = 0;
    for (std::size_t slash = folder.find('/', 1); slash != std::string_view::npos; slash = folder.find('/', slash + 1)) {
      const auto [at, added] = tree.byFolder.emplace(std::string(folder.substr(0, slash)), tree.nodes.size());
      if (added) {
        const std::size_t start = folder.rfind('/', slash - 1) + 1;
        tree.nodes.push_back({std::string(folder.substr(start, slash - start)), anchor, {}});
        tree.nodes[parent].children.push_back(at->second);
        keywords.push_back(tree.nodes.back().title);
      }
      parent = at->second;
    }
  }
  if (!tree.nodes.empty()) extras.outline.push_back(tree.Done(0));

  std::string joined;
  for (const std::string& keyword : keywords) joined.append(joined.empty() ? "" : ", ").append(keyword);
  const std::string date = PdfDate(options.created);
  extras.info = {{"Title", sheet.JobTitle()},
                 {"Author", options.author},
                 {"Subject", base},
                 {"Keywords", joined},
                 {"Creator", std::string("Tablora ") + kVersion},
                 {"CreationDate", date},
                 {"ModDate", date}};
  if (!options.settingsDigest.empty()) extras.info.emplace_back(kSettingsInfoKey, options.settingsDigest);
  return extras;
}

void AnnotatePrintedPdf(TContactSheet& sheet, PrinterDevice& printer, const std::string& temporary,
                        SheetPdfOptions options) {
  const std::optional<PaperFrame> frame = printer.Frame();
  if (!frame) return;
  CheckOutput(temporary);
  options.frame = *frame;
  if (options.created == 0) options.created = std::time(nullptr);
  AnnotatePdf(temporary, SheetPdfExtras(sheet, options));
}

}  // namespace tablora
