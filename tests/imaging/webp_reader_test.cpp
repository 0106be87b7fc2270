#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/exceptions.h"
#include "imaging/readers/webp_reader.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

const char* const kInvalid = "Cannot load image. Invalid or unexpected WebP image format.";

fs::path Fixture(const std::string& name) { return test::DataDir() / "webp" / name; }

const test::LoadBytesFn LoadAndDecode = test::DecodeWith([] { return TWebPReader(); });

std::string Failure(const std::vector<uint8_t>& bytes) { return test::LoadOutcome(LoadAndDecode, bytes); }

TEST(WebPReader, DecodesAsDwebpDoes) {
  for (const char* name : {"lossy.webp", "lossless.webp", "alpha.webp", "orient6.webp"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = test::FileBytes(Fixture(name));
    TWebPReader reader;
    reader.Load(bytes);
    const auto reference = test::ToolDecode("dwebp", {"-pam", "{in}", "-o", "{out}"}, Fixture(name), ".pam");
    ASSERT_TRUE(reference);
    EXPECT_EQ(reader.Width(), reference->width);
    EXPECT_EQ(reader.Height(), reference->height);
    test::ExpectPixelsNear(reader.Pixels(), *reference, 0, name, true);
  }
}

TEST(WebPReader, DecodesStraightToTheSizeAskedFor) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("lossy.webp"));
  TWebPReader reader;
  reader.Load(bytes);
  ASSERT_EQ(reader.Width(), 140);
  reader.PrepareFor(35, 20);  // the width needs more: 35 × 23
  const TBitmap& pixels = reader.Pixels();
  EXPECT_EQ(pixels.Width(), 35);
  EXPECT_EQ(pixels.Height(), 23);
  const auto reference =
      test::ToolDecode("dwebp", {"-pam", "-scale", "35", "23", "{in}", "-o", "{out}"}, Fixture("lossy.webp"), ".pam");
  ASSERT_TRUE(reference);
  test::ExpectPixelsNear(pixels, *reference, 0, "scaled");
  // Never larger than stored.
  TWebPReader whole;
  whole.Load(bytes);
  whole.PrepareFor(1000, 1000);
  EXPECT_EQ(whole.Pixels().Width(), 140);
}

TEST(WebPReader, AnAnimationShowsItsFirstFrame) {
  TWebPReader reader;
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("animated.webp"));
  reader.Load(bytes);
  reader.PrepareFor(10, 10);  // animations are not scaled
  const TBitmap& pixels = reader.Pixels();
  ASSERT_EQ(pixels.Width(), 140);
  ASSERT_EQ(pixels.Height(), 92);
  // The second frame paints an orange rectangle at 60,40; the first is all blue.
  EXPECT_EQ(pixels.PixelColor(70, 50), RGB(0x20, 0x80, 0xC0));
  EXPECT_EQ(pixels.PixelColor(0, 0), RGB(0x20, 0x80, 0xC0));
}

TEST(WebPReader, ProbeGivesSizeOrientationAndAnyScale) {
  const auto turned = ProbeWebP(test::FileBytes(Fixture("orient6.webp")));
  ASSERT_TRUE(turned);
  EXPECT_EQ(turned->orientation, 6);
  EXPECT_EQ(turned->width, 140u);
  EXPECT_EQ(turned->height, 92u);
  EXPECT_TRUE(turned->anyScale);
  const auto animated = ProbeWebP(test::FileBytes(Fixture("animated.webp")));
  ASSERT_TRUE(animated);
  EXPECT_FALSE(animated->anyScale);
  EXPECT_EQ(animated->orientation, 1);
  EXPECT_FALSE(ProbeWebP(test::FileBytes(test::DataDir() / "jpeg/colour.jpg")));
}

TEST(WebPReader, FailuresAreTheReadersOneMessage) {
  const std::vector<uint8_t> good = test::FileBytes(Fixture("lossy.webp"));
  std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  std::vector<uint8_t> notWebP = test::FileBytes(test::DataDir() / "jpeg/colour.jpg");
  std::vector<uint8_t> emptyRiff = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'};
  for (const auto& bytes : {cut, notWebP, emptyRiff, std::vector<uint8_t>{}}) {
    EXPECT_EQ(Failure(bytes), kInvalid);
  }
}

TEST(WebPReader, AHugeClaimFailsByTheImageSizeLimitBeforeDecoding) {
  // The VP8 frame header's 14-bit width and height, both set to 16383.
  std::vector<uint8_t> bytes = test::FileBytes(Fixture("lossy.webp"));
  ASSERT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "VP8 ");
  bytes[26] = 0xFF;
  bytes[27] = 0x3F;
  bytes[28] = 0xFF;
  bytes[29] = 0x3F;
  const test::ScopedImageLimit limit(uint64_t{64} << 20);
  EXPECT_NE(Failure(bytes).find("Image too large"), std::string::npos) << Failure(bytes);
}

TEST(WebPReader, CorpusFilesLoadAtTheirProbedSize) {
  const fs::path folder = test::CorpusDir() / "modern" / "more" / "webp";
  if (!fs::exists(folder)) GTEST_SKIP() << "no corpus";
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<uint8_t> bytes = test::FileBytes(entry.path());
    const auto header = ProbeWebP(bytes);
    ASSERT_TRUE(header);
    TWebPReader reader;
    reader.Load(bytes);
    reader.PrepareFor(300, 300);
    const TBitmap& pixels = reader.Pixels();
    EXPECT_GE(pixels.Width(), std::min<int>(300, static_cast<int>(header->width)));
    EXPECT_LE(static_cast<uint32_t>(pixels.Width()), header->width);
    ++files;
  }
  EXPECT_GE(files, 9);
  for (const test::CorpusFile& file : test::CorpusFiles("modern/", ".webp")) {
    SCOPED_TRACE(file.path.string());
    const std::string outcome = Failure(test::FileBytes(file.path));
    if (file.status == "good") {
      EXPECT_EQ(outcome, "");
    } else if (!outcome.empty()) {
      EXPECT_EQ(outcome, kInvalid);  // what is left of a stripped file may still be a picture
    }
  }
}

TEST(WebPReader, DamagedFilesLoadOrFailCleanly) {
  for (const char* name : {"lossy.webp", "lossless.webp", "alpha.webp", "animated.webp", "orient6.webp"}) {
    test::DamageSweep(LoadAndDecode, test::FileBytes(Fixture(name)), name);
  }
}

}  // namespace
}  // namespace tablora
