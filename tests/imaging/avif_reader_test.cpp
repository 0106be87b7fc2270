#include "imaging/readers/avif_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/icc_profile.h"
#include "imaging/icc_transform.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

fs::path Fixture(const std::string& name) { return test::DataDir() / "avif" / name; }

const test::LoadBytesFn LoadAndDecode = test::DecodeWith([] { return TAvifReader(); });

// avifdec writes the first frame of a sequence and the last layer of a progressive file, with
// limited-range alpha expanded, as this reader draws them.
TEST(AvifReader, DecodesAsAvifdecDoes) {
  const struct {
    fs::path file;
    int tolerance;
    const char* source;
  } kFiles[] = {
      {Fixture("sequence.avifs"), 0, "frame 1 of 3"},  // the rose, not its negative
      {Fixture("alpha-limited.avif"), 0, ""},           // libheif: alpha 16..235, a grey box
      {test::DataDir() / "heif/lossless.avif", 0, ""},
      {test::DataDir() / "heif/deep10.avif", 0, ""},
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.file.filename().string());
    TAvifReader reader;
    const std::vector<uint8_t> bytes = test::FileBytes(f.file);
    reader.Load(bytes);
    const auto reference = test::ToolDecode("avifdec", {"{in}", "{out}"}, f.file, ".png");
    ASSERT_TRUE(reference);
    EXPECT_EQ(reader.Width(), reference->width);
    EXPECT_EQ(reader.Height(), reference->height);
    test::ExpectPixelsNear(reader.Pixels(), *reference, f.tolerance, f.file.filename().string(), true);
    const TReaderDetails details = reader.Details();
    EXPECT_EQ(details.empty() ? "" : details[0].second, f.source);
  }
  // The logo's transparent corner is transparent, not 16 of 255.
  TAvifReader reader;
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("alpha-limited.avif"));
  reader.Load(bytes);
  EXPECT_EQ(reader.Pixels().ScanLine(0)[3], 0);
}

// libavif 0.11 refuses to convert matrix 16 (avifdec: "Conversion to RGB failed"); the reader
// undoes it itself, losslessly.
TEST(AvifReader, YCgCoReComesBackAsTheRgbItWasMadeFrom) {
  TAvifReader reader;
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("ycgco-re.avif"));
  reader.Load(bytes);
  const auto rose = test::MagickDecode(Fixture("rose.png"));
  ASSERT_TRUE(rose);
  test::ExpectPixelsNear(reader.Pixels(), *rose, 0, "ycgco-re.avif");
}

// The crop, turn and mirror as libheif applies them (avifdec leaves them to the viewer).
TEST(AvifReader, CropTurnAndMirrorAsHeifConvertShowsThem) {
  TAvifReader reader;
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("turned.avif"));
  reader.Load(bytes);
  EXPECT_EQ(reader.Width(), 40);
  EXPECT_EQ(reader.Height(), 60);
  const auto header = ProbeAvif(bytes);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width, 40u);
  EXPECT_EQ(header->height, 60u);
  const auto reference = test::ToolDecode("heif-convert", {"{in}", "{out}"}, Fixture("turned.avif"), ".png");
  ASSERT_TRUE(reference);
  test::ExpectPixelsNear(reader.Pixels(), *reference, 0, "turned.avif");
}

