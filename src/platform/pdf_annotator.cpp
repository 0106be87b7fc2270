#include "platform/pdf_annotator.h"

// This file uses no PointerHolder; qpdf 11 asks its users to say so.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <exception>
#include <stdexcept>

#include "platform/output_file.h"

namespace tablora {

namespace {

// The code points of UTF-8 text; a byte that starts no valid sequence (overlong forms, surrogates
// and values past U+10FFFF included) is U+FFFD and the next byte starts afresh.
std::vector<char32_t> CodePoints(const std::string& text) {
  std::vector<char32_t> points;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    char32_t point = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    bool valid = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      point = (point << 6) | (next & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && point >= kLeast[length] && point <= 0x10FFFF && !(point >= 0xD800 && point <= 0xDFFF);
    points.push_back(valid ? point : U'\uFFFD');
    i += valid ? length : 1;
  }
  return points;
}

QPDFObjectHandle Text(const std::string& utf8) { return QPDFObjectHandle::newString(PdfTextString(utf8)); }

std::size_t CountOf(const std::vector<PdfOutlineNode>& nodes) {
  std::size_t count = nodes.size();
  for (const PdfOutlineNode& node : nodes) count += CountOf(node.children);
  return count;
}

QPDFObjectHandle PageAt(const std::vector<QPDFPageObjectHelper>& pages, int32_t page) {
  if (page < 0 || static_cast<std::size_t>(page) >= pages.size()) {
    throw std::runtime_error(std::string("the file has no page ").append(std::to_string(static_cast<int64_t>(page) + 1)));
  }
  return pages[static_cast<std::size_t>(page)].getObjectHandle();
}

// Links the nodes as the children of `parent` (every one open, so /Count is all below it).
void AddItems(QPDF& pdf, const std::vector<QPDFPageObjectHelper>& pages, QPDFObjectHandle parent,
              const std::vector<PdfOutlineNode>& nodes) {
  if (nodes.empty()) return;
  std::vector<QPDFObjectHandle> items;
  for (const PdfOutlineNode& node : nodes) {
    QPDFObjectHandle item = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    item.replaceKey("/Title", Text(node.title));
    item.replaceKey("/Parent", parent);
    item.replaceKey("/Dest", QPDFObjectHandle::newArray({PageAt(pages, node.page), QPDFObjectHandle::newName("/XYZ"),
                                                          QPDFObjectHandle::newNull(),
                                                          QPDFObjectHandle::newReal(node.top, 2),
                                                          QPDFObjectHandle::newNull()}));
    AddItems(pdf, pages, item, node.children);
    if (!items.empty()) {
      items.back().replaceKey("/Next", item);
      item.replaceKey("/Prev", items.back());
    }
    items.push_back(item);
  }
  parent.replaceKey("/First", items.front());
  parent.replaceKey("/Last", items.back());
  parent.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(CountOf(nodes))));
}

QPDFObjectHandle Number(double value) { return QPDFObjectHandle::newReal(value, 2); }

void AddLinks(QPDF& pdf, const std::vector<QPDFPageObjectHelper>& pages, const std::vector<PdfLink>& links) {
  for (const PdfLink& link : links) {
    QPDFObjectHandle page = PageAt(pages, link.page);
    QPDFObjectHandle action = QPDFObjectHandle::newDictionary();
    action.replaceKey("/S", QPDFObjectHandle::newName("/URI"));
    action.replaceKey("/URI", QPDFObjectHandle::newString(link.uri));
    QPDFObjectHandle annotation = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
    annotation.replaceKey("/Type", QPDFObjectHandle::newName("/Annot"));
    annotation.replaceKey("/Subtype", QPDFObjectHandle::newName("/Link"));
    annotation.replaceKey("/Rect", QPDFObjectHandle::newArray({Number(link.rect.left), Number(link.rect.bottom),
                                                                Number(link.rect.right), Number(link.rect.top)}));
    // No frame is drawn round the picture: the sheet must print as it looks.
    annotation.replaceKey("/Border", QPDFObjectHandle::newArray({QPDFObjectHandle::newInteger(0),
                                                                  QPDFObjectHandle::newInteger(0),
                                                                  QPDFObjectHandle::newInteger(0)}));
    annotation.replaceKey("/A", action);
    QPDFObjectHandle annotations = page.getKey("/Annots");
    if (!annotations.isArray()) {
      annotations = QPDFObjectHandle::newArray();
      page.replaceKey("/Annots", annotations);
    }
    annotations.appendItem(annotation);
  }
}

