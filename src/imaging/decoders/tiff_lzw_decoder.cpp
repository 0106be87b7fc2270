#include "imaging/decoders/tiff_lzw_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

namespace tablora {

namespace {

constexpr uint32_t kClearCode = 256;
constexpr uint32_t kEndCode = 257;
constexpr uint32_t kFirstFree = 258;
constexpr uint32_t kTableSize = 4096;
constexpr unsigned kMinBits = 9;
constexpr unsigned kMaxBits = 12;

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Copies n bytes between ranges that do not overlap, without the call of a general memcpy for
// the short strings photographs are mostly made of, and without touching a byte past n.
inline void CopyString(uint8_t* to, const uint8_t* from, std::size_t n) {
  if (n >= 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + n - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
  } else if (n >= 4) {
    uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + n - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
  } else if (n > 0) {
    to[0] = from[0];
    to[n / 2] = from[n / 2];
    to[n - 1] = from[n - 1];
  }
}

// Every string a code stands for has already been written out once, and the string of a new
// code is the previous string followed by the first byte of the current one, which the output
// holds right after it. So a table entry is just where its string lies in the destination and
// how long it is, and decoding a code is a copy from earlier output. Offset is the narrowest
// type that addresses the destination, to keep the table small in the cache.
//
// Old-style LZW (libtiff before 1992) packs its codes least significant bit first and widens them
// only when the next free code needs the extra bit.
template <typename Offset, bool kOldStyle>
TDecodeResult DecodeStrip(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  struct Entry {
    Offset position;
    Offset length;
  };
  Entry table[kTableSize];

  const uint8_t* const inBegin = source.data();
  const uint8_t* in = inBegin;
  const uint8_t* const inEnd = in + source.size();
  uint8_t* const out = destination.data();
  const std::size_t outSize = destination.size();
  std::size_t written = 0;

  // Bits are taken from the top of the accumulator (the bottom for the old style); beyond the
  // valid ones it holds either zeros or the very bits that the next load puts there again.
  uint64_t bitBuffer = 0;
  unsigned bitCount = 0;
  unsigned codeBits = kMinBits;
  uint32_t nextFree = kFirstFree;
  bool havePrevious = false;  // false right after the start and after a clear code
  std::size_t previousPosition = 0;
  std::size_t previousLength = 0;

  while (written < outSize) {
    if (bitCount < codeBits) {
      if (inEnd - in >= 8) {
        if constexpr (kOldStyle) {
          bitBuffer |= Load64(in) << bitCount;
        } else {
          bitBuffer |= __builtin_bswap64(Load64(in)) >> bitCount;
        }
        in += (63 - bitCount) >> 3;
        bitCount |= 56;
      } else {
        while (bitCount <= 56 && in < inEnd) {
          bitBuffer |= static_cast<uint64_t>(*in++) << (kOldStyle ? bitCount : 56 - bitCount);
          bitCount += 8;
        }
        if (bitCount < codeBits) break;  // the strip ends without an end-of-information code
      }
    }
    uint32_t code;
    if constexpr (kOldStyle) {
      code = static_cast<uint32_t>(bitBuffer & ((uint64_t{1} << codeBits) - 1));
      bitBuffer >>= codeBits;
    } else {
      code = static_cast<uint32_t>(bitBuffer >> (64 - codeBits));
      bitBuffer <<= codeBits;
    }
    bitCount -= codeBits;

    if (code == kEndCode) break;
    if (code == kClearCode) {
      codeBits = kMinBits;
      nextFree = kFirstFree;
      havePrevious = false;
      continue;
    }
    const std::size_t start = written;
    std::size_t length;
    if (code < 256) {
      out[written++] = static_cast<uint8_t>(code);
      length = 1;
    } else if (!havePrevious) {
      // Right after a clear only roots make sense; the code that would be the next free one has
      // no previous string to be made of.
      continue;
    } else if (code < nextFree) {
      length = table[code].length;
      const std::size_t n = std::min(length, outSize - written);
      CopyString(out + written, out + table[code].position, n);
      written += n;
      if (n < length) break;
    } else if (code == nextFree) {
      // The string is the previous one followed by its own first byte.
      length = previousLength + 1;
      const std::size_t n = std::min(previousLength, outSize - written);
      CopyString(out + written, out + previousPosition, n);
      written += n;
      if (n < previousLength || written == outSize) break;
      out[written++] = out[previousPosition];
    } else {
      continue;  // beyond the table: dropped
    }
    if (havePrevious && nextFree < kTableSize) {
      table[nextFree] = {static_cast<Offset>(previousPosition), static_cast<Offset>(previousLength + 1)};
      ++nextFree;
      if (nextFree == (1u << codeBits) - (kOldStyle ? 0 : 1) && codeBits < kMaxBits) ++codeBits;
    }
    havePrevious = true;
    previousPosition = start;
    previousLength = length;
  }
  const std::size_t consumed = static_cast<std::size_t>(in - inBegin) - bitCount / 8;
  return {consumed, written};
}

}  // namespace

TDecodeResult TTIFFLZWDecoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  // Both styles start with a clear code: 256 read most significant bit first is 0x80 0x00, least
  // significant bit first 0x00 0x01.
  const bool oldStyle = source.size() >= 2 && source[0] == 0 && (source[1] & 1) != 0;
  if (destination.size() <= std::numeric_limits<uint32_t>::max()) {
    return oldStyle ? DecodeStrip<uint32_t, true>(source, destination)
                    : DecodeStrip<uint32_t, false>(source, destination);
  }
  return oldStyle ? DecodeStrip<std::size_t, true>(source, destination)
                  : DecodeStrip<std::size_t, false>(source, destination);
}

}  // namespace tablora
