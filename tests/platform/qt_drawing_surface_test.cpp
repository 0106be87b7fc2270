#include "platform/qt_drawing_surface.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <climits>
#include <memory>
#include <vector>

#include "platform/bitmap_image.h"
#include "support/qt_environment.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment<QGuiApplication>());

constexpr TColor kRed = RGB(255, 0, 0);
constexpr TColor kGreen = RGB(0, 255, 0);
constexpr TColor kBlue = RGB(0, 0, 255);
constexpr TColor kYellow = RGB(255, 255, 0);

QImage Canvas(int width, int height, TColor fill = clGray) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(ToQColor(fill));
  return image;
}

TColor At(const QImage& image, int x, int y) { return FromQRgb(image.pixel(x, y)); }

TBitmap Bitmap(TPixelFormat format, int width, int height, TPalette palette = {}) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(format);
  if (!palette.empty()) bitmap.SetPalette(palette);
  bitmap.SetSize(width, height);
  return bitmap;
}

TPaletteEntry Entry(TColor c) { return {GetRValue(c), GetGValue(c), GetBValue(c), 0}; }

TEST(ColorOrder, RedIsTheLowByte) {
  constexpr TColor c = 0x00332211;  // blue 0x33, green 0x22, red 0x11
  EXPECT_EQ(ToQRgb(c), qRgb(0x11, 0x22, 0x33));
  EXPECT_EQ(FromQRgb(qRgb(0x11, 0x22, 0x33)), c);
  EXPECT_EQ(ToQColor(c).red(), 0x11);

  QImage image = Canvas(4, 4);
  {
    QtDrawingSurface surface(image);
    surface.SetBrushColor(c);
    surface.FillRect(Rect(0, 0, 4, 4));
  }
  EXPECT_EQ(image.pixel(1, 1), qRgb(0x11, 0x22, 0x33));

  TBitmap bitmap = Bitmap(pf24bit, 2, 1);
  {
    QtDrawingSurface surface(bitmap);
    surface.SetBrushColor(c);
    surface.FillRect(Rect(0, 0, 2, 1));
  }
  const uint8_t* row = bitmap.ScanLine(0);
  EXPECT_EQ(row[0], 0x33);  // blue, green, red in memory
  EXPECT_EQ(row[1], 0x22);
  EXPECT_EQ(row[2], 0x11);
}

TEST(ClipRect, IsTheWholeDeviceOrTheGivenRectangle) {
  QImage image = Canvas(31, 17);
  EXPECT_EQ(QtDrawingSurface(image).ClipRect(), Rect(0, 0, 31, 17));
  TBitmap bitmap = Bitmap(pf8bit, 9, 5);
  EXPECT_EQ(QtDrawingSurface(bitmap).ClipRect(), Rect(0, 0, 9, 5));
  TBitmap empty;
  QtDrawingSurface emptySurface(empty);
  EXPECT_EQ(emptySurface.ClipRect(), Rect(0, 0, 0, 0));
  emptySurface.FillRect(Rect(0, 0, 10, 10));
  emptySurface.TextOut(0, 0, "nothing to draw on");

  QPainter painter(&image);
  EXPECT_EQ(QtDrawingSurface(painter, Rect(0, 0, 20, 10)).ClipRect(), Rect(0, 0, 20, 10));
}

TEST(FillRect, StaysInsideTheDeviceWhateverTheCoordinates) {
  QImage image = Canvas(6, 4);
  QtDrawingSurface surface(image);
  surface.SetBrushColor(kRed);
  surface.FillRect(Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX));
  EXPECT_EQ(At(image, 0, 0), kRed);
  EXPECT_EQ(At(image, 5, 3), kRed);

  surface.SetBrushColor(kBlue);
  surface.FillRect(Rect(4, 1, 2, 3));  // right before left: nothing
  surface.FillRect(Rect(2, 1, 4, 3));  // right and bottom exclusive
  EXPECT_EQ(At(image, 1, 1), kRed);
  EXPECT_EQ(At(image, 2, 1), kBlue);
  EXPECT_EQ(At(image, 3, 2), kBlue);
  EXPECT_EQ(At(image, 4, 2), kRed);
  EXPECT_EQ(At(image, 3, 3), kRed);
}

