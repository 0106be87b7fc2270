#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/decoders/decoder.h"

namespace tablora {

// Variable-width LZW of GIF image data: codes packed least significant bit first, a clear and an
// end code just above the roots, widths from minCodeBits + 1 up to 12 bits. One Decode call takes
// all of an image's gathered data; nothing survives between calls. A cancel on the calling thread
// stops it within a few megabytes of output (EAbort).
class TGIFLZWDecoder : public TDecoder {
 public:
  // Minimum code sizes that give codes of at most 12 bits.
  static constexpr uint8_t kMinCodeBitsLimit = 11;

  explicit TGIFLZWDecoder(uint8_t minCodeBits) : MinCodeBits(minCodeBits) {}

  // Decodes until the end code, the end of source, or a full destination.
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;
  // As above, but no further source byte is taken once unpackedSize bytes have come out; a
  // string begun before that may still run on into the rest of destination (never beyond it).
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination,
                       std::size_t unpackedSize);

  const uint8_t MinCodeBits;
};

}  // namespace tablora
