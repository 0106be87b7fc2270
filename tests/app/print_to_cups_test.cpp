// Printing through a real CUPS server to a cups-pdf queue "VirtualPDF", run privately by the test
// (its own folders and socket); skipped with the reason when that cannot be set up.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QImage>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTransform>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "app/qt_services.h"
#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/t_splash.h"
#include "platform/canvas_factory.h"
#include "platform/directory_search.h"
#include "platform/qt_printer_device.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

// cupsd with one cups-pdf queue made the default. cups-pdf reads its settings only from /etc/cups,
// so the queue gets a settings file of its own there, named after it, which sends its PDF files
// to the test's folder.
class CupsServer : public ::testing::Environment {
 public:
  void SetUp() override {
    const fs::path ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
    if (::geteuid() != 0) return Unavailable("cupsd and cups-pdf need root");
    for (const fs::path& needed : {fs::path("/usr/sbin/cupsd"), fs::path("/usr/lib/cups/backend/cups-pdf"), ppd}) {
      if (!fs::exists(needed)) return Unavailable(needed.string() + " is not installed (cups, printer-driver-cups-pdf)");
    }
    dir_ = fs::temp_directory_path() / ("tablora-cups-" + std::to_string(::getpid()));
    for (const char* sub : {"root", "spool", "state", "cache", "log", "tmp", "out"}) fs::create_directories(dir_ / sub);
    fs::permissions(dir_, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
    for (const char* open : {"tmp", "out"}) fs::permissions(dir_ / open, fs::perms::all | fs::perms::sticky_bit);
    const std::string d = dir_.string();
    std::ofstream(dir_ / "cups-files.conf") << "ServerRoot " << d << "/root\nRequestRoot " << d << "/spool\nStateDir " << d
                                            << "/state\nCacheDir " << d << "/cache\nTempDir " << d << "/tmp\nErrorLog " << d
                                            << "/log/error_log\nAccessLog " << d << "/log/access_log\nPageLog " << d
                                            << "/log/page_log\nSystemGroup root\n";
    std::ofstream(dir_ / "cupsd.conf") << "Listen " << d << "/cups.sock\nBrowsing No\nWebInterface No\n"
                                       << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n";
    label_ = "tablora-test-" + std::to_string(::getpid());
    std::ofstream(PdfSettings()) << "Out " << d << "/out\nAnonDirName " << d << "/out\nLog " << d << "/log\n";
    cupsd_ = ::fork();
    if (cupsd_ == 0) {
      ::execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (d + "/cupsd.conf").c_str(), "-s", (d + "/cups-files.conf").c_str(),
              nullptr);
      ::_exit(127);
    }
    ::setenv("CUPS_SERVER", (d + "/cups.sock").c_str(), 1);
    for (int i = 0; i < 100 && !fs::exists(dir_ / "cups.sock"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto added = test::RunCommand("/usr/sbin/lpadmin", {"-p", "VirtualPDF", "-E", "-v", "cups-pdf:/" + label_, "-P", ppd.string()});
    const auto made = test::RunCommand("/usr/sbin/lpadmin", {"-d", "VirtualPDF"});
    if (added.status != 0 || made.status != 0) return Unavailable("cupsd did not take the queue: " + added.err + made.err);
  }

  void TearDown() override {
    if (cupsd_ > 0) {
      ::kill(cupsd_, SIGTERM);
      ::waitpid(cupsd_, nullptr, 0);
    }
    if (!label_.empty()) fs::remove(PdfSettings());
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Why the server is not there, or empty.
  static const std::string& Missing() { return missing_; }

  // The next PDF file cups-pdf writes, once its job is done; empty after a minute without one.
  static fs::path NextPdf() {
    const fs::path out = instance_->dir_ / "out";
    for (int i = 0; i < 600; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      // The file exists while Ghostscript still writes it: the queue must be empty first.
      if (!test::RunCommand("/usr/bin/lpstat", {"-o"}).out.empty()) continue;
      for (const auto& entry : fs::directory_iterator(out)) {
        if (entry.path().extension() != ".pdf") continue;
        const fs::path done = instance_->dir_ / ("job-" + std::to_string(++instance_->jobs_) + "-" + entry.path().filename().string());
        fs::rename(entry.path(), done);
        return done;
      }
    }
    return {};
  }

  CupsServer() { instance_ = this; }

  // Stops the server as a hang would (it keeps taking connections, answers nothing) or lets it go on.
  static void Pause(bool paused) { ::kill(instance_->cupsd_, paused ? SIGSTOP : SIGCONT); }

 private:
  void Unavailable(const std::string& why) { missing_ = why; }
  fs::path PdfSettings() const { return "/etc/cups/cups-pdf-" + label_ + ".conf"; }

  static inline std::string missing_;
  static inline CupsServer* instance_ = nullptr;
  fs::path dir_;
  std::string label_;
  pid_t cupsd_ = -1;
  int jobs_ = 0;
};

const auto* const kServer = ::testing::AddGlobalTestEnvironment(new CupsServer);

#define REQUIRE_CUPS() \
  if (!CupsServer::Missing().empty()) GTEST_SKIP() << CupsServer::Missing()

std::string PdfInfo(const fs::path& pdf, const std::string& field) {
  const auto result = test::RunCommand("/usr/bin/pdfinfo", {pdf.string()});
  std::smatch match;
  if (!std::regex_search(result.out, match, std::regex("(^|\n)" + field + ":\\s*([^\n]*)"))) return "";
  return match[2];
}

// Runs `step` on the modal window once there is one other than `than`, from inside its exec.
void WhenModal(QWidget* than, std::function<void(QWidget*)> step) {
  QTimer::singleShot(50, [than, step] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == than) return WhenModal(than, step);
    step(modal);
  });
}

// The print dialog as a user sets it: Properties, landscape (and what `more` adds), OK; then the
// page list and Print.
void AnswerPrintDialog(const QString& pages, std::function<void(QWidget*)> more = {}) {
  WhenModal(nullptr, [pages, more](QWidget* dialog) {
    WhenModal(dialog, [dialog, pages, more](QWidget* properties) {
      properties->findChild<QAbstractButton*>("landscape")->click();
      if (more) more(properties);
      properties->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
      QTimer::singleShot(100, [dialog, pages] {
        dialog->findChild<QAbstractButton*>("pagesRadioButton")->click();
        dialog->findChild<QLineEdit*>("pagesLineEdit")->setText(pages);
        static_cast<QDialog*>(dialog)->accept();
      });
    });
    dialog->findChild<QAbstractButton*>("properties")->click();
  });
}

class NoMessages : public MessageBox {
 public:
  void Show(const std::string& text, const std::string&, MessageIcon) override { ADD_FAILURE() << text; }
};

struct CupsWindow {
  CupsWindow() : window(services), processing(&window), options(&window), dialog(*printer.Printer(), &window) {
    window.Services().printDialog = &dialog;
    window.SetWindows(&splash, &processing, &options);
    window.show();
  }
  QtPrinterDevice printer;
  QtCanvasFactory canvases;
  ExtensionThumbnailLoader loader;
  PosixDirectorySearch directories;
  test::FakePump pump;
  NoMessages messages;
  MainServices services{.printer = &printer, .qprinter = printer.Printer(), .canvases = &canvases,
                        .thumbnails = &loader, .messages = &messages, .printDialog = nullptr, .directories = &directories,
                        .pump = &pump, .chooseFont = {}, .pageSetup = {}, .choosePdfFile = {}, .showProblems = {}, .selections = nullptr, .chooseFolder = {},
                        .choosePageFile = {}, .chooseFolderExport = {}, .chooseSheetPdf = {}, .reportWritten = {}};
  T_Main window;
  T_Splash splash;
  T_Processing processing;
  T_Options options;
  QtPrintDialog dialog;
};

TEST(PrintToCups, LandscapeAndPagesChosenInTheDialogArriveWhole) {
  REQUIRE_CUPS();
  test::Application();
  test::TempTree tree;
  const fs::path samples = test::DataDir().parent_path().parent_path() / "samples";
  for (int i = 0; i < 36; ++i) fs::create_symlink(samples / "rose.jpg", tree.Root() / ("rose-" + std::to_string(100 + i) + ".jpg"));
  CupsWindow cups;
  ASSERT_EQ(cups.printer.Printer()->printerName(), "VirtualPDF");
  cups.window.SelectFolder(QString::fromStdString(tree.Path()));
  cups.window.RowInput->SetValue(4);
  cups.window.ColInput->SetValue(3);
  cups.window.BuildBtn->click();
  ASSERT_EQ(cups.window.PreviewPageNumber->text(), "Page 1 of 3");
  AnswerPrintDialog("1,3");
  cups.window.PrintBtn->click();
  const fs::path pdf = CupsServer::NextPdf();
  ASSERT_FALSE(pdf.empty());
  EXPECT_EQ(PdfInfo(pdf, "Pages"), "2");
  // The queue's paper is portrait A4: CUPS turns each landscape page a quarter onto it.
  const bool turned = PdfInfo(pdf, "Page size").rfind("595 x 842", 0) == 0;
  EXPECT_TRUE(turned || PdfInfo(pdf, "Page size").rfind("842 x 595", 0) == 0) << PdfInfo(pdf, "Page size");
  // Every row on every page: four rows of pictures, the last well above the bottom margin. A layout
  // for portrait paper would run off the landscape page.
  for (const char* page : {"1", "2"}) {
    const fs::path png = pdf.parent_path() / ("page" + std::string(page));
    test::RunCommand("/usr/bin/pdftoppm", {"-f", page, "-l", page, "-r", "30", "-singlefile", "-png", pdf.string(), png.string()});
    QImage image(QString::fromStdString(png.string() + ".png"));
    ASSERT_FALSE(image.isNull());
    if (turned) image = image.transformed(QTransform().rotate(90));
    // A row of pictures is a band of lines crossing the rose's red petals.
    int lowest = 0;
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
      int red = 0;
      for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        red += qRed(pixel) > 150 && qGreen(pixel) < 90 && qBlue(pixel) < 90;
      }
      if (red < 6) continue;
      // Petals and leaves alternate within a picture; a new row starts after a wider white gap.
      if (y - lowest > 5 || rows == 0) ++rows;
      lowest = y;
    }
    EXPECT_EQ(rows, 4) << page;
    EXPECT_LT(lowest, image.height() * 96 / 100) << page;
  }
}

