#include "app/preview_image.h"

#include <QPainter>

#include "platform/bitmap_image.h"

namespace tablora {

PreviewImage::PreviewImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewImage::ShowBitmap(const TBitmap& bitmap) {
  if (picture_.size() != size()) ClearPicture();
  QPainter painter(&picture_);
  painter.drawImage(0, 0, BitmapImage(bitmap));
  painter.end();
  update();
}

void PreviewImage::SetPageLabel(const std::string& caption) {
  emit PageLabelChanged(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

void PreviewImage::ClearPicture() {
  picture_ = QImage(size(), QImage::Format_RGB32);
  picture_.fill(QColor(0x80, 0x80, 0x80));
  update();
}

void PreviewImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0x80, 0x80, 0x80));
  painter.drawImage(0, 0, picture_);
}

void PreviewImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit Resized();
}

}  // namespace tablora
