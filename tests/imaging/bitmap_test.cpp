#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <fstream>

#include "imaging/exceptions.h"
#include "imaging/image_limits.h"

namespace tablora {
namespace {

TEST(Bitmap, NewBitmapIsEmpty) {
  TBitmap bitmap;
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
  EXPECT_TRUE(bitmap.Empty());
  EXPECT_EQ(bitmap.PixelFormat(), pfDevice);
}

TEST(Bitmap, RowsAreFourByteAlignedAndZeroed) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(5, 3);
  EXPECT_EQ(bitmap.RowSize(), 16u);  // 15 bytes rounded up
  for (int y = 0; y < 3; ++y) {
    for (std::size_t i = 0; i < bitmap.RowSize(); ++i) EXPECT_EQ(bitmap.ScanLine(y)[i], 0);
  }
  bitmap.SetPixelFormat(pf1bit);
  EXPECT_EQ(bitmap.RowSize(), 4u);
}

// A large bitmap costs memory only where it is written: a reader that fails or is cancelled at
// once has not waited for the pixels to be zeroed. The copy is whole.
TEST(Bitmap, PixelsCostMemoryOnlyWhereWritten) {
  const auto resident = [] {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0, rss = 0;
    statm >> pages >> rss;
    return rss * 4096;
  };
  [[maybe_unused]] const uint64_t before = resident();
  TBitmap big;
  big.SetPixelFormat(pf8bit);
  big.SetSize(16384, 32768);
  big.ScanLine(32767)[16383] = 7;
// The sanitizers' allocators keep books of their own, and ThreadSanitizer's calloc writes every
// byte it hands out.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LT(resident() - before, uint64_t{64} << 20);
#endif
  EXPECT_EQ(big.ScanLine(20000)[100], 0);
  big.SetSize(16384, 2);
  const TBitmap copy = big;
  EXPECT_EQ(copy.ScanLine(1)[16383], 0);
  big.ScanLine(1)[5] = 9;
  EXPECT_EQ(copy.ScanLine(1)[5], 0);
}

TEST(Bitmap, ScanLineOutsideTheImageRaises) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetSize(4, 2);
  EXPECT_NO_THROW(bitmap.ScanLine(1));
  try {
    bitmap.ScanLine(2);
    FAIL();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "Scan line index out of range");
  }
  EXPECT_THROW(bitmap.ScanLine(-1), EInvalidGraphicOperation);
}

TEST(Bitmap, CustomPixelFormatIsRefused) {
  TBitmap bitmap;
  try {
    bitmap.SetPixelFormat(pfCustom);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Invalid pixel format");
  }
}

TEST(Bitmap, FormatChangeConvertsPixels) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(3, 1);
  bitmap.SetPixelColor(0, 0, RGB(255, 0, 0));
  bitmap.SetPixelColor(1, 0, RGB(0, 255, 0));
  bitmap.SetPixelColor(2, 0, RGB(0, 0, 255));
  for (TPixelFormat format : {pf32bit, pf16bit, pf15bit, pf8bit, pf4bit, pf24bit}) {
    bitmap.SetPixelFormat(format);
    EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(255, 0, 0)) << int(format);
    EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(0, 255, 0)) << int(format);
    EXPECT_EQ(bitmap.PixelColor(2, 0), RGB(0, 0, 255)) << int(format);
  }
  bitmap.SetPixelFormat(pf1bit);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(bitmap.Palette().size(), 2u);
}

TEST(Bitmap, IndexedToIndexedKeepsPaletteAndIndices) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf4bit);
  bitmap.SetSize(3, 1);
  bitmap.SetPalette({{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}});
  bitmap.ScanLine(0)[0] = 0x12;
  bitmap.ScanLine(0)[1] = 0x00;
  bitmap.SetPixelFormat(pf8bit);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 1);
  EXPECT_EQ(bitmap.ScanLine(0)[1], 2);
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(70, 80, 90));
}