// A grey picture's grey profile (gamma 1.8) applies to its grey pixels delivered as RGB: mid grey
// 128 is 146 in sRGB, as Little CMS's own tificc converts the same ramp (within 2 levels in the
// deepest shadows, where both round their tables: 5 is 2.77, tificc gives 4, the program 2).
TEST(AvifReader, AGreyProfileAppliesToTheGreyPicture) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("grey-icc.avif"));
  const TIccProfile profile = EmbeddedProfile(*FormatByExtension(".avif"), bytes);
  EXPECT_EQ(IccDescription(profile), "Grey gamma 1.8");
  ASSERT_TRUE(TIccTransform::ToSrgb(profile, false));
  TAvifReader reader;
  reader.Load(bytes);
  TBitmap pixels = reader.Pixels();
  ConvertToSrgb(pixels, profile);
  EXPECT_EQ(pixels.ScanLine(0)[128 * 3], 146);
  const auto reference = test::ToolDecode(
      "tificc", {"-t0", "-i", Fixture("grey18.icc").string(), "-o", "/usr/share/color/icc/colord/sRGB.icc", "{in}", "{out}"},
      Fixture("grey-ramp.tif"), ".tif");
  ASSERT_TRUE(reference);
  test::ExpectPixelsNear(pixels, *reference, 2, "grey-icc.avif");
}

TEST(AvifReader, SequencesAreAdmittedAsAvifs) {
  const TImageFormat* format = FormatByExtension(".avifs");
  ASSERT_NE(format, nullptr);
  EXPECT_STREQ(format->name, "AVIF");
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("sequence.avifs"));
  EXPECT_TRUE(IsAvif(bytes));
  EXPECT_EQ(FormatForFile(".avif", bytes), format);
  EXPECT_FALSE(IsAvif(test::FileBytes(test::DataDir() / "heif/lossless.heic")));
}

TEST(AvifReader, FailuresAreTheReadersOneMessage) {
  const std::vector<uint8_t> good = test::FileBytes(Fixture("alpha-limited.avif"));
  const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  const std::vector<uint8_t> head(good.begin(), good.begin() + 40);
  for (const auto& bytes : {cut, head, std::vector<uint8_t>{}}) {
    EXPECT_EQ(test::LoadOutcome(LoadAndDecode, bytes), "Cannot load image. Invalid or unexpected AVIF image format.");
  }
  const test::ScopedImageLimit limit(1000);
  EXPECT_NE(test::LoadOutcome(LoadAndDecode, good).find("Image too large"), std::string::npos);
}

TEST(AvifReader, ACancelStopsTheDecodeOnItsOwnThreadOnly) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("sequence.avifs"));
  TCancelToken stop;
  stop.Request();
  TCancelScope scope(stop);
  EXPECT_THROW(LoadAndDecode(bytes), EAbort);
  std::thread([&] { EXPECT_NO_THROW(LoadAndDecode(bytes)); }).join();
}

// The conformance files libheif 1.15 refuses or draws at another size than it reports: each at
// avifdec's size and within a level or two of its pixels.
TEST(AvifReader, ConformanceFilesAsAvifdecDrawsThem) {
  const fs::path folder = test::CorpusDir() / "modern-conformance";
  if (!fs::exists(folder)) GTEST_SKIP() << "no corpus";
  for (const char* name : {"av1-avif-netflix/alpha_video.avif", "av1-avif-xiph/tiger_3layer_3res.avif",
                           "av1-avif-xiph/fruits_2layer_thumbsize.avif", "av1-avif-apple/animals_00_multilayer_a1op.avif",
                           "av1-avif-apple/animals_00_multilayer_grid_lsel.avif"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = test::FileBytes(folder / name);
    TAvifReader reader;
    reader.Load(bytes);
    const auto reference = test::ToolDecode("avifdec", {"{in}", "{out}"}, folder / name, ".png");
    ASSERT_TRUE(reference);
    EXPECT_EQ(reader.Width(), reference->width);
    EXPECT_EQ(reader.Height(), reference->height);
    test::ExpectPixelsNear(reader.Pixels(), *reference, 1, name);
    EXPECT_EQ(reader.Width(), reader.Pixels().Width());
  }
}

TEST(AvifReader, DamagedFilesLoadOrFailCleanly) {
  for (const char* name : {"sequence.avifs", "alpha-limited.avif", "ycgco-re.avif", "turned.avif", "grey-icc.avif"}) {
    test::DamageSweep(LoadAndDecode, test::FileBytes(Fixture(name)), name, 40, 400);
  }
}

}  // namespace
}  // namespace tablora
