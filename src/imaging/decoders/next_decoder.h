#pragma once

#include <cstdint>
#include <span>

#include "imaging/decoders/decoder.h"

namespace tablora {

// TIFF compression 32766, NeXT's 2-bit grey coding, into packed 2-bit pixels (four to a byte,
// the first in the top bits), as libtiff reads it. Each row opens with a byte: 0x00 is a literal
// row of packed pixels; 0x40 is a white row with one literal span (16-bit big-endian byte offset
// and byte count, then the bytes); any other byte starts runs, each byte a grey in its top two
// bits and a count in its low six, until the row is full. Every row starts white (all bits set),
// so rows the data does not reach stay white; a span that passes the row's end ends the strip.
class TNeXTDecoder : public TDecoder {
 public:
  explicit TNeXTDecoder(uint32_t width) : Width(width) {}

  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;

  const uint32_t Width;
};

}  // namespace tablora
