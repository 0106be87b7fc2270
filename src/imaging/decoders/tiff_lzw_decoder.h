#pragma once

#include <cstdint>
#include <span>

#include "imaging/decoders/decoder.h"

namespace tablora {

// TIFF compression 5: LZW with codes packed most significant bit first and the code width
// growing one code early (to 10 bits when the next free code reaches 511, 11 at 1023, 12 at
// 2047). Each call decodes one strip from scratch; nothing survives between calls. A strip that
// starts as libtiff's old-style LZW of before 1992 did (codes least significant bit first, widened
// only when the next free code needs it) is decoded that way, as libtiff still does.
//
// Broken data raises nothing: a code above the next free one is skipped, and decoding stops at
// the end-of-information code, at the end of the source or when the destination is full (a
// string that does not fit whole is cut there).
class TTIFFLZWDecoder : public TDecoder {
 public:
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;
};

}  // namespace tablora
