#include "platform/svg_picture.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include "platform/bitmap_image.h"

namespace tablora {

namespace {

QByteArray Bytes(std::span<const uint8_t> svg) {
  return QByteArray::fromRawData(reinterpret_cast<const char*>(svg.data()), static_cast<qsizetype>(svg.size()));
}

}  // namespace

std::optional<std::pair<double, double>> SvgSize(std::span<const uint8_t> svg) {
  QSvgRenderer renderer(Bytes(svg));
  if (!renderer.isValid()) return std::nullopt;
  // The view box holds the drawing's proportions; a drawing with width and height only has it
  // from them.
  const QRectF box = renderer.viewBoxF();
  if (!(box.width() > 0 && box.height() > 0)) return std::nullopt;
  return std::pair{box.width(), box.height()};
}

std::optional<TBitmap> RenderSvg(std::span<const uint8_t> svg, int width, int height, TColor background) {
  if (width <= 0 || height <= 0) return std::nullopt;
  QSvgRenderer renderer(Bytes(svg));
  if (!renderer.isValid()) return std::nullopt;
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return std::nullopt;
  image.fill(ToQColor(background));
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, width, height));
  }
  return BitmapFromImage(image);
}

}  // namespace tablora