TEST(Fonts, CellHeightIsTheLargestThatFitsTheAskedHeight) {
  QImage image = Canvas(10, 10);
  QtDrawingSurface surface(image);
  for (const char* family : {"Tahoma", "DejaVu Serif"}) {
    surface.SetFontName(family);
    for (int asked = 4; asked <= 120; asked += asked < 30 ? 1 : 17) {
      surface.SetFontHeight(asked);
      EXPECT_EQ(surface.FontHeight(), asked);
      QFont font = surface.ResolvedFont();
      EXPECT_EQ(font.family(), QString(family));
      const int size = font.pixelSize();
      EXPECT_LE(QFontMetrics(font, &image).height(), asked) << family << " " << asked;
      font.setPixelSize(size + 1);
      EXPECT_GT(QFontMetrics(font, &image).height(), asked) << family << " " << asked;
    }
  }
}

TEST(Fonts, HeightsBelowOnePixelStillGiveAFont) {
  QImage image = Canvas(10, 10);
  QtDrawingSurface surface(image);
  for (int asked : {1, 0, -5}) {
    surface.SetFontHeight(asked);
    EXPECT_EQ(surface.FontHeight(), asked);
    EXPECT_EQ(surface.ResolvedFont().pixelSize(), 1);
    surface.TextOut(1, 1, "x");
  }
}

TEST(Fonts, AbsurdHeightsAreBoundedNotObeyed) {
  QImage image = Canvas(10, 10);
  QtDrawingSurface surface(image);
  surface.SetFontHeight(INT_MAX);
  EXPECT_EQ(surface.FontHeight(), INT_MAX);
  EXPECT_LE(QFontMetrics(surface.ResolvedFont(), &image).height(), 32767);
  EXPECT_GT(surface.TextWidth("x"), 0);
}

TEST(Text, WidthIsTheAdvanceOfTheUtf8Text) {
  QImage image = Canvas(10, 10);
  QtDrawingSurface surface(image);
  surface.SetFontHeight(20);
  const QFontMetrics metrics(surface.ResolvedFont(), &image);
  EXPECT_EQ(surface.TextWidth("Ärger.jpg"), metrics.horizontalAdvance(QString::fromUtf8("Ärger.jpg")));
  EXPECT_GT(surface.TextWidth("IMG_0001.jpg"), surface.TextWidth("IMG.jpg"));
  EXPECT_EQ(surface.TextWidth(""), 0);
  // Bytes that are not UTF-8 are shown lossily rather than dropped.
  EXPECT_GT(surface.TextWidth("caf\xe9.jpg"), surface.TextWidth("caf.jpg"));
}

TEST(Text, DrawsOnAnOpaqueCellInTheBrushColour) {
  QImage image = Canvas(200, 60);
  QtDrawingSurface surface(image);
  surface.SetFontHeight(24);
  surface.SetBrushColor(clWhite);
  surface.SetFontColor(kRed);
  surface.TextOut(10, 12, "Holiday");
  const QFontMetrics metrics(surface.ResolvedFont(), &image);
  const int width = metrics.horizontalAdvance("Holiday");
  const int height = metrics.height();
  ASSERT_LE(height, 24);

  int inked = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const bool inside = x >= 10 && x < 10 + width && y >= 12 && y < 12 + height;
      const TColor c = At(image, x, y);
      if (!inside) {
        ASSERT_EQ(c, clGray) << x << "," << y;
        continue;
      }
      ASSERT_NE(c, clGray) << x << "," << y;
      if (c != clWhite) {
        ++inked;
        EXPECT_GT(GetRValue(c), GetGValue(c));  // the ink is the font colour, blended on white
      }
    }
  }
  EXPECT_GT(inked, 20);
}

TEST(Text, OutsideTheDeviceDrawsNothing) {
  QImage image = Canvas(20, 20);
  QtDrawingSurface surface(image);
  surface.TextOut(INT_MAX - 5, INT_MAX - 5, "far away");
  surface.TextOut(INT_MIN, INT_MIN, "far away");
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(At(image, x, y), clGray);
  }
}

