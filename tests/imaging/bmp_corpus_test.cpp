// The BMP reader against files made by other tools: the fixtures of tests/data/bmp (with
// ImageMagick's decode stored beside them), the bmpsuite conformance files, and damaged copies
// of both.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/stream.h"
#include "bmp_test_util.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using test::CorpusDir;
using test::DataDir;

std::vector<fs::path> FilesIn(const fs::path& dir, const std::string& extension) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

fs::path SuiteDir(const char* part) { return CorpusDir() / "bmpsuite" / part; }

TEST(BmpFixtures, DecodeLikeImageMagick) {
  // The pixel format each variant must land in, besides the pixels themselves.
  const std::map<std::string, TPixelFormat> formats = {
      {"pal1", pf1bit},       {"pal4", pf4bit},       {"pal8", pf8bit},        {"pal8rle", pf8bit},
      {"rgb24", pf24bit},     {"rgb24v5", pf24bit},   {"rgb16-565", pf16bit},  {"rgb16-555", pf15bit},
      {"rgba32v5", pf32bit},  {"core24", pf24bit},    {"core8", pf8bit}};
  for (const auto& [name, format] : formats) {
    SCOPED_TRACE(name);
    const auto reference = test::ParsePnm(test::FileBytes(DataDir() / "bmp" / (name + ".ppm")));
    ASSERT_TRUE(reference.has_value());
    TBitmap bitmap;
    bitmap.LoadFromFile((DataDir() / "bmp" / (name + ".bmp")).string());
    EXPECT_EQ(bitmap.PixelFormat(), format);
    test::ExpectPixelsNear(bitmap, *reference, 0, name);
  }
}

TEST(BmpFixtures, RunLengthFileKeepsItsCompressedCopy) {
  const fs::path path = DataDir() / "bmp" / "pal8rle.bmp";
  TBitmap bitmap;
  bitmap.LoadFromFile(path.string());
  EXPECT_EQ(bitmap.FileData, test::FileBytes(path));
  TBitmap plain;
  plain.LoadFromFile((DataDir() / "bmp" / "pal8.bmp").string());
  EXPECT_TRUE(plain.FileData.empty());
}

TEST(BmpSuite, GoodFilesDecodeLikeImageMagick) {
  const fs::path dir = SuiteDir("g");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "bmpsuite not found at " << dir;
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const auto files = FilesIn(dir, ".bmp");
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const auto reference = test::MagickDecode(file);
    ASSERT_TRUE(reference.has_value());
    TBitmap bitmap;
    ASSERT_NO_THROW(bitmap.LoadFromFile(file.string()));
    test::ExpectPixelsNear(bitmap, *reference, 0, file.filename().string());
  }
}

// Bit-field files with unusual masks: ImageMagick 6 shifts narrow channels instead of scaling
// them, so the oracle here is the suite's own rendering of each file (html/*.png). Alpha is not
// part of a TBitmap, so only opaque pixels are compared; 1 step of rounding is allowed for
// channels wider than 8 bits.
TEST(BmpSuite, UnusualMasksMatchTheSuiteRenderings) {
  const fs::path dir = SuiteDir("q");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "bmpsuite not found at " << dir;
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  for (const char* name : {"rgb16-231", "rgb16-3103", "rgb32-7187", "rgba16-1924", "rgba16-4444", "rgba16-5551",
                           "rgba32-1010102", "rgba32-61754", "rgba32-81284"}) {
    SCOPED_TRACE(name);
    TBitmap bitmap;
    bitmap.LoadFromFile((dir / (std::string(name) + ".bmp")).string());
    const auto reference = test::MagickDecode(SuiteDir("html") / (std::string(name) + ".png"));
    ASSERT_TRUE(reference.has_value());
    ASSERT_EQ(reference->width, bitmap.Width());
    ASSERT_EQ(reference->height, bitmap.Height());
    int differing = 0;
    int opaque = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        const uint8_t* r = reference->At(x, y);
        if (r[3] != 255) continue;
        ++opaque;
        const TColor c = bitmap.PixelColor(x, y);
        if (std::abs(GetRValue(c) - r[0]) > 1 || std::abs(GetGValue(c) - r[1]) > 1 ||
            std::abs(GetBValue(c) - r[2]) > 1) {
          ++differing;
        }
      }
    }
    EXPECT_GT(opaque, 0);
    EXPECT_EQ(differing, 0);
  }
}

// Files the reader refused or drew wrong before, against the suite's own renderings with alpha
// (1 step of rounding for channels of other widths): alpha masks, alpha bits that are not alpha
// (opaque), colour tables longer than 256 entries, pixels away from the table.
TEST(BmpSuite, AlphaMasksAndPixelOffsetsMatchTheirReferences) {
  const fs::path dir = SuiteDir("q");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "bmpsuite not found at " << dir;
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const std::pair<const char*, const char*> rendered[] = {
      {"rgba32-1", "rgba32"},           {"rgba32-2", "rgba32"},           {"rgba32h56", "rgba32"},
      {"rgba32abf", "rgba32"},          {"rgba16-4444", "rgba16-4444"},   {"rgba16-5551", "rgba16-5551"},
      {"rgba16-1924", "rgba16-1924"},   {"rgba32-1010102", "rgba32-1010102"}, {"rgba32-61754", "rgba32-61754"},
      {"rgba32-81284", "rgba32-81284"}, {"rgb32fakealpha", "rgb24"},     {"rgb32h52", "rgb24"},
      {"pal8oversizepal", "pal8"},      {"rgb24largepal", "rgb24"},       {"pal8offs", "pal8"}};
  for (const auto& [name, reference] : rendered) {
    SCOPED_TRACE(name);
    TBitmap bitmap;
    ASSERT_NO_THROW(bitmap.LoadFromFile((dir / (std::string(name) + ".bmp")).string()));
    auto expected = test::MagickDecode(SuiteDir("html") / (std::string(reference) + ".png"));
    ASSERT_TRUE(expected.has_value());
    ASSERT_EQ(expected->width, bitmap.Width());
    // A pixel of alpha 0 has no colour to compare: the renderings store black there.
    const test::RgbaImage got = test::ToRgba(bitmap);
    for (std::size_t i = 0; i < got.rgba.size(); i += 4) {
      if (expected->rgba[i + 3] == 0 && got.rgba[i + 3] == 0) std::copy_n(&got.rgba[i], 3, &expected->rgba[i]);
    }
    test::ExpectPixelsNear(bitmap, *expected, 1, name, true);
  }
}

