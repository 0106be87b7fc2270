#include <QPageLayout>
#include <QList>
#include <QPair>
#include <QString>
#include <QtGlobal>
#include <QPageSize>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "cli/args.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/console_message_box.h"
#include "cli/image_page_printer.h"
#include "cli/jpeg_output.h"
#include "cli/pdf_archive.h"
#include "cli/sheet_session.h"
#include "cli/sheet_output.h"
#include "imaging/exceptions.h"
#include "platform/output_file.h"
#include "platform/pending_outputs.h"
#include "sheet/folder_sheets.h"
#include "sheet/sheet_manifest.h"
#include "sheet/template_store.h"

#ifdef TABLORA_HAVE_PRINTING
#include <QPrinter>

#include "platform/print_spool_widgets.h"
#include "platform/qt_printer_device.h"
#endif

namespace tablora::cli {

namespace {

constexpr const char* kSheetHelp =
    "usage: tablora-cli sheet FOLDER -o OUT.pdf|OUT.png|OUT.jpg [--manifest LIST.csv] [OPTIONS]\n"
    "       tablora-cli sheet FOLDER --per-folder[=tree] -o 'OUT/{path}.pdf' [OPTIONS]\n"
    "       tablora-cli sheet FOLDER --printer NAME|default [--copies N] [-o NAME=VALUE]... [OPTIONS]\n"
    "\n"
    "Builds the sheet of FOLDER and prints it as the window's Print button does, onto a PDF\n"
    "file; with -o OUT.png (or OUT.jpg) each page becomes a picture instead, OUT-001.png,\n"
    "OUT-002.png, ... numbered by its page of the sheet. With --printer the sheet goes to a CUPS\n"
    "print queue as one job, its pages laid out as in the PDF file. Nothing is written or sent\n"
    "when the run fails or is cancelled (Ctrl-C before the job is handed to the queue).\n"
    "With --per-folder each folder gets a sheet of its own, named by the -o template; sheets\n"
    "finished before a failure or Ctrl-C stay, the one being made is not written.\n"
    "Exit status: 0 done, 1 failed or cancelled (Ctrl-C), 2 a wrong argument.\n"
    "\n"
    "  -o, --output FILE   OUT.pdf, or OUT.png, OUT.jpg or OUT.jpeg for one picture per page\n"
    "  --quality N         JPEG quality of .jpg pages, 1..100 (default 90)\n"
    "  --manifest FILE     a list of the sheet's pictures beside it, FILE.csv or FILE.json: page,\n"
    "                      row, column, frame, path (from FOLDER), bytes, format, size (WxH\n"
    "                      upright), date (taken), camera, rating, label, and message (why a cell\n"
    "                      was left empty)\n"
    "  --per-folder[=MODE] one sheet per folder: own (the default) puts each folder's own pictures\n"
    "                      on its sheet; tree puts each folder of FOLDER with everything below it\n"
    "                      on one, and FOLDER's own pictures on one more. -o and --manifest are\n"
    "                      then templates: {folder} (the folder's name; FOLDER's name for its own\n"
    "                      pictures), {path} (the folder from FOLDER, its '/' making subfolders;\n"
    "                      FOLDER's name for its own pictures), {date} (the earliest taken,\n"
    "                      YYYY-MM-DD), {count} (pictures). A field without a value leaves out\n"
    "                      the text joining it to the field before; missing folders are made;\n"
    "                      folders without pictures get no sheet\n"
    "  --printer NAME      print to the CUPS queue NAME, or to the default queue with 'default';\n"
    "                      no output file then\n"
    "  --copies N          copies the queue prints, 1..9999 (default 1; with --printer only)\n"
    "  --option NAME=VALUE a CUPS option for the job, as lp -o takes it (NAME alone for a\n"
    "                      yes-or-no option); repeatable; with --printer only. With --printer,\n"
    "                      -o NAME=VALUE is the same: -o then names no file\n"
    "  --paper SIZE        A4, Letter, Legal or A3 (default A4)\n"
    "  --landscape         landscape pages (default portrait)\n"
    "  --dpi N             printer resolution in dots per inch, 72..1200 (default 600)\n"
    "  --pages FROM-TO     print only pages FROM to TO (default all; a single N is N-N; not with\n"
    "                      --per-folder)\n";

constexpr int kDefaultDpi = 600;
constexpr int kMinDpi = 72;
constexpr int kMaxDpi = 1200;

// The print dialog of the command line: it answers at once with the range of --pages, or all
// pages, and keeps the range the job will really print.
class RangePrintDialog : public PrintDialog {
 public:
  explicit RangePrintDialog(std::optional<PageRange> range) : range_(range) {}

