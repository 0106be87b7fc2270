#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace tablora {

// LibRaw, the fallback for camera RAW files whose own preview is missing or too small. Each
// thread keeps one LibRaw object and hands it back recycled after every call, so no state
// crosses from one file to the next. Every failure of LibRaw is "Cannot load image. Invalid or
// unexpected RAW image format."; a cancel comes through as the cancel it is.

// What LibRaw reads from the header, nothing unpacked.
struct TLibRawFacts {
  std::string make;
  std::string model;
  uint32_t width = 0;  // the picture its sensor data makes, before the orientation turns it
  uint32_t height = 0;
  int orientation = 1;  // as an EXIF value
};
std::optional<TLibRawFacts> LibRawFacts(std::span<const uint8_t> file);

// The thumbnail LibRaw finds: the bytes of a JPEG, or a bitmap (stored orientation).
struct TLibRawThumbnail {
  std::vector<uint8_t> jpeg;
  TBitmap bitmap;
};
std::optional<TLibRawThumbnail> LibRawThumbnail(std::span<const uint8_t> file);

// The sensor data demosaiced at half size (each side halved): 8-bit sRGB, the camera's white
// balance, as stored (the orientation is the caller's). The raw data, LibRaw's working image and
// the bitmap are charged to the image-size limit and the memory budget before LibRaw allocates.
void LibRawHalfSize(std::span<const uint8_t> file, TBitmap& bitmap);

}  // namespace tablora
