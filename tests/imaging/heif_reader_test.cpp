#include <gtest/gtest.h>

#include <malloc.h>

#include <filesystem>

#include "imaging/exceptions.h"
#include "imaging/icc_profile.h"
#include "imaging/image_format.h"
#include "imaging/readers/avif_reader.h"
#include "imaging/readers/heif_reader.h"
#include "imaging/reduce.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

fs::path Fixture(const std::string& name) { return test::DataDir() / "heif" / name; }

const test::LoadBytesFn LoadAndDecode = test::DecodeWith([] { return THeifReader("HEIF"); });

std::string Failure(const std::vector<uint8_t>& bytes, const char* name = "HEIF") {
  return test::LoadOutcome(test::DecodeWith([name] { return THeifReader(name); }), bytes);
}

TEST(HeifReader, DecodesAsHeifConvertDoes) {
  const struct {
    const char* name;
    int tolerance;
    bool alpha;
  } kFiles[] = {
      {"lossless.heic", 0, false}, {"lossless.avif", 0, false}, {"alpha.heic", 0, true},
      {"thumb.heic", 0, false},    {"deep10.avif", 2, false},  // 10 bits to 8, rounded either way
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.name);
    const std::vector<uint8_t> bytes = test::FileBytes(Fixture(f.name));
    THeifReader reader("HEIF");
    reader.Load(bytes);
    const auto reference = test::ToolDecode("heif-convert", {"{in}", "{out}"}, Fixture(f.name), ".png");
    ASSERT_TRUE(reference);
    EXPECT_EQ(reader.Width(), reference->width);
    EXPECT_EQ(reader.Height(), reference->height);
    test::ExpectPixelsNear(reader.Pixels(), *reference, f.tolerance, f.name, f.alpha);
  }
}

// libheif hands back the nclx profile it allocated also when it refuses the profile's colour
// primaries (a reserved code here): the reader's HDR check and the colour profile free it, so
// a folder of such files does not grow the program's memory (104 bytes a file each before).
TEST(HeifReader, RefusedNclxProfilesAreFreed) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("pq10-reserved-primaries.heic"));
  const TImageFormat& format = *FormatByExtension(".heic");
  const auto once = [&] {
    THeifReader reader("HEIF");
    reader.Load(bytes);
    reader.Pixels();
    EXPECT_TRUE(EmbeddedProfile(format, bytes).empty());
  };
  once();
  const auto inUse = [] { return static_cast<int64_t>(mallinfo2().uordblks); };
  const int64_t before = inUse();
  for (int i = 0; i < 300; ++i) once();
  EXPECT_LT(inUse() - before, 300 * 50);
}

// An AV1 picture whose stream dav1d refuses (found by the fuzzer): libheif 1.15's dav1d plugin
// kept the stream of every such decode (40 bytes each); the reader has libaom decode AV1, which
// frees it.
TEST(HeifReader, RefusedAv1StreamsAreFreed) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("crashers/dav1d_refused_stream"));
  const auto once = [&] { EXPECT_EQ(Failure(bytes), "Cannot load image. Invalid or unexpected HEIF image format."); };
  once();
  const auto inUse = [] { return static_cast<int64_t>(mallinfo2().uordblks); };
  const int64_t before = inUse();
  for (int i = 0; i < 300; ++i) once();
  EXPECT_LT(inUse() - before, 300 * 16);
}

TEST(HeifReader, AStoredThumbnailStandsInWhenItCoversTheBox) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("thumb.heic"));
  const struct {
    int32_t w, h;
    const char* source;
  } kBoxes[] = {{60, 40, "thumbnail 64x42"}, {64, 42, "thumbnail 64x42"}, {65, 40, "primary 140x92"}, {100, 66, "primary 140x92"}};
  for (const auto& box : kBoxes) {
    THeifReader reader("HEIF");
    reader.Load(bytes);
    reader.PrepareFor(box.w, box.h);
    // Reduced to the box on the way out of libheif, from whichever image was decoded.
    EXPECT_EQ(reader.Pixels().Width(), box.w) << box.w << "x" << box.h;
    EXPECT_EQ(reader.Details().at(0).second, box.source) << box.w;
    EXPECT_EQ(reader.Width(), 140);  // the picture's own size whatever is decoded
  }
}

// The reduction made straight from libheif's plane is the one the bitmap would have had.
TEST(HeifReader, ReducesFromTheDecodersPlaneAsFromTheBitmap) {
  const std::vector<uint8_t> bytes = test::FileBytes(Fixture("lossless.heic"));
  THeifReader full("HEIF");
  full.Load(bytes);
  const TBitmap expected = ReduceImage(full.Pixels(), full.Width() / 3, full.Height() / 3);
  THeifReader reduced("HEIF");
  reduced.Load(bytes);
  reduced.PrepareFor(full.Width() / 3, full.Height() / 3);
  test::ExpectPixelsNear(reduced.Pixels(), test::ToRgba(expected), 0, "lossless.heic");
}