  PrintChoice Execute(int minPage, int maxPage) override {
    asked_ = true;
    pageCount_ = maxPage;
    PrintChoice choice;
    if (!range_) {
      choice.accepted = true;
      first_ = minPage;
      last_ = maxPage;
      return choice;
    }
    if (range_->from > maxPage) {
      beyondSheet_ = true;
      return choice;
    }
    choice.accepted = true;
    choice.range = prPageNums;
    choice.fromPage = range_->from;
    choice.toPage = std::min(range_->to, maxPage);
    first_ = choice.fromPage;
    last_ = choice.toPage;
    return choice;
  }

  bool Asked() const { return asked_; }
  bool BeyondSheet() const { return beyondSheet_; }
  int First() const { return first_; }
  int Last() const { return last_; }
  int PageCount() const { return pageCount_; }

 private:
  std::optional<PageRange> range_;
  bool asked_ = false;
  bool beyondSheet_ = false;
  int first_ = 0;
  int last_ = 0;
  int pageCount_ = 0;
};

struct PrintSettings {
  QPageSize::PageSizeId paper = QPageSize::A4;
  QPageLayout::Orientation orientation = QPageLayout::Portrait;
  int dpi = kDefaultDpi;
};

#ifdef TABLORA_HAVE_PRINTING

// Qt's notes about the session it runs in (no XDG_RUNTIME_DIR, fonts substituted) are no news to
// the user of a batch tool, and stderr stays quiet when nothing went wrong; real errors are
// reported by the command itself.
void KeepOnlyQtErrors(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  }
}

void Configure(QtPrinterDevice& device, const PrintSettings& settings) {
  QPrinter& printer = *device.Printer();
  printer.setPageSize(QPageSize(settings.paper));
  printer.setPageOrientation(settings.orientation);
  printer.setResolution(settings.dpi);
}

#endif

// Where the sheet goes: a file, or a print queue with its options.
struct Destination {
  std::string output;
  std::optional<std::string> printer;
  int copies = 1;
  QList<QPair<QString, QString>> options;
};

Destination DestinationOf(const Args& args) {
  Destination destination;
  destination.printer = args.Value("--printer");
  if (!destination.printer) {
    for (const char* name : {"--copies", "--option"}) {
      if (args.Has(name)) throw UsageError{std::string("option ") + name + " needs --printer"};
    }
    destination.output = args.ValueOr("-o", args.ValueOr("--output", ""));
    if (destination.output.empty()) throw UsageError{"sheet needs -o OUT.pdf, -o OUT.png, -o OUT.jpg or --printer NAME"};
    return destination;
  }
  if (destination.printer->empty()) throw UsageError{"option --printer needs a queue name or default"};
  // -o names a file only without --printer; with it, -o is lp's -o and carries name=value.
  const std::vector<std::string> dashO = args.Values("-o");
  if (args.Has("--output") ||
      std::any_of(dashO.begin(), dashO.end(), [](const std::string& v) { return v.find('=') == std::string::npos; })) {
    throw UsageError{"an output file (-o FILE) and --printer are exclusive; CUPS options are -o NAME=VALUE"};
  }
  destination.copies = args.IntOr("--copies", 1, 1, 9999);
  for (const char* name : {"-o", "--option"}) {
    for (const std::string& text : args.Values(name)) {
      const auto [option, value] = ParseCupsOption(text, name);
      destination.options.append(qMakePair(QString::fromStdString(option), QString::fromStdString(value)));
    }
  }
  return destination;
}


// --per-folder, --per-folder=own or --per-folder=tree; nothing without the option.
std::optional<FolderSplit> FolderSplitOf(const Args& args) {
  if (!args.Has("--per-folder")) return std::nullopt;
  const std::string mode = args.ValueOr("--per-folder", "own");
  if (mode == "own") return FolderSplit::Own;
  if (mode == "tree") return FolderSplit::Tree;
  throw UsageError{std::string("option --per-folder must be own or tree, not '").append(mode).append("'")};
}

// A UsageError naming `option` unless the template's fields are known and it names a file: not
// empty, not ending in "/".
void CheckNameTemplate(const std::string& pattern, const std::string& option) {
  if (const std::optional<std::string> unknown = UnknownNameField(pattern)) {
    throw UsageError{std::string("option ").append(option).append(" may hold {folder}, {path}, {date} and {count}, not ").append(*unknown)};
  }
  if (pattern.empty() || pattern.back() == '/') {
    throw UsageError{std::string("option ").append(option).append(" must name a file, not '").append(pattern).append("'")};
  }
}

// How a sheet goes to files.
struct FileJob {
  OutputKind kind = OutputKind::Pdf;
  PrintSettings settings;
  int quality = kDefaultJpegQuality;
  std::optional<PageRange> range;
  bool quiet = false;
  PdfArchiveOptions pdf;
};

// What one sheet's print came to.
struct Printed {
  bool messagesShown = false;
  bool beyondSheet = false;
  int first = 0;
  int last = 0;
  int pages = 0;
  std::vector<std::string> written;
};

#ifdef TABLORA_HAVE_PRINTING

// The printer of a sheet printed to `output`: the PDF file, or its pages' pictures; each file a
// temporary of `outputs`.
// A PDF file's temporary is kept in `pdfTemporary`, for its bookmarks and links.
std::unique_ptr<PrinterDevice> FilePrinter(const FileJob& job, const std::string& output, PendingOutputs& outputs,
                                           std::string& pdfTemporary) {
  if (job.kind == OutputKind::Pdf) {
    pdfTemporary = outputs.Add(output);
    auto pdf = std::make_unique<QtPrinterDevice>(pdfTemporary);
    Configure(*pdf, job.settings);
    return pdf;
  }
  // The pictures have the printable page of the PDF printer with the same settings.
  QtPrinterDevice layout{std::string()};
  Configure(layout, job.settings);
  ImagePagePrinter::PageWriter write;
  if (job.kind == OutputKind::Jpeg) {
    write = [quality = job.quality](const QImage& page, const std::string& temporary) {
      WriteJpeg(page, temporary, quality);
    };
  }
  auto images = std::make_unique<ImagePagePrinter>(
      layout.PageWidth(), layout.PageHeight(), job.settings.dpi,
      [&outputs, output](int32_t page) { return outputs.Add(PagePicturePath(output, page)); }, write);
  if (job.range) images->SetFirstPage(job.range->from);
  return images;
}

Printed PrintedOf(const SheetFiles& files, bool beyondSheet) {
  Printed printed;
  printed.messagesShown = files.messageShown;
  printed.beyondSheet = beyondSheet;
  printed.first = files.first;
  printed.last = files.last;
  printed.pages = files.pages;
  printed.written = files.written;
  return printed;
}

// The sheet as it stands, printed to `output` (and listed in `manifest` unless that is empty);
// the files appear together once all are whole.
Printed PrintToFiles(SheetSession& session, const FileJob& job, const std::string& output, const std::string& manifest) {
  SheetFilesJob files;
  std::string pdfTemporary;
  files.printer = [&job, &output, &pdfTemporary](PendingOutputs& outputs) {
    return FilePrinter(job, output, outputs, pdfTemporary);
  };
  files.printed = [&](PrinterDevice& printer, int first, int last) {
    if (!pdfTemporary.empty()) AddPdfExtras(session.Sheet(), printer, pdfTemporary, output, job.pdf, first, last);
  };
  files.manifest = manifest;
  files.manifestJson = !manifest.empty() && ManifestKindOf(manifest) == ManifestKind::Json;
  files.cancelled = [&session] { return session.Progress().Interrupted(); };
  RangePrintDialog dialog(job.range);
  ConsoleMessageBox messages;
  const SheetFiles printed = PrintSheetToFiles(session.Sheet(), dialog, messages, files);
  return PrintedOf(printed, dialog.BeyondSheet());
}

void ReportWritten(const Printed& printed, bool withManifest, bool quiet) {
  if (quiet || printed.written.empty()) return;
  // The manifest is committed last, after the sheet's own files.
  const std::vector<std::string>& files = printed.written;
  const std::size_t sheets = files.size() - (withManifest ? 1 : 0);
  const std::string sentTo =
      sheets <= 1 ? files.front() : std::string(files.front()).append(" to ").append(files[sheets - 1]);
  std::fprintf(stderr, "%s: pages %d to %d of %d\n", sentTo.c_str(), printed.first, printed.last, printed.pages);
  if (withManifest) std::fprintf(stderr, "%s: the manifest\n", files.back().c_str());
}

// The folder as messages name it, quoted: FOLDER itself, or FOLDER/its path below it.
std::string FolderShown(const std::string& root, const std::string& folder) {
  return std::string("'")
      .append(EscapedName(folder == "/" ? root : std::string(root).append(folder, 0, folder.size() - 1)))
      .append("'");
}

// Folders the walk entered that get no sheet, on stderr.
void ReportSkipped(const TContactSheet& sheet, const std::vector<FolderPart>& parts, FolderSplit split) {
  std::set<std::string> done;
  for (const FolderPart& part : parts) done.insert(part.folder);
  for (const std::string& folder : sheet.WalkedFolders()) {
    const bool candidate = split == FolderSplit::Own || folder == "/" || folder.find('/', 1) + 1 == folder.size();
    if (candidate && done.count(folder) == 0) {
      std::fprintf(stderr, "skipped %s: no pictures\n", FolderShown(sheet.BaseFolder, folder).c_str());
    }
  }
}

int PrintPerFolder(SheetSession& session, const FileJob& job, FolderSplit split, const std::string& output,
                   const std::string& manifest, bool verbose) {
  TContactSheet& sheet = session.Sheet();
  const std::string root = sheet.BaseFolder;
  if (verbose) ReportSkipped(sheet, SplitByFolder(sheet.FileList, split), split);

  // Every name is made and checked before the first file is written.
  std::vector<PlannedSheet> plan;
  try {
    plan = PlanFolderSheets(sheet, split, output, manifest);
  } catch (const EFolderNames& e) {
    const std::string option = e.manifest ? "--manifest" : "-o";
    if (e.kind == EFolderNames::Kind::NoName) {
      throw UsageError{std::string("option ").append(option).append(" gives no file name for the folder ").append(
          FolderShown(root, e.folder))};
    }
    throw UsageError{std::string("the folders ")
                         .append(FolderShown(root, e.other))
                         .append(" and ")
                         .append(FolderShown(root, e.folder))
                         .append(" would both be written to '")
                         .append(e.name)
                         .append("'; use {path} in the name")};
  }
  std::vector<std::string> targets;
  for (const PlannedSheet& planned : plan) {
    CheckLinkedOutput(job.pdf, planned.output);
    if (!planned.manifest.empty()) targets.push_back(planned.manifest);
    if (job.kind == OutputKind::Pdf) {
      targets.push_back(planned.output);
    } else {
      const std::size_t pages = sheet.Geometry().Paginate(planned.part.entries, sheet.PrinterPage()).size();
      for (std::size_t page = 1; page <= pages; ++page) {
        targets.push_back(PagePicturePath(planned.output, static_cast<int32_t>(page)));
      }
    }
  }
  RefuseInputAsOutput(session.InputFiles(), targets);

  FolderSheetsJob run;
  std::string pdfTemporary;
  run.printer = [&job, &pdfTemporary](const PlannedSheet& planned, PendingOutputs& outputs) {
    return FilePrinter(job, planned.output, outputs, pdfTemporary);
  };
  run.printed = [&](const PlannedSheet& planned, PrinterDevice& printer, int first, int last) {
    if (!pdfTemporary.empty()) AddPdfExtras(sheet, printer, pdfTemporary, planned.output, job.pdf, first, last);
  };
  run.unchanged = [&](const PlannedSheet& planned) {
    if (!SheetUpToDate(job.pdf, planned.output, planned.manifest, SheetDigest(job.pdf, sheet.BaseFolder, sheet.FileList),
                       session.InputFiles())) {
      return false;
    }
    if (!job.quiet) {
      std::fprintf(stderr, "unchanged: %s (%s)\n", FolderShown(root, planned.part.folder).c_str(), planned.output.c_str());
    }
    return true;
  };
  run.manifestJson = !manifest.empty() && ManifestKindOf(manifest) == ManifestKind::Json;
  run.cancelled = [&session] { return session.Progress().Interrupted(); };
  run.starting = [&session](std::size_t k, std::size_t count, const PlannedSheet& planned) {
    session.Progress().SetStage(std::string("Folder ")
                                    .append(std::to_string(k + 1))
                                    .append(" of ")
                                    .append(std::to_string(count))
                                    .append(": ")
                                    .append(planned.fields.path));
  };
  run.finished = [&job, &sheet, verbose](const PlannedSheet& planned, const SheetFiles& files) {
    ReportWritten(PrintedOf(files, false), !planned.manifest.empty(), job.quiet);
    ReportProblems(sheet, verbose);
  };
  RangePrintDialog dialog(std::nullopt);
  ConsoleMessageBox messages;
  try {
    if (!PrintFolderSheets(sheet, plan, dialog, messages, run)) return kExitFailed;
  } catch (const EFolderSheet& e) {
    throw std::runtime_error(std::string("the sheet of ").append(FolderShown(root, e.folder)).append(": ").append(e.what()));
  }
  return kExitOk;
}

#endif

}  // namespace

