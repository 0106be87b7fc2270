#include <QImage>
#include <gtest/gtest.h>

#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using test::CliPath;
using test::RunCommand;

// Decodes a fixture through the command and compares it with the reference decode next to it.
void ExpectDecodesLike(const std::string& fixture, const std::string& reference, int tolerance) {
  test::TempTree tree;
  const std::string out = tree.Path() + "/out.png";
  const auto result = RunCommand(CliPath(), {"decode", (test::DataDir() / fixture).string(), "-o", out});
  ASSERT_EQ(result.status, 0) << result.err;
  const QImage decoded = QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32);
  const QImage expected = QImage(QString::fromStdString((test::DataDir() / reference).string()))
                              .convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(expected.isNull()) << reference;
  ASSERT_EQ(decoded.size(), expected.size()) << fixture;
  int worst = 0;
  for (int y = 0; y < decoded.height(); ++y) {
    for (int x = 0; x < decoded.width(); ++x) {
      const QRgb a = decoded.pixel(x, y);
      const QRgb b = expected.pixel(x, y);
      worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                        std::abs(qBlue(a) - qBlue(b))});
    }
  }
  EXPECT_LE(worst, tolerance) << fixture;
}

TEST(CliDecode, BitmapsDecodePixelForPixel) {
  for (const char* name : {"pal1", "pal4", "pal8", "pal8rle", "rgb16-565", "rgb24", "core8"}) {
    ExpectDecodesLike(std::string("bmp/") + name + ".bmp", std::string("bmp/") + name + ".ppm", 0);
  }
}

TEST(CliDecode, PhotoshopDocumentsDecodePixelForPixel) {
  ExpectDecodesLike("psd/indexed8.psd", "psd/indexed8.ppm", 0);
}

TEST(CliDecode, JpegMatchesTheReferenceDecodeClosely) {
  ExpectDecodesLike("jpeg/colour.jpg", "jpeg/colour.ppm", 8);
}

TEST(CliDecode, FailedLoadsPrintTheReadersMessage) {
  test::TempTree tree;
  const std::string out = tree.Path() + "/out.png";
  // Of no format at all: the extension's reader refuses it (a PNG named .jpg would load as PNG).
  tree.File("not-a-jpeg.jpg", "\x89PX is not the start of any picture");
  auto result = RunCommand(CliPath(), {"decode", tree.Path() + "/not-a-jpeg.jpg", "-o", out});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("JPEG error #"), std::string::npos) << result.err;
  tree.File("broken.bmp", "BMxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
  result = RunCommand(CliPath(), {"decode", tree.Path() + "/broken.bmp", "-o", out});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Bitmap image is not valid"), std::string::npos) << result.err;
  tree.File("short.bmp", "BM");
  result = RunCommand(CliPath(), {"decode", tree.Path() + "/short.bmp", "-o", out});
  EXPECT_NE(result.err.find("Stream read error"), std::string::npos) << result.err;
}

TEST(CliDecode, UsageErrors) {
  EXPECT_EQ(RunCommand(CliPath(), {"decode"}).status, 2);
  EXPECT_EQ(RunCommand(CliPath(), {"decode", "x.bmp"}).status, 2);
  EXPECT_EQ(RunCommand(CliPath(), {"info"}).status, 2);
  EXPECT_EQ(RunCommand(CliPath(), {"decode", "--help"}).status, 0);
}

TEST(CliInfo, PrintsNameValueLines) {
  const auto result = RunCommand(CliPath(), {"info", (test::DataDir() / "bmp/pal8.bmp").string()});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("reader: BMP\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("pixel format: 8 bits\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("width: "), std::string::npos);
  const auto jpeg = RunCommand(CliPath(), {"info", (test::DataDir() / "jpeg/colour.jpg").string()});
  EXPECT_NE(jpeg.out.find("reader: JPEG\n"), std::string::npos) << jpeg.out;
  EXPECT_NE(jpeg.out.find("orientation: 1\n"), std::string::npos) << jpeg.out;
  const auto turned = RunCommand(CliPath(), {"info", (test::DataDir() / "orientation/o6.jpg").string()});
  EXPECT_NE(turned.out.find("orientation: 6\n"), std::string::npos) << turned.out;
  // The reader is the content's when the extension lies.
  const auto misnamed = RunCommand(CliPath(), {"info", (test::DataDir() / "jpeg/png-named.jpg").string()});
  EXPECT_NE(misnamed.out.find("reader: PNG\n"), std::string::npos) << misnamed.out;
  // A camera RAW file names its camera and what was drawn of it.
  const auto raw = RunCommand(CliPath(), {"info", (test::DataDir() / "raw/cfa.dng").string()});
  EXPECT_NE(raw.out.find("orientation: 6\n"), std::string::npos) << raw.out;
  EXPECT_NE(raw.out.find("camera: Tablora Synthetic Bayer\nsource: raw 32x24 (half-size demosaic)\n"), std::string::npos)
      << raw.out;
  const auto help = RunCommand(CliPath(), {"decode", "--help"});
  EXPECT_NE(help.out.find(" .bmp .dib .rle "), std::string::npos) << help.out;
  // A clip names its container, codec, size, duration, frame rate and rotation.
  const auto clip = RunCommand(CliPath(), {"info", (test::DataDir() / "video/cw90.mov").string()});
  EXPECT_NE(clip.out.find("reader: Video\nwidth: 64\nheight: 48\norientation: 6\n"), std::string::npos) << clip.out;
  EXPECT_NE(clip.out.find("container: QuickTime / MOV\ncodec: H.264\nduration: 0:02\nframe rate: 5 fps\n"
                          "rotation: 90\xC2\xB0\nposter: 1.000 s\n"),
            std::string::npos)
      << clip.out;
}

}  // namespace
}  // namespace tablora