// Columns 0..n-1 carry red values 10 * column.
TBitmap Ramp(int width) {
  TBitmap bitmap = Bitmap(pf24bit, width, 1);
  for (int x = 0; x < width; ++x) bitmap.SetPixelColor(x, 0, RGB(static_cast<uint8_t>(10 * x), 0, 0));
  return bitmap;
}

std::vector<int> Columns(const QImage& image, int width) {
  std::vector<int> result;
  for (int x = 0; x < width; ++x) result.push_back(GetRValue(At(image, x, 0)) / 10);
  return result;
}

TEST(StretchDraw, NearestNeighbourSamplesPixelCentres) {
  QImage image = Canvas(7, 1);
  {
    QtDrawingSurface surface(image);
    surface.StretchDraw(Rect(0, 0, 7, 1), Ramp(3));
  }
  EXPECT_EQ(Columns(image, 7), (std::vector<int>{0, 0, 1, 1, 1, 2, 2}));
  {
    QtDrawingSurface surface(image);
    surface.StretchDraw(Rect(0, 0, 3, 1), Ramp(7));
  }
  EXPECT_EQ(Columns(image, 3), (std::vector<int>{1, 3, 5}));
}

TEST(StretchDraw, CheckerboardScalesExactly) {
  TBitmap board = Bitmap(pf24bit, 2, 2);
  board.SetPixelColor(0, 0, clBlack);
  board.SetPixelColor(1, 0, clWhite);
  board.SetPixelColor(0, 1, clWhite);
  board.SetPixelColor(1, 1, clBlack);
  QImage image = Canvas(10, 10);
  {
    QtDrawingSurface surface(image);
    surface.StretchDraw(Rect(1, 1, 9, 9), board);
  }
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      TColor expected = clGray;
      if (x >= 1 && x < 9 && y >= 1 && y < 9) {
        expected = (((x - 1) / 4) ^ ((y - 1) / 4)) ? clWhite : clBlack;
      }
      ASSERT_EQ(At(image, x, y), expected) << x << "," << y;
    }
  }

  // Shrinking a 4 x 4 block board by four gives the 2 x 2 board back.
  TBitmap big = Bitmap(pf32bit, 8, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) big.SetPixelColor(x, y, ((x / 4) ^ (y / 4)) ? kRed : kBlue);
  }
  QImage small = Canvas(2, 2);
  {
    QtDrawingSurface surface(small);
    surface.StretchDraw(Rect(0, 0, 2, 2), big);
  }
  EXPECT_EQ(At(small, 0, 0), kBlue);
  EXPECT_EQ(At(small, 1, 0), kRed);
  EXPECT_EQ(At(small, 0, 1), kRed);
  EXPECT_EQ(At(small, 1, 1), kBlue);
}

TEST(StretchDraw, ClippedRectangleKeepsTheMappingOfTheWholeRectangle) {
  TBitmap bitmap = Bitmap(pf24bit, 3, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) bitmap.SetPixelColor(x, y, RGB(static_cast<uint8_t>(40 * x), static_cast<uint8_t>(40 * y), 7));
  }
  // Reference: the whole rectangle on a device large enough to hold it.
  QImage whole = Canvas(40, 30);
  {
    QtDrawingSurface surface(whole);
    surface.StretchDraw(Rect(0, 0, 23, 17), bitmap);
  }
  QImage clipped = Canvas(10, 8);
  {
    QtDrawingSurface surface(clipped);
    surface.StretchDraw(Rect(-7, -5, 16, 12), bitmap);
  }
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(At(clipped, x, y), At(whole, x + 7, y + 5)) << x << "," << y;
  }
}

