#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/byte_order.h"
#include "imaging/byte_reader.h"
#include "imaging/checked.h"
#include "imaging/decoders/decoder.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/raster_graphic.h"

namespace tablora {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(RasterBase, ByteHelpersWorkedExamples) {
  const uint8_t stored[4] = {1, 2, 3, 4};
  uint32_t value;
  std::memcpy(&value, stored, 4);
  const uint32_t swapped = SwapLong(value);
  uint8_t out[4];
  std::memcpy(out, &swapped, 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{4, 3, 2, 1}));

  Bytes shorts = {1, 2, 3, 4}, longs = {1, 2, 3, 4, 5, 6, 7, 8};
  SwapShorts(shorts.data(), 2);
  SwapLongs(longs.data(), 2);
  EXPECT_EQ(shorts, (Bytes{2, 1, 4, 3}));
  EXPECT_EQ(longs, (Bytes{4, 3, 2, 1, 8, 7, 6, 5}));

  struct Case { unsigned stride; uint32_t pixels; Bytes row, want; };
  for (const Case& c : std::vector<Case>{
           {3, 1, {10, 20, 30, 1, 2, 3}, {10, 20, 30, 11, 22, 33}},
           {1, 3, {250, 10, 10, 10}, {250, 4, 14, 24}},  // mod 256
           {4, 1, {1, 2, 3, 4, 1, 1, 1, 1}, {1, 2, 3, 4, 2, 3, 4, 5}},
           {3, 0, {1, 2, 3}, {1, 2, 3}}}) {
    Bytes row = c.row;
    UndoHorizontalDifferencing(row.data(), c.pixels, c.stride);
    EXPECT_EQ(row, c.want) << "stride " << c.stride;
  }
}

TEST(RasterBase, CheckedArithmeticAndRowSizes) {
  EXPECT_EQ(CheckedMul<uint32_t>(65536, 65536), std::nullopt);
  EXPECT_EQ(CheckedMul<uint32_t>(65535, 65537), 4294967295u);
  EXPECT_EQ(CheckedAdd<uint64_t>(UINT64_MAX, 1), std::nullopt);
  EXPECT_EQ(CheckedProduct({1u << 20, 1u << 20, 1u << 20}), uint64_t{1} << 60);
  EXPECT_EQ(CheckedProduct({1u << 31, 1u << 31, 1u << 31}), std::nullopt);
  EXPECT_EQ(PackedRowBytes(9, 1), 2u);
  EXPECT_EQ(AlignedRowSize(0, 24), 0u);  // a row of nothing, not an overflow
  EXPECT_EQ(AlignedRowSize(1, 24), 4u);
  EXPECT_EQ(AlignedRowSize(UINT64_MAX / 2, 32), std::nullopt);
}

TEST(RasterBase, ByteReaderRefusesBeforeReadingPastTheEnd) {
  const Bytes data = {0x12, 0x34, 0x56, 0x78, 0x9A};
  TByteReader in(data);
  EXPECT_EQ(in.U16BE(), 0x1234);
  EXPECT_EQ(in.U16LE(), 0x7856);
  EXPECT_THROW(in.U16BE(), EReadError);
  EXPECT_EQ(in.Position(), 4u);  // a refused read does not move
  EXPECT_EQ(in.BytesUpTo(10).size(), 1u);
  in.Seek(0);
  EXPECT_EQ(in.U32BE(), 0x12345678u);
  EXPECT_THROW(in.Seek(6), EReadError);
  EXPECT_THROW(in.Skip(UINT64_MAX), EReadError);
  EXPECT_THROW(in.U16BEArray(UINT64_MAX / 2), EReadError);  // before allocating
  EXPECT_THROW(in.Slice(4, 2), EReadError);
  EXPECT_THROW(in.Span(UINT64_MAX, 2), EReadError);
  EXPECT_EQ(in.Slice(1, 4).U32LE(), 0x9A785634u);
}

