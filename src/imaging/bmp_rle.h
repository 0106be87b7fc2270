#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/bitmap.h"

namespace tablora {

// Decodes BI_RLE8 (bitsPerPixel 8) or BI_RLE4 (bitsPerPixel 4) pixel data into a bitmap of that
// many bits per pixel whose size and zeroed pixels the caller has set up. The data is read
// bottom-up as the file stores it. Pixels the data never reaches (skipped by a delta, beyond an
// early end of line or after the data runs out) keep their value, palette index 0 for a fresh
// bitmap; runs past the right edge are clipped and anything past the last row ends the decode.
void DecodeBmpRle(const uint8_t* data, std::size_t size, int bitsPerPixel, TBitmap& bitmap);

}  // namespace tablora
