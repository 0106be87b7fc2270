#include "app/t_splash.h"

#include <QBitmap>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "imaging/bitmap.h"
#include "imaging/stream.h"
#include "platform/bitmap_image.h"

namespace tablora {

QImage SplashPicture() {
  QFile file(":/tablora/splash.bmp");
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  TBitmap bitmap;
  try {
    TBufferStream stream(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    bitmap.LoadFromStream(stream);
  } catch (const std::exception&) {
    return {};
  }
  return BitmapImage(bitmap).convertToFormat(QImage::Format_RGB32);
}

T_Splash::T_Splash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setFixedSize(400, 300);
  setAutoFillBackground(true);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }

  const QImage picture = SplashPicture();
  Image1 = new QLabel(this);
  Image1->setGeometry(0, 0, 400, 300);
  Image1->setScaledContents(true);
  if (!picture.isNull()) {
    const QImage scaled = picture.scaled(400, 300);
    Image1->setPixmap(QPixmap::fromImage(scaled));
    setMask(QBitmap::fromImage(scaled.createMaskFromColor(kKeyColor, Qt::MaskInColor)));
  }

  // The line under the program's name, written on the card rather than into the picture so that
  // it speaks the user's language; it wraps within the card, left of the sheet.
  Label1 = new QLabel(tr("Contact sheets of your photographs"), this);
  Label1->setObjectName("Label1");
  QFont tagline("DejaVu Sans");
  tagline.setPixelSize(13);
  Label1->setFont(tagline);
  Label1->setStyleSheet("color: #9fb3c8; background: transparent;");
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setGeometry(28, 173, 160, 60);

  Timer1 = new QTimer(this);
  Timer1->setInterval(1500);
  connect(Timer1, &QTimer::timeout, this, &T_Splash::Timer1Timer);
  Timer1->start();
}

void T_Splash::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void T_Splash::FormShow() { closePending_ = false; }

void T_Splash::Timer1Timer() { CloseOrMarkPending(); }

void T_Splash::CloseWhenReady() { CloseOrMarkPending(); }

void T_Splash::CloseOrMarkPending() {
  if (closePending_) {
    close();
  } else {
    closePending_ = true;
  }
}

}  // namespace tablora
