#include "platform/qt_printer_device.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <vector>

#include <signal.h>
#include <unistd.h>

#include "platform/print_spool_widgets.h"
#include "support/run_command.h"
#include "support/qt_environment.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment<QApplication>([] {
      // A folder of its own, so a spooled file left behind shows up.
      const std::filesystem::path tmp = test::BinaryDir() / "printer_test_output" / "tmp";
      std::filesystem::remove_all(tmp);
      std::filesystem::create_directories(tmp);
      qputenv("TMPDIR", QByteArray::fromStdString(tmp.string()));
    }));

std::filesystem::path OutputPath(const std::string& name) {
  const std::filesystem::path path = test::BinaryDir() / "printer_test_output" / name;
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::remove(path);
  return path;
}

// RunCommand takes a path, not a name to look up.
std::string Pdfinfo() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / "pdfinfo";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return {};
}

bool HavePdfinfo() { return !Pdfinfo().empty(); }

int PdfPages(const std::filesystem::path& path) {
  const test::CommandResult info = test::RunCommand(Pdfinfo(), {path.string()});
  std::smatch match;
  if (info.status != 0 || !std::regex_search(info.out, match, std::regex("Pages:\\s+(\\d+)"))) return -1;
  return std::stoi(match[1]);
}

void DrawPage(DrawingSurface& canvas, int page) {
  canvas.SetFontName("Tahoma");
  canvas.SetFontHeight(canvas.ClipRect().Height() / 40);
  canvas.TextOut(200, 200, "Page " + std::to_string(page) + " of 3");
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(4, 4);
  for (int i = 0; i < 4; ++i) bitmap.SetPixelColor(i, i, RGB(255, 0, 0));
  canvas.StretchDraw(Rect(200, 800, 1400, 2000), bitmap);
}

TEST(QtPrinterDevice, PdfPrinterHasAnA4PageInDevicePixels) {
  QtPrinterDevice device(OutputPath("unused.pdf").string());
  const int dpi = device.Printer()->resolution();
  EXPECT_GE(dpi, 300);
  EXPECT_EQ(device.Printer()->outputFormat(), QPrinter::PdfFormat);
  const QRect paper = device.Printer()->pageLayout().fullRectPixels(dpi);
  EXPECT_EQ(paper.size(), QPageSize(QPageSize::A4).sizePixels(dpi));
  EXPECT_GT(device.PageWidth(), 0);
  EXPECT_LE(device.PageWidth(), paper.width());
  EXPECT_LE(device.PageHeight(), paper.height());
  EXPECT_EQ(device.PageWidth(), device.Printer()->pageLayout().paintRectPixels(dpi).width());
  EXPECT_EQ(device.Canvas().ClipRect(), Rect(0, 0, device.PageWidth(), device.PageHeight()));

  device.Printer()->setPageOrientation(QPageLayout::Landscape);
  EXPECT_GT(device.PageWidth(), device.PageHeight());
  EXPECT_EQ(device.Canvas().ClipRect(), Rect(0, 0, device.PageWidth(), device.PageHeight()));
}

TEST(QtPrinterDevice, WithoutInstalledPrintersItIsThePdfPrinter) {
  QtPrinterDevice device;
  if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is installed here";
  EXPECT_EQ(device.Printer()->outputFormat(), QPrinter::PdfFormat);
  EXPECT_GT(device.PageWidth(), 0);
  EXPECT_GT(device.PageHeight(), device.PageWidth());
  // Nothing chose a file yet: starting the job must say so rather than print nowhere.
  try {
    device.BeginDoc();
    FAIL() << "a job without an output file started";
  } catch (const EPrinter& e) {
    EXPECT_STREQ(e.what(), "No file was chosen for the PDF output");
  }
  EXPECT_FALSE(device.Printing());
}

TEST(QtPrinterDevice, FontCellHeightsHoldOnThePrinterDevice) {
  QtPrinterDevice device(OutputPath("fonts.pdf").string());
  auto& canvas = dynamic_cast<QtDrawingSurface&>(device.Canvas());
  for (int asked : {40, 99, 350}) {
    canvas.SetFontHeight(asked);
    QFont font = canvas.ResolvedFont();
    EXPECT_LE(QFontMetrics(font, device.Printer()).height(), asked);
    font.setPixelSize(font.pixelSize() + 1);
    EXPECT_GT(QFontMetrics(font, device.Printer()).height(), asked);
  }
  EXPECT_GT(canvas.TextWidth("Holiday"), 0);
}

