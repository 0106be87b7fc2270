#pragma once

#include <string>
#include <vector>

#include "platform/printer_device.h"

namespace tablora {
class TContactSheet;
}

namespace tablora::cli {

class Args;
class CliInputs;

// What a sheet's PDF file gets beyond its pages, and whether an existing one may stand.
struct PdfArchiveOptions {
  std::string author;        // --author, else the user's full name
  bool relativeLinks = false;  // --relative-links
  bool changed = false;        // --changed
  std::string root;          // FOLDER, absolute as given
  // Every setting that shapes the sheet, one "name=value" a line, for the digest of a sheet.
  std::string settings;
};

extern const char* const kPdfArchiveHelp;

// --author NAME, --relative-links and --changed; each a UsageError unless the output is a PDF file
// (`pdfFile`). `printing` names the settings of the command itself ("dpi=600"), which join those
// of `inputs` in the settings.
PdfArchiveOptions ReadPdfArchiveOptions(const Args& args, bool pdfFile, const CliInputs& inputs,
                                        const std::vector<std::string>& printing);

// With --relative-links, a UsageError unless the PDF file `output` lies inside FOLDER.
void CheckLinkedOutput(const PdfArchiveOptions& options, const std::string& output);

// The digest of the settings and of the sheet of `folder` listing `entries`.
std::string SheetDigest(const PdfArchiveOptions& options, const std::string& folder,
                        const std::vector<std::string>& entries);

// With --changed, whether the sheet `output` may stay: it and the manifest (when one is asked
// for) exist, the sheet was made with `digest` and is newer than every one of `pictures`. A
// sheet that cannot be read or parsed whole is to be made again.
bool SheetUpToDate(const PdfArchiveOptions& options, const std::string& output, const std::string& manifest,
                   const std::string& digest, const std::vector<std::string>& pictures);

// Adds bookmarks, links and document information to the printed PDF `temporary` (to stand as
// `output`) of the sheet's pages first..last, as `printer` placed them.
void AddPdfExtras(TContactSheet& sheet, PrinterDevice& printer, const std::string& temporary, const std::string& output,
                  const PdfArchiveOptions& options, int first, int last);

}  // namespace tablora::cli
