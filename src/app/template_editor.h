#pragma once

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sheet/contact_sheet.h"
#include "sheet/template_store.h"

namespace tablora {

// What the layouts dialog asks the user in dialogs of their own; unset: the platform's dialogs.
// Tests answer in their place.
struct LayoutQuestions {
  // A layout's name, starting from `start`; nothing when dismissed.
  std::function<std::optional<QString>(const QString& label, const QString& start)> name;
  // Yes or no.
  std::function<bool(const QString& question)> confirm;
  // A colour, starting from `start`; nothing when dismissed.
  std::function<std::optional<QColor>(const QColor& start)> colour;
  // The logo's picture file; empty when dismissed.
  std::function<QString(const QString& start)> logoFile;
};

// The layouts dialog: the built-in and saved layouts on the left, every setting of the one being
// edited in the middle, and on the right its first page (or the sheet's current one) as it would
// print, drawn by the sheet itself, with stand-in pictures when nothing is built.
class TemplateEditor : public QDialog {
  Q_OBJECT

 public:
  TemplateEditor(const TemplateStore& store, TContactSheet& sheet, QWidget* parent = nullptr,
                 LayoutQuestions questions = {});

  // The layout as the form sets it, under the name it was chosen or saved by.
  SheetTemplate Edited() const;
  // The form's settings from a layout; the list selects it by name where it is listed.
  void Load(const SheetTemplate& layout);
  // What keeps the edited layout from being used or saved; empty: nothing.
  const std::vector<std::string>& Problems() const { return problems_; }
  // Draws the preview now rather than after the pause that follows typing.
  void RedrawPreview();
  const QImage& PreviewPicture() const { return picture_; }

  QListWidget* Layouts = nullptr;
  QPushButton* SaveAsButton = nullptr;
  QPushButton* RenameButton = nullptr;
  QPushButton* DeleteButton = nullptr;

  QComboBox* UnitBox = nullptr;  // in LengthUnit's order
  QCheckBox* MarginsBox = nullptr;
  std::array<QDoubleSpinBox*, 4> MarginEdits{};  // top, bottom, inside, outside
  QPushButton* BackgroundButton = nullptr;

  QSpinBox* RowsEdit = nullptr;
  QSpinBox* ColumnsEdit = nullptr;
  QCheckBox* CellSizeBox = nullptr;
  QDoubleSpinBox* CellWidthEdit = nullptr;
  QDoubleSpinBox* CellHeightEdit = nullptr;
  QCheckBox* GuttersBox = nullptr;
  QDoubleSpinBox* GutterAcrossEdit = nullptr;
  QDoubleSpinBox* GutterDownEdit = nullptr;
  QComboBox* OrderBox = nullptr;  // in CellOrder's order
  QCheckBox* HeadingsBox = nullptr;
  QCheckBox* NewPageBox = nullptr;

  QComboBox* FitBox = nullptr;  // in PictureFit's order
  QDoubleSpinBox* BorderEdit = nullptr;
  QPushButton* BorderColourButton = nullptr;

  // One row per caption line: its text, alignment and size.
  struct CaptionRow {
    QLineEdit* text;
    QComboBox* align;  // in TextAlign's order
    QDoubleSpinBox* scale;
    QPushButton* remove;
  };
  std::vector<CaptionRow> CaptionRows;
  QPushButton* AddLineButton = nullptr;
  QCheckBox* CaptionSizeBox = nullptr;
  QDoubleSpinBox* CaptionSizeEdit = nullptr;  // points
  QPushButton* TextColourButton = nullptr;

  QCheckBox* HeaderBox = nullptr;
  std::array<QLineEdit*, 3> HeaderEdits{};  // left, centre, right
  std::array<QLineEdit*, 3> FooterEdits{};
  QLineEdit* LogoEdit = nullptr;
  QPushButton* LogoButton = nullptr;
  QDoubleSpinBox* LogoHeightEdit = nullptr;

  QLabel* ProblemLine = nullptr;
  QLabel* Preview = nullptr;
  QLabel* PageLabel = nullptr;
  QDialogButtonBox* Buttons = nullptr;

 public slots:
  void SaveAs();
  void Rename();
  void Delete();
  void accept() override;

 private:
  QWidget* BuildForm();
  QDoubleSpinBox* LengthEdit();
  QPushButton* ColourButton(const QString& text, TColor* colour);
  void AddCaptionRow(const CaptionTemplate& caption);
  void RemoveCaptionRow(QPushButton* remove);
  // Lengths in the form's unit, and back.
  void ShowLength(QDoubleSpinBox* edit, const TemplateLength& length) const;
  TemplateLength LengthOf(const QDoubleSpinBox* edit) const;
  void UnitChanged();
  void FillList(const std::string& select);
  void Selected();
  // Every change: the problems and buttons at once, the preview after a pause.
  void Changed();
  void ShowProblems();
  void UpdateButtons();
  void ShowColours();
  // A name for Save as or Rename; nothing when dismissed, taken by a built-in layout, or an
  // existing one the user would not replace.
  std::optional<std::string> AskName(const QString& label, const std::string& start, const std::string& keep);

  const TemplateStore& store_;
  TContactSheet& sheet_;
  LayoutQuestions questions_;
  // The layout the form started from: its name, and the keys of its file this version does not know.
  SheetTemplate base_;
  TColor background_ = clWhite;
  TColor borderColour_ = clBlack;
  TColor textColour_ = clBlack;
  LengthUnit unit_ = LengthUnit::Millimetre;
  std::vector<SheetTemplate> listed_;
  std::vector<std::string> problems_;
  std::string failure_;  // the last save, rename or removal that failed, until the next change
  QGridLayout* captionGrid_ = nullptr;
  QTimer redraw_;
  QImage picture_;
  // While the form is being built or filled: its signals are not the user's changes.
  bool loading_ = true;
};

// Opens the layouts dialog over `parent` on the sheet's layout. OK lays the sheet out with the
// edited layout (Layout, its rows and columns included), records it as the last used and names it
// in `chosen`; the caller then puts its rows and columns into the fields and redraws. Cancel
// leaves the sheet as it was (layouts saved, renamed or removed meanwhile stay so).
bool EditTemplates(QWidget* parent, const TemplateStore& store, TContactSheet& sheet, std::string& chosen);

}  // namespace tablora