// The good files of the suite without their file headers, as a clipboard holds them, decode as
// the files do; a run-length one gets back the file header it lost.
TEST(BmpSuite, HeaderlessCopiesDecodeLikeTheFiles) {
  const fs::path dir = SuiteDir("g");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "bmpsuite not found at " << dir;
  int compared = 0;
  for (const fs::path& file : FilesIn(dir, ".bmp")) {
    const std::vector<uint8_t> bytes = test::FileBytes(file);
    TBitmap whole;
    test::LoadBytes(whole, bytes);
    const std::vector<uint8_t> dib(bytes.begin() + 14, bytes.end());
    const uint32_t headerSize = dib[0] | dib[1] << 8;
    if (headerSize != 40 && headerSize != 108 && headerSize != 124) continue;
    SCOPED_TRACE(file.filename().string());
    TBitmap bitmap;
    ASSERT_NO_THROW(test::LoadBytes(bitmap, dib));
    EXPECT_EQ(test::ToRgba(bitmap).rgba, test::ToRgba(whole).rgba);
    if (!whole.FileData.empty()) {
      EXPECT_EQ(bitmap.FileData, whole.FileData);
    }
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

// A broken or questionable file either loads or raises one of the library's exceptions;
// anything else (a crash, a sanitizer report, another exception type) fails the test.
void ExpectCleanOutcome(const std::vector<uint8_t>& bytes, const std::string& what) {
  TBitmap bitmap;
  try {
    test::LoadBytes(bitmap, bytes);
    if (!bitmap.Empty()) {
      // Touch every pixel so an inconsistent bitmap shows up under the sanitizers.
      for (int y = 0; y < bitmap.Height(); y += std::max(1, bitmap.Height() / 16)) {
        for (int x = 0; x < bitmap.Width(); x += std::max(1, bitmap.Width() / 16)) {
          (void)bitmap.PixelColor(x, y);
        }
      }
    }
  } catch (const Exception&) {
    EXPECT_TRUE(bitmap.Empty()) << what << ": a failed load leaves an empty bitmap";
  } catch (const std::exception& e) {
    ADD_FAILURE() << what << ": unexpected exception " << e.what();
  }
}

TEST(BmpSuite, BadFilesFailCleanly) {
  const fs::path dir = SuiteDir("b");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "bmpsuite not found at " << dir;
  for (const fs::path& file : FilesIn(dir, ".bmp")) ExpectCleanOutcome(test::FileBytes(file), file.string());
}

TEST(BmpSuite, BadHeadersAreRefused) {
  const fs::path dir = SuiteDir("b");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "bmpsuite not found at " << dir;
  // Each of these breaks a rule of the header that the reader checks itself.
  for (const char* name : {"badbitcount.bmp", "badplanes.bmp", "badwidth.bmp",
                           "rletopdown.bmp", "badpalettesize.bmp"}) {
    EXPECT_EQ(test::LoadError(test::FileBytes(dir / name)), "Bitmap image is not valid") << name;
  }
  // 3000000 x 2000000 pixels: refused by the image-size limit before any allocation.
  const std::string big = test::LoadError(test::FileBytes(dir / "reallybig.bmp"));
  EXPECT_NE(big.find("Image too large"), std::string::npos) << big;
}

TEST(BmpSuite, QuestionableFilesDoNotCrash) {
  const fs::path dir = SuiteDir("q");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "bmpsuite not found at " << dir;
  for (const fs::path& file : FilesIn(dir, ".bmp")) ExpectCleanOutcome(test::FileBytes(file), file.string());
  for (const fs::path& file : FilesIn(SuiteDir("x"), ".bmp")) ExpectCleanOutcome(test::FileBytes(file), file.string());
}

// Truncations and byte flips over the fixtures and the good suite files.
void Damage(const fs::path& file) {
  test::DamageSweep([](const std::vector<uint8_t>& bytes) { ExpectCleanOutcome(bytes, ""); },
                    test::FileBytes(file), file.filename().string(), 120);
}

TEST(BmpDamage, FixturesFailCleanlyOrLoad) {
  for (const fs::path& file : FilesIn(DataDir() / "bmp", ".bmp")) Damage(file);
}

TEST(BmpDamage, SuiteFilesFailCleanlyOrLoad) {
  const fs::path dir = SuiteDir("g");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "bmpsuite not found at " << dir;
  for (const fs::path& file : FilesIn(dir, ".bmp")) Damage(file);
}

}  // namespace
}  // namespace tablora
