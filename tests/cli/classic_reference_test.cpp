// The Classic layout is the page the program has always drawn: pages of samples/ drawn now are
// compared pixel for pixel with those drawn before layouts became templates (tests/data/classic).
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using test::CliPath;
using test::RunCommand;

// Where two pictures differ, for the failure message: the count and the box around them.
std::string Difference(const QImage& got, const QImage& want) {
  if (got.size() != want.size()) {
    return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height()) + " instead of " +
           std::to_string(want.width()) + "x" + std::to_string(want.height());
  }
  int count = 0, left = got.width(), top = got.height(), right = -1, bottom = -1;
  for (int y = 0; y < got.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(got.constScanLine(y));
    const auto* b = reinterpret_cast<const QRgb*>(want.constScanLine(y));
    for (int x = 0; x < got.width(); ++x) {
      if (a[x] == b[x]) continue;
      ++count;
      left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  if (count == 0) return {};
  return std::to_string(count) + " pixels differ within (" + std::to_string(left) + "," + std::to_string(top) +
         ")-(" + std::to_string(right) + "," + std::to_string(bottom) + ")";
}

TEST(ClassicLayout, PagesAreThoseDrawnBeforeTemplates) {
  const std::string samples = (test::DataDir().parent_path().parent_path() / "samples").string();
  const std::vector<std::string> common = {"--no-cache", "--jobs", "1", "--quiet", "--title", "Harbour days"};
  struct Case {
    std::vector<std::string> args;
    std::string written;    // in the output folder
    std::string reference;  // in tests/data/classic
  };
  const std::vector<Case> cases = {
      {{"preview", samples, "-o", "p.png", "--rows", "3", "--cols", "2"}, "p.png", "preview-3x2-p1.png"},
      {{"preview", samples, "-o", "p.png", "--page", "2", "--rows", "3", "--cols", "2", "--facing"},
       "p.png",
       "preview-3x2-facing-p2.png"},
      {{"preview", samples, "-o", "p.png", "--size", "600x700"}, "p.png", "preview-600x700.png"},
      {{"sheet", samples, "-o", "page.png"}, "page-001.png", "page600-p1.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reference);
    test::TempTree out;
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
      if (arg == "p.png" || arg == "page.png") arg = out.Path() + "/" + arg;
    }
    args.insert(args.end(), common.begin(), common.end());
    // No template the machine's user last chose may stand in for Classic.
    const auto result = RunCommand(CliPath(), args, {"XDG_CONFIG_HOME=" + out.Path()});
    ASSERT_EQ(result.status, 0) << result.err;
    const QImage got = QImage(QString::fromStdString(out.Path() + "/" + c.written)).convertToFormat(QImage::Format_RGB32);
    const QImage want =
        QImage(QString::fromStdString((test::DataDir() / "classic" / c.reference).string())).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(want.isNull());
    EXPECT_EQ(Difference(got, want), "");
  }
}

// A template by name or file lays the pages out; a template that cannot be used is a wrong
// argument naming its file and setting; without --template the window's last choice counts.
TEST(TemplateOption, NamesAndFilesChooseTheLayout) {
  test::TempTree tree;
  const std::string samples = (test::DataDir().parent_path().parent_path() / "samples").string();
  const std::vector<std::string> config = {"XDG_CONFIG_HOME=" + tree.Path()};
  const auto pages = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"list", samples, "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto result = RunCommand(CliPath(), args, config);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1);
  };
  EXPECT_EQ(pages({}), "14 files, 1 pages\n");
  // One page per folder.
  EXPECT_EQ(pages({"--template", "Archive index"}), "14 files, 3 pages\n");
  EXPECT_EQ(pages({"--template", "Archive index", "--rows", "1", "--cols", "1"}), "14 files, 14 pages\n");
  tree.File("mine.json", R"({"version": 1, "name": "Mine", "grid": {"rows": 2, "columns": 2}})");
  EXPECT_EQ(pages({"--template", tree.Path() + "/mine.json"}), "14 files, 5 pages\n");
  tree.File("Tablora/templates/Mine.json", R"({"version": 1, "name": "Mine", "grid": {"rows": 1, "columns": 2}})");
  tree.File("Tablora/templates/.last-used", "Mine\n");
  EXPECT_EQ(pages({}), "14 files, 8 pages\n");

  tree.File("bad.json", R"({"version": 1, "name": "Bad", "text": {"captions": [{"text": "{nmae}"}]}})");
  const auto bad = RunCommand(CliPath(), {"list", samples, "--template", tree.Path() + "/bad.json"}, config);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("option --template: " + tree.Path() + "/bad.json: text.captions[0].text: unknown field {nmae}"),
            std::string::npos)
      << bad.err;
  const auto missing = RunCommand(CliPath(), {"list", samples, "--template", "Nowhere"}, config);
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("No template named \"Nowhere\""), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace tablora