// An lp that keeps its arguments, one per line, installed as the queue program while it lives.
class RecordingLp {
 public:
  RecordingLp() {
    std::ofstream(program_) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n";
    fs::permissions(program_, fs::perms::owner_all);
    QtPrinterDevice::SetQueueProgram(program_.string());
  }
  ~RecordingLp() { QtPrinterDevice::SetQueueProgram("lp"); }
  RecordingLp(const RecordingLp&) = delete;
  RecordingLp& operator=(const RecordingLp&) = delete;
  // The arguments of the last call, each followed by a space.
  std::string Arguments() const {
    std::ifstream in(program_.string() + ".args");
    std::string args;
    for (std::string line; std::getline(in, line);) args += line + " ";
    return args;
  }

 private:
  test::TempTree folder_;
  fs::path program_ = folder_.Root() / "lp";
};

TEST(PrintToCups, OptionsChosenInTheDialogReachLp) {
  REQUIRE_CUPS();
  test::Application();
  const RecordingLp lp;
  QtPrinterDevice printer;
  QtPrintDialog dialog(*printer.Printer(), nullptr);
  AnswerPrintDialog("1", [](QWidget* properties) {
    properties->findChild<QComboBox*>("pagesPerSheetCombo")->setCurrentIndex(1);
    properties->findChild<QSpinBox*>("jobPrioritySpinBox")->setValue(30);
    properties->findChild<QComboBox*>("startBannerPageCombo")->setCurrentIndex(1);
    for (auto* choices : properties->findChildren<QComboBox*>()) {
      if (choices->itemText(0) == "1.1") choices->setCurrentIndex(3);  // the PDF driver's version
    }
  });
  ASSERT_TRUE(dialog.Execute(1, 3).accepted);
  printer.SetTitle("Harbour days");
  printer.BeginDoc();
  printer.EndDoc();
  const std::string args = lp.Arguments();
  for (const char* option : {"-d VirtualPDF ", "-t Harbour days ", "number-up=2 ", "job-priority=30 ",
                             "job-sheets=standard,none ", "print-color-mode=color ", "=1.4 "}) {
    EXPECT_NE(args.find(option), std::string::npos) << option << " not in " << args;
  }
  EXPECT_EQ(args.find("page-ranges"), std::string::npos) << args;
}

