#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tablora {

// How far one Decode call got: bytes taken from the source and bytes written to the destination.
struct TDecodeResult {
  std::size_t consumed = 0;
  std::size_t produced = 0;
};

// A stream decompressor. Decode reads only inside source and writes only inside destination,
// whatever the data; a destination it cannot fill is left as it was beyond what it wrote.
// Broken data that a decoder cannot get past raises ECompressionError.
class TDecoder {
 public:
  virtual ~TDecoder() = default;
  virtual TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) = 0;
  virtual void StartDecoding() {}
  virtual void FinishDecoding() {}
};

// Run-length coding of Photoshop documents and TIFF compression 32773.
class TPackbitsRLEDecoder : public TDecoder {
 public:
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;
};

}  // namespace tablora
