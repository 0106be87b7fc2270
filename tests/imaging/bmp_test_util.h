#pragma once

// Helpers of the BMP reader tests: building BMP files field by field, reading the PPM references
// of tests/data/bmp, asking ImageMagick for its decode, and comparing pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/exceptions.h"
#include "imaging/stream.h"

namespace tablora::test {

inline void PutLE16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Fields of a BMP file to build; defaults describe a 1 x 1 24-bit file with a 40-byte header.
struct BmpFields {
  uint32_t headerSize = 40;  // 12 writes the core header (16-bit width and height)
  int32_t width = 1;
  int32_t height = 1;
  uint16_t planes = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t colorsUsed = 0;
  uint32_t colorsImportant = 0;
  // Red, green, blue masks: inside the header when it is 52 bytes or longer, else after it.
  std::vector<uint32_t> masks;
  std::vector<uint8_t> colorTable;  // raw entries, 3 or 4 bytes each
  std::size_t gapAfterTable = 0;    // filler bytes (0xEE) between the table and the pixels
  std::optional<uint32_t> dataOffset;  // default: where the pixels really start
  std::vector<uint8_t> pixels;
};

inline std::vector<uint8_t> MakeBmp(const BmpFields& fields) {
  std::vector<uint8_t> header;
  PutLE32(header, fields.headerSize);
  if (fields.headerSize == 12) {
    PutLE16(header, static_cast<uint32_t>(fields.width));
    PutLE16(header, static_cast<uint32_t>(fields.height));
    PutLE16(header, fields.planes);
    PutLE16(header, fields.bitCount);
  } else {
    PutLE32(header, static_cast<uint32_t>(fields.width));
    PutLE32(header, static_cast<uint32_t>(fields.height));
    PutLE16(header, fields.planes);
    PutLE16(header, fields.bitCount);
    PutLE32(header, fields.compression);
    PutLE32(header, fields.sizeImage);
    PutLE32(header, static_cast<uint32_t>(fields.xPelsPerMeter));
    PutLE32(header, static_cast<uint32_t>(fields.yPelsPerMeter));
    PutLE32(header, fields.colorsUsed);
    PutLE32(header, fields.colorsImportant);
    if (fields.headerSize >= 52) {
      for (std::size_t i = 0; i < 3; ++i) PutLE32(header, i < fields.masks.size() ? fields.masks[i] : 0);
    }
    header.resize(std::max<std::size_t>(header.size(), fields.headerSize), 0);
    header.resize(fields.headerSize);
  }
  std::vector<uint8_t> body = header;
  if (fields.headerSize < 52) {
    for (uint32_t m : fields.masks) PutLE32(body, m);
  }
  body.insert(body.end(), fields.colorTable.begin(), fields.colorTable.end());
  body.insert(body.end(), fields.gapAfterTable, 0xEE);
  const uint32_t offset = fields.dataOffset.value_or(static_cast<uint32_t>(14 + body.size()));
  body.insert(body.end(), fields.pixels.begin(), fields.pixels.end());

  std::vector<uint8_t> file = {'B', 'M'};
  PutLE32(file, static_cast<uint32_t>(14 + body.size()));
  PutLE32(file, 0);
  PutLE32(file, offset);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

inline void LoadBytes(TBitmap& bitmap, const std::vector<uint8_t>& bytes) {
  TBufferStream stream(bytes.data(), bytes.size());
  bitmap.LoadFromStream(stream);
}

// Message of the exception a load raises, or "" when it succeeds.
inline std::string LoadError(const std::vector<uint8_t>& bytes) {
  TBitmap bitmap;
  try {
    LoadBytes(bitmap, bytes);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // red, green, blue per pixel, top row first
};

// Parses a binary PPM (P6, maxval 255) as ImageMagick writes it.
inline std::optional<RgbImage> ParsePpm(const std::vector<uint8_t>& bytes) {
  std::size_t pos = 0;
  auto token = [&]() {
    while (pos < bytes.size() && std::isspace(bytes[pos])) ++pos;
    std::string t;
    while (pos < bytes.size() && !std::isspace(bytes[pos])) t += static_cast<char>(bytes[pos++]);
    return t;
  };
  if (token() != "P6") return std::nullopt;
  RgbImage image;
  image.width = std::atoi(token().c_str());
  image.height = std::atoi(token().c_str());
  if (token() != "255") return std::nullopt;
  ++pos;
  const std::size_t n = static_cast<std::size_t>(image.width) * image.height * 3;
  if (bytes.size() - pos < n) return std::nullopt;
  image.rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                   bytes.begin() + static_cast<std::ptrdiff_t>(pos + n));
  return image;
}

inline std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool HaveImageMagick() {
  static const bool have = std::system("convert -version >/dev/null 2>&1") == 0;
  return have;
}

// ImageMagick's decode of a file, as the oracle for the corpus files.
inline std::optional<RgbImage> ImageMagickDecode(const std::filesystem::path& path) {
  const std::string command = "convert '" + path.string() + "' -depth 8 ppm:- 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  if (::pclose(pipe) != 0) return std::nullopt;
  return ParsePpm(bytes);
}

// ImageMagick's decode of a file as red, green, blue, alpha bytes; the caller knows the size.
inline std::optional<std::vector<uint8_t>> ImageMagickDecodeRgba(const std::filesystem::path& path,
                                                                  std::size_t pixels) {
  const std::string command = "convert '" + path.string() + "' -depth 8 rgba:- 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  if (::pclose(pipe) != 0 || bytes.size() != pixels * 4) return std::nullopt;
  return bytes;
}

// Compares every pixel; tolerance allows for a reference that widens 5- and 6-bit channels with
// a different rounding. Reports the first few differences only.
inline void ExpectSamePixels(const TBitmap& bitmap, const RgbImage& reference, int tolerance,
                             const std::string& what) {
  ASSERT_EQ(bitmap.Width(), reference.width) << what;
  ASSERT_EQ(bitmap.Height(), reference.height) << what;
  int reported = 0;
  for (int y = 0; y < reference.height; ++y) {
    for (int x = 0; x < reference.width; ++x) {
      const TColor c = bitmap.PixelColor(x, y);
      const uint8_t* r = reference.rgb.data() + (static_cast<std::size_t>(y) * reference.width + x) * 3;
      const bool same = std::abs(GetRValue(c) - r[0]) <= tolerance &&
                        std::abs(GetGValue(c) - r[1]) <= tolerance &&
                        std::abs(GetBValue(c) - r[2]) <= tolerance;
      if (!same && reported++ < 5) {
        ADD_FAILURE() << what << " pixel " << x << "," << y << ": got " << int(GetRValue(c)) << ","
                      << int(GetGValue(c)) << "," << int(GetBValue(c)) << " want " << int(r[0]) << ","
                      << int(r[1]) << "," << int(r[2]);
      }
    }
  }
  EXPECT_EQ(reported, 0) << what;
}

}  // namespace tablora::test