// The file parsed strictly: a damaged file is an error here, never repaired behind the caller's back.
void Open(QPDF& pdf, const std::string& path) {
  pdf.setSuppressWarnings(true);
  pdf.setAttemptRecovery(false);
  pdf.processFile(path.c_str());
}

// Removes the rewritten file on every path that does not rename it.
struct Rewritten {
  std::string path;
  bool renamed = false;
  ~Rewritten() {
    if (!renamed) DiscardTemporary(path);
  }
};

}  // namespace

std::string PdfTextString(const std::string& utf8) {
  bool plain = true;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    plain = plain && ((byte >= 0x20 && byte < 0x7F) || c == '\t' || c == '\n' || c == '\r');
  }
  if (plain) return utf8;
  std::string bytes = "\xFE\xFF";
  const auto unit = [&bytes](char32_t value) {
    bytes.push_back(static_cast<char>(value >> 8));
    bytes.push_back(static_cast<char>(value & 0xFF));
  };
  for (const char32_t point : CodePoints(utf8)) {
    if (point < 0x10000) {
      unit(point);
    } else {
      unit(0xD800 + ((point - 0x10000) >> 10));
      unit(0xDC00 + ((point - 0x10000) & 0x3FF));
    }
  }
  return bytes;
}

void AnnotatePdf(const std::string& path, const PdfExtras& extras) {
  const std::string target = TargetOfTemporary(path);
  try {
    std::size_t pageCount = 0;
    Rewritten rewritten{CreateTemporaryBeside(path)};
    {
      QPDF pdf;
      Open(pdf, path);
      const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
      pageCount = pages.size();
      QPDFObjectHandle catalog = pdf.getRoot();
      if (!extras.outline.empty()) {
        QPDFObjectHandle outlines = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        outlines.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
        AddItems(pdf, pages, outlines, extras.outline);
        catalog.replaceKey("/Outlines", outlines);
        // A viewer opens the file with its bookmarks showing: they are the sheet's table of contents.
        catalog.replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
      }
      AddLinks(pdf, pages, extras.links);
      if (!extras.info.empty()) {
        QPDFObjectHandle trailer = pdf.getTrailer();
        QPDFObjectHandle info = trailer.getKey("/Info");
        if (!info.isDictionary()) {
          info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
          trailer.replaceKey("/Info", info);
        }
        for (const auto& [key, value] : extras.info) info.replaceKey(std::string("/").append(key), Text(value));
      }
      QPDFWriter writer(pdf, rewritten.path.c_str());
      writer.setObjectStreamMode(qpdf_o_preserve);
      // Pictures and page content go through as they are: decoding and compressing them again
      // would cost the time of a sheet of large thumbnails for nothing.
      writer.setDecodeLevel(qpdf_dl_none);
      writer.write();
      if (pdf.anyWarnings()) throw std::runtime_error("the file is damaged");
    }
    QPDF check;
    Open(check, rewritten.path);
    if (QPDFPageDocumentHelper(check).getAllPages().size() != pageCount || check.anyWarnings()) {
      throw std::runtime_error("the rewritten file does not read back whole");
    }
    CommitOutput(rewritten.path);
    rewritten.renamed = true;
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("cannot add bookmarks and links to '").append(target).append("': ").append(e.what()));
  }
}

std::optional<std::string> ReadPdfInfo(const std::string& path, const std::string& key) {
  try {
    QPDF pdf;
    Open(pdf, path);
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    if (!info.isDictionary()) return std::nullopt;
    QPDFObjectHandle value = info.getKey(std::string("/").append(key));
    if (!value.isString() || pdf.anyWarnings()) return std::nullopt;
    return value.getUTF8Value();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace tablora
