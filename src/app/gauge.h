#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace tablora {

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TBorderStyle { bsNone, bsSingle };

// Horizontal percentage bar with its percentage as text, painted as the XOR of a bar image and
// a text image so the text shows inverted over the filled part.
class TGauge : public QWidget {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);

  int MinValue() const { return minValue_; }
  int MaxValue() const { return maxValue_; }
  int Progress() const { return progress_; }
  // Out of order raises "Value must be between %d and %d".
  void SetMinValue(int value);
  void SetMaxValue(int value);
  void SetProgress(int value);
  int PercentDone() const;

  QColor ForeColor() const { return foreColor_; }
  QColor BackColor() const { return backColor_; }
  void SetForeColor(const QColor& color);
  void SetBackColor(const QColor& color);
  bool ShowText() const { return showText_; }
  TGaugeKind Kind() const { return kind_; }
  TBorderStyle BorderStyle() const { return borderStyle_; }

  // The picture the control shows, at its current size.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TGaugeKind kind_ = gkHorizontalBar;
  bool showText_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  QColor foreColor_ = Qt::black;
  QColor backColor_ = Qt::white;
  int minValue_ = 0;
  int maxValue_ = 100;
  int progress_ = 0;
};

}  // namespace tablora
