#include "app/t_options.h"

namespace tablora {

namespace {
// The window is 301 x 255 with its frame; a dialog frame takes 8 pixels across and 27 down.
constexpr int kClientWidth = 301 - 8;
constexpr int kClientHeight = 255 - 27;
}  // namespace

T_Options::T_Options(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Tablora Options");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  setFixedSize(kClientWidth, kClientHeight);
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);

  Label1 = new QLabel(
      "Printing facing pages causes Tablora to switch the position of the album title and page "
      "numbers every other page.  It will also switch the left and right margins.",
      this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(4, 4, 285, 45);
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  PrintFacingBox = new QCheckBox("Print Facing Pages", this);
  PrintFacingBox->setObjectName("PrintFacing");
  PrintFacingBox->setGeometry(4, 48, 285, 17);
  PrintFacingBox->setChecked(false);

  PrintPageNumBox = new QCheckBox("Print Page Numbers", this);
  PrintPageNumBox->setObjectName("PrintPageNum");
  PrintPageNumBox->setGeometry(4, 68, 285, 17);
  PrintPageNumBox->setChecked(true);

  Button1 = new QPushButton("Save", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(136, 200, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(216, 200, 75, 25);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace tablora
