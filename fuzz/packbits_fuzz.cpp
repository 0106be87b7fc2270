// Unpacks arbitrary bytes into a destination whose size the first byte chooses: the decoder must
// stay inside both and say truthfully how far it got.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/decoders/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> out(static_cast<std::size_t>(data[0]) * 4);
  const std::span<const uint8_t> packed(data + 1, size - 1);
  tablora::TPackbitsRLEDecoder decoder;
  const tablora::TDecodeResult result = decoder.Decode(packed, out);
  if (result.consumed > packed.size() || result.produced > out.size()) std::abort();
  return 0;
}
