#pragma once

#include <QImage>
#include <QWidget>

#include "sheet/preview_control.h"

namespace tablora {

// The image control that shows the page preview 1:1.
class PreviewImage : public QWidget, public PreviewControl {
  Q_OBJECT

 public:
  explicit PreviewImage(QWidget* parent = nullptr);

  int Width() const override { return width(); }
  int Height() const override { return height(); }
  void ShowBitmap(const TBitmap& bitmap) override;
  void SetPageLabel(const std::string& caption) override;

  // A new picture at the control's current size, filled with the background grey.
  void ClearPicture();
  const QImage& Picture() const { return picture_; }

 signals:
  void PageLabelChanged(const QString& caption);
  void Resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage picture_;
};

}  // namespace tablora
