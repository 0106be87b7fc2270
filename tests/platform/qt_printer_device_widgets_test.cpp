#include "platform/qt_printer_device.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <filesystem>
#include <memory>
#include <regex>

#include <unistd.h>

#include "support/run_command.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "qt_printer_device_widgets_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

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

}  // namespace
}  // namespace tablora