TEST(StretchDraw, EmptyInputsDrawNothing) {
  QImage image = Canvas(5, 5);
  QtDrawingSurface surface(image);
  TBitmap empty;
  surface.StretchDraw(Rect(0, 0, 5, 5), empty);
  TBitmap red = Bitmap(pf24bit, 1, 1);
  red.SetPixelColor(0, 0, kRed);
  surface.StretchDraw(Rect(3, 0, 1, 5), red);
  surface.StretchDraw(Rect(0, 3, 5, 3), red);
  surface.StretchDraw(Rect(INT_MIN, INT_MIN, INT_MIN + 10, INT_MIN + 10), red);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) ASSERT_EQ(At(image, x, y), clGray);
  }
  // One pixel stretched over far more than the device covers it all.
  surface.StretchDraw(Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), red);
  EXPECT_EQ(At(image, 0, 0), kRed);
  EXPECT_EQ(At(image, 4, 4), kRed);
}

struct FormatCase {
  TPixelFormat format;
  TPalette palette;
};

// Colours every format holds exactly (5-bit channels expand 0 and 31 to 0 and 255).
const std::vector<TColor> kColours = {kRed, kGreen, kBlue, kYellow, clWhite, clBlack, RGB(0, 255, 255), RGB(255, 0, 255)};

TBitmap Sample(const FormatCase& c) {
  TBitmap bitmap = Bitmap(c.format, 5, 3, c.palette);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      const int i = x + 2 * y;
      if (c.palette.empty()) {
        bitmap.SetPixelColor(x, y, kColours[i % kColours.size()]);
      } else {
        const TPaletteEntry& e = c.palette[i % c.palette.size()];
        bitmap.SetPixelColor(x, y, RGB(e.peRed, e.peGreen, e.peBlue));
      }
    }
  }
  return bitmap;
}

std::vector<FormatCase> EveryFormat() {
  return {
      {pf1bit, {Entry(kRed), Entry(kBlue)}},
      {pf4bit, {Entry(clBlack), Entry(kRed), Entry(kGreen), Entry(kBlue), Entry(kYellow), Entry(clWhite),
                Entry(RGB(0, 255, 255)), Entry(RGB(255, 0, 255)), Entry(clGray)}},
      {pf8bit, {Entry(kYellow), Entry(kBlue), Entry(kGreen), Entry(kRed), Entry(clWhite)}},
      {pf15bit, {}},
      {pf16bit, {}},
      {pf24bit, {}},
      {pf32bit, {}},
      {pfDevice, {}},
  };
}

TEST(StretchDraw, EveryPixelFormatShowsItsColours) {
  for (const FormatCase& c : EveryFormat()) {
    const TBitmap bitmap = Sample(c);
    QImage image = Canvas(12, 8);
    {
      QtDrawingSurface surface(image);
      surface.StretchDraw(Rect(1, 1, 11, 7), bitmap);  // twice the size
    }
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 10; ++x) {
        ASSERT_EQ(At(image, x + 1, y + 1), bitmap.PixelColor(x / 2, y / 2))
            << "format " << int(c.format) << " at " << x << "," << y;
      }
    }
    EXPECT_EQ(At(image, 0, 0), clGray);
    EXPECT_EQ(At(image, 11, 7), clGray);
  }
}

TEST(StretchDraw, IndicesBeyondThePaletteAreBlack) {
  TBitmap bitmap = Bitmap(pf8bit, 2, 1, {Entry(kRed)});
  bitmap.ScanLine(0)[0] = 0;
  bitmap.ScanLine(0)[1] = 200;
  TBitmap mono = Bitmap(pf1bit, 2, 1, {Entry(kGreen)});
  mono.ScanLine(0)[0] = 0x40;  // pixel 0 index 0, pixel 1 index 1 (no entry)
  QImage image = Canvas(2, 2);
  {
    QtDrawingSurface surface(image);
    surface.Draw(0, 0, bitmap);
    surface.Draw(0, 1, mono);
  }
  EXPECT_EQ(At(image, 0, 0), kRed);
  EXPECT_EQ(At(image, 1, 0), clBlack);
  EXPECT_EQ(At(image, 0, 1), kGreen);
  EXPECT_EQ(At(image, 1, 1), clBlack);
}