TEST(QtPrinterDevice, PrintsThreePagesToPdf) {
  const auto path = OutputPath("three.pdf");
  QtPrinterDevice device(path.string());
  device.SetTitle("Tablora Print Task");
  EXPECT_EQ(device.Title(), "Tablora Print Task");
  EXPECT_EQ(device.Printer()->docName(), "Tablora Print Task");
  device.BeginDoc();
  EXPECT_TRUE(device.Printing());
  EXPECT_EQ(device.Canvas().ClipRect(), Rect(0, 0, device.PageWidth(), device.PageHeight()));
  EXPECT_EQ(device.Canvas().BrushColor(), clWhite);
  for (int page = 1; page <= 3; ++page) {
    DrawPage(device.Canvas(), page);
    if (page < 3) device.NewPage();
  }
  device.EndDoc();
  EXPECT_FALSE(device.Printing());
  ASSERT_TRUE(std::filesystem::exists(path));
  if (!HavePdfinfo()) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  EXPECT_EQ(PdfPages(path), 3);
  const test::CommandResult info = test::RunCommand(Pdfinfo(), {path.string()});
  EXPECT_NE(info.out.find("Title:           Tablora Print Task"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("(A4)"), std::string::npos) << info.out;
}

TEST(QtPrinterDevice, AbortLeavesNoPartialFileAndAllowsTheNextJob) {
  const auto path = OutputPath("aborted.pdf");
  QtPrinterDevice device(path.string());
  device.BeginDoc();
  DrawPage(device.Canvas(), 1);
  device.NewPage();
  DrawPage(device.Canvas(), 2);
  device.Abort();
  EXPECT_FALSE(device.Printing());
  EXPECT_FALSE(std::filesystem::exists(path));
  device.Abort();  // no job: nothing happens

  device.BeginDoc();
  DrawPage(device.Canvas(), 1);
  device.EndDoc();
  ASSERT_TRUE(std::filesystem::exists(path));
  if (HavePdfinfo()) {
    EXPECT_EQ(PdfPages(path), 1);
  }
}

TEST(QtPrinterDevice, DestroyingADeviceMidJobAbortsIt) {
  const auto path = OutputPath("destroyed.pdf");
  {
    QtPrinterDevice device(path.string());
    device.BeginDoc();
    DrawPage(device.Canvas(), 1);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(QtPrinterDevice, JobStepsOutOfOrderAreRefused) {
  QtPrinterDevice device(OutputPath("order.pdf").string());
  EXPECT_THROW(device.NewPage(), EPrinter);
  EXPECT_THROW(device.EndDoc(), EPrinter);
  device.Canvas().FillRect(Rect(0, 0, 100, 100));  // before the job: measures, draws nothing
  device.BeginDoc();
  try {
    device.BeginDoc();
    FAIL() << "a second job started inside the first";
  } catch (const EPrinter& e) {
    EXPECT_STREQ(e.what(), "Printing in progress");
  }
  device.EndDoc();
  try {
    device.EndDoc();
    FAIL() << "a job ended twice";
  } catch (const EPrinter& e) {
    EXPECT_STREQ(e.what(), "Printer is not currently printing");
  }
}

TEST(QtPrinterDevice, UnwritablePdfFileIsReported) {
  QtPrinterDevice device("/nonexistent-folder/out.pdf");
  try {
    device.BeginDoc();
    FAIL() << "a job started on an unwritable file";
  } catch (const EPrinter& e) {
    EXPECT_STREQ(e.what(), "Cannot write the PDF file /nonexistent-folder/out.pdf");
  }
  EXPECT_FALSE(device.Printing());
}


// Spooled jobs for installed printers.

std::vector<std::filesystem::path> SpoolFilesLeft() {
  std::vector<std::filesystem::path> left;
  for (const auto& entry : std::filesystem::directory_iterator(QDir::tempPath().toStdString())) {
    if (entry.path().filename().string().rfind("tablora-print-", 0) == 0) left.push_back(entry.path());
  }
  return left;
}

// A stand-in for lp in a folder of its own: it counts its calls, records its arguments one a line,
// keeps a copy of the file it was given, then ends with `tail` (the default succeeds).
class FakeLp {
 public:
  // `lpstat`, when given, is the body of an lpstat stand-in beside it.
  explicit FakeLp(const std::string& name, const std::string& tail = "exit 0", const std::string& lpstat = "")
      : dir_(test::BinaryDir() / "printer_test_output" / ("fake-lp-" + name)) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    if (!lpstat.empty()) {
      std::ofstream(dir_ / "lpstat") << "#!/bin/sh\n" << lpstat << "\n";
      std::filesystem::permissions(dir_ / "lpstat", std::filesystem::perms::owner_all);
    }
    std::ofstream script(Program());
    script << "#!/bin/sh\n"
              "here=$(dirname \"$0\")\n"
              "echo call >> \"$here/calls\"\n"
              ": > \"$here/args\"\n"
              "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$here/args\"; last=$a; done\n"
              "cp \"$last\" \"$here/job.pdf\"\n"
           << tail << "\n";
    script.close();
    std::filesystem::permissions(Program(), std::filesystem::perms::owner_all);
  }

  std::string Program() const { return (dir_ / "lp").string(); }
  std::filesystem::path Copy() const { return dir_ / "job.pdf"; }
  int Calls() const { return static_cast<int>(Lines("calls").size()); }
  std::vector<std::string> Arguments() const { return Lines("args"); }

 private:
  std::vector<std::string> Lines(const std::string& file) const {
    std::vector<std::string> lines;
    std::ifstream in(dir_ / file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::filesystem::path dir_;
};

std::unique_ptr<QPrinter> A4Target() {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setPageSize(QPageSize(QPageSize::A4));
  return printer;
}

void PaintPages(QPrinter& printer, int pages) {
  QPainter painter(&printer);
  ASSERT_TRUE(painter.isActive());
  QtDrawingSurface canvas(painter, Rect(0, 0, printer.width(), printer.height()));
  for (int page = 1; page <= pages; ++page) {
    DrawPage(canvas, page);
    if (page < pages) {
      ASSERT_TRUE(printer.newPage());
    }
  }
}

PrintQueueJob OfficeJob() {
  PrintQueueJob job;
  job.printer = "Office_Laser";
  job.title = "Holiday 2023";
  job.media = "A4";
  return job;
}

std::string SubmitFailure(const PrintQueueJob& job, const std::string& program, int timeoutMs) {
  PrintSpool spool(*A4Target());
  PaintPages(spool.Printer(), 1);
  try {
    spool.Submit(job, QString::fromStdString(program), {}, timeoutMs);
  } catch (const EPrinter& e) {
    return e.what();
  }
  return "no failure";
}

TEST(PrintSpool, LpArgumentsCarryQueueTitleCopiesSidesAndPaper) {
  const QString file = "/tmp/tablora-print-x.pdf";
  PrintQueueJob job = OfficeJob();
  EXPECT_EQ(LpArguments(job, file),
            QStringList({"-d", "Office_Laser", "-t", "Holiday 2023", "-n", "1", "-o", "media=A4", "-o",
                         "fit-to-page=false", file}));

  // Collation means nothing for one copy, so it is only asked for with several.
  job.collate = true;
  EXPECT_FALSE(LpArguments(job, file).contains("collate=true"));
  job.copies = 3;
  job.media.clear();
  job.duplex = QPrinter::DuplexAuto;
  job.orientation = QPageLayout::Landscape;
  EXPECT_EQ(LpArguments(job, file),
            QStringList({"-d", "Office_Laser", "-t", "Holiday 2023", "-n", "3", "-o", "collate=true", "-o",
                         "sides=two-sided-short-edge", "-o", "fit-to-page=false", file}));

  const auto sides = [&](QPrinter::DuplexMode duplex, QPageLayout::Orientation orientation) {
    job.duplex = duplex;
    job.orientation = orientation;
    const QStringList args = LpArguments(job, file);
    for (const QString& arg : args) {
      if (arg.startsWith("sides=")) return arg;
    }
    return QString();
  };
  EXPECT_EQ(sides(QPrinter::DuplexAuto, QPageLayout::Portrait), "sides=two-sided-long-edge");
  EXPECT_EQ(sides(QPrinter::DuplexLongSide, QPageLayout::Landscape), "sides=two-sided-long-edge");
  EXPECT_EQ(sides(QPrinter::DuplexShortSide, QPageLayout::Portrait), "sides=two-sided-short-edge");
  EXPECT_EQ(sides(QPrinter::DuplexNone, QPageLayout::Portrait), "");
}

TEST(PrintSpool, LpArgumentsCarryColourAndTheDialogsCupsOptionsLast) {
  PrintQueueJob job = OfficeJob();
  job.colorMode = "monochrome";
  job.options = {{"page-set", "odd"}, {"job-sheets", "standard,none"}, {"job-billing", "Project \"X\" 2\\3"},
                 {"landscape", ""}};
  EXPECT_EQ(LpArguments(job, "f.pdf"),
            QStringList({"-d", "Office_Laser", "-t", "Holiday 2023", "-n", "1", "-o", "media=A4", "-o",
                         "print-color-mode=monochrome", "-o", "fit-to-page=false", "-o", "page-set=odd", "-o",
                         "job-sheets=standard,none", "-o", R"(job-billing="Project \"X\" 2\\3")", "-o", "landscape",
                         "f.pdf"}));
}

TEST(PrintSpool, QueueJobTakesWhatTheDialogsChose) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::Letter));
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setDocName("Tablora Print Task");
  printer.setCopyCount(2);
  printer.setCollateCopies(true);
  // PDF output keeps no duplex setting, so sides are covered by the arguments test alone.
  const PrintQueueJob job = PrintQueueJob::Of(printer);
  EXPECT_EQ(job.title, "Tablora Print Task");
  EXPECT_EQ(job.copies, 2);
  EXPECT_TRUE(job.collate);
  EXPECT_EQ(job.orientation, QPageLayout::Landscape);
  EXPECT_EQ(job.media, "Letter");
  // PDF output has no colour mode or CUPS options of a printer; the order still reaches lp.
  EXPECT_EQ(job.colorMode, "");
  EXPECT_TRUE(job.options.isEmpty());
  printer.setPageOrder(QPrinter::LastPageFirst);
  EXPECT_EQ(PrintQueueJob::Of(printer).options, (QList<QPair<QString, QString>>{{"outputorder", "reverse"}}));
}

