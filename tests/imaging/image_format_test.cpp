#include <gtest/gtest.h>

#include <map>
#include <set>

#include "imaging/icc_profile.h"
#include "imaging/image_format.h"
#include "imaging/metadata.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

// One file of each format: the probe's size and orientation against what the reader decodes,
// and the signature of every format against the file.
TEST(ImageFormat, ProbesTellTheSizeTheReaderDecodesAndOnlyTheirOwnSignatureMatches) {
  const struct {
    const char* file;
    const char* format;
    int orientation;
  } kFiles[] = {
      {"bmp/pal8.bmp", "BMP", 1},          {"bmp/core24.bmp", "BMP", 1},
      {"bmp/pal8rle.bmp", "BMP", 1},       {"jpeg/colour.jpg", "JPEG", 1},
      {"jpeg/progressive.jpg", "JPEG", 1}, {"orientation/o6.jpg", "JPEG", 6},
      {"orientation/o8.tif", "TIFF", 8},   {"tiff/rgb8-lzw-pred.tif", "TIFF", 1},
      {"png/rgb8.png", "PNG", 1},          {"png/grey16-adam7.png", "PNG", 1},
      {"gif/photo.gif", "GIF", 1},         {"psd/rgb8.psd", "PSD", 1},
      {"webp/lossy.webp", "WebP", 1},      {"webp/orient6.webp", "WebP", 6},
      {"webp/animated.webp", "WebP", 1},   {"heif/lossless.heic", "HEIF", 1},
      {"heif/alpha.heic", "HEIF", 1},      {"heif/lossless.avif", "AVIF", 1},
      {"jxl/lossless.jxl", "JPEG XL", 1},  {"jxl/orient6.jxl", "JPEG XL", 1},
      {"raw/preview.nef", "RAW", 6},       {"raw/subifd.dng", "RAW", 1},
      {"raw/thumbnail.crw", "RAW", 6},     {"video/h264.mp4", "Video", 1},
      {"video/cw90.mov", "Video", 6},      {"video/vp9.webm", "Video", 1},
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.file);
    const std::vector<uint8_t> bytes = test::FileBytes(test::DataDir() / f.file);
    const std::string extension = std::filesystem::path(f.file).extension().string();
    const TImageFormat* format = FormatByExtension(extension);
    ASSERT_NE(format, nullptr);
    EXPECT_STREQ(format->name, f.format);
    auto tiffStructured = [](const TImageFormat& f) {
      return std::string_view(f.name) == "TIFF" || std::string_view(f.name) == "RAW";
    };
    for (const TImageFormat& other : ImageFormats()) {
      // TIFF files and TIFF-structured RAWs share their byte-order mark: the extension tells them.
      if (&other != format && tiffStructured(other) && tiffStructured(*format)) continue;
      EXPECT_EQ(other.signature(bytes), &other == format) << other.name;
    }
    const std::optional<TImageHeader> header = format->probe(bytes);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->orientation, f.orientation);
    std::unique_ptr<TFormatReader> reader = format->create();
    reader->Load(bytes);
    const TBitmap& pixels = reader->Pixels();
    EXPECT_EQ(header->width, static_cast<uint32_t>(pixels.Width()));
    EXPECT_EQ(header->height, static_cast<uint32_t>(pixels.Height()));
    EXPECT_EQ(OrientationOf(bytes, extension), f.orientation);
    // A header cut short is no size, never a crash.
    for (std::size_t cut : {0, 1, 7, 15, 30}) {
      const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + static_cast<long>(std::min(cut, bytes.size())));
      const std::optional<TImageHeader> part = format->probe(head);
      if (part && part->width != 0) {
        EXPECT_EQ(part->width, header->width);
      }
    }
  }
}

TEST(ImageFormat, EveryExtensionBelongsToOneFormat) {
  std::set<std::string_view> seen;
  for (const TImageFormat& format : ImageFormats()) {
    for (std::string_view extension : format.extensions) {
      EXPECT_TRUE(seen.insert(extension).second) << extension;
      EXPECT_EQ(FormatByExtension(extension), &format);
    }
  }
  for (const char* admitted : {".bmp", ".jpg", ".jpeg", ".psd", ".pdd", ".png", ".tiff", ".tif", ".rle", ".dib", ".gif",
                               ".webp", ".heic", ".heif", ".hif", ".avif", ".jxl", ".mp4", ".mov", ".mts"}) {
    EXPECT_NE(FormatByExtension(admitted), nullptr) << admitted;
  }
  for (const char* other : {".JPG", ".jpe", ".jfif", ".bak", "", "."}) {
    EXPECT_EQ(FormatByExtension(other), nullptr) << other;
  }
}

