#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_format.h"
#include "imaging/readers/video_reader.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

const char* const kInvalid = "Cannot load image. Invalid or unexpected video image format.";

fs::path Fixture(const std::string& name) { return test::DataDir() / "video" / name; }

const test::LoadBytesFn LoadAndDecode = test::DecodeWith([] { return TVideoReader(); });

std::string Failure(const std::vector<uint8_t>& bytes) { return test::LoadOutcome(LoadAndDecode, bytes); }

std::map<std::string, std::string> DetailsOf(TVideoReader& reader) {
  std::map<std::string, std::string> details;
  for (const auto& [name, value] : reader.Details()) details[name] = value;
  return details;
}

// ffmpeg's own frame at the poster's time, scaled to the same size, not turned. Sought on the
// output side, which decodes from the start: exact in every container.
std::optional<test::RgbaImage> FfmpegFrame(const fs::path& clip, const std::string& seconds, int width, int height) {
  return test::ToolDecode("ffmpeg",
                          {"-v", "error", "-noautorotate", "-i", "{in}", "-ss", seconds, "-frames:v", "1", "-vf",
                           "scale=" + std::to_string(width) + ":" + std::to_string(height) + ":flags=bicubic",
                           "-pix_fmt", "rgb24", "-y", "{out}"},
                          clip, ".ppm");
}

struct PosterCase {
  const char* file;
  int boxWidth, boxHeight;  // 0: full size
  int width, height;        // what is delivered
  const char* poster;       // its time
};

// Keyframes every second at 5 frames a second: the first at or after a tenth of 2 s is the one at
// 1 s, but for Motion JPEG, whose every frame is one.
TEST(VideoReader, PostersMatchFfmpegsFrameScaledTheSameWay) {
  const PosterCase cases[] = {
      {"h264.mp4", 0, 0, 64, 48, "1.000 s"},    {"h264.mp4", 32, 24, 32, 24, "1.000 s"},
      {"ccw90.mp4", 40, 30, 40, 30, "1.000 s"}, {"hevc180.mov", 16, 16, 22, 16, "1.000 s"},
      {"cw90.mov", 64, 48, 64, 48, "1.000 s"},  {"vp9.webm", 48, 36, 48, 36, "1.000 s"},
      {"mjpeg.avi", 64, 48, 64, 48, "0.200 s"}, {"clip.mts", 32, 24, 32, 24, "1.000 s"},
      {"black_start.mp4", 64, 48, 64, 48, "2.000 s"},
  };
  for (const PosterCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.boxWidth));
    const std::vector<uint8_t> bytes = test::FileBytes(Fixture(c.file));
    TVideoReader reader;
    reader.Load(bytes);
    EXPECT_EQ(reader.Width(), 64);
    EXPECT_EQ(reader.Height(), 48);
    if (c.boxWidth > 0) reader.PrepareFor(c.boxWidth, c.boxHeight);
    const TBitmap& pixels = reader.Pixels();
    ASSERT_EQ(pixels.Width(), c.width);
    ASSERT_EQ(pixels.Height(), c.height);
    const std::string poster = DetailsOf(reader)["poster"];
    EXPECT_EQ(poster, c.poster);
    const auto reference = FfmpegFrame(Fixture(c.file), poster.substr(0, poster.find(' ')), c.width, c.height);
    ASSERT_TRUE(reference) << "ffmpeg";
    test::ExpectPixelsNear(pixels, *reference, 6, c.file);
  }
}

TEST(VideoReader, TheDisplayMatrixIsTheHeadersOrientation) {
  const std::pair<const char*, int> cases[] = {
      {"h264.mp4", 1}, {"ccw90.mp4", 8}, {"hevc180.mov", 3}, {"cw90.mov", 6}, {"vp9.webm", 1}, {"clip.mts", 1}};
  for (const auto& [file, orientation] : cases) {
    SCOPED_TRACE(file);
    const auto header = ProbeVideo(test::FileBytes(Fixture(file)));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->orientation, orientation);
    EXPECT_TRUE(header->anyScale);
    // A transport stream tells its size only in the stream, which the probe does not read.
    EXPECT_EQ(header->width, std::string(file) == "clip.mts" ? 0u : 64u);
  }
  EXPECT_FALSE(ProbeVideo(test::FileBytes(Fixture("text.mp4"))));
}

TEST(VideoReader, DetailsNameContainerCodecDurationRateAndRotation) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("cw90.mov"));
  TVideoReader reader;
  reader.Load(bytes);
  reader.PrepareFor(16, 12);
  reader.Pixels();
  const TReaderDetails expected = {{"container", "QuickTime / MOV"}, {"codec", "H.264"}, {"duration", "0:02"},
                                   {"frame rate", "5 fps"},          {"rotation", "90\xC2\xB0"}, {"poster", "1.000 s"}};
  EXPECT_EQ(reader.Details(), expected);
  const auto facts = ReadVideoFacts(test::FileBytes(Fixture("vp9.webm")));
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->container, "Matroska / WebM");
  EXPECT_EQ(facts->codec, "VP9");
  EXPECT_NEAR(facts->duration, 2.0, 0.01);
}

