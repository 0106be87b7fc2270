#pragma once

#include <cstdint>
#include <span>

#include "imaging/decoders/decoder.h"

namespace tablora {

// TIFF compression 32809, ThunderScan's 4-bit grey coding, into packed 4-bit pixels (two per
// byte, the first in the high nibble). Code bytes hold runs of the last pixel, two or three
// small deltas, or a raw pixel.
//
// Rows are decoded one by one as the scanner's files are read everywhere: the last pixel starts
// at 0 on every row and every row starts on a byte, so a row of odd width ends with a zero
// padding nibble; the codes themselves run on from row to row. Data that ends early leaves the
// rest of the destination as it was; codes beyond a row's width are dropped.
class TThunderDecoder : public TDecoder {
 public:
  explicit TThunderDecoder(uint32_t width) : Width(width) {}

  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;

  const uint32_t Width;
};

}  // namespace tablora
