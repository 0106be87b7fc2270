#include "cli/pdf_archive.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "cli/args.h"
#include "cli/commands.h"
#include "platform/digest.h"
#include "platform/output_file.h"
#include "sheet/contact_sheet.h"
#include "sheet/pdf_extras.h"
#include "sheet/template_store.h"

namespace tablora::cli {

namespace {

namespace fs = std::filesystem;

bool Newer(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

}  // namespace

const char* const kPdfArchiveHelp =
    "  --author NAME       the PDF's author (default: the user's full name, else login name)\n"
    "  --relative-links    each picture links to its file by a path from the PDF's folder, which\n"
    "                      must lie inside FOLDER (default: an absolute file:// link)\n"
    "  --changed           make only sheets whose PDF is missing, older than one of its pictures\n"
    "                      or made with other settings or pictures; the others are named on\n"
    "                      stderr as unchanged and left as they are\n";

PdfArchiveOptions ReadPdfArchiveOptions(const Args& args, bool pdfFile, const CliInputs& inputs,
                                        const std::vector<std::string>& printing) {
  for (const char* name : {"--author", "--relative-links", "--changed"}) {
    if (args.Has(name) && !pdfFile) throw UsageError{std::string("option ").append(name).append(" needs -o OUT.pdf")};
  }
  PdfArchiveOptions options;
  options.author = args.Has("--author") ? args.ValueOr("--author", "") : UserFullName();
  options.relativeLinks = args.Has("--relative-links");
  options.changed = args.Has("--changed");
  options.root = fs::absolute(inputs.folder).string();
  std::string& text = options.settings;
  const auto line = [&text](const std::string& name, const std::string& value) {
    text.append(name).append("=").append(value).append("\n");
  };
  line("layout", TemplateJson(inputs.layout));
  line("rows", std::to_string(inputs.rows));
  line("columns", std::to_string(inputs.columns));
  line("title", inputs.title);
  line("font", inputs.fontName);
  line("facing", inputs.facing ? "yes" : "no");
  line("page-numbers", inputs.pageNumbers ? "yes" : "no");
  std::string captions;
  for (const CaptionField field : inputs.captionFields) captions.append(std::to_string(static_cast<int>(field))).append(",");
  line("caption", captions);
  line("order", std::to_string(static_cast<int>(inputs.order)));
  line("min-rating", std::to_string(inputs.minRating));
  line("pairs", std::string(PairModeName(inputs.pairs)));
  line("author", options.author);
  line("relative-links", options.relativeLinks ? "yes" : "no");
  for (const std::string& setting : printing) text.append(setting).append("\n");
  return options;
}

void CheckLinkedOutput(const PdfArchiveOptions& options, const std::string& output) {
  if (!options.relativeLinks) return;
  std::error_code error;
  const fs::path root = fs::weakly_canonical(options.root, error);
  const fs::path folder = fs::weakly_canonical(fs::absolute(output).parent_path(), error);
  const fs::path below = folder.lexically_relative(root);
  if (below.empty() || *below.begin() == "..") {
    throw UsageError{std::string("option --relative-links needs the PDF inside '").append(options.root).append("', not '").append(output).append("'")};
  }
}

std::string SheetDigest(const PdfArchiveOptions& options, const std::string& folder,
                        const std::vector<std::string>& entries) {
  std::string text = options.settings;
  text.append("folder=").append(folder).append("\n");
  // Entries may hold line breaks: each is closed by a NUL, which no file name holds.
  for (const std::string& entry : entries) text.append(entry).append(1, '\0');
  return Md5Hex(text);
}

bool SheetUpToDate(const PdfArchiveOptions& options, const std::string& output, const std::string& manifest,
                   const std::string& digest, const std::vector<std::string>& pictures) {
  if (!options.changed) return false;
  struct stat sheet {};
  struct stat list {};
  if (::stat(output.c_str(), &sheet) != 0 || (!manifest.empty() && ::stat(manifest.c_str(), &list) != 0)) return false;
  for (const std::string& picture : pictures) {
    struct stat info {};
    if (::stat(picture.c_str(), &info) != 0 || !Newer(sheet.st_mtim, info.st_mtim)) return false;
  }
  return ReadPdfInfo(output, kSettingsInfoKey) == digest;
}

void AddPdfExtras(TContactSheet& sheet, PrinterDevice& printer, const std::string& temporary, const std::string& output,
                  const PdfArchiveOptions& options, int first, int last) {
  SheetPdfOptions pdf;
  pdf.firstPage = first;
  pdf.lastPage = last;
  pdf.relativeLinks = options.relativeLinks;
  pdf.pdfPath = output;
  pdf.author = options.author;
  pdf.settingsDigest = SheetDigest(options, sheet.BaseFolder, sheet.FileList);
  AnnotatePrintedPdf(sheet, printer, temporary, pdf);
}

}  // namespace tablora::cli
