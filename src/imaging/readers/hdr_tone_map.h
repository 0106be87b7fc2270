#pragma once

#include <cstdint>

#include "imaging/bitmap.h"

namespace tablora {

// Pictures coded for HDR displays (PQ or HLG transfer) reach 8 bits through a tone curve; cut to
// 8 bits directly their highlights would clip and their mid-tones look dark and flat.
enum class THdr { hdNone, hdPQ, hdHLG };

struct THdrSource {
  THdr transfer = THdr::hdNone;
  // Linear RGB of the file's primaries to linear BT.709 / sRGB primaries.
  float toSrgb[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

// From the colour primaries and transfer characteristics codes of a file's nclx (or AV1 / HEVC
// colour description): PQ (16) and HLG (18); BT.2020 (9) and Display P3 (12) primaries.
THdrSource HdrSourceOf(int colourPrimaries, int transferCharacteristics);

// Rows of 16-bit samples (bits significant; red, green, blue and alpha when `alpha`), `stride`
// bytes apart, tone-mapped into the bitmap's blue, green, red rows at its size.
void ToneMap(const THdrSource& source, const uint8_t* plane, std::size_t stride, int bits, bool alpha, TBitmap& bitmap);

}  // namespace tablora
