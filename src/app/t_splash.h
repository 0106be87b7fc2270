#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace tablora {

// Borderless start-up picture. It closes by a two-party agreement: every tick of Timer1 and the
// main window's first showing call the same rule, and the second call of either closes it.
class T_Splash : public QWidget {
  Q_OBJECT

 public:
  // Colour-key transparency: pixels of exactly this colour (red 255, green 0, blue 102) are
  // see-through, which gives the splash its shape.
  static constexpr QRgb kKeyColor = 0xFFFF0066;

  explicit T_Splash(QWidget* parent = nullptr);

  void CloseWhenReady();
  bool ClosePending() const { return closePending_; }

  QLabel* Image1;
  QLabel* Label1;
  QTimer* Timer1;

 public slots:
  void Timer1Timer();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void CloseOrMarkPending();

  bool closePending_ = false;
};

// The splash picture, read from the program's resources by the program's own BMP reader.
QImage SplashPicture();

}  // namespace tablora
