#include "imaging/decoders/gif_lzw_decoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/cancel.h"

namespace tablora {

namespace {

constexpr uint32_t kTableSize = 4096;
constexpr uint32_t kNoCode = kTableSize;  // prefix of a root; "no previous code"
constexpr uint32_t kMaxCodeBits = 12;
// A frame decodes in one call, which may take seconds for a large one: a cancel is looked for
// after every so many bytes of output.
constexpr std::size_t kCancelStride = std::size_t{4} << 20;

}  // namespace

TDecodeResult TGIFLZWDecoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  return Decode(source, destination, destination.size());
}

TDecodeResult TGIFLZWDecoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination,
                                     std::size_t unpackedSize) {
  // Larger sizes would make codes wider than the table; 0 leaves no room for the end code.
  if (MinCodeBits == 0 || MinCodeBits > kMinCodeBitsLimit) return {};
  const uint32_t clearCode = 1u << MinCodeBits;
  const uint32_t endCode = clearCode + 1;

  uint16_t prefix[kTableSize];
  uint8_t suffix[kTableSize];
  uint8_t stack[kTableSize];  // filled back to front, so its tail is the string in order
  for (uint32_t i = 0; i < clearCode; ++i) {
    prefix[i] = kNoCode;
    suffix[i] = static_cast<uint8_t>(i);
  }
  // Slots above the roots point at root 0 until they are entered, so a code that reaches one
  // before its time still ends its chain inside the table.
  std::fill(prefix + clearCode, prefix + kTableSize, uint16_t{0});
  std::fill(suffix + clearCode, suffix + kTableSize, uint8_t{0});

  const uint8_t* in = source.data();
  const uint8_t* const inEnd = in + source.size();
  uint8_t* const outBegin = destination.data();
  uint8_t* out = outBegin;
  uint8_t* const outEnd = outBegin + destination.size();
  uint8_t* const outLimit = outBegin + std::min(unpackedSize, destination.size());

  uint32_t width = MinCodeBits + 1u;
  uint32_t mask = (1u << width) - 1;
  // Reaches kTableSize once slot 4095 is entered: the table is then full and stays as it is
  // until a clear code, as giflib and the browsers keep it.
  uint32_t nextCode = clearCode + 2;
  uint32_t previous = kNoCode;
  uint8_t firstByte = 0;
  uint32_t accumulator = 0;
  uint32_t bitCount = 0;

  std::size_t nextCancelCheck = kCancelStride;
  // The room is tested before each source byte; one byte can complete a code or two.
  while (out < outLimit && in < inEnd) {
    if (static_cast<std::size_t>(out - outBegin) >= nextCancelCheck) {
      CheckCancel();
      nextCancelCheck += kCancelStride;
    }
    accumulator |= uint32_t{*in++} << bitCount;
    bitCount += 8;
    while (bitCount >= width) {
      uint32_t code = accumulator & mask;
      accumulator >>= width;
      bitCount -= width;
      if (code == endCode) {
        return {static_cast<std::size_t>(in - source.data()), static_cast<std::size_t>(out - outBegin)};
      }
      if (code == clearCode) {
        width = MinCodeBits + 1u;
        mask = (1u << width) - 1;
        nextCode = clearCode + 2;
        previous = kNoCode;
        continue;
      }
      // A code the table cannot know yet is dropped. Decoding goes on with the next code: left
      // for the next byte, the bits of a run of such codes would pile up past the accumulator.
      if (code > nextCode) continue;
      if (previous == kNoCode) {
        firstByte = suffix[code];
        if (out < outEnd) *out++ = firstByte;
        previous = code;
        continue;
      }
      const uint32_t incoming = code;
      uint32_t top = kTableSize;
      if (code == nextCode) {
        stack[--top] = firstByte;
        code = previous;
      }
      // Valid chains are never longer than the table; a damaged one (a slot that became its
      // own prefix) is cut where the stack would overflow, keeping room for the first byte.
      while (code > clearCode && top > 1) {
        stack[--top] = suffix[code];
        code = prefix[code];
      }
      firstByte = suffix[code];
      stack[--top] = firstByte;
      if (nextCode < kTableSize) {
        prefix[nextCode] = static_cast<uint16_t>(previous);
        suffix[nextCode] = firstByte;
        if (nextCode == mask && width < kMaxCodeBits) {
          ++width;
          mask = (1u << width) - 1;
        }
        ++nextCode;
      }
      previous = incoming;
      // A string may run past the room tested above; it is cut at the destination's end.
      const std::size_t length =
          std::min<std::size_t>(kTableSize - top, static_cast<std::size_t>(outEnd - out));
      std::memcpy(out, stack + top, length);
      out += length;
    }
  }
  return {static_cast<std::size_t>(in - source.data()), static_cast<std::size_t>(out - outBegin)};
}

}  // namespace tablora
