#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QSpinBox>
#include <string>
#include <vector>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <cstdint>
#include <functional>

#include "sheet/sheet_settings.h"

class QEvent;

namespace tablora {

// The page options. Their controls are the options themselves: the page renderer reads them live
// (the order and the rating filter at the next Build), and both buttons just close the dialog,
// keeping whatever the user left set.
class T_Options : public QDialog, public SheetOptions {
  Q_OBJECT

 public:
  explicit T_Options(QWidget* parent = nullptr);

  bool PrintFacing() const override { return PrintFacingBox->isChecked(); }
  bool PrintPageNum() const override { return PrintPageNumBox->isChecked(); }
  // The desktop's thumbnail cache: whether pages use it, and the bytes it may grow to.
  bool ThumbnailCache() const { return CacheBox->isChecked(); }
  uint64_t ThumbnailCacheLimit() const { return uint64_t(CacheLimitBox->value()) << 20; }
  // The checked fields, in the order of the boxes.
  std::vector<CaptionField> CaptionFields() const override;
  SortOrder Order() const override { return static_cast<SortOrder>(SortBox->currentIndex()); }
  int MinRating() const override { return MinRatingBox->value(); }
  PairMode Pairs() const override { return static_cast<PairMode>(PairsBox->currentIndex()); }
  void SetPairs(PairMode mode) { PairsBox->setCurrentIndex(static_cast<int>(mode)); }
  void SetCaptionFields(const std::vector<CaptionField>& fields);
  void SetOrder(SortOrder order) { SortBox->setCurrentIndex(static_cast<int>(order)); }
  // The layouts to choose from, by name, and the one in use.
  void SetTemplates(const std::vector<std::string>& names, const std::string& current);
  std::string TemplateName() const { return TemplateBox->currentText().toStdString(); }
  // What the button beside the layouts opens (the layouts dialog, which fills the list again
  // with SetTemplates when it closes); unset, the button does nothing and is disabled.
  void SetLayoutEditor(std::function<void()> edit);

  QLabel* Label1 = nullptr;
  QCheckBox* PrintFacingBox = nullptr;
  QCheckBox* PrintPageNumBox = nullptr;
  QCheckBox* CacheBox = nullptr;
  QLabel* CacheLimitLabel = nullptr;
  QSpinBox* CacheLimitBox = nullptr;  // MiB
  QLabel* SortLabel = nullptr;
  QComboBox* SortBox = nullptr;  // in SortOrder's order
  QLabel* MinRatingLabel = nullptr;
  QSpinBox* MinRatingBox = nullptr;
  QLabel* PairsLabel = nullptr;
  QComboBox* PairsBox = nullptr;  // in PairMode's order
  QLabel* TemplateLabel = nullptr;
  QComboBox* TemplateBox = nullptr;
  QPushButton* EditLayoutsButton = nullptr;
  QLabel* CaptionLabel = nullptr;
  std::vector<QCheckBox*> CaptionBoxes;  // in CaptionField's order
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  // Places the controls at their designed places, or lower where the text above them needs more
  // room (a larger font), growing the window by what they moved.
  void Arrange();

  std::function<void()> editLayouts_;
};

}  // namespace tablora
