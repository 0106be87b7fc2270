#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "sheet/sheet_settings.h"

class QEvent;

namespace tablora {

// The two page options. Their check boxes are the options themselves: the page renderer reads
// them live, and both buttons just close the dialog, keeping whatever the user left checked.
class T_Options : public QDialog, public SheetOptions {
  Q_OBJECT

 public:
  explicit T_Options(QWidget* parent = nullptr);

  bool PrintFacing() const override { return PrintFacingBox->isChecked(); }
  bool PrintPageNum() const override { return PrintPageNumBox->isChecked(); }

  QLabel* Label1 = nullptr;
  QCheckBox* PrintFacingBox = nullptr;
  QCheckBox* PrintPageNumBox = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  // Places the controls at their designed places, or lower where the text above them needs more
  // room (a larger font), growing the window by what they moved.
  void Arrange();
};

}  // namespace tablora
