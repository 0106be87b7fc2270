#include "platform/output_file.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/hostile_files.h"
#include "support/qt_environment.h"
#include "support/sheet_fakes.h"

namespace tablora {
namespace {

const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment<QGuiApplication>());

// A whole file passes; the same file cut short or with a few bytes lost in the middle (a write
// that failed while later ones succeeded) does not, and the message names the target.
TEST(OutputFile, OnlyWholePdfAndPngFilesPassTheCheck) {
  test::TempTree tree;
  {
    QPdfWriter pdf(QString::fromStdString(tree.Path() + "/made.pdf"));
    QPainter painter(&pdf);
    painter.drawText(100, 100, "Page one");
    pdf.newPage();
    painter.drawText(100, 100, "Page two");
  }
  QImage picture(64, 32, QImage::Format_RGB32);
  picture.fill(Qt::red);
  picture.save(QString::fromStdString(tree.Path() + "/made.png"), "PNG");
  for (const char* kind : {"pdf", "png"}) {
    const std::string whole = test::Contents(tree.Path() + "/made." + kind);
    const std::string damaged[] = {whole, whole.substr(0, whole.size() - 2), whole.substr(0, whole.size() / 2), "",
                                   whole.substr(0, whole.size() / 2) + whole.substr(whole.size() / 2 + 16)};
    for (const std::string& content : damaged) {
      const std::string temporary = CreateTemporaryBeside(tree.Path() + "/out." + kind);
      EXPECT_EQ(TargetOfTemporary(temporary), tree.Path() + "/out." + kind);
      test::WriteFile(temporary, content);
      if (&content == &damaged[0]) {
        EXPECT_NO_THROW(CheckOutput(temporary)) << kind;
        CommitOutput(temporary);
        EXPECT_EQ(test::Contents(tree.Path() + "/out." + kind), whole);
        continue;
      }
      try {
        CheckOutput(temporary);
        ADD_FAILURE() << kind << " of " << content.size() << " bytes passed";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), CannotWrite(tree.Path() + "/out." + kind, "the file was not written completely"));
      }
    }
  }
  const std::string relative = CreateTemporaryBeside("relative.pdf");
  EXPECT_EQ(TargetOfTemporary(relative), "relative.pdf");
  std::filesystem::remove(relative);
}

// Peak resident memory of this process in kilobytes since the last ResetPeakMemory.
long PeakKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

bool ResetPeakMemory() { return std::ofstream("/proc/self/clear_refs") << "5" << std::flush ? true : false; }

// The check reads where the cross-reference table points, not the whole file: a sheet of many
// pages is checked in a few pages of memory, whatever its size.
TEST(OutputFile, CheckingALargePdfKeepsLittleOfItInMemory) {
  test::TempTree tree;
  const std::string temporary = CreateTemporaryBeside(tree.Path() + "/large.pdf");
  {
    // 1,000 objects 64 KB apart: 64 MB.
    std::ofstream pdf(temporary, std::ios::binary);
    pdf << "%PDF-1.4\n";
    const std::string filler(64 << 10, ' ');
    std::vector<std::streamoff> offsets;
    for (int k = 1; k <= 1000; ++k) {
      offsets.push_back(pdf.tellp());
      pdf << k << " 0 obj\n<< >>\nendobj\n" << filler << "\n";
    }
    const std::streamoff table = pdf.tellp();
    pdf << "xref\n0 1001\n0000000000 65535 f \n";
    char entry[32];
    for (const std::streamoff offset : offsets) {
      std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(offset));
      pdf << entry;
    }
    pdf << "trailer\n<< /Size 1001 >>\nstartxref\n" << table << "\n%%EOF\n";
  }
  if (!ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
  const long before = PeakKilobytes();
  EXPECT_NO_THROW(CheckOutput(temporary));
  EXPECT_LT(PeakKilobytes() - before, 8 << 10);
  DiscardTemporary(temporary);
}

// A JPEG's scan data has no lengths to check, but its writer takes no byte after a failed write:
// a file that stops before its end marker is what a failure leaves.
TEST(OutputFile, AJpegPassesOnlyFromItsStartToItsEndMarker) {
  test::TempTree tree;
  QImage picture(64, 32, QImage::Format_RGB32);
  picture.fill(Qt::red);
  picture.save(QString::fromStdString(tree.Path() + "/made.jpg"), "JPEG");
  const std::string whole = test::Contents(tree.Path() + "/made.jpg");
  for (const std::string& content : {whole, whole.substr(0, whole.size() - 2), whole.substr(0, whole.size() / 2),
                                     std::string(), whole.substr(2)}) {
    const std::string temporary = CreateTemporaryBeside(tree.Path() + "/out.jpeg");
    test::WriteFile(temporary, content);
    if (content == whole) {
      EXPECT_NO_THROW(CheckOutput(temporary));
    } else {
      EXPECT_THROW(CheckOutput(temporary), std::runtime_error) << content.size();
    }
    DiscardTemporary(temporary);
  }
}

// The temporary's name is short whatever the target's: a target of 255 bytes, the most a name
// may have, is written through a temporary in its own folder.
TEST(OutputFile, ATargetOfTheLongestNameIsWritten) {
  test::TempTree tree;
  for (const char* kind : {".pdf", ".png"}) {
    const std::string target = tree.Path() + "/" + std::string(255 - 4, 'n') + kind;
    const std::string temporary = CreateTemporaryBeside(target);
    EXPECT_EQ(std::filesystem::path(temporary).parent_path(), tree.Root());
    EXPECT_EQ(TargetOfTemporary(temporary), target);
    test::WriteFile(temporary, kind);
    CommitOutput(temporary);
    EXPECT_EQ(test::Contents(target), kind);
    EXPECT_EQ(TargetOfTemporary(temporary), temporary);  // committed: it stands for nothing now
  }
  const std::string discarded = CreateTemporaryBeside(tree.Path() + "/gone.pdf");
  DiscardTemporary(discarded);
  EXPECT_FALSE(std::filesystem::exists(discarded));
  EXPECT_EQ(test::FilesIn(tree.Path()).size(), 2u);
}

}  // namespace
}  // namespace tablora
