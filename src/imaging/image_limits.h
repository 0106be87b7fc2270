#pragma once

#include <cstdint>
#include <optional>

namespace tablora {

// Every decoded image is checked against one limit before its pixels are allocated, so a file
// that claims huge dimensions is a failed load with a message rather than an out-of-memory kill.
constexpr uint64_t kDefaultImageSizeLimit = uint64_t{1} << 30;  // bytes of decoded pixels

uint64_t ImageSizeLimit();
// Tests and tools may lower (or raise) the limit for the whole process.
void SetImageSizeLimit(uint64_t bytes);

// Bytes of one row of width pixels at bitsPerPixel, rounded up to 4 bytes; nothing on overflow
// (a width of 0 is a row of 0 bytes, which is not an overflow).
std::optional<uint64_t> AlignedRowSize(uint64_t width, unsigned bitsPerPixel);

// Throws EInvalidGraphic when width x height at bitsPerPixel exceeds the limit (or overflows).
void CheckImageSize(int64_t width, int64_t height, unsigned bitsPerPixel);
bool FitsImageSizeLimit(int64_t width, int64_t height, unsigned bitsPerPixel);

// The most of a file a reader may hold or map: compressed data is held to as much as the pixels
// it makes may take by default, so a huge file fails at once instead of being read into memory.
// A limit of its own, so that tests may lower the image-size limit far below their fixtures.
uint64_t FileDataLimit();
void SetFileDataLimit(uint64_t bytes);
// Throws EInvalidGraphic when `bytes` exceed the file-data limit.
void CheckFileDataSize(uint64_t bytes);

}  // namespace tablora