// A row describes its format whole: a fixture of every format whose row has a profile finder
// gives its profile, and one of every format whose row has a metadata reader is taken by it. A
// row given either without a fixture here fails.
TEST(ImageFormat, EachRowsProfileFinderAndMetadataReaderTakeTheirFormatsFiles) {
  const std::map<std::string_view, const char*> kWithProfile = {
      {"JPEG", "icc/swapped.jpg"},  {"PNG", "icc/swapped.png"},   {"PSD", "icc/swapped.psd"},
      {"WebP", "icc/swapped.webp"}, {"HEIF", "icc/swapped.heic"}, {"AVIF", "icc/swapped.avif"},
      {"JPEG XL", "jxl/swapped.jxl"}, {"TIFF", "icc/swapped.tif"}, {"RAW", "icc/swapped.nef"},
  };
  const std::map<std::string_view, const char*> kWithMetadata = {
      {"JPEG", "meta/full.jpg"}, {"HEIF", "meta/full.heic"}, {"AVIF", "heif/lossless.avif"},
      {"TIFF", "meta/full.tif"}, {"RAW", "raw/preview.nef"}, {"Video", "video/h264.mp4"},
  };
  const auto bytesOf = [&](const char* file, const TImageFormat& format) {
    std::vector<uint8_t> bytes = test::FileBytes(test::DataDir() / file);
    EXPECT_EQ(FormatForFile(std::filesystem::path(file).extension().string(), bytes), &format) << file;
    return bytes;
  };
  for (const TImageFormat& format : ImageFormats()) {
    SCOPED_TRACE(format.name);
    const auto profiled = kWithProfile.find(format.name);
    ASSERT_EQ(format.profile != nullptr, profiled != kWithProfile.end());
    if (format.profile != nullptr) {
      EXPECT_EQ(IccDescription(EmbeddedProfile(format, bytesOf(profiled->second, format))), "Swapped Red and Green");
    }
    const auto described = kWithMetadata.find(format.name);
    ASSERT_EQ(format.metadata != nullptr, described != kWithMetadata.end());
    if (format.metadata != nullptr) {
      TPhotoMetadata metadata;
      EXPECT_TRUE(format.metadata(bytesOf(described->second, format), metadata));
      // No reader takes another's files: a PNG is none of theirs.
      EXPECT_FALSE(format.metadata(test::FileBytes(test::DataDir() / "png/rgb8.png"), metadata));
    }
  }
}

TEST(ImageFormat, ContentDecidesOnlyWhenTheExtensionsFormatRefusesIt) {
  const std::vector<uint8_t> jpeg = test::FileBytes(test::DataDir() / "jpeg/colour.jpg");
  const std::vector<uint8_t> png = test::FileBytes(test::DataDir() / "png/rgb8.png");
  const std::vector<uint8_t> noise = {'n', 'o', 'i', 's', 'e'};
  EXPECT_STREQ(FormatForFile(".jpg", jpeg)->name, "JPEG");
  EXPECT_STREQ(FormatForFile(".png", jpeg)->name, "JPEG");
  EXPECT_STREQ(FormatForFile(".tif", png)->name, "PNG");
  EXPECT_STREQ(FormatForFile(".gif", noise)->name, "GIF");  // refused later with GIF's own message
  EXPECT_EQ(FormatForFile(".txt", jpeg), nullptr);
}

TEST(ImageFormat, DecodeSizeIsTheSmallestScaleThatStillCoversTheBox) {
  TImageHeader jpeg;
  jpeg.width = 4000;
  jpeg.height = 3000;
  jpeg.scaleBits = 0b1111;
  const struct {
    int32_t w, h;
    uint32_t wantW, wantH;
  } kJpeg[] = {
      {500, 375, 500, 375},    // an eighth exactly
      {501, 375, 1000, 750},   // one pixel more: a quarter
      {1000, 751, 2000, 1500}, {2001, 10, 4000, 3000}, {8000, 6000, 4000, 3000},  // never enlarged
      {0, 0, 500, 375},
  };
  for (const auto& c : kJpeg) {
    EXPECT_EQ(DecodeSizeFor(jpeg, c.w, c.h), std::make_pair(c.wantW, c.wantH)) << c.w << "x" << c.h;
  }
  TImageHeader odd = jpeg;
  odd.width = 4001;  // sides round up
  EXPECT_EQ(DecodeSizeFor(odd, 501, 375), std::make_pair(501u, 375u));
  TImageHeader any;
  any.width = 4000;
  any.height = 3000;
  any.anyScale = true;
  EXPECT_EQ(DecodeSizeFor(any, 400, 300), std::make_pair(400u, 300u));
  EXPECT_EQ(DecodeSizeFor(any, 400, 400), std::make_pair(534u, 400u));  // covers both sides
  EXPECT_EQ(DecodeSizeFor(any, 401, 1), std::make_pair(401u, 301u));
  EXPECT_EQ(DecodeSizeFor(any, 5000, 10), std::make_pair(4000u, 3000u));
  TImageHeader full;
  full.width = 640;
  full.height = 480;
  EXPECT_EQ(DecodeSizeFor(full, 10, 10), std::make_pair(640u, 480u));
}

TEST(ImageFormat, EstimateCountsTheDecodedPixelsAtTheirScale) {
  const std::vector<uint8_t> jpeg = test::FileBytes(test::DataDir() / "jpeg/colour.jpg");
  const TImageFormat& format = *FormatByExtension(".jpg");
  const std::optional<TImageHeader> header = format.probe(jpeg);
  ASSERT_TRUE(header);
  const uint64_t full = uint64_t{header->width} * header->height * 4 + jpeg.size();
  EXPECT_EQ(EstimateDecodeBytes(format, jpeg, 100000, 100000), full);
  EXPECT_LT(EstimateDecodeBytes(format, jpeg, 1, 1), full);
  const std::vector<uint8_t> noise(100, 0);
  EXPECT_EQ(EstimateDecodeBytes(format, noise, 10, 10), 400u);
}

}  // namespace
}  // namespace tablora
