#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/pdf_annotator.h"
#include "platform/printer_device.h"

namespace tablora {

class TContactSheet;

// The document information key under which a sheet keeps the digest of what it was made from.
inline constexpr const char* kSettingsInfoKey = "TabloraSettings";

// What a PDF file of a sheet needs beyond the sheet itself.
struct SheetPdfOptions {
  // The pages the file holds, the first being its page 1.
  int32_t firstPage = 1;
  int32_t lastPage = 0;
  // Where the printer put its page surface on the paper.
  PaperFrame frame;
  // Links relative to the folder of `pdfPath` (where the file will stand) rather than file URIs.
  bool relativeLinks = false;
  std::string pdfPath{};
  std::string author{};
  // Stored under kSettingsInfoKey when not empty.
  std::string settingsDigest{};
  std::time_t created = 0;
};

// The bookmarks, links and document information of the sheet's PDF file, as the sheet last laid
// its pages out for printing (PageRect, PageEnds) with the geometry the renderer used. Bookmarks
// mirror the folders of the printed pages under one for the sheet's folder, each opening where
// its folder's first heading stands (a folder without pictures of its own: where its first
// subfolder's does; without headings: its first picture's cell). Each picture's cell with its
// caption links to the picture's file. Information: Title (the job's title), Author, Subject
// (the sheet's folder, absolute), Keywords (the bookmarked folders' names, ", " between them),
// Creator ("Tablora VERSION"), CreationDate and ModDate.
PdfExtras SheetPdfExtras(TContactSheet& sheet, const SheetPdfOptions& options);

// Adds them to the PDF file `temporary` that `printer` has just written pages
// options.firstPage..lastPage of, where the printer put them; nothing for a printer that cannot
// tell. A file cut short (a full disk: the PDF engine reports no write error) is refused as not
// written before the PDF library would call it damaged. std::runtime_error naming the file.
void AnnotatePrintedPdf(TContactSheet& sheet, PrinterDevice& printer, const std::string& temporary,
                        SheetPdfOptions options);

// "file://" and the absolute path, made normal ("//" and "." gone), each byte but the unreserved
// characters of RFC 3986 and "/" percent-encoded.
std::string FileUri(const std::string& absolutePath);
// The relative reference from the absolute folder `from` to the absolute path `to`, encoded as
// FileUri encodes ("../2024/a%20b.jpg").
std::string RelativeUri(const std::string& from, const std::string& to);
// A PDF date of the local time with its offset from UTC: D:YYYYMMDDHHmmSS+HH'mm' (or -HH'mm').
std::string PdfDate(std::time_t time);
// The user's full name (the first field of the account's comment), else the login name; empty when
// the account is unknown.
std::string UserFullName();

}  // namespace tablora
