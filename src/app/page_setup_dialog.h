#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QPageLayout>
#include <QRadioButton>

namespace tablora {

// Paper, orientation and margins of the page the sheet prints on. It opens on the layout in use,
// whatever kind of printer holds it: Qt's own page set-up dialog knows only native printers and
// shows its defaults for the PDF printer jobs are spooled through.
class PageSetupDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PageSetupDialog(const QPageLayout& layout, QWidget* parent = nullptr);

  // The layout as the controls set it.
  QPageLayout Layout() const;

  QComboBox* PaperBox = nullptr;
  QRadioButton* PortraitButton = nullptr;
  QRadioButton* LandscapeButton = nullptr;
  QDoubleSpinBox* LeftBox = nullptr;
  QDoubleSpinBox* TopBox = nullptr;
  QDoubleSpinBox* RightBox = nullptr;
  QDoubleSpinBox* BottomBox = nullptr;

 private:
  QPageLayout layout_;
};

}  // namespace tablora
