#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"

namespace tablora {

// A PNG file of the bitmap, 8 bits a sample: RGBA when it is 32-bit with straight alpha, else RGB
// as it looks over white (palettes looked up, the colour key turned white). `text` becomes tEXt
// chunks before the image data, where readers that stop early still find them; keywords must be
// 1 to 79 bytes. Rows are Paeth-filtered and deflated at `level` (zlib's 0 to 9).
std::vector<uint8_t> EncodePng(const TBitmap& bitmap,
                               const std::vector<std::pair<std::string, std::string>>& text = {},
                               int level = 3);

}  // namespace tablora
