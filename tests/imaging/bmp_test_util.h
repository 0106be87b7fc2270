#pragma once

// Helpers of the BMP reader tests: building BMP files field by field; references, comparison and
// damage come from the shared reader harness.
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
#include "support/reader_harness.h"

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
  // Red, green, blue (and alpha) masks: inside the header when it is 52 (56) bytes or longer,
  // else after it.
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
      const std::size_t inHeader = fields.headerSize >= 56 ? 4 : 3;
      for (std::size_t i = 0; i < inHeader; ++i) PutLE32(header, i < fields.masks.size() ? fields.masks[i] : 0);
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

}  // namespace tablora::test
