#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tablora {

// A rectangle in PDF user space: points, the origin at the page's bottom-left corner.
struct PdfRect {
  double left = 0;
  double bottom = 0;
  double right = 0;
  double top = 0;
  friend bool operator==(const PdfRect&, const PdfRect&) = default;
};

// One bookmark: its title (UTF-8; bytes that are not become U+FFFD), the page it opens (0-based
// within the file) at the height `top` (points from the bottom), and the bookmarks below it.
struct PdfOutlineNode {
  std::string title;
  int32_t page = 0;
  double top = 0;
  std::vector<PdfOutlineNode> children;
  friend bool operator==(const PdfOutlineNode&, const PdfOutlineNode&) = default;
};

// A link over `rect` of page `page` (0-based) that opens `uri` (ASCII, already percent-encoded).
struct PdfLink {
  int32_t page = 0;
  PdfRect rect;
  std::string uri;
  friend bool operator==(const PdfLink&, const PdfLink&) = default;
};

// What a finished PDF gets on top of its pages: bookmarks, links, and document information
// entries (key without the slash, UTF-8 value) that replace those of the same key.
struct PdfExtras {
  std::vector<PdfOutlineNode> outline;
  std::vector<PdfLink> links;
  std::vector<std::pair<std::string, std::string>> info;
};

// Adds `extras` to the PDF file `path` through libqpdf, rewriting it: the new file is written to a
// temporary beside it, read back and checked (its pages all there), and only then renamed over
// `path`, so a failure leaves `path` as it was. Page content and images are copied as they are.
// Raises std::runtime_error "cannot add bookmarks and links to 'FILE': REASON", FILE being the
// target `path` stands for when it is a temporary of CreateTemporaryBeside. A bookmark or link of a
// page the file does not have is such an error too.
void AnnotatePdf(const std::string& path, const PdfExtras& extras);

// The document information entry `key` (without the slash) of the PDF file `path`, as UTF-8;
// nothing when the file cannot be read or parsed without repair, or has no such entry.
std::optional<std::string> ReadPdfInfo(const std::string& path, const std::string& key);

// The bytes of a PDF text string holding the UTF-8 text: as it is when it is printable ASCII (tab,
// line feed and carriage return included), else UTF-16BE behind a byte order mark, each byte that
// starts no valid UTF-8 sequence becoming U+FFFD.
std::string PdfTextString(const std::string& utf8);

}  // namespace tablora
