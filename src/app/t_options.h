#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "sheet/sheet_settings.h"

namespace tablora {

// The two page options. Their check boxes are the options themselves: the page renderer reads
// them live, and both buttons just close the dialog, keeping whatever the user left checked.
class T_Options : public QDialog, public SheetOptions {
  Q_OBJECT

 public:
  explicit T_Options(QWidget* parent = nullptr);

  bool PrintFacing() const override { return PrintFacingBox->isChecked(); }
  bool PrintPageNum() const override { return PrintPageNumBox->isChecked(); }

  QLabel* Label1;
  QCheckBox* PrintFacingBox;
  QCheckBox* PrintPageNumBox;
  QPushButton* Button1;
  QPushButton* Button2;
};

}  // namespace tablora
