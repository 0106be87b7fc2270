// Other projects' JPEG files and damaged copies of our fixtures: good files decode like plain
// libjpeg with the same settings, and nothing makes the decoder fail other than cleanly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/readers/jpeg_image.h"
#include "jpeg_test_util.h"

namespace tablora {
namespace {

using test::RawImage;

// Good and broken JPEG files of the corpus by its manifest (references left out).
std::vector<test::CorpusFile> CorpusJpegs() {
  std::vector<test::CorpusFile> files = test::CorpusFiles("", ".jpg");
  for (const test::CorpusFile& file : test::CorpusFiles("", ".jpeg")) files.push_back(file);
  std::erase_if(files, [](const test::CorpusFile& f) { return f.status.rfind("reference", 0) == 0; });
  return files;
}

int MaxDifference(const TBitmap& bitmap, const RawImage& reference) {
  if (bitmap.Width() != reference.width || bitmap.Height() != reference.height) return 999;
  int worst = 0;
  for (int y = 0; y < reference.height; ++y) {
    for (int x = 0; x < reference.width; ++x) {
      const TColor c = bitmap.PixelColor(x, y);
      const uint8_t* r = reference.At(x, y);
      const bool grey = reference.components == 1;
      worst = std::max({worst, std::abs(GetRValue(c) - r[0]),
                        std::abs(GetGValue(c) - r[grey ? 0 : 1]),
                        std::abs(GetBValue(c) - r[grey ? 0 : 2])});
    }
  }
  return worst;
}

// Loads and decodes; true when it worked, false when it failed the way the engine expects.
bool LoadAndDecode(const std::vector<uint8_t>& bytes) {
  try {
    TBufferStream stream(bytes.data(), bytes.size());
    TJPEGImage image;
    image.LoadFromStream(stream);
    const TBitmap& bitmap = image.Bitmap();
    // Touch every row, so a short allocation would show under the sanitizers.
    for (int y = 0; y < bitmap.Height(); ++y) EXPECT_NE(bitmap.ScanLine(y), nullptr);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

TEST(JPEGCorpus, GoodFilesDecodeLikePlainLibjpeg) {
  if (!std::filesystem::exists(test::CorpusDir() / "MANIFEST.tsv")) {
    GTEST_SKIP() << "conformance corpus not found at " << test::CorpusDir();
  }
  int compared = 0;
  for (const test::CorpusFile& file : CorpusJpegs()) {
    if (file.status != "good") continue;
    SCOPED_TRACE(file.path.string());
    const std::vector<uint8_t> bytes = test::FileBytes(file.path);
    TBufferStream stream(bytes.data(), bytes.size());
    TJPEGImage image;
    ASSERT_NO_THROW(image.LoadFromStream(stream));
    const int headerWidth = image.Width();
    const TBitmap* bitmap = nullptr;
    ASSERT_NO_THROW(bitmap = &image.Bitmap());
    EXPECT_EQ(bitmap->Width(), headerWidth);
    EXPECT_EQ(bitmap->PixelFormat(), image.Data().Grayscale ? pf8bit : pf24bit);
    const RawImage reference = test::ReferenceDecode(bytes);
    if (reference.width == 0) continue;  // CMYK: plain libjpeg gives no RGB to compare with
    // Greyscale output is dithered to 236 levels; colour output is libjpeg's exactly.
    EXPECT_LE(MaxDifference(*bitmap, reference), image.Data().Grayscale ? 3 : 0);
    ++compared;
  }
  EXPECT_GT(compared, 40);
}

TEST(JPEGCorpus, AdobeCmykSampleLooksLikeItsRgbTwin) {
  const auto dir = test::CorpusDir() / "pillow";
  if (!std::filesystem::exists(dir / "pil_sample_cmyk.jpg")) {
    GTEST_SKIP() << "pillow samples not found in " << dir;
  }
  TJPEGImage cmyk;
  cmyk.LoadFromFile(dir / "pil_sample_cmyk.jpg");
  TJPEGImage rgb;
  rgb.LoadFromFile(dir / "pil_sample_rgb.jpg");
  const TBitmap& a = cmyk.Bitmap();
  const TBitmap& b = rgb.Bitmap();
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  long total = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const TColor p = a.PixelColor(x, y), q = b.PixelColor(x, y);
      total += std::abs(GetRValue(p) - GetRValue(q)) + std::abs(GetGValue(p) - GetGValue(q)) +
               std::abs(GetBValue(p) - GetBValue(q));
    }
  }
  // Without a colour profile the conversions differ slightly; inverted ink would be ~128 off.
  EXPECT_LT(static_cast<double>(total) / (3.0 * a.Width() * a.Height()), 8.0);
}

TEST(JPEGCorpus, BrokenFilesFailCleanlyOrDecode) {
  if (!std::filesystem::exists(test::CorpusDir() / "MANIFEST.tsv")) {
    GTEST_SKIP() << "conformance corpus not found at " << test::CorpusDir();
  }
  int seen = 0;
  for (const test::CorpusFile& file : CorpusJpegs()) {
    if (file.status == "good") continue;
    SCOPED_TRACE(file.path.string());
    LoadAndDecode(test::FileBytes(file.path));
    ++seen;
  }
  EXPECT_GT(seen, 0);
}

const char* const kFixtures[] = {"colour.jpg", "gray.jpg", "progressive.jpg", "row1.jpg",
                                 "cmyk.jpg"};

// Once the header is complete, a truncated copy decodes as far as it goes.
TEST(JPEGDamage, TruncatedAndFlippedCopiesFailCleanlyOrDecode) {
  for (const char* name : kFixtures) {
    const int loaded = test::DamageSweep(
        [](const std::vector<uint8_t>& b) {
          if (!LoadAndDecode(b)) throw EInvalidGraphic("failed cleanly");
        },
                                         test::FileBytes(test::JpegFixture(name)), name);
    EXPECT_GE(loaded, 5) << name;
  }
}

TEST(JPEGDamage, HugeDimensionsInATinyFileFailBeforeAllocating) {
  // A valid 8 x 8 file whose frame header claims 65000 x 65000 pixels: even at 1/8 scale the
  // bitmap exceeds a 64 MiB limit, and nothing that large may be allocated.
  std::vector<uint8_t> samples(8 * 8 * 3, 128);
  std::vector<uint8_t> file = test::Encode(8, 8, 3, JCS_RGB, JCS_YCbCr, false, samples);
  bool patched = false;
  for (std::size_t i = 0; i + 8 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {
      file[i + 5] = 0xFD;  // height 65000, big-endian
      file[i + 6] = 0xE8;
      file[i + 7] = 0xFD;  // width 65000
      file[i + 8] = 0xE8;
      patched = true;
      break;
    }
  }
  ASSERT_TRUE(patched);
  const test::ScopedImageLimit limit(uint64_t{64} << 20);
  TBufferStream stream(file.data(), file.size());
  TJPEGImage image;
  image.LoadFromStream(stream);
  EXPECT_EQ(image.Width(), 65000);
  EXPECT_THROW(image.Bitmap(), EInvalidGraphic);
}

}  // namespace
}  // namespace tablora
