#pragma once

#include <QImage>
#include <QWidget>
#include <vector>

#include "sheet/preview_control.h"

namespace tablora {

// The control that shows the page preview. Its page is drawn at the screen's device pixels, so a
// HiDPI screen shows it sharp rather than doubled; it reports that size to the sheet.
class PreviewImage : public QWidget, public PreviewControl {
  Q_OBJECT

 public:
  explicit PreviewImage(QWidget* parent = nullptr);

  int Width() const override;
  int Height() const override;
  void ShowBitmap(const TBitmap& bitmap) override;
  void SetPageLabel(const std::string& caption) override;

  // A new picture at the control's current size, filled with the background grey.
  void ClearPicture();
  const QImage& Picture() const { return picture_; }
  // Device pixels per pixel of the control.
  double Ratio() const;
  // A text drawn over the middle of the control (the empty sheet's hint); empty: none.
  void SetHint(const QString& hint);
  // Cells drawn over the page, in the control's pixels: the picked ones framed, the one the keys
  // act on outlined while the control has the focus, the left-out ones veiled.
  void SetMarks(std::vector<QRect> picked, QRect focus, std::vector<QRect> dimmed);

 signals:
  void PageLabelChanged(const QString& caption);
  void Resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  QImage picture_;
  QString hint_;
  std::vector<QRect> picked_;
  QRect focus_;
  std::vector<QRect> dimmed_;
};

}  // namespace tablora