TEST(Bitmap, ResizeKeepsTheOverlap) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(2, 2);
  bitmap.SetPixelColor(1, 1, RGB(1, 2, 3));
  bitmap.SetSize(4, 3);
  EXPECT_EQ(bitmap.PixelColor(1, 1), RGB(1, 2, 3));
  EXPECT_EQ(bitmap.PixelColor(3, 2), RGB(0, 0, 0));
}

TEST(Bitmap, SizeLimitIsCheckedBeforeAllocating) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  EXPECT_THROW(bitmap.SetSize(3000000, 2000000), EInvalidGraphic);
  EXPECT_EQ(bitmap.Width(), 0);
  const uint64_t saved = ImageSizeLimit();
  SetImageSizeLimit(1024);
  EXPECT_THROW(bitmap.SetSize(100, 100), EInvalidGraphic);
  EXPECT_NO_THROW(bitmap.SetSize(10, 10));
  SetImageSizeLimit(saved);
}

TEST(Bitmap, ReleaseContentsEmptiesTheBitmap) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetSize(8, 8);
  bitmap.ReleaseContents();
  EXPECT_TRUE(bitmap.Empty());
  EXPECT_THROW(bitmap.ScanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmap, EveryPixelFormatHasItsRowSizeAndKeepsItsColours) {
  struct Case {
    TPixelFormat format;
    int bits;
    std::size_t rowSizeOf5;
    TColor colour;  // one colour the format holds exactly
  };
  const Case cases[] = {
      {pfDevice, 32, 20, RGB(1, 2, 3)},     {pf1bit, 1, 4, RGB(255, 255, 255)},
      {pf4bit, 4, 4, RGB(255, 0, 255)},     {pf8bit, 8, 8, RGB(51, 102, 153)},
      {pf15bit, 16, 12, RGB(255, 0, 132)},  {pf16bit, 16, 12, RGB(0, 130, 255)},
      {pf24bit, 24, 16, RGB(1, 2, 3)},      {pf32bit, 32, 20, RGB(250, 128, 7)},
  };
  for (const Case& c : cases) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(c.format);
    bitmap.SetSize(5, 3);
    EXPECT_EQ(bitmap.PixelFormat(), c.format);
    EXPECT_EQ(bitmap.BitsPerPixel(), c.bits) << int(c.format);
    EXPECT_EQ(bitmap.RowSize(), c.rowSizeOf5) << int(c.format);
    bitmap.SetPixelColor(4, 2, c.colour);
    EXPECT_EQ(bitmap.PixelColor(4, 2), c.colour) << int(c.format);
    EXPECT_EQ(bitmap.PixelColor(3, 2), clBlack) << int(c.format);
    EXPECT_EQ(bitmap.ScanLine(1) - bitmap.ScanLine(0), static_cast<std::ptrdiff_t>(c.rowSizeOf5));
  }
}

TEST(Bitmap, IndexedFormatsGetADefaultPalette) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf1bit);
  EXPECT_EQ(bitmap.Palette(), TBitmap::MonochromePalette());
  EXPECT_TRUE(bitmap.PaletteModified());
  TBitmap eight;
  eight.SetPixelFormat(pf8bit);
  EXPECT_EQ(eight.Palette(), TBitmap::HalftonePalette());
  TBitmap four;
  four.SetPixelFormat(pf4bit);
  EXPECT_EQ(four.Palette(), TBitmap::SystemPalette16());
}

TEST(Bitmap, PaletteIsCappedAt256AndMarkedModified) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetPaletteModified(false);
  bitmap.SetPalette(TPalette(300, TPaletteEntry{1, 2, 3, 0}));
  EXPECT_EQ(bitmap.Palette().size(), kMaxPaletteEntries);
  EXPECT_TRUE(bitmap.PaletteModified());
  bitmap.SetSize(1, 1);
  bitmap.ScanLine(0)[0] = 255;
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(1, 2, 3));
}

