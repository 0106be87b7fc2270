#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "imaging/decoders/gif_lzw_decoder.h"

namespace tablora {
namespace {

using Bytes = std::vector<uint8_t>;

// Codes packed least significant bit first, each at the width given beside it.
Bytes Pack(const std::vector<std::pair<uint32_t, int>>& codes) {
  Bytes out;
  uint32_t accumulator = 0;
  int bits = 0;
  for (const auto& [code, width] : codes) {
    accumulator |= code << bits;
    for (bits += width; bits >= 8; bits -= 8, accumulator >>= 8) out.push_back(uint8_t(accumulator));
  }
  if (bits > 0) out.push_back(uint8_t(accumulator));
  return out;
}

// Minimum code size 2 throughout: roots 0..3, clear 4, end 5, first free entry 6, codes of 3 bits
// until entry 7 is made.
TEST(GifLzwDecoder, HandMadeStreams) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, int>> codes;
    std::size_t room, unpacked;
    Bytes want;
    std::size_t consumed;
  };
  const Bytes zeros4100(4100, 0);
  const std::vector<Case> cases = {
      {"no leading clear code", {{1, 3}, {2, 3}, {6, 3}, {5, 4}}, 8, 8, {1, 2, 1, 2}, 2},
      {"width grows once entry 7 is made", {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {7, 4}, {5, 4}}, 8, 8,
       {1, 2, 1, 2, 2, 1}, 3},
      {"code of the entry being made (KwKwK)", {{4, 3}, {1, 3}, {6, 3}, {5, 3}}, 8, 8, {1, 1, 1}, 2},
      {"clear mid-stream resets width and table",
       {{1, 3}, {2, 3}, {6, 3}, {4, 4}, {3, 3}, {3, 3}, {6, 3}, {5, 4}}, 9, 9, {1, 2, 1, 2, 3, 3, 3, 3}, 4},
      {"end code followed by data", {{1, 3}, {5, 3}, {2, 3}, {2, 3}}, 8, 8, {1}, 1},
      // 7 is above the next free code (6): dropped, whatever follows.
      {"unknown code dropped", {{1, 3}, {7, 3}, {2, 3}, {5, 3}}, 8, 8, {1, 2}, 2},
      {"nothing but unknown codes", std::vector<std::pair<uint32_t, int>>(40, {7, 3}), 8, 8, {}, 15},
      // 1, 11, 111: the string begun within the first byte runs past unpacked into the spare room,
      // and the next string is cut at the end of the room.
      {"string runs into the spare room", {{1, 3}, {6, 3}, {7, 3}, {5, 4}}, 4, 2, {1, 1, 1}, 1},
      {"string cut at the end of the room", {{1, 3}, {6, 3}, {7, 3}, {5, 4}}, 4, 4, {1, 1, 1, 1}, 2},
      // The first code after a clear names slot 6 (root 0 after root 0) before it is made; the
      // next makes slot 6 its own prefix. Its chain stops when the stack is full: 1 + 3 + 4096.
      {"slot that is its own prefix", {{4, 3}, {6, 3}, {6, 3}, {6, 3}, {5, 4}}, 5000, 5000, zeros4100, 2},
      {"no data", {}, 4, 4, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes packed = Pack(c.codes);
    // Guard bytes after the room catch any write past it.
    Bytes out(c.room + 16, 0xEE);
    TGIFLZWDecoder decoder(2);
    const TDecodeResult r = decoder.Decode(packed, std::span(out).first(c.room), c.unpacked);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(r.produced)), c.want);
    EXPECT_EQ(r.consumed, c.consumed);
    EXPECT_EQ(Bytes(out.begin() + static_cast<std::ptrdiff_t>(c.room), out.end()), Bytes(16, 0xEE));
    // Nothing carries over from one call to the next.
    Bytes again(c.room);
    EXPECT_EQ(decoder.Decode(packed, again, c.unpacked).produced, r.produced);
  }
}

TEST(GifLzwDecoder, MinimumCodeSizes) {
  // Size 8 (the usual one): clear 256, end 257, 9-bit codes.
  Bytes out(4);
  EXPECT_EQ(TGIFLZWDecoder(8).Decode(Pack({{256, 9}, {65, 9}, {66, 9}, {258, 9}, {257, 9}}), out).produced, 4u);
  EXPECT_EQ(out, (Bytes{65, 66, 65, 66}));
  // Size 11 gives 12-bit codes from the start; roots above 255 keep their low byte.
  EXPECT_EQ(TGIFLZWDecoder(11).Decode(Pack({{300, 12}, {2049, 12}}), out).produced, 1u);
  EXPECT_EQ(out[0], 300 % 256);
  for (uint8_t size : {0, 12, 13, 255}) {
    EXPECT_EQ(TGIFLZWDecoder(size).Decode(Bytes(64, 0x11), out).produced, 0u) << int(size);
  }
}

}  // namespace
}  // namespace tablora