TEST(PrintSpool, SpooledPagesMeasureAndDrawAsTheTargetWould) {
  struct Setup {
    QPageSize::PageSizeId paper;
    QPageLayout::Orientation orientation;
    QMarginsF margins;
    bool fullPage;
    int dpi;
  };
  const std::vector<Setup> setups = {
      {QPageSize::A4, QPageLayout::Portrait, QMarginsF(5, 5, 5, 5), false, 1200},
      {QPageSize::Letter, QPageLayout::Landscape, QMarginsF(12.5, 7, 3, 20), false, 600},
      {QPageSize::A5, QPageLayout::Portrait, QMarginsF(10, 10, 10, 10), true, 300},
  };
  for (const Setup& setup : setups) {
    QPrinter target(QPrinter::HighResolution);
    target.setOutputFormat(QPrinter::PdfFormat);
    target.setResolution(setup.dpi);
    target.setPageLayout(QPageLayout(QPageSize(setup.paper), setup.orientation, setup.margins, QPageLayout::Millimeter));
    target.setFullPage(setup.fullPage);
    target.setColorMode(QPrinter::GrayScale);
    target.setDocName("Holiday 2023");
    PrintSpool spool(target);
    QPrinter& copy = spool.Printer();
    SCOPED_TRACE(target.pageLayout().pageSize().key().toStdString());
    EXPECT_EQ(copy.outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(copy.outputFileName(), spool.FileName());
    EXPECT_EQ(copy.resolution(), setup.dpi);
    EXPECT_EQ(copy.width(), target.width());
    EXPECT_EQ(copy.height(), target.height());
    EXPECT_EQ(copy.pageLayout().paintRectPixels(setup.dpi), target.pageLayout().paintRectPixels(setup.dpi));
    EXPECT_EQ(copy.pageLayout().fullRectPixels(setup.dpi), target.pageLayout().fullRectPixels(setup.dpi));
    EXPECT_EQ(copy.fullPage(), setup.fullPage);
    EXPECT_EQ(copy.colorMode(), QPrinter::GrayScale);
    EXPECT_EQ(copy.docName(), "Holiday 2023");
    EXPECT_EQ(QtDrawingSurface::ChoosePixelSize("Tahoma", 99, copy),
              QtDrawingSurface::ChoosePixelSize("Tahoma", 99, target));
  }
  EXPECT_TRUE(SpoolFilesLeft().empty());
}

TEST(PrintSpool, SubmittedJobIsQueuedOnceWithItsPagesThenTheFileGoes) {
  FakeLp lp("ok");
  const auto target = A4Target();
  target->setDocName("Holiday 2023");
  std::string spooled;
  {
    PrintSpool spool(*target);
    spooled = spool.FileName().toStdString();
    EXPECT_TRUE(std::filesystem::exists(spooled));
    PaintPages(spool.Printer(), 3);
    spool.Submit(OfficeJob(), QString::fromStdString(lp.Program()));
    EXPECT_EQ(lp.Calls(), 1);
  }
  EXPECT_FALSE(std::filesystem::exists(spooled));
  EXPECT_TRUE(SpoolFilesLeft().empty());
  EXPECT_EQ(lp.Arguments(), std::vector<std::string>({"-d", "Office_Laser", "-t", "Holiday 2023", "-n", "1", "-o",
                                                      "media=A4", "-o", "fit-to-page=false", spooled}));
  ASSERT_TRUE(std::filesystem::exists(lp.Copy()));
  if (!HavePdfinfo()) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  EXPECT_EQ(PdfPages(lp.Copy()), 3);
  const test::CommandResult info = test::RunCommand(Pdfinfo(), {lp.Copy().string()});
  EXPECT_NE(info.out.find("Title:           Holiday 2023"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("(A4)"), std::string::npos) << info.out;
}

TEST(PrintSpool, DiscardedJobLeavesNoFile) {
  std::string spooled;
  {
    PrintSpool spool(*A4Target());
    spooled = spool.FileName().toStdString();
    PaintPages(spool.Printer(), 2);
  }
  EXPECT_FALSE(std::filesystem::exists(spooled));
  EXPECT_TRUE(SpoolFilesLeft().empty());
}

TEST(PrintSpool, QueueFailuresAreReportedWithLpsComplaint) {
  const PrintQueueJob job = OfficeJob();
  const int timeout = PrintSpool::kDefaultSubmitTimeoutMs;
  // lp says the same of a missing queue and a stopped server; the server tells which it is.
  const std::string missing = "echo 'lp: The printer or class does not exist.' >&2; exit 1";
  EXPECT_EQ(SubmitFailure(job, FakeLp("refuses", missing, "echo scheduler is running").Program(), timeout),
            "The printer 'Office_Laser' does not exist");
  EXPECT_EQ(SubmitFailure(job, FakeLp("stopped", missing, "echo scheduler is not running").Program(), timeout),
            "The print server is not running");
  const std::string mute = FakeLp("mute", "exit 3").Program();
  // lp's own name for itself, not the path it was started by.
  const std::string named = FakeLp("named", "echo \"$0: Error - Scheduler Not Responding\" >&2; exit 1").Program();
  EXPECT_EQ(SubmitFailure(job, named, timeout),
            "Cannot send the job to the printer: lp: Error - Scheduler Not Responding");
  EXPECT_EQ(SubmitFailure(job, mute, timeout), "Cannot send the job to the printer: " + mute + " failed with status 3");
  EXPECT_EQ(SubmitFailure(job, "/nonexistent-folder/lp", timeout),
            "Cannot send the job to the printer: the program /nonexistent-folder/lp cannot be started");
  const std::string crashing = FakeLp("crashing", "kill -KILL $$").Program();
  EXPECT_EQ(SubmitFailure(job, crashing, timeout), "Cannot send the job to the printer: " + crashing + " stopped unexpectedly");
  // A queue that never answers must not hold the program forever.
  const std::string hanging = FakeLp("hanging", "exec sleep 30").Program();
  EXPECT_EQ(SubmitFailure(job, hanging, 300),
            "The printer 'Office_Laser' cannot be reached: the print server does not answer");
  EXPECT_TRUE(SpoolFilesLeft().empty());
}

TEST(PrintSpool, HandingOverWaitsWithoutBlockingAndGivingUpWithdrawsTheJob) {
  const auto target = A4Target();
  target->setDocName("Holiday/2023");
  FakeLp slow("slow", "sleep 0.5");
  std::vector<std::string> statuses;
  {
    PrintSpool spool(*target);
    // Named after the title, one path component, so the queue shows that name for the document.
    EXPECT_EQ(QFileInfo(spool.FileName()).fileName(), "Holiday_2023.pdf");
    PaintPages(spool.Printer(), 1);
    spool.Submit(OfficeJob(), QString::fromStdString(slow.Program()), [&](const std::string& status) {
      statuses.push_back(status);
      return true;
    });
  }
  EXPECT_EQ(slow.Calls(), 1);
  ASSERT_GE(statuses.size(), 3u);
  EXPECT_EQ(statuses.front(), "Sending to printer...");

  FakeLp hanging("hanging-cancelled", "exec sleep 30");
  QElapsedTimer clock;
  clock.start();
  {
    PrintSpool spool(*target);
    PaintPages(spool.Printer(), 1);
    int calls = 0;
    EXPECT_THROW(spool.Submit(OfficeJob(), QString::fromStdString(hanging.Program()),
                              [&](const std::string&) { return ++calls < 3; }),
                 EAbort);
  }
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_TRUE(SpoolFilesLeft().empty());
}

TEST(PrintSpool, AJobNotHandedOverKeepsItsPagesForAPdfFile) {
  const auto saved = OutputPath("kept.pdf");
  {
    PrintSpool spool(*A4Target());
    PaintPages(spool.Printer(), 2);
    try {
      spool.Submit(OfficeJob(), QString::fromStdString(FakeLp("kept", "exit 1", "echo scheduler is not running").Program()));
      FAIL() << "a refused job passed as queued";
    } catch (const EJobNotHandedOver& e) {
      EXPECT_STREQ(e.what(), "The print server is not running");
      EXPECT_TRUE(e.SavePagesAs(QString::fromStdString(saved.string())));
      EXPECT_FALSE(e.SavePagesAs("/nonexistent-folder/kept.pdf"));
    }
  }
  EXPECT_TRUE(SpoolFilesLeft().empty());
  if (HavePdfinfo()) {
    EXPECT_EQ(PdfPages(saved), 2);
  }
}

TEST(PrintSpool, SigtermAndSigintRemoveTheSpoolFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const int signal : {SIGTERM, SIGINT}) {
    EXPECT_EXIT(
        {
          PrintSpool spool(*A4Target());
          ::raise(signal);
        },
        ::testing::KilledBySignal(signal), "");
    EXPECT_TRUE(SpoolFilesLeft().empty()) << signal;
  }
}

TEST(PrintSpool, QueueProblemsInTheUsersWords) {
  const std::string lpstat = "case $1 in -r) echo scheduler is running;; -d) echo system default destination: Office_Laser;;"
                             " -p) [ \"$2\" = Office_Laser ];; esac";
  const struct {
    std::string lpstat;
    QString asked;
    std::string problem;
    QString found;
  } cases[] = {
      {lpstat, "Office_Laser", "", "Office_Laser"},
      {lpstat, "default", "", "Office_Laser"},
      {lpstat, "Garage", "The printer 'Garage' does not exist", "Garage"},
      {"echo scheduler is not running", "Office_Laser", "The print server is not running", "Office_Laser"},
      {"[ $1 = -r ] && echo scheduler is running; [ $1 = -d ] && echo no system default destination", "default",
       "There is no default printer", "default"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const FakeLp lp("problem-" + std::to_string(++n), "exit 0", c.lpstat);
    QString printer = c.asked;
    EXPECT_EQ(QueueProblem(printer, LpstatBeside(QString::fromStdString(lp.Program())), {}), c.problem) << n;
    EXPECT_EQ(printer, c.found) << n;
  }
  // An lpstat that never answers is given up on, or found silent once its time is out.
  const FakeLp silent("silent", "exit 0", "exec sleep 30");
  const QString lpstatPath = LpstatBeside(QString::fromStdString(silent.Program()));
  QString printer = "Office_Laser";
  EXPECT_THROW(QueueProblem(printer, lpstatPath, [](const std::string&) { return false; }), EAbort);
  EXPECT_EQ(AskPrintServer(lpstatPath, {}, "", 200), ServerAnswer::Silent);
}

TEST(PrintSpool, RealLpTakesTheArgumentsAndItsRefusalIsPassedOn) {
  if (QStandardPaths::findExecutable("lp").isEmpty()) GTEST_SKIP() << "lp (cups-client) is not installed";
  PrintQueueJob job = OfficeJob();
  job.printer = "tablora-test-no-such-queue";
  job.copies = 2;
  job.collate = true;
  job.duplex = QPrinter::DuplexAuto;
  job.colorMode = "color";
  job.options = {{"job-billing", "Project X"}, {"page-set", "odd"}};
  // A malformed option would make lp print its usage instead; a missing queue or scheduler is all
  // it may complain of, in the user's words.
  QProcess lp;
  lp.start("lp", LpArguments(job, "/dev/null"));
  ASSERT_TRUE(lp.waitForFinished());
  EXPECT_EQ(lp.readAllStandardError().indexOf("Usage"), -1);
  const std::string failure = SubmitFailure(job, "lp", PrintSpool::kDefaultSubmitTimeoutMs);
  EXPECT_TRUE(failure == "The print server is not running" || failure == NoSuchPrinter(job.printer)) << failure;
  EXPECT_TRUE(SpoolFilesLeft().empty());
}

// Spools as an installed printer does, over PDF output so that no CUPS queue is needed; the file
// the PDF output names must stay untouched.
class SpoolingDevice : public QtPrinterDevice {
 public:
  using QtPrinterDevice::QtPrinterDevice;

 protected:
  bool SpoolsJobs() const override { return true; }
};

class QueueProgramOverride {
 public:
  explicit QueueProgramOverride(const std::string& program) { QtPrinterDevice::SetQueueProgram(program); }
  ~QueueProgramOverride() { QtPrinterDevice::SetQueueProgram("lp"); }
};

TEST(QtPrinterDevice, SpooledJobsAreQueuedOnlyWhenFinished) {
  FakeLp lp("device");
  const QueueProgramOverride useFake(lp.Program());
  const auto direct = OutputPath("spooled-direct.pdf");
  SpoolingDevice device(direct.string());
  device.SetTitle("Holiday 2023");

  // Cancelled before the last page: nothing reaches the queue.
  device.BeginDoc();
  ASSERT_EQ(SpoolFilesLeft().size(), 1u);
  EXPECT_EQ(device.Canvas().ClipRect(), Rect(0, 0, device.PageWidth(), device.PageHeight()));
  DrawPage(device.Canvas(), 1);
  device.NewPage();
  DrawPage(device.Canvas(), 2);
  device.Abort();
  EXPECT_FALSE(device.Printing());
  EXPECT_EQ(lp.Calls(), 0);
  EXPECT_TRUE(SpoolFilesLeft().empty());

  {
    SpoolingDevice destroyed(direct.string());
    destroyed.BeginDoc();
    DrawPage(destroyed.Canvas(), 1);
  }
  EXPECT_EQ(lp.Calls(), 0);
  EXPECT_TRUE(SpoolFilesLeft().empty());

  device.BeginDoc();
  const std::string spooled = (SpoolFilesLeft().at(0) / "Holiday 2023.pdf").string();
  for (int page = 1; page <= 3; ++page) {
    DrawPage(device.Canvas(), page);
    if (page < 3) device.NewPage();
  }
  device.EndDoc();
  EXPECT_FALSE(device.Printing());
  EXPECT_EQ(lp.Calls(), 1);
  EXPECT_TRUE(SpoolFilesLeft().empty());
  EXPECT_FALSE(std::filesystem::exists(direct));
  // PDF output has no queue name; an installed printer's is checked below where one exists.
  EXPECT_EQ(lp.Arguments(), std::vector<std::string>({"-d", "", "-t", "Holiday 2023", "-n", "1", "-o", "media=A4",
                                                      "-o", "fit-to-page=false", spooled}));
  if (HavePdfinfo()) {
    EXPECT_EQ(PdfPages(lp.Copy()), 3);
  }
}

TEST(QtPrinterDevice, QueueFailureEndsTheJobAndIsReported) {
  const QueueProgramOverride useFake(
      FakeLp("device-refuses", "echo 'lp: Unable to print file: client-error-not-possible' >&2; exit 1").Program());
  SpoolingDevice device(OutputPath("refused.pdf").string());
  device.BeginDoc();
  DrawPage(device.Canvas(), 1);
  try {
    device.EndDoc();
    FAIL() << "a refused job passed as printed";
  } catch (const EPrinter& e) {
    EXPECT_STREQ(e.what(), "Cannot send the job to the printer: lp: Unable to print file: client-error-not-possible");
  }
  EXPECT_FALSE(device.Printing());
  EXPECT_TRUE(SpoolFilesLeft().empty());
  // The device is ready for the next job.
  device.BeginDoc();
  device.Abort();
}

TEST(QtPrinterDevice, PrinterLookupWaitsVisiblyAndCanBeGivenUp) {
  const QueueProgramOverride useFake(FakeLp("lookup", "exit 0", "exec sleep 30").Program());
  QtPrinterDevice device;
  std::vector<std::string> statuses;
  device.SetWaitHandler([&](const std::string& status) {
    statuses.push_back(status);
    return statuses.size() < 3;
  });
  EXPECT_FALSE(device.LookUpPrinters());
  EXPECT_EQ(statuses, std::vector<std::string>(3, "Looking for printers..."));
  // PDF output asks no server.
  EXPECT_TRUE(QtPrinterDevice(OutputPath("lookup.pdf").string()).LookUpPrinters());
}

TEST(QtPrinterDevice, AQueueTakesJobsOfPdfLayoutWithItsOptions) {
  FakeLp lp("queue");
  const QueueProgramOverride useFake(lp.Program());
  QtPrinterDevice device{std::string()};
  device.Printer()->setCopyCount(2);
  device.SetQueue("Office_Laser", {{"number-up", "2"}});
  device.SetTitle("Holiday 2023");
  device.BeginDoc();
  DrawPage(device.Canvas(), 1);
  device.EndDoc();
  const std::vector<std::string> args = lp.Arguments();
  ASSERT_EQ(args.size(), 15u);
  EXPECT_EQ(std::vector<std::string>(args.begin(), args.end() - 1),
            std::vector<std::string>({"-d", "Office_Laser", "-t", "Holiday 2023", "-n", "2", "-o", "collate=true", "-o",
                                      "media=A4", "-o", "fit-to-page=false", "-o", "number-up=2"}));
}

// The page in use is the paper the printer is set up for (Qt starts every printer on A4): a
// Letter printer is previewed, set up and laid out on Letter.
TEST(QtPrinterDevice, AnInstalledPrinterStartsOnItsOwnPaper) {
  QtPrinterDevice device;
  if (device.Printer()->outputFormat() != QPrinter::NativeFormat) GTEST_SKIP() << "no printer is installed here";
  const QPageSize paper = QPrinterInfo(*device.Printer()).defaultPageSize();
  EXPECT_TRUE(device.Printer()->pageLayout().pageSize().isEquivalentTo(paper))
      << device.Printer()->pageLayout().pageSize().name().toStdString() << " vs " << paper.name().toStdString();
}

TEST(QtPrinterDevice, InstalledPrinterSpoolsToItsQueue) {
  FakeLp lp("installed");
  const QueueProgramOverride useFake(lp.Program());
  QtPrinterDevice device;
  if (device.Printer()->outputFormat() != QPrinter::NativeFormat) GTEST_SKIP() << "no printer is installed here";
  device.SetTitle("Holiday 2023");
  device.BeginDoc();
  DrawPage(device.Canvas(), 1);
  device.EndDoc();
  EXPECT_EQ(lp.Calls(), 1);
  const std::vector<std::string> args = lp.Arguments();
  ASSERT_GE(args.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(args.begin(), args.begin() + 4),
            std::vector<std::string>({"-d", device.Printer()->printerName().toStdString(), "-t", "Holiday 2023"}));
  EXPECT_TRUE(SpoolFilesLeft().empty());
}

}  // namespace
}  // namespace tablora
