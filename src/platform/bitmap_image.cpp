#include "platform/bitmap_image.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tablora {

QImage::Format SharedImageFormat(TPixelFormat format) {
  switch (format) {
    case pf1bit: return QImage::Format_Mono;
    case pf8bit: return QImage::Format_Indexed8;
    case pf15bit: return QImage::Format_RGB555;
    case pf16bit: return QImage::Format_RGB16;
    case pf24bit: return QImage::Format_BGR888;
    case pfDevice:
    case pf32bit: return QImage::Format_RGB32;
    default: return QImage::Format_Invalid;
  }
}

QList<QRgb> ColorTableOf(const TBitmap& bitmap, int size) {
  QList<QRgb> table(size, qRgb(0, 0, 0));
  const TPalette& palette = bitmap.Palette();
  const int count = std::min(size, static_cast<int>(palette.size()));
  for (int i = 0; i < count; ++i) {
    table[i] = qRgb(palette[i].peRed, palette[i].peGreen, palette[i].peBlue);
  }
  return table;
}

namespace {

// The copy's bytes, charged to the memory budget for as long as the image (or a copy of it) lives.
struct ChargedPixels {
  explicit ChargedPixels(std::size_t bytes) : charge(bytes), pixels(new uchar[bytes]) {}
  TMemoryCharge charge;
  std::unique_ptr<uchar[]> pixels;
};

QImage ExpandFourBit(const TBitmap& bitmap) {
  const std::size_t rowBytes = (static_cast<std::size_t>(bitmap.Width()) + 3) & ~std::size_t{3};
  auto* expanded = new ChargedPixels(rowBytes * static_cast<std::size_t>(bitmap.Height()));
  QImage image(expanded->pixels.get(), bitmap.Width(), bitmap.Height(), static_cast<qsizetype>(rowBytes),
               QImage::Format_Indexed8, [](void* owner) { delete static_cast<ChargedPixels*>(owner); },
               expanded);
  image.setColorTable(ColorTableOf(bitmap, 16));
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* src = bitmap.ScanLine(y);
    uchar* dst = image.scanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
    }
  }
  return image;
}

}  // namespace

QImage BitmapImage(const TBitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  const QImage::Format format = SharedImageFormat(bitmap.PixelFormat());
  if (bitmap.PixelFormat() == pf4bit) return ExpandFourBit(bitmap);
  if (format == QImage::Format_Invalid) return QImage();
  QImage image(bitmap.Bits(), bitmap.Width(), bitmap.Height(),
               static_cast<qsizetype>(bitmap.RowSize()), format);
  // Every index a row can hold must have an entry: Qt does not check indices against the table.
  if (format == QImage::Format_Indexed8) image.setColorTable(ColorTableOf(bitmap, 256));
  if (format == QImage::Format_Mono) image.setColorTable(ColorTableOf(bitmap, 2));
  return image;
}

QImage WritableBitmapImage(TBitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  switch (bitmap.PixelFormat()) {
    case pf15bit:
    case pf16bit:
    case pf24bit:
    case pf32bit:
    case pfDevice:
      return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(),
                    static_cast<qsizetype>(bitmap.RowSize()), SharedImageFormat(bitmap.PixelFormat()));
    default: return QImage();
  }
}

TBitmap BitmapFromImage(const QImage& image) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  if (image.isNull()) return bitmap;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  bitmap.SetSize(rgb.width(), rgb.height());
  const std::size_t rowBytes = static_cast<std::size_t>(rgb.width()) * 4;
  for (int y = 0; y < rgb.height(); ++y) {
    std::memcpy(bitmap.ScanLine(y), rgb.constScanLine(y), rowBytes);
  }
  return bitmap;
}

}  // namespace tablora