// A 10-bit PQ picture in Display P3: cut to 8 bits its white would be a dull grey (170) and its
// red a brownish pink; through the tone curve white is white and red is red.
TEST(HeifReader, HdrPicturesAreToneMappedNotCut) {
  const fs::path file = test::CorpusDir() / "modern/more/avif/libavif_colors_hdr_p3.avif";
  if (!fs::exists(file)) GTEST_SKIP() << "no corpus";
  const std::vector<uint8_t> bytes = test::FileBytes(file);
  THeifReader reader("AVIF");
  reader.Load(bytes);
  const TBitmap& pixels = reader.Pixels();
  const TColor white = pixels.PixelColor(100, 190);
  const TColor red = pixels.PixelColor(5, 5);
  EXPECT_GT(GetRValue(white), 210);
  EXPECT_GT(GetGValue(white), 210);
  EXPECT_GT(GetRValue(red), 210);
  EXPECT_LT(GetGValue(red), 40);
  EXPECT_LT(GetBValue(red), 40);
}

TEST(HeifReader, SignaturesTellHeifFromAvif) {
  EXPECT_TRUE(IsHeif(test::FileBytes(Fixture("lossless.heic"))));
  EXPECT_FALSE(IsAvif(test::FileBytes(Fixture("lossless.heic"))));
  EXPECT_TRUE(IsAvif(test::FileBytes(Fixture("lossless.avif"))));
  EXPECT_FALSE(IsHeif(test::FileBytes(Fixture("lossless.avif"))));
  EXPECT_FALSE(IsHeif(test::FileBytes(test::DataDir() / "jpeg/colour.jpg")));
  const auto header = ProbeHeif(test::FileBytes(Fixture("alpha.heic")));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width, 48u);
  EXPECT_EQ(header->height, 32u);
  EXPECT_EQ(header->orientation, 1);
}

TEST(HeifReader, FailuresAreTheReadersOneMessage) {
  const std::vector<uint8_t> good = test::FileBytes(Fixture("lossless.heic"));
  const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  const std::vector<uint8_t> head(good.begin(), good.begin() + 40);
  for (const auto& bytes : {cut, head, std::vector<uint8_t>{}}) {
    EXPECT_EQ(Failure(bytes), "Cannot load image. Invalid or unexpected HEIF image format.");
    EXPECT_EQ(Failure(bytes, "AVIF"), "Cannot load image. Invalid or unexpected AVIF image format.");
  }
  const test::ScopedImageLimit limit(1000);
  EXPECT_NE(Failure(good).find("Image too large"), std::string::npos);
}

// Real camera and phone files: each loads (through its thumbnail where it has one) or fails with
// the reader's message; the turned ones come out upright as libheif turns them.
TEST(HeifReader, CorpusFiles) {
  const fs::path more = test::CorpusDir() / "modern" / "more";
  if (!fs::exists(more)) GTEST_SKIP() << "no corpus";
  const struct {
    const char* file;
    int width, height;
  } kFiles[] = {
      {"heic/exiv2_2021-02-13-1929.heic", 3024, 4032}, {"heic/filetype_fixture-heic.heic", 3024, 4032},
      {"heic/exiv2_IMG_3578.heic", 4032, 3024},       {"heic/exiv2_Stonehenge.heic", 300, 200},
      {"heic/libheif_colors-with-alpha-thumbnail.heic", 72, 72}, {"avif/pillow_rot1mir0.avif", 640, 427},
      {"avif/libavif_kodim03_yuv420_8bpc.avif", 768, 512}, {"avif/libavif_colors_hdr_p3.avif", 200, 200},
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.file);
    const std::vector<uint8_t> bytes = test::FileBytes(more / f.file);
    THeifReader reader("HEIF");
    reader.Load(bytes);
    EXPECT_EQ(reader.Width(), f.width);
    EXPECT_EQ(reader.Height(), f.height);
    reader.PrepareFor(f.width / 16, f.height / 16);
    const TBitmap& pixels = reader.Pixels();
    EXPECT_GE(pixels.Width(), f.width / 16);
    // Upright: the decoded picture has the shape of the picture.
    EXPECT_EQ(pixels.Width() > pixels.Height(), f.width > f.height);
  }
  for (const test::CorpusFile& file : test::CorpusFiles("modern/", ".heic")) {
    SCOPED_TRACE(file.path.string());
    if (file.status == "good/misnamed") continue;  // a JPEG: the loader's business
    const std::vector<uint8_t> bytes = test::FileBytes(file.path);
    if (file.status == "stripped") {
      EXPECT_EQ(Failure(bytes), "Cannot load image. Invalid or unexpected HEIF image format.");
      continue;
    }
    THeifReader reader("HEIF");
    reader.Load(bytes);
    reader.PrepareFor(200, 200);
    EXPECT_GT(reader.Pixels().Width(), 0);
  }
}

TEST(HeifReader, DamagedFilesLoadOrFailCleanly) {
  for (const char* name : {"lossless.heic", "thumb.heic", "alpha.heic", "lossless.avif", "deep10.avif"}) {
    test::DamageSweep(LoadAndDecode, test::FileBytes(Fixture(name)), name, 40, 400);
  }
}

}  // namespace
}  // namespace tablora