TEST(VideoReader, DurationsAndRatesReadAsABadgeShowsThem) {
  const std::pair<double, const char*> durations[] = {
      {0, "0:00"}, {0.4, "0:00"}, {7.04, "0:07"}, {59.6, "1:00"}, {750, "12:30"}, {3723, "1:02:03"}, {-5, "0:00"}};
  for (const auto& [seconds, text] : durations) EXPECT_EQ(DurationText(seconds), text) << seconds;
  EXPECT_EQ(FrameRateText(25), "25 fps");
  EXPECT_EQ(FrameRateText(30000.0 / 1001), "29.97 fps");
  EXPECT_EQ(FrameRateText(12.5), "12.5 fps");
}

// Cut to 8 bits, the HLG clip's red is an orange (233, 140, 77): its BT.2020 primaries taken for
// sRGB's. Through the tone curve red is red, and white at the curve's peak stays white.
TEST(VideoReader, HlgClipsAreToneMapped) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("hlg.mp4"));
  TVideoReader reader;
  reader.Load(bytes);
  const TBitmap& pixels = reader.Pixels();
  EXPECT_EQ(reader.SampleColour(), TFormatReader::TSampleColour::scSrgb);
  const TColor red = pixels.PixelColor(8, 24);
  const TColor white = pixels.PixelColor(56, 24);
  EXPECT_GT(GetRValue(white), 210);
  EXPECT_GT(GetGValue(white), 210);
  EXPECT_GT(GetBValue(white), 210);
  EXPECT_GT(GetRValue(red), 200);
  EXPECT_LT(GetGValue(red), 60);
  EXPECT_LT(GetBValue(red), 60);
}

TEST(VideoReader, SignaturesTakeVideoContainersOnly) {
  for (const char* file : {"h264.mp4", "hevc180.mov", "vp9.webm", "mjpeg.avi", "clip.mts", "hlg.mp4"}) {
    EXPECT_TRUE(IsVideo(test::FileBytes(Fixture(file)))) << file;
  }
  EXPECT_FALSE(IsVideo(test::FileBytes(Fixture("text.mp4"))));
  EXPECT_FALSE(IsVideo(test::FileBytes(test::DataDir() / "heif/lossless.heic")));
  EXPECT_FALSE(IsVideo(test::FileBytes(test::DataDir() / "jpeg/colour.jpg")));
  // Every extension of the row reads a clip whatever its container.
  for (const char* extension : {".mp4", ".m4v", ".mov", ".avi", ".mkv", ".webm", ".mts", ".m2ts", ".3gp"}) {
    const TImageFormat* format = FormatForFile(extension, test::FileBytes(Fixture("vp9.webm")));
    ASSERT_NE(format, nullptr) << extension;
    EXPECT_STREQ(format->name, "Video") << extension;
  }
}

TEST(VideoReader, FailuresAreTheReadersOneMessage) {
  const std::vector<uint8_t> good = test::FileBytes(Fixture("h264.mp4"));
  const std::vector<uint8_t> head(good.begin(), good.begin() + 40);
  // The truncated clip lost its keyframes; FFmpeg would read the JPEG as a clip of one frame.
  for (const auto& bytes : {test::FileBytes(Fixture("text.mp4")), test::FileBytes(Fixture("truncated.mp4")), head,
                            test::FileBytes(test::DataDir() / "jpeg/colour.jpg"), std::vector<uint8_t>{}}) {
    EXPECT_EQ(Failure(bytes), kInvalid);
  }
}

TEST(VideoReader, AStreamOverTheImageSizeLimitIsRefusedFromItsHeader) {
  const test::ScopedImageLimit limit(64 * 48 * 3 - 1);
  TVideoReader reader;
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("h264.mp4"));
  try {
    reader.Load(bytes);
    FAIL() << "loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("Image too large"), std::string::npos) << e.what();
  }
}

TEST(VideoReader, ACancelStopsTheDecode) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("h264.mp4"));
  TVideoReader reader;
  reader.Load(bytes);
  TCancelToken token;
  token.Request();
  const TCancelScope scope(token);
  EXPECT_THROW(reader.Pixels(), EAbort);
}

TEST(VideoReader, DamagedClipsLoadOrFailCleanly) {
  for (const char* name : {"h264.mp4", "hevc180.mov", "vp9.webm", "mjpeg.avi", "clip.mts", "hlg.mp4"}) {
    test::DamageSweep(LoadAndDecode, test::FileBytes(Fixture(name)), name, 30);
  }
}

}  // namespace
}  // namespace tablora
