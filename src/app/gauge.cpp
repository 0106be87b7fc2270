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
    // The text in a colour that stands out from what lies under it: one colour over the filled
    // part, another over the rest (an inverse of a coloured bar can be unreadable, red on blue).
    const QString label = QString::asprintf("%d%%", PercentDone());
    const QFontMetrics metrics(font());
    const int x = (right - left + 1 - metrics.horizontalAdvance(label)) / 2;
    const int y = (bottom - top + 1 - metrics.height()) / 2;
    const QRect textBox(x, y, metrics.horizontalAdvance(label), metrics.height());
    const QRect bar(QPoint(left, top), QPoint(right - 1, bottom - 1));
    const int barWidth = right - left + 1;
    const int filled = std::min(barWidth, static_cast<int>(std::trunc(barWidth * (PercentDone() * 0.01))));
    QPainter painter(&image);
    painter.setFont(font());
    const auto contrasting = [](const QColor& under) {
      return qGray(under.rgb()) < 128 ? QColor(Qt::white) : QColor(Qt::black);
    };
    const QRect filledPart = bar.intersected(QRect(QPoint(left, top), QPoint(filled - 1, bottom - 1)));
    const QRect restPart = bar.intersected(QRect(QPoint(std::max(filled, left), top), QPoint(right - 1, bottom - 1)));
    for (const auto& [part, under] : {std::pair{filledPart, foreColor_}, std::pair{restPart, backColor_}}) {
      if (part.isEmpty()) continue;
      painter.setClipRect(part);
      painter.setPen(contrasting(under));
      painter.drawText(textBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label);
    }
  }
  return image;
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Render());
}

}  // namespace tablora
