#include "sheet/thumbnail_transparency.h"

#include <gtest/gtest.h>

#include <functional>

#include "imaging/reduce.h"
#include "platform/qt_drawing_surface.h"
#include "sheet/thumbnail_image.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

// Draws the bitmap 1:1 into a white cell on a real surface and returns the cell.
TBitmap DrawnOverWhite(const TBitmap& bitmap) {
  TBitmap cell;
  cell.SetPixelFormat(pf32bit);
  cell.SetSize(bitmap.Width(), bitmap.Height());
  QtDrawingSurface surface(cell);
  surface.SetBrushColor(clWhite);
  surface.FillRect(surface.ClipRect());
  DrawOverWhite(surface, surface.ClipRect(), bitmap);
  return cell;
}

TBitmap Make(TPixelFormat format, const std::function<void(TBitmap&)>& fill) {
  TBitmap b;
  b.SetPixelFormat(format);
  b.SetSize(2, 1);
  fill(b);
  return b;
}

void Bgra(TBitmap& b, int x, uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha) {
  uint8_t* p = b.ScanLine(0) + x * 4;
  p[0] = blue;
  p[1] = green;
  p[2] = red;
  p[3] = alpha;
}

TEST(ThumbnailTransparency, PixelsShowAsOverTheWhitePage) {
  struct Case {
    const char* name;
    TBitmap bitmap;
    TColor left, right;
  };
  const TPalette blackBlue = {{0, 0, 0, 0}, {0, 0, 255, 0}};
  for (const Case& c : std::vector<Case>{
           {"straight alpha",
            Make(pf32bit,
                 [](TBitmap& b) {
                   b.SetAlphaChannel(true);
                   Bgra(b, 0, 0, 0, 255, 128);  // red at half: 255, 127, 127 over white
                   Bgra(b, 1, 0, 0, 0, 0);      // black stored under full transparency
                 }),
            RGB(255, 127, 127), clWhite},
           {"fourth byte that is no alpha",
            Make(pf32bit,
                 [](TBitmap& b) {
                   Bgra(b, 0, 0, 0, 0, 0);
                   Bgra(b, 1, 10, 20, 30, 7);
                 }),
            clBlack, RGB(30, 20, 10)},
           {"palette alpha",
            Make(pf8bit,
                 [&](TBitmap& b) {
                   b.SetPalette(blackBlue);
                   b.SetPaletteAlpha({0, 64});
                   b.ScanLine(0)[1] = 1;
                 }),
            clWhite, RGB(191, 191, 255)},
           {"colour key",
            Make(pf24bit,
                 [](TBitmap& b) {
                   b.SetPixelColor(0, 0, RGB(0, 255, 0));
                   b.SetPixelColor(1, 0, RGB(0, 254, 0));
                   b.SetTransparentColor(RGB(0, 255, 0));
                   b.SetTransparent(true);
                 }),
            clWhite, RGB(0, 254, 0)},
           {"colour key of a 4-bit palette",
            Make(pf4bit,
                 [&](TBitmap& b) {
                   b.SetPalette(blackBlue);
                   b.ScanLine(0)[0] = 0x01;
                   b.SetTransparentColor(clBlack);
                   b.SetTransparent(true);
                 }),
            clWhite, RGB(0, 0, 255)},
       }) {
    const TBitmap cell = DrawnOverWhite(c.bitmap);
    EXPECT_EQ(cell.PixelColor(0, 0), c.left) << c.name;
    EXPECT_EQ(cell.PixelColor(1, 0), c.right) << c.name;
    EXPECT_EQ(OverWhite(c.bitmap).has_value(), c.bitmap.HasTransparency()) << c.name;
  }
}

TEST(ThumbnailTransparency, ATransparentLogoSitsOnWhiteInItsCell) {
  std::unique_ptr<ThumbnailImage> logo = CreateThumbnailReader(".png");
  logo->LoadFromFile((test::DataDir() / "png/logo-rgba.png").string());
  TBitmap cell;
  cell.SetPixelFormat(pf32bit);
  cell.SetSize(logo->Width(), logo->Height());
  {
    QtDrawingSurface surface(cell);
    surface.SetBrushColor(clWhite);
    surface.FillRect(surface.ClipRect());
    logo->Draw(surface, surface.ClipRect());
  }
  EXPECT_EQ(cell.PixelColor(0, 0), clWhite) << "transparent corner";
  EXPECT_EQ(cell.PixelColor(24, 16), RGB(0xF0, 0xA0, 0x00)) << "opaque centre";
  EXPECT_EQ(logo->Pixels().PixelColor(24, 16), RGB(0xF0, 0xA0, 0x00));
  // Reduced for a cell, the same.
  const TBitmap reduced = ReduceImage(logo->Pixels(), 12, 8);
  EXPECT_EQ(reduced.PixelColor(0, 0), clWhite);
  EXPECT_EQ(reduced.PixelColor(6, 4), RGB(0xF0, 0xA0, 0x00));
}

}  // namespace
}  // namespace tablora
