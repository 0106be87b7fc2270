#include "app/gauge.h"

#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>

#include "imaging/exceptions.h"
#include "imaging/format.h"

namespace tablora {

namespace {

void XorInto(QImage& target, const QImage& source) {
  for (int y = 0; y < target.height(); ++y) {
    auto* out = reinterpret_cast<QRgb*>(target.scanLine(y));
    const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    for (int x = 0; x < target.width(); ++x) out[x] = 0xFF000000u | ((out[x] ^ in[x]) & 0x00FFFFFFu);
  }
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) { resize(100, 100); }

void TGauge::SetMinValue(int value) {
  if (value == minValue_) return;
  if (value > maxValue_) {
    throw Exception(Format("Value must be between %d and %d", -2147483647, maxValue_ - 1));
  }
  minValue_ = value;
  progress_ = std::clamp(progress_, minValue_, maxValue_);
  update();
}

void TGauge::SetMaxValue(int value) {
  if (value == maxValue_) return;
  if (value < minValue_) {
    throw Exception(Format("Value must be between %d and %d", minValue_ + 1, 2147483647));
  }
  maxValue_ = value;
  progress_ = std::clamp(progress_, minValue_, maxValue_);
  update();
}

void TGauge::SetProgress(int value) {
  value = std::clamp(value, minValue_, maxValue_);
  if (value == progress_) return;
  const int before = PercentDone();
  progress_ = value;
  if (PercentDone() != before) repaint();
}

int TGauge::PercentDone() const {
  if (maxValue_ == minValue_) return 0;
  return static_cast<int>(std::trunc((static_cast<double>(progress_) - minValue_) * 100.0 /
                                     (static_cast<double>(maxValue_) - minValue_)));
}

void TGauge::SetForeColor(const QColor& color) {
  foreColor_ = color;
  update();
}

void TGauge::SetBackColor(const QColor& color) {
  backColor_ = color;
  update();
}

QImage TGauge::Render() const {
  const int w = width();
  const int h = height();
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::black);
  if (w <= 0 || h <= 0) return image;

  // Paint rectangle with exclusive right and bottom edges: one pixel in from every side.
  const int left = 1, top = 1, right = w - 1, bottom = h - 1;

  QImage overlay(w, h, QImage::Format_RGB32);
  overlay.fill(Qt::black);
  {
    QPainter painter(&overlay);
    painter.fillRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), backColor_);
    const int barWidth = right - left + 1;
    const int barHeight = bottom - top + 1;
    const int filled = std::min(barWidth, static_cast<int>(std::trunc(barWidth * (PercentDone() * 0.01))));
    // The filled part's right and bottom edges are the plain width and height, not offsets.
    if (filled >= 1 && filled > left && barHeight > top) {
      painter.fillRect(QRect(QPoint(left, top), QPoint(filled - 1, barHeight - 1)), foreColor_);
    }
  }
  XorInto(image, overlay);

  if (showText_) {
    QImage text(w, h, QImage::Format_RGB32);
    text.fill(Qt::black);
    QPainter painter(&text);
    painter.setFont(font());
    painter.setPen(Qt::white);
    painter.setClipRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
    const QString label = QString::asprintf("%d%%", PercentDone());
    const QFontMetrics metrics(font());
    const int x = (right - left + 1 - metrics.horizontalAdvance(label)) / 2;
    const int y = (bottom - top + 1 - metrics.height()) / 2;
    painter.drawText(QRect(x, y, metrics.horizontalAdvance(label), metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label);
    painter.end();
    XorInto(image, text);
  }
  return image;
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Render());
}

}  // namespace tablora