TEST(Bitmap, IndexBeyondAShortPaletteReadsAsBlack) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetSize(1, 1);
  bitmap.SetPalette({{9, 9, 9, 0}});
  bitmap.ScanLine(0)[0] = 7;
  EXPECT_EQ(bitmap.PixelColor(0, 0), clBlack);
}

TEST(Bitmap, SettingTheCurrentFormatChangesNothing) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetSize(2, 1);
  bitmap.SetPalette({{1, 1, 1, 0}, {2, 2, 2, 0}});
  bitmap.ScanLine(0)[1] = 1;
  bitmap.SetPaletteModified(false);
  bitmap.SetPixelFormat(pf8bit);
  EXPECT_FALSE(bitmap.PaletteModified());
  EXPECT_EQ(bitmap.Palette().size(), 2u);
  EXPECT_EQ(bitmap.ScanLine(0)[1], 1);
}

TEST(Bitmap, IndexedPixelsConvertThroughTheirPalette) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetSize(2, 1);
  bitmap.SetPalette({{220, 200, 180, 0}, {0, 0, 0, 0}, {255, 255, 255, 0}});
  bitmap.ScanLine(0)[0] = 0;
  bitmap.ScanLine(0)[1] = 2;
  bitmap.SetPixelFormat(pf24bit);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(220, 200, 180));
  EXPECT_EQ(bitmap.PixelColor(1, 0), clWhite);
  // Down to one bit: each pixel takes the nearer of black and white.
  bitmap.SetPixelFormat(pf1bit);
  EXPECT_EQ(bitmap.PixelColor(0, 0), clWhite);
  bitmap.SetPixelColor(0, 0, RGB(40, 40, 40));
  EXPECT_EQ(bitmap.PixelColor(0, 0), clBlack);
  EXPECT_EQ(bitmap.PixelColor(1, 0), clWhite);
}

TEST(Bitmap, FifteenBitConversionDropsTheLowBits) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(1, 1);
  bitmap.SetPixelColor(0, 0, RGB(0x87, 0x44, 0x0F));
  bitmap.SetPixelFormat(pf15bit);
  EXPECT_EQ(bitmap.ScanLine(0)[0] | (bitmap.ScanLine(0)[1] << 8), (0x10 << 10) | (0x08 << 5) | 0x01);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(0x84, 0x42, 0x08));
}

TEST(Bitmap, TransparentMarkIsKeptAndCopied) {
  TBitmap bitmap;
  EXPECT_FALSE(bitmap.Transparent());
  bitmap.SetTransparent(true);
  bitmap.SetTransparentColor(RGB(255, 0, 255));
  TBitmap copy(bitmap);
  EXPECT_TRUE(copy.Transparent());
  EXPECT_EQ(copy.TransparentColor(), RGB(255, 0, 255));
}

TEST(Bitmap, AssignCopiesPixelsHeaderValuesAndFileData) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(2, 2);
  bitmap.SetPixelColor(1, 1, RGB(5, 6, 7));
  bitmap.XPelsPerMeter = 2835;
  bitmap.ColorsUsed = 3;
  bitmap.FileData = {1, 2, 3};
  TBitmap copy;
  copy = bitmap;
  bitmap.SetPixelColor(1, 1, clBlack);
  EXPECT_EQ(copy.PixelColor(1, 1), RGB(5, 6, 7));
  EXPECT_EQ(copy.XPelsPerMeter, 2835);
  EXPECT_EQ(copy.ColorsUsed, 3u);
  EXPECT_EQ(copy.FileData, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(Bitmap, PixelColumnOutsideTheImageRaises) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(2, 2);
  EXPECT_THROW(bitmap.PixelColor(2, 0), EInvalidGraphicOperation);
  EXPECT_THROW(bitmap.SetPixelColor(-1, 0, clWhite), EInvalidGraphicOperation);
}

TEST(Bitmap, NegativeSizeIsRefused) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  EXPECT_THROW(bitmap.SetSize(-1, 5), EInvalidGraphic);
  EXPECT_TRUE(bitmap.Empty());
}

}  // namespace
}  // namespace tablora
