#include "imaging/reduce.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/memory_budget.h"
#include "imaging/work_budget.h"

namespace tablora {
namespace {

// An indexed bitmap of random indices with a palette that lays some entries over white.
TBitmap RandomIndexed(TPixelFormat format, int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  TBitmap bitmap;
  bitmap.SetPixelFormat(format);
  bitmap.SetSize(width, height);
  const int bits = bitmap.BitsPerPixel();
  TPalette palette;
  std::vector<uint8_t> alpha;
  // One entry fewer than the format holds: the last index has no entry and shows black.
  for (int i = 0; i + 1 < (1 << bits) || (bits == 1 && i < 2); ++i) {
    palette.push_back({static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), 0});
    alpha.push_back(i % 3 == 1 ? static_cast<uint8_t>(random()) : 255);
  }
  bitmap.SetPalette(palette);
  bitmap.SetPaletteAlpha(alpha);
  if (bits == 8) {
    bitmap.SetTransparent(true);
    bitmap.SetTransparentColor(RGB(palette[5].peRed, palette[5].peGreen, palette[5].peBlue));
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      SetPackedIndex(bitmap.ScanLine(y), x, bits, static_cast<uint8_t>(random() % (1u << bits)));
    }
  }
  return bitmap;
}

TBitmap Expanded(const TBitmap& source) {
  TBitmap bgr;
  bgr.SetPixelFormat(pf24bit);
  bgr.SetSize(source.Width(), source.Height());
  for (int y = 0; y < source.Height(); ++y) ExpandRowOverWhite(source, y, bgr.ScanLine(y));
  return bgr;
}

void ExpectSamePixels(const TBitmap& a, const TBitmap& b, const std::string& what) {
  ASSERT_EQ(a.Width(), b.Width()) << what;
  ASSERT_EQ(a.Height(), b.Height()) << what;
  for (int y = 0; y < a.Height(); ++y) {
    ASSERT_EQ(0, std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<std::size_t>(a.Width()) * 3)) << what << " row " << y;
  }
}

// Indexed pictures are reduced through their palette, counting indices over long spans, without
// widening them first: the result is the one of the widened picture, to the bit, for reductions,
// enlargements and spans long enough to be counted.
TEST(ReduceImage, IndexedPicturesReduceAsTheirWidenedPixels) {
  struct Case {
    int width, height, toWidth, toHeight;
  };
  const Case cases[] = {{37, 29, 5, 4}, {37, 29, 111, 60}, {9001, 3, 2, 1}, {20000, 7, 3, 2}, {64, 5000, 3, 1}, {13, 13, 13, 13}};
  for (TPixelFormat format : {pf1bit, pf4bit, pf8bit}) {
    for (const Case& c : cases) {
      const TBitmap source = RandomIndexed(format, c.width, c.height, static_cast<unsigned>(c.width + format));
      const std::string what = std::to_string(TBitmap::BitsPerPixelOf(format)) + " bits, " + std::to_string(c.width) +
                               "x" + std::to_string(c.height) + " to " + std::to_string(c.toWidth);
      ExpectSamePixels(ReduceImage(source, c.toWidth, c.toHeight), ReduceImage(Expanded(source), c.toWidth, c.toHeight), what);
    }
  }
  // Other formats wider than one piece are widened piece by piece, to the same result.
  TBitmap wide;
  wide.SetPixelFormat(pf16bit);
  wide.SetSize(40000, 2);
  for (int x = 0; x < wide.Width(); ++x) wide.SetPixelColor(x, x % 2, RGB(x % 251, x % 13 * 19, 200));
  ExpectSamePixels(ReduceImage(wide, 7, 1), ReduceImage(Expanded(wide), 7, 1), "16 bits, 40000 wide");
}

// A span far longer than a 14-bit weight per pixel can resolve still averages all its pixels.
TEST(ReduceImage, AVeryLongSpanAveragesEveryPixel) {
  TBitmap bilevel;
  bilevel.SetPixelFormat(pf1bit);
  bilevel.SetSize(10'000'000, 1);
  bilevel.SetPalette(TBitmap::MonochromePalette());
  uint8_t* row = bilevel.ScanLine(0);
  for (int x = 4'000'000; x < 10'000'000; x += 8) row[x / 8] = 0xFF;  // the right three fifths white
  const TBitmap reduced = ReduceImage(bilevel, 2, 1);
  EXPECT_EQ(reduced.PixelColor(0, 0), RGB(51, 51, 51));  // a fifth of it white
  EXPECT_EQ(reduced.PixelColor(1, 0), clWhite);
}

// A picture of hundreds of millions of columns costs the reduction a few kilobytes, all charged;
// it looks at Cancel within the row, and a work budget refuses it up front when it is short.
TEST(ReduceImage, AVeryWideRowIsChargedAndCancellable) {
  TBitmap wide;
  wide.SetPixelFormat(pf4bit);
  wide.SetSize(200'000'000, 1);
  {
    TMemoryBudget budget(uint64_t{1} << 20);
    const TBitmap reduced = ReduceImage(wide, 300, 1);
    EXPECT_EQ(reduced.Width(), 300);
    EXPECT_GT(budget.Peak(), 300u * 3);
    EXPECT_LT(budget.Peak(), uint64_t{64} << 10);
  }
  {
    TMemoryBudget budget(16 << 10);
    try {
      ReduceImage(wide, 1000, 1);
      ADD_FAILURE() << "the reduction's tables passed a budget too small for them";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "Image too large: it needs more than the limit of 1 MiB");
    }
  }
  TCancelToken token;
  token.Request();
  {
    TCancelScope scope(token);
    EXPECT_THROW(ReduceImage(wide, 300, 1), EAbort);
  }
  TWorkBudget work(std::chrono::milliseconds(1));
  try {
    ReduceImage(wide, 300, 1);
    ADD_FAILURE() << "the reduction was not refused";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Image too large: it takes longer than the limit of 0.001 s to decode");
  }
}

}  // namespace
}  // namespace tablora
