#include <QApplication>
#include <QPrinter>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "platform/qt_printer_device.h"
#include "support/hostile_files.h"
#include "support/qt_environment.h"

namespace tablora {
namespace {

const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment<QApplication>());

// Print to a file, as the window's print dialog sets it up, onto a disk with room for a few
// kilobytes: the job fails in words the "Tablora" box shows, the earlier file stays, and nothing
// else is left; with room, the file takes the name.
TEST(PrintToFile, AFileThatCannotBeWrittenWholeFailsAndKeepsTheEarlierOne) {
  test::ScratchDisk disk(256);
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  const std::string target = disk.Path() + "/sheet.pdf";
  test::WriteFile(target, "earlier");
  test::WriteFile(disk.Path() + "/fill", std::string(200 << 10, '\0'));
  // Noise does not compress: the page's file needs far more than the disk has left.
  TBitmap noise;
  noise.SetPixelFormat(pf24bit);
  noise.SetSize(400, 400);
  std::mt19937 random(17);
  for (int y = 0; y < noise.Height(); ++y) {
    for (std::size_t x = 0; x < noise.RowSize(); ++x) noise.ScanLine(y)[x] = static_cast<uint8_t>(random());
  }
  for (const bool full : {true, false}) {
    if (!full) std::filesystem::remove(disk.Path() + "/fill");
    QtPrinterDevice printer;
    printer.Printer()->setOutputFormat(QPrinter::PdfFormat);
    printer.Printer()->setOutputFileName(QString::fromStdString(target));
    printer.BeginDoc();
    printer.Canvas().StretchDraw(Rect(0, 0, 2000, 2000), noise);
    if (full) {
      try {
        printer.EndDoc();
        ADD_FAILURE() << "the job ended as if written";
      } catch (const EPrinter& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write '" + target + "': No space left on device");
      }
      EXPECT_EQ(test::FilesIn(disk.Path()), (std::vector<std::string>{"fill", "sheet.pdf"}));
      EXPECT_EQ(test::Contents(target), "earlier");
    } else {
      printer.EndDoc();
      EXPECT_EQ(test::FilesIn(disk.Path()), std::vector<std::string>{"sheet.pdf"});
      EXPECT_GT(std::filesystem::file_size(target), 100000u);
    }
    EXPECT_EQ(printer.Printer()->outputFileName().toStdString(), target);
  }
}

}  // namespace
}  // namespace tablora