int RunSheet(int argc, char** argv) {
  std::vector<std::string> values = kSheetValueOptions;
  values.insert(values.end(), {"-o", "--output", "--paper", "--dpi", "--pages", "--printer", "--copies", "--option",
                               "--manifest", "--quality", "--per-folder", "--author"});
  std::vector<std::string> flags = kSheetFlagOptions;
  flags.insert(flags.end(), {"--landscape", "--per-folder", "--relative-links", "--changed"});
  const Args args(argc, argv, 2, values, flags);
  if (args.Has("--help")) {
    std::fputs(kSheetHelp, stdout);
    std::fputs(kPdfArchiveHelp, stdout);
    std::fputs(kSheetOptionsHelp, stdout);
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"sheet needs exactly one FOLDER"};
  const Destination destination = DestinationOf(args);
  const std::string& output = destination.output;
  FileJob job;
  job.kind = destination.printer ? OutputKind::Pdf : OutputKindOf(output);
  const std::optional<FolderSplit> split = FolderSplitOf(args);
  const std::string manifest = args.ValueOr("--manifest", "");
  if (args.Has("--manifest")) {
    if (destination.printer) throw UsageError{"option --manifest goes with -o FILE, not with --printer"};
    ManifestKindOf(manifest);
  }
  if (args.Has("--quality") && job.kind != OutputKind::Jpeg) throw UsageError{"option --quality needs -o OUT.jpg"};
  job.quality = args.IntOr("--quality", kDefaultJpegQuality, 1, 100);
  if (split) {
    if (destination.printer) throw UsageError{"option --per-folder writes files; it does not go with --printer"};
    if (args.Has("--pages")) throw UsageError{"option --pages does not go with --per-folder"};
    CheckNameTemplate(output, "-o");
    if (!manifest.empty()) CheckNameTemplate(manifest, "--manifest");
  }
  CliInputs inputs;
  ReadSheetOptions(args, inputs);
  inputs.folder = FolderArgument(args.Positional()[0]);
  job.settings.paper = PaperSizeOf(args.ValueOr("--paper", "A4"));
  if (args.Has("--landscape")) job.settings.orientation = QPageLayout::Landscape;
  job.settings.dpi = args.IntOr("--dpi", kDefaultDpi, kMinDpi, kMaxDpi);
  {
    // A layout that cannot be drawn on this paper (margins wider than the page, a logo that does
    // not load) is refused before anything is walked or written.
    QSizeF paper = QPageSize(job.settings.paper).size(QPageSize::Millimeter);
    if (job.settings.orientation == QPageLayout::Landscape) paper.transpose();
    const std::vector<std::string> problems = TemplateProblems(inputs.layout, paper.width(), paper.height());
    if (!problems.empty()) {
      const std::string source = args.ValueOr("--template", inputs.layout.name);
      throw UsageError{std::string("option --template: ").append(source).append(": ").append(problems.front())};
    }
  }
  if (const auto pages = args.Value("--pages")) job.range = ParsePageRange(*pages);
  job.quiet = args.Has("--quiet");
  job.pdf = ReadPdfArchiveOptions(args, job.kind == OutputKind::Pdf && !destination.printer, inputs,
                                  {std::string("paper=").append(args.ValueOr("--paper", "A4")),
                                   std::string("landscape=").append(args.Has("--landscape") ? "yes" : "no"),
                                   std::string("dpi=").append(std::to_string(job.settings.dpi)),
                                   std::string("pages=").append(args.ValueOr("--pages", "")),
                                   std::string("per-folder=").append(split ? args.ValueOr("--per-folder", "own") : "")});
  if (!split && !destination.printer) CheckLinkedOutput(job.pdf, output);
  const bool quiet = job.quiet;
  const bool verbose = args.Has("--verbose");

#ifndef TABLORA_HAVE_PRINTING
  (void)job;
  (void)inputs;
  (void)quiet;
  (void)verbose;
  throw std::runtime_error("this tablora-cli was built without Qt PrintSupport and cannot print");
#else
  qInstallMessageHandler(KeepOnlyQtErrors);
  EnsureGuiApplication();
  SheetSession session(inputs, quiet, nullptr, nullptr);
  try {
    QString queue;
    if (destination.printer) {
      // A queue or server that is missing fails the run before the folder is walked.
      queue = QString::fromStdString(*destination.printer);
      const PrintWaitHandler wait = [&session](const std::string&) {
        session.Progress().PumpMessages();
        return !session.Progress().Interrupted();
      };
      const std::string problem =
          QueueProblem(queue, LpstatBeside(QString::fromStdString(QtPrinterDevice::QueueProgram())), wait);
      if (!problem.empty()) throw std::runtime_error(problem);
    }
    if (!session.Build()) throw EAbort();
    if (session.Sheet().FileList.empty()) throw std::runtime_error("No pictures in " + inputs.folder);
    if (split) return PrintPerFolder(session, job, *split, output, manifest, verbose);
    if (!destination.printer) {
      // A file of the sheet's own pictures must not be overwritten by the sheet made of it.
      session.Sheet().Paginate();
      std::vector<std::string> targets;
      const int32_t last = std::min<int32_t>(job.range ? job.range->to : INT32_MAX, session.Sheet().PageCount);
      for (int32_t page = job.range ? job.range->from : 1; job.kind != OutputKind::Pdf && page <= last; ++page) {
        targets.push_back(PagePicturePath(output, page));
      }
      if (job.kind == OutputKind::Pdf) targets.push_back(output);
      if (!manifest.empty()) targets.push_back(manifest);
      RefuseInputAsOutput(session.InputFiles(), targets);
      TContactSheet& sheet = session.Sheet();
      if (SheetUpToDate(job.pdf, output, manifest, SheetDigest(job.pdf, sheet.BaseFolder, sheet.FileList),
                        session.InputFiles())) {
        if (!quiet) std::fprintf(stderr, "unchanged: '%s' (%s)\n", EscapedName(sheet.BaseFolder).c_str(), output.c_str());
        return kExitOk;
      }
    }

    Printed printed;
    if (destination.printer) {
      auto device = std::make_unique<QtPrinterDevice>(std::string());
      Configure(*device, job.settings);
      device->Printer()->setCopyCount(destination.copies);
      device->SetQueue(queue, destination.options);
      session.Sheet().Services().printer = device.get();
      RangePrintDialog dialog(job.range);
      ConsoleMessageBox messages;
      try {
        session.Sheet().Print(dialog, messages);
      } catch (...) {
        session.Sheet().Services().printer = nullptr;
        throw;
      }
      session.Sheet().Services().printer = nullptr;
      device.reset();
      printed.messagesShown = messages.Shown() > 0;
      printed.beyondSheet = dialog.BeyondSheet();
      printed.first = dialog.First();
      printed.last = dialog.Last();
      printed.pages = dialog.PageCount();
      if (!printed.messagesShown && !printed.beyondSheet &&
          (session.Progress().Interrupted() || !dialog.Asked())) {
        throw EAbort();
      }
    } else {
      printed = PrintToFiles(session, job, output, manifest);
    }
    if (printed.messagesShown) return kExitFailed;
    if (printed.beyondSheet) {
      throw UsageError{"option --pages " + args.ValueOr("--pages", "") + " lies beyond the sheet's " +
                       std::to_string(printed.pages) + " pages"};
    }
    if (destination.printer) {
      if (!quiet) {
        std::fprintf(stderr, "printer %s: pages %d to %d of %d\n", queue.toStdString().c_str(), printed.first,
                     printed.last, printed.pages);
      }
    } else {
      ReportWritten(printed, !manifest.empty(), quiet);
    }
    // The sheet is made: pictures that could not be read are news, not a failure.
    ReportProblems(session.Sheet(), verbose);
  } catch (const EAbort&) {
    std::fputs("tablora-cli: cancelled\n", stderr);
    return kExitFailed;
  }
  return kExitOk;
#endif
}

}  // namespace tablora::cli
