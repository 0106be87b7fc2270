#include "app/preview_image.h"

#include <QPainter>
#include <cmath>

#include "platform/bitmap_image.h"

namespace tablora {

PreviewImage::PreviewImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

double PreviewImage::Ratio() const { return devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0; }

int PreviewImage::Width() const { return static_cast<int>(std::lround(width() * Ratio())); }
int PreviewImage::Height() const { return static_cast<int>(std::lround(height() * Ratio())); }

void PreviewImage::ShowBitmap(const TBitmap& bitmap) {
  if (picture_.size() != QSize(Width(), Height()) || picture_.devicePixelRatio() != Ratio()) ClearPicture();
  QPainter painter(&picture_);
  QImage page = BitmapImage(bitmap);
  page.setDevicePixelRatio(Ratio());
  painter.drawImage(0, 0, page);
  painter.end();
  update();
}

void PreviewImage::SetPageLabel(const std::string& caption) {
  emit PageLabelChanged(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

void PreviewImage::SetHint(const QString& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  update();
}

void PreviewImage::SetMarks(std::vector<QRect> picked, QRect focus, std::vector<QRect> dimmed) {
  picked_ = std::move(picked);
  focus_ = focus;
  dimmed_ = std::move(dimmed);
  update();
}

void PreviewImage::ClearPicture() {
  picture_ = QImage(QSize(Width(), Height()), QImage::Format_RGB32);
  picture_.setDevicePixelRatio(Ratio());
  picture_.fill(QColor(0x80, 0x80, 0x80));
  update();
}

void PreviewImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0x80, 0x80, 0x80));
  painter.drawImage(0, 0, picture_);
  for (const QRect& cell : dimmed_) painter.fillRect(cell, QColor(255, 255, 255, 170));
  const QColor highlight = palette().color(QPalette::Highlight);
  for (const QRect& cell : picked_) {
    painter.fillRect(cell, QColor(highlight.red(), highlight.green(), highlight.blue(), 50));
    painter.setPen(QPen(highlight, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cell.adjusted(1, 1, -1, -1));
  }
  if (hasFocus() && !focus_.isEmpty()) {
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(focus_.adjusted(-2, -2, 1, 1));
  }
  if (!hint_.isEmpty()) {
    painter.setPen(Qt::black);
    painter.drawText(rect().adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, hint_);
  }
  if (hasFocus()) {
    // The keys that turn pages and pick pictures act here: the frame says so.
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(1, 1, -1, -1));
  }
}

void PreviewImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit Resized();
}

void PreviewImage::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void PreviewImage::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

}  // namespace tablora
