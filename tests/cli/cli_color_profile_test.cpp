#include <gtest/gtest.h>

#include <QImage>

#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using test::CliPath;
using test::RunCommand;

// info names the profile a file's pixels are converted from; decode writes them as sRGB, alpha kept.
TEST(CliColorProfile, InfoNamesTheProfileAndDecodeWritesSrgb) {
  test::TempTree tree;
  const std::string out = tree.Path() + "/out.png";
  struct Case {
    const char* fixture;
    const char* profile;
    QRgb pixel;
  };
  for (const Case& c : {Case{"icc/swapped.png", "Swapped Red and Green", qRgb(30, 220, 30)},
                        Case{"icc/exif-r03.jpg", "Adobe RGB (1998)", qRgb(255, 24, 24)},
                        Case{"icc/exif-srgb.jpg", "none", qRgb(220, 30, 30)},
                        Case{"icc/cyan.tif", "Tablora test press CMYK", qRgb(0, 174, 239)},
                        Case{"icc/red-press.jpg", "none", qRgb(220, 30, 30)},
                        Case{"png/logo-rgba.png", "none", 0},
                        // JPEG XL: libjxl's sRGB out of XYB, the data's profile through the colour
                        // stage, CMYK through its profile in the reader.
                        Case{"jxl/swapped.jxl", "Swapped Red and Green", qRgb(30, 220, 30)},
                        // cjxl keeps the swapping profile of a lossy picture as primaries: red's where green's are.
                        Case{"jxl/swapped-xyb.jxl", "RGB_0.312715;0.32912_0.3;0.599998;0.640004;0.33001;0.150002;0.060006_Per_SRG",
                             qRgb(30, 220, 30)},
                        Case{"jxl/lossless.jxl", "RGB_D65_SRG_Per_SRG", 0},
                        Case{"jxl/grey-linear.jxl", "Gra_D65_Rel_Lin", 0},
                        Case{"jxl/bt709.jxl", "RGB_D65_SRG_Rel_709", 0},
                        Case{"jxl/prophoto16.jxl", "ProPhoto RGB", 0},
                        Case{"jxl/cmyk.jxl", "Tablora test press CMYK", 0}}) {
    const std::string file = (test::DataDir() / c.fixture).string();
    const auto info = RunCommand(CliPath(), {"info", file});
    EXPECT_NE(info.out.find(std::string("\nprofile: ") + c.profile + "\n"), std::string::npos) << info.out;
    ASSERT_EQ(RunCommand(CliPath(), {"decode", file, "-o", out}).status, 0) << c.fixture;
    const QImage decoded(QString::fromStdString(out));
    if (c.pixel != 0) {
      const QRgb got = decoded.pixel(3, 3);
      EXPECT_LE(std::abs(qRed(got) - qRed(c.pixel)) + std::abs(qGreen(got) - qGreen(c.pixel)) +
                    std::abs(qBlue(got) - qBlue(c.pixel)), 8) << c.fixture;
    }
  }
}

}  // namespace
}  // namespace tablora