// A colour printer is the default here; a job that names another queue takes nothing of it: not
// its layout, not its colour mode.
TEST(PrintToCups, AJobForANamedQueueIsLaidOutAsPdfWhateverTheDefaultPrinter) {
  REQUIRE_CUPS();
  test::Application();
  const RecordingLp lp;
  QtPrinterDevice queued{std::string()};
  QtPrinterDevice pdf{std::string("unused.pdf")};
  EXPECT_EQ(queued.Printer()->outputFormat(), QPrinter::PdfFormat);
  EXPECT_EQ(queued.Printer()->pageRect(QPrinter::DevicePixel), pdf.Printer()->pageRect(QPrinter::DevicePixel));
  queued.SetQueue("Office", {});
  queued.BeginDoc();
  queued.EndDoc();
  const std::string args = lp.Arguments();
  EXPECT_EQ(args.rfind("-d Office -t ", 0), 0u) << args;
  EXPECT_EQ(args.find("print-color-mode"), std::string::npos) << args;
}

TEST(PrintToCups, AHungServerHoldsNeitherTheStartNorThePrintButton) {
  REQUIRE_CUPS();
  test::Application();
  CupsServer::Pause(true);
  const auto started = std::chrono::steady_clock::now();
  int waits = 0;
  const auto wait = [&](const std::string& status) {
    EXPECT_EQ(status, "Looking for printers...");
    return ++waits < 25;  // the user presses Cancel after about a second
  };
  const QtPrinterDevice pdfOnly{std::string("unused.pdf")};  // asks the server nothing
  const auto device = QtPrinterDevice::AskingServerFirst([](const std::string&) { return true; }, 500);
  EXPECT_EQ(device->Printer()->outputFormat(), QPrinter::PdfFormat);
  device->SetWaitHandler(wait);
  EXPECT_FALSE(device->LookUpPrinters());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  // Once the server answers again, its printers are there for the print dialog.
  CupsServer::Pause(false);
  waits = 0;
  EXPECT_TRUE(device->LookUpPrinters());
  EXPECT_EQ(QPrinterInfo::defaultPrinterName(), "VirtualPDF");
}

TEST(PrintToCups, CommandLinePrintsPagesNamedAfterTheTitle) {
  REQUIRE_CUPS();
  const fs::path samples = test::DataDir().parent_path().parent_path() / "samples";
  const auto result = test::RunCommand(test::CliPath(), {"sheet", samples.string(), "--printer", "VirtualPDF", "--pages",
                                                          "2-3", "--rows", "3", "--cols", "2", "--title", "Harbour days"});
  ASSERT_EQ(result.status, 0) << result.err;
  const fs::path pdf = CupsServer::NextPdf();
  ASSERT_FALSE(pdf.empty());
  EXPECT_NE(pdf.filename().string().find("Harbour_days"), std::string::npos) << pdf;
  EXPECT_EQ(PdfInfo(pdf, "Pages"), "2");
}

}  // namespace
}  // namespace tablora
