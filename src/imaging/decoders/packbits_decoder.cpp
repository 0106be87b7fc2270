#include <cstring>

#include "imaging/decoders/decoder.h"

namespace tablora {

TDecodeResult TPackbitsRLEDecoder::Decode(std::span<const uint8_t> source,
                                          std::span<uint8_t> destination) {
  const uint8_t* in = source.data();
  const uint8_t* const inEnd = in + source.size();
  uint8_t* out = destination.data();
  uint8_t* const outEnd = out + destination.size();
  // While both sides have room for the longest run (and its value or header), runs are copied
  // at their longest, fixed length: the bytes past the run's true end are overwritten by the runs
  // that follow, and a fixed-size copy is several times faster than one of a variable length.
  constexpr std::ptrdiff_t kLongest = 128;
  while (outEnd - out >= kLongest && inEnd - in > kLongest) {
    const auto n = static_cast<int8_t>(*in++);
    if (n >= 0) {
      std::memcpy(out, in, kLongest);
      in += n + 1;
      out += n + 1;
    } else if (n != -128) {
      std::memset(out, *in++, kLongest);
      out += 1 - n;
    }
  }
  while (out < outEnd && in < inEnd) {
    const auto n = static_cast<int8_t>(*in++);
    if (n >= 0) {
      std::size_t count = static_cast<std::size_t>(n) + 1;
      count = std::min<std::size_t>(count, static_cast<std::size_t>(outEnd - out));
      count = std::min<std::size_t>(count, static_cast<std::size_t>(inEnd - in));
      std::memcpy(out, in, count);
      in += count;
      out += count;
    } else if (n != -128) {
      // A repeat header that is the last packed byte has no value to repeat: nothing is written
      // and nothing beyond the packed data is read.
      if (in == inEnd) break;
      const std::size_t count =
          std::min<std::size_t>(static_cast<std::size_t>(1 - n), static_cast<std::size_t>(outEnd - out));
      std::memset(out, *in++, count);
      out += count;
    }
  }
  return {static_cast<std::size_t>(in - source.data()), static_cast<std::size_t>(out - destination.data())};
}

}  // namespace tablora
