#include "app/t_options.h"

#include <QEvent>
#include <algorithm>

namespace tablora {

namespace {
// The window is 301 x 255 with its frame; a dialog frame takes 8 pixels across and 27 down.
constexpr int kClientWidth = 301 - 8;
constexpr int kClientHeight = 255 - 27;

// The designed places, for a font whose explanation takes three lines of 13 pixels. The label's
// box reaches one pixel into the first check box's.
constexpr QRect kLabel(4, 4, 285, 45);
constexpr QRect kPrintFacing(4, 48, 285, 17);
constexpr QRect kPrintPageNum(4, 68, 285, 17);
constexpr QRect kCache(4, 100, 285, 17);
constexpr QRect kCacheLimitLabel(4, 124, 150, 17);
constexpr QRect kCacheLimit(160, 122, 90, 21);
constexpr QRect kButton1(136, 200, 75, 25);
constexpr QRect kButton2(216, 200, 75, 25);
constexpr int kDesignedLine = 13;
}  // namespace

T_Options::T_Options(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Tablora Options"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);

  Label1 = new QLabel(
      tr("Printing facing pages causes Tablora to switch the position of the album title and page "
         "numbers every other page.  It will also switch the left and right margins."),
      this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  PrintFacingBox = new QCheckBox(tr("Print Facing Pages"), this);
  PrintFacingBox->setObjectName("PrintFacing");
  PrintFacingBox->setChecked(false);

  PrintPageNumBox = new QCheckBox(tr("Print Page Numbers"), this);
  PrintPageNumBox->setObjectName("PrintPageNum");
  PrintPageNumBox->setChecked(true);

  CacheBox = new QCheckBox(tr("Keep thumbnails in the desktop's cache"), this);
  CacheBox->setObjectName("ThumbnailCache");
  CacheBox->setChecked(true);

  CacheLimitLabel = new QLabel(tr("Largest size of the cache:"), this);
  CacheLimitLabel->setObjectName("CacheLimitLabel");
  CacheLimitBox = new QSpinBox(this);
  CacheLimitBox->setObjectName("CacheLimit");
  CacheLimitBox->setRange(16, 1 << 20);
  CacheLimitBox->setValue(1024);
  CacheLimitBox->setSuffix(tr(" MiB"));
  CacheLimitLabel->setBuddy(CacheLimitBox);
  connect(CacheBox, &QCheckBox::toggled, CacheLimitBox, &QWidget::setEnabled);

  Button1 = new QPushButton(tr("Save"), this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  Button2 = new QPushButton(tr("Cancel"), this);
  Button2->setObjectName("Button2");
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  Arrange();
}

void T_Options::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // The font is set before the controls exist; they are arranged once made.
  if (event->type() == QEvent::FontChange && Button2) Arrange();
}

void T_Options::Arrange() {
  // Word wrap at the designed width: the label is as tall as its lines, never shorter than
  // designed, and whatever lies below starts no higher than designed and below what is above it.
  const int textHeight = Label1->heightForWidth(kLabel.width());
  Label1->setGeometry(kLabel.x(), kLabel.y(), kLabel.width(), std::max(kLabel.height(), textHeight));
  const int textBottom = kLabel.y() + textHeight;

  // The designed heights hold the designed font's 13-pixel line with room to spare; a taller line
  // keeps that room.
  auto place = [](QWidget* widget, const QRect& designed, int below) {
    const int line = widget->fontMetrics().height();
    const int height = std::max(designed.height(), line + designed.height() - kDesignedLine);
    widget->setGeometry(designed.x(), std::max(designed.y(), below), designed.width(), height);
    return widget->geometry().bottom() + 1;
  };
  const int checkGap = kPrintPageNum.y() - kPrintFacing.bottom() - 1;
  int below = place(PrintFacingBox, kPrintFacing, textBottom);
  below = place(PrintPageNumBox, kPrintPageNum, below + checkGap);
  below = place(CacheBox, kCache, below + kCache.y() - kPrintPageNum.bottom() - 1);
  const int limitTop = below + kCacheLimit.y() - kCache.bottom() - 1;
  place(CacheLimitLabel, kCacheLimitLabel, limitTop + kCacheLimitLabel.y() - kCacheLimit.y());
  below = place(CacheLimitBox, kCacheLimit, limitTop);
  const int buttonsTop = std::max(kButton1.y(), below + checkGap);
  const int buttonsBottom =
      std::max(place(Button1, kButton1, buttonsTop), place(Button2, kButton2, buttonsTop));
  const int bottomGap = kClientHeight - kButton1.bottom() - 1;
  setFixedSize(kClientWidth, std::max(kClientHeight, buttonsBottom + bottomGap));
}

}  // namespace tablora
