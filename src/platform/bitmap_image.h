#pragma once

#include <QColor>
#include <QImage>
#include <QList>

#include "imaging/bitmap.h"
#include "imaging/types.h"

namespace tablora {

// 0x00BBGGRR keeps red in the low byte; QRgb keeps blue there.
constexpr QRgb ToQRgb(TColor color) {
  return qRgb(GetRValue(color), GetGValue(color), GetBValue(color));
}
constexpr TColor FromQRgb(QRgb rgb) {
  return RGB(static_cast<uint8_t>(qRed(rgb)), static_cast<uint8_t>(qGreen(rgb)),
             static_cast<uint8_t>(qBlue(rgb)));
}
inline QColor ToQColor(TColor color) { return QColor::fromRgb(ToQRgb(color)); }

// The QImage format whose memory layout equals the bitmap's rows, or Format_Invalid when there is
// none (4 bits per pixel, custom).
QImage::Format SharedImageFormat(TPixelFormat format);

// The bitmap's palette as a colour table of exactly `size` entries. Indices the palette does not
// cover read as black, as they do through TBitmap::PixelColor.
QList<QRgb> ColorTableOf(const TBitmap& bitmap, int size);

// A read-only image of the bitmap. Formats with a matching QImage layout share the bitmap's rows
// (no copy: the bitmap must stay unchanged while the image is used); 4-bit bitmaps are expanded
// into an 8-bit copy, charged to the memory budget while it lives (which may raise). An empty
// bitmap gives a null image.
QImage BitmapImage(const TBitmap& bitmap);

// A writable image over the bitmap's rows for the formats QPainter can paint on (15, 16, 24, 32
// bits); a null image for the indexed formats.
QImage WritableBitmapImage(TBitmap& bitmap);

// A 32-bit copy of an image, for bitmaps built from what Qt drew or decoded in tests and tools.
TBitmap BitmapFromImage(const QImage& image);

}  // namespace tablora
