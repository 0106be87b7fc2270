#include <QPageLayout>
#include <QList>
#include <QPair>
#include <QString>
#include <QtGlobal>
#include <QPageSize>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "cli/args.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/console_message_box.h"
#include "cli/image_page_printer.h"
#include "cli/pending_outputs.h"
#include "cli/sheet_session.h"
#include "cli/sheet_output.h"
#include "imaging/exceptions.h"
#include "sheet/template_store.h"

#ifdef TABLORA_HAVE_PRINTING
#include <QPrinter>

#include "platform/print_spool_widgets.h"
#include "platform/qt_printer_device.h"
#endif

namespace tablora::cli {

namespace {

constexpr const char* kSheetHelp =
    "usage: tablora-cli sheet FOLDER -o OUT.pdf|OUT.png [OPTIONS]\n"
    "       tablora-cli sheet FOLDER --printer NAME|default [--copies N] [-o NAME=VALUE]... [OPTIONS]\n"
    "\n"
    "Builds the sheet of FOLDER and prints it as the window's Print button does, onto a PDF\n"
    "file; with -o OUT.png each page becomes a PNG picture instead, OUT-001.png, OUT-002.png, ...\n"
    "numbered by its page of the sheet. With --printer the sheet goes to a CUPS print queue as\n"
    "one job, its pages laid out as in the PDF file. Nothing is written or sent when the run fails\n"
    "or is cancelled (Ctrl-C before the job is handed to the queue).\n"
    "Exit status: 0 done, 1 failed or cancelled (Ctrl-C), 2 a wrong argument.\n"
    "\n"
    "  -o, --output FILE   OUT.pdf, or OUT.png for one picture per page\n"
    "  --printer NAME      print to the CUPS queue NAME, or to the default queue with 'default';\n"
    "                      no output file then\n"
    "  --copies N          copies the queue prints, 1..9999 (default 1; with --printer only)\n"
    "  --option NAME=VALUE a CUPS option for the job, as lp -o takes it (NAME alone for a\n"
    "                      yes-or-no option); repeatable; with --printer only. With --printer,\n"
    "                      -o NAME=VALUE is the same: -o then names no file\n"
    "  --paper SIZE        A4, Letter, Legal or A3 (default A4)\n"
    "  --landscape         landscape pages (default portrait)\n"
    "  --dpi N             printer resolution in dots per inch, 72..1200 (default 600)\n"
    "  --pages FROM-TO     print only pages FROM to TO (default all; a single N is N-N)\n";

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
    if (destination.output.empty()) throw UsageError{"sheet needs -o OUT.pdf, -o OUT.png or --printer NAME"};
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

}  // namespace

int RunSheet(int argc, char** argv) {
  std::vector<std::string> values = kSheetValueOptions;
  values.insert(values.end(), {"-o", "--output", "--paper", "--dpi", "--pages", "--printer", "--copies", "--option"});
  std::vector<std::string> flags = kSheetFlagOptions;
  flags.push_back("--landscape");
  const Args args(argc, argv, 2, values, flags);
  if (args.Has("--help")) {
    std::fputs(kSheetHelp, stdout);
    std::fputs(kSheetOptionsHelp, stdout);
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"sheet needs exactly one FOLDER"};
  const Destination destination = DestinationOf(args);
  const std::string& output = destination.output;
  const OutputKind kind = destination.printer ? OutputKind::Pdf : OutputKindOf(output);
  CliInputs inputs;
  ReadSheetOptions(args, inputs);
  inputs.folder = FolderArgument(args.Positional()[0]);
  PrintSettings settings;
  settings.paper = PaperSizeOf(args.ValueOr("--paper", "A4"));
  if (args.Has("--landscape")) settings.orientation = QPageLayout::Landscape;
  settings.dpi = args.IntOr("--dpi", kDefaultDpi, kMinDpi, kMaxDpi);
  {
    // A layout that cannot be drawn on this paper (margins wider than the page, a logo that does
    // not load) is refused before anything is walked or written.
    QSizeF paper = QPageSize(settings.paper).size(QPageSize::Millimeter);
    if (settings.orientation == QPageLayout::Landscape) paper.transpose();
    const std::vector<std::string> problems = TemplateProblems(inputs.layout, paper.width(), paper.height());
    if (!problems.empty()) {
      const std::string source = args.ValueOr("--template", inputs.layout.name);
      throw UsageError{std::string("option --template: ").append(source).append(": ").append(problems.front())};
    }
  }
  std::optional<PageRange> range;
  if (const auto pages = args.Value("--pages")) range = ParsePageRange(*pages);
  const bool quiet = args.Has("--quiet");

#ifndef TABLORA_HAVE_PRINTING
  (void)kind;
  (void)inputs;
  (void)settings;
  (void)quiet;
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
    if (!destination.printer) {
      // A file of the sheet's own pictures must not be overwritten by the sheet made of it.
      session.Sheet().Paginate();
      std::vector<std::string> targets;
      const int32_t last = std::min<int32_t>(range ? range->to : INT32_MAX, session.Sheet().PageCount);
      for (int32_t page = range ? range->from : 1; kind == OutputKind::Png && page <= last; ++page) {
        targets.push_back(PagePicturePath(output, page));
      }
      if (kind == OutputKind::Pdf) targets.push_back(output);
      RefuseInputAsOutput(session.InputFiles(), targets);
    }

    // Declared after the session, so files are removed while Ctrl-C is still only noted.
    PendingOutputs outputs;
    std::unique_ptr<PrinterDevice> printer;
    ImagePagePrinter* pictures = nullptr;
    if (destination.printer) {
      auto job = std::make_unique<QtPrinterDevice>(std::string());
      Configure(*job, settings);
      job->Printer()->setCopyCount(destination.copies);
      job->SetQueue(queue, destination.options);
      printer = std::move(job);
    } else if (kind == OutputKind::Pdf) {
      auto pdf = std::make_unique<QtPrinterDevice>(outputs.Add(output));
      Configure(*pdf, settings);
      printer = std::move(pdf);
    } else {
      // The pictures have the printable page of the PDF printer with the same settings.
      QtPrinterDevice layout{std::string()};
      Configure(layout, settings);
      auto png = std::make_unique<ImagePagePrinter>(
          layout.PageWidth(), layout.PageHeight(), settings.dpi,
          [&outputs, &output](int32_t page) { return outputs.Add(PagePicturePath(output, page)); });
      pictures = png.get();
      printer = std::move(png);
    }
    session.Sheet().Services().printer = printer.get();

    RangePrintDialog dialog(range);
    ConsoleMessageBox messages;
    if (pictures != nullptr && range) pictures->SetFirstPage(range->from);
    try {
      session.Sheet().Print(dialog, messages);
    } catch (...) {
      session.Sheet().Services().printer = nullptr;
      throw;
    }
    session.Sheet().Services().printer = nullptr;
    printer.reset();

    if (messages.Shown() > 0) return kExitFailed;
    if (dialog.BeyondSheet()) {
      throw UsageError{"option --pages " + args.ValueOr("--pages", "") + " lies beyond the sheet's " +
                       std::to_string(dialog.PageCount()) + " pages"};
    }
    if (session.Progress().Interrupted() || !dialog.Asked()) throw EAbort();
    const std::vector<std::string> written = outputs.Commit();
    std::string sentTo;
    if (destination.printer) {
      sentTo = "printer " + queue.toStdString();
    } else if (!written.empty()) {
      sentTo = written.size() == 1 ? written.front() : written.front() + " to " + written.back();
    }
    if (!quiet && !sentTo.empty()) {
      std::fprintf(stderr, "%s: pages %d to %d of %d\n", sentTo.c_str(), dialog.First(), dialog.Last(),
                   dialog.PageCount());
    }
    // The sheet is made: pictures that could not be read are news, not a failure.
    ReportProblems(session.Sheet(), args.Has("--verbose"));
  } catch (const EAbort&) {
    std::fputs("tablora-cli: cancelled\n", stderr);
    return kExitFailed;
  }
  return kExitOk;
#endif
}

}  // namespace tablora::cli