TEST(StretchDraw, TransparentColourIsLeftUndrawn) {
  for (const FormatCase& c : EveryFormat()) {
    TBitmap bitmap = Sample(c);
    const TColor key = bitmap.PixelColor(1, 0);
    bitmap.SetTransparent(true);
    bitmap.SetTransparentColor(key);
    QImage image = Canvas(15, 9);
    {
      QtDrawingSurface surface(image);
      surface.StretchDraw(Rect(0, 0, 15, 9), bitmap);  // three times the size
    }
    int undrawn = 0;
    for (int y = 0; y < 9; ++y) {
      for (int x = 0; x < 15; ++x) {
        const TColor source = bitmap.PixelColor(x / 3, y / 3);
        const TColor expected = source == key ? clGray : source;
        undrawn += source == key;
        ASSERT_EQ(At(image, x, y), expected) << "format " << int(c.format) << " at " << x << "," << y;
      }
    }
    EXPECT_GT(undrawn, 0);
  }
}

TEST(StretchDraw, TallTransparentStretchesKeepOneMapping) {
  TBitmap bitmap = Bitmap(pf24bit, 3, 7);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 3; ++x) bitmap.SetPixelColor(x, y, RGB(static_cast<uint8_t>(30 * x), static_cast<uint8_t>(30 * y), 1));
  }
  const TColor key = bitmap.PixelColor(1, 3);
  QImage opaque = Canvas(13, 900);
  {
    QtDrawingSurface surface(opaque);
    surface.StretchDraw(Rect(-4, -50, 17, 950), bitmap);
  }
  bitmap.SetTransparent(true);
  bitmap.SetTransparentColor(key);
  QImage keyed = Canvas(13, 900);
  {
    QtDrawingSurface surface(keyed);
    surface.StretchDraw(Rect(-4, -50, 17, 950), bitmap);
  }
  int undrawn = 0;
  for (int y = 0; y < 900; ++y) {
    for (int x = 0; x < 13; ++x) {
      const TColor drawn = At(opaque, x, y);
      const TColor expected = drawn == key ? clGray : drawn;
      undrawn += drawn == key;
      ASSERT_EQ(At(keyed, x, y), expected) << x << "," << y;
    }
  }
  EXPECT_GT(undrawn, 100);
}

TEST(Draw, CopiesUnscaledAtThePoint) {
  const TBitmap bitmap = Sample({pf24bit, {}});
  QImage image = Canvas(6, 4);
  {
    QtDrawingSurface surface(image);
    surface.Draw(-2, 2, bitmap);  // partly off the left and bottom edges
  }
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      const int bx = x + 2, by = y - 2;
      const TColor expected = (bx < 5 && by >= 0) ? bitmap.PixelColor(bx, by) : clGray;
      ASSERT_EQ(At(image, x, y), expected) << x << "," << y;
    }
  }
}

TEST(BitmapSurface, PaintsStraightIntoTheBitmapRows) {
  for (TPixelFormat format : {pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
    TBitmap bitmap = Bitmap(format, 4, 3);
    const uint8_t* bits = bitmap.Bits();
    {
      QtDrawingSurface surface(bitmap);
      surface.SetBrushColor(kYellow);
      surface.FillRect(Rect(1, 1, 3, 2));
    }
    EXPECT_EQ(bitmap.Bits(), bits);
    EXPECT_EQ(bitmap.PixelColor(1, 1), kYellow) << int(format);
    EXPECT_EQ(bitmap.PixelColor(2, 1), kYellow) << int(format);
    EXPECT_EQ(bitmap.PixelColor(0, 1), clBlack) << int(format);
    EXPECT_EQ(bitmap.PixelColor(1, 2), clBlack) << int(format);
  }
}

TEST(BitmapSurface, IndexedBitmapsGetTheNearestPaletteEntry) {
  // Entries 0 and 2 are both red: pixels left alone keep index 2.
  TBitmap bitmap = Bitmap(pf4bit, 5, 2, {Entry(kRed), Entry(kBlue), Entry(kRed), Entry(RGB(250, 250, 250))});
  for (int x = 0; x < 5; ++x) bitmap.ScanLine(1)[x / 2] = 0x22;
  {
    QtDrawingSurface surface(bitmap);
    surface.SetBrushColor(clWhite);  // nearest: entry 3
    surface.FillRect(Rect(0, 0, 3, 1));
    surface.SetBrushColor(RGB(0, 0, 200));  // nearest: entry 1
    surface.FillRect(Rect(3, 0, 5, 1));
  }
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x33);
  EXPECT_EQ(bitmap.ScanLine(0)[1], 0x31);
  EXPECT_EQ(bitmap.ScanLine(0)[2] & 0xF0, 0x10);
  EXPECT_EQ(bitmap.ScanLine(1)[0], 0x22);
  EXPECT_EQ(bitmap.ScanLine(1)[1], 0x22);

  TBitmap mono = Bitmap(pf1bit, 10, 1, TBitmap::MonochromePalette());
  {
    QtDrawingSurface surface(mono);
    surface.SetBrushColor(RGB(200, 200, 200));
    surface.FillRect(Rect(2, 0, 9, 1));
  }
  EXPECT_EQ(mono.ScanLine(0)[0], 0x3F);
  EXPECT_EQ(mono.ScanLine(0)[1] & 0xC0, 0x80);
}

