#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <cstdint>

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
  // The desktop's thumbnail cache: whether pages use it, and the bytes it may grow to.
  bool ThumbnailCache() const { return CacheBox->isChecked(); }
  uint64_t ThumbnailCacheLimit() const { return uint64_t(CacheLimitBox->value()) << 20; }

  QLabel* Label1 = nullptr;
  QCheckBox* PrintFacingBox = nullptr;
  QCheckBox* PrintPageNumBox = nullptr;
  QCheckBox* CacheBox = nullptr;
  QLabel* CacheLimitLabel = nullptr;
  QSpinBox* CacheLimitBox = nullptr;  // MiB
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
