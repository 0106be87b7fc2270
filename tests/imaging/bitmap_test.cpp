#include "imaging/bitmap.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tablora