TEST(BitmapImage, SharesTheRowsWhereTheFormatAllows) {
  for (const FormatCase& c : EveryFormat()) {
    const TBitmap bitmap = Sample(c);
    const QImage image = BitmapImage(bitmap);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.constBits() == bitmap.Bits(), c.format != pf4bit) << int(c.format);
    for (int y = 0; y < bitmap.Height(); ++y) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        ASSERT_EQ(FromQRgb(image.pixel(x, y)), bitmap.PixelColor(x, y)) << int(c.format);
      }
    }
  }
  EXPECT_TRUE(BitmapImage(TBitmap()).isNull());
  const TBitmap back = BitmapFromImage(BitmapImage(Sample({pf16bit, {}})));
  EXPECT_EQ(back.PixelFormat(), pf32bit);
  EXPECT_EQ(back.PixelColor(4, 2), Sample({pf16bit, {}}).PixelColor(4, 2));
}

// A page-like picture of everything the surface draws, written for a look with an image viewer.
TEST(SurfaceSample, WritesAPng) {
  TBitmap page = Bitmap(pf24bit, 480, 300);
  {
    QtDrawingSurface surface(page);
    surface.SetBrushColor(clWhite);
    surface.FillRect(surface.ClipRect());
    surface.SetFontName("Tahoma");
    surface.SetFontHeight(28);
    surface.TextOut(20, 8, "Tablora surface sample");
    surface.SetFontHeight(12);
    int x = 10;
    for (const FormatCase& c : EveryFormat()) {
      TBitmap bitmap = Sample(c);
      surface.StretchDraw(Rect(x, 60, x + 50, 90), bitmap);
      surface.SetFontColor(clBlack);
      surface.TextOut(x, 94, "format " + std::to_string(int(c.format)));
      bitmap.SetTransparent(true);
      bitmap.SetTransparentColor(bitmap.PixelColor(0, 0));
      surface.SetBrushColor(clGray);
      surface.FillRect(Rect(x, 120, x + 50, 150));
      surface.SetBrushColor(clWhite);
      surface.StretchDraw(Rect(x, 120, x + 50, 150), bitmap);
      x += 58;
    }
    TBitmap board = Bitmap(pf1bit, 8, 8, {Entry(clBlack), Entry(kYellow)});
    for (int y = 0; y < 8; ++y) board.ScanLine(y)[0] = (y & 1) ? 0xAA : 0x55;
    surface.StretchDraw(Rect(10, 170, 130, 290), board);
    surface.SetFontColor(kRed);
    surface.SetFontHeight(20);
    surface.TextOut(150, 200, "Ärger – ünïcödé");
  }
  const std::filesystem::path path = test::BinaryDir() / "surface_sample.png";
  ASSERT_TRUE(BitmapImage(page).save(QString::fromStdString(path.string())));
  EXPECT_EQ(page.PixelColor(17, 177), clBlack);  // board cells are 15 pixels square
  EXPECT_EQ(page.PixelColor(32, 177), kYellow);
  EXPECT_EQ(page.PixelColor(32, 192), clBlack);
}

}  // namespace
}  // namespace tablora