TEST(PackBits, Runs) {
  struct Case { const char* name; Bytes packed; std::size_t room; Bytes want; std::size_t consumed; };
  const std::vector<Case> cases = {
      {"literal and repeat", {2, 'a', 'b', 'c', 0xFE, 'x'}, 6, {'a', 'b', 'c', 'x', 'x', 'x'}, 6},
      {"128 is a no-op", {0, 'a', 0x80, 0, 'b'}, 2, {'a', 'b'}, 5},
      {"literal cut by packed data", {5, 'a', 'b'}, 4, {'a', 'b', 0, 0}, 3},
      {"repeat cut by room", {0x81, 'z', 0, 'q'}, 3, {'z', 'z', 'z'}, 2},
      {"repeat header last byte", {0, 'a', 0xFD}, 4, {'a', 0, 0, 0}, 3},
      {"no room", {0, 'a'}, 0, {}, 0},
      {"no data", {}, 2, {0, 0}, 0},
  };
  for (const Case& c : cases) {
    Bytes out(c.room, 0);
    TPackbitsRLEDecoder decoder;
    const TDecodeResult r = decoder.Decode(c.packed, out);
    EXPECT_EQ(out, c.want) << c.name;
    EXPECT_EQ(r.consumed, c.consumed) << c.name;
    // Pointers are not advanced: the same call gives the same row.
    Bytes again(c.room, 0);
    decoder.Decode(c.packed, again);
    EXPECT_EQ(again, out) << c.name;
  }
}

// Long streams take the decoder's fixed-length path until the last runs; the output must be the
// same as run by run, up to the last byte of the destination.
TEST(PackBits, LongStreams) {
  Bytes packed, want;
  for (int run = 0; run < 40; ++run) {
    const int length = 1 + (run * 37) % 128;
    if (run % 3 == 0) {
      packed.push_back(static_cast<uint8_t>(257 - std::max(length, 2)));
      packed.push_back(static_cast<uint8_t>(run));
      want.insert(want.end(), std::max(length, 2), static_cast<uint8_t>(run));
    } else {
      packed.push_back(static_cast<uint8_t>(length - 1));
      for (int i = 0; i < length; ++i) packed.push_back(static_cast<uint8_t>(run * 7 + i));
      for (int i = 0; i < length; ++i) want.push_back(static_cast<uint8_t>(run * 7 + i));
    }
  }
  for (std::size_t room : {want.size(), want.size() - 1, want.size() / 2, want.size() + 300}) {
    Bytes out(room, 0xAA);
    TPackbitsRLEDecoder().Decode(packed, out);
    Bytes expected = want;
    expected.resize(room, 0xAA);
    EXPECT_EQ(out, expected) << room;
  }
}

TEST(ColorManagerBounds, RowsThatDoNotFitAreRefused) {
  TColorManager cm;  // 8-bit RGB to BGR
  Bytes source(9), target(9);
  const std::span<const uint8_t> one[] = {source};
  cm.ConvertRow(one, target, 3, 0xFF);
  EXPECT_THROW(cm.ConvertRow(one, target, 4, 0xFF), EColorConversionError);
  EXPECT_THROW(cm.ConvertRow(one, std::span(target).first(8), 3, 0xFF), EColorConversionError);
  // Masked rows hold just the selected pixels: 9 target pixels with mask 0x80 read two.
  Bytes wide(27);
  const std::span<const uint8_t> two[] = {std::span(source).first(6)};
  cm.ConvertRow(two, wide, 9, 0x80);
  EXPECT_THROW(cm.ConvertRow(two, wide, 9, 0xC0), EColorConversionError);
}

TEST(RowOrder, GifInterlaceAndAdam7) {
  for (uint32_t height : {1u, 2u, 3u, 5u, 8u, 9u, 17u}) {
    TGifInterlace interlace(height);
    std::vector<int> seen(height, 0);
    for (uint32_t n = 0; n < height; ++n) {
      const uint32_t row = interlace.RowOf(n);
      ASSERT_LT(row, height);
      ++seen[row];
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(height)) << height;
  }
  EXPECT_EQ(TGifInterlace(10).RowOf(2), 4u);  // after rows 0 and 8 of pass one
  // Every pixel of an image belongs to exactly one pass.
  for (uint32_t w : {1u, 3u, 8u, 13u}) {
    uint64_t covered = 0;
    for (const TAdam7Pass& p : kAdam7) covered += uint64_t{Adam7Columns(p, w)} * Adam7Rows(p, 11);
    EXPECT_EQ(covered, uint64_t{w} * 11);
  }
}

}  // namespace
}  // namespace tablora
