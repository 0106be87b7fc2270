#include <gtest/gtest.h>

#include <QImage>

#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using test::CliPath;
using test::RunCommand;

// decode writes the transparency the file gave as alpha: straight alpha and palette alpha.
TEST(CliPngDecode, WritesTheFilesAlpha) {
  test::TempTree tree;
  const std::string out = tree.Path() + "/out.png";
  struct Case {
    const char* fixture;
    int x, y, alpha;
  };
  for (const Case& c : {Case{"logo-rgba.png", 0, 0, 0}, Case{"logo-rgba.png", 24, 16, 255},
                        Case{"palette-trns.png", 23, 15, 0}, Case{"palette-trns.png", 12, 8, 255},
                        Case{"rgb8.png", 0, 0, 255}}) {
    const auto result = RunCommand(
        CliPath(), {"decode", (test::DataDir() / "png" / c.fixture).string(), "-o", out});
    ASSERT_EQ(result.status, 0) << result.err;
    const QImage decoded(QString::fromStdString(out));
    EXPECT_EQ(qAlpha(decoded.pixel(c.x, c.y)), c.alpha) << c.fixture << " " << c.x << "," << c.y;
  }
  const auto info =
      RunCommand(CliPath(), {"info", (test::DataDir() / "png/logo-rgba.png").string()});
  EXPECT_NE(info.out.find("reader: PNG\nwidth: 48\nheight: 32\norientation: 1\npixel format: 32 bits\n"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("alpha: yes\n"), std::string::npos) << info.out;
}

}  // namespace
}  // namespace tablora
