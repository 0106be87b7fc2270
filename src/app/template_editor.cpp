#include "app/template_editor.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/bitmap_image.h"
#include "sheet/sheet_logo.h"

namespace tablora {

namespace {

// The preview: small enough to redraw at every change, large enough to read the layout from.
constexpr int kPreviewWidth = 300;
constexpr int kPreviewHeight = 424;
// Typing redraws once it pauses this long.
constexpr int kRedrawPauseMs = 300;
// Caption lines a layout may have, and the sizes a line may take (as a template file may).
constexpr std::size_t kMaxCaptionLines = 6;
constexpr double kMaxLengthMm = 2000.0;

double UnitMillimetres(LengthUnit unit) { return TemplateLength{1.0, unit}.Millimetres(); }

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// Fields side by side in one row of a form; numbers keep their own width, texts share the row.
QWidget* Row(QWidget* parent, const std::vector<QWidget*>& widgets, bool stretch = false) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  for (QWidget* widget : widgets) layout->addWidget(widget);
  if (!stretch) layout->addStretch(1);
  return row;
}

}  // namespace

TemplateEditor::TemplateEditor(const TemplateStore& store, TContactSheet& sheet, QWidget* parent,
                               LayoutQuestions questions)
    : QDialog(parent), store_(store), sheet_(sheet), questions_(std::move(questions)) {
  setWindowTitle(tr("Layouts"));
  if (!questions_.name) {
    questions_.name = [this](const QString& label, const QString& start) -> std::optional<QString> {
      bool ok = false;
      const QString name = QInputDialog::getText(this, tr("Layouts"), label, QLineEdit::Normal, start, &ok);
      return ok ? std::optional<QString>(name) : std::nullopt;
    };
  }
  if (!questions_.confirm) {
    questions_.confirm = [this](const QString& question) {
      return QMessageBox::question(this, tr("Layouts"), question) == QMessageBox::Yes;
    };
  }
  if (!questions_.colour) {
    questions_.colour = [this](const QColor& start) -> std::optional<QColor> {
      const QColor colour = QColorDialog::getColor(start, this);
      return colour.isValid() ? std::optional<QColor>(colour) : std::nullopt;
    };
  }
  if (!questions_.logoFile) {
    questions_.logoFile = [this](const QString& start) {
      return QFileDialog::getOpenFileName(this, tr("Logo"), start, tr("Pictures (%1)").arg(QString::fromLatin1(kLogoFilePatterns)));
    };
  }

  // Left: the layouts.
  auto* left = new QVBoxLayout;
  Layouts = new QListWidget(this);
  Layouts->setObjectName("Layouts");
  auto* listLabel = new QLabel(tr("&Layouts:"), this);
  listLabel->setBuddy(Layouts);
  SaveAsButton = new QPushButton(tr("&Save as…"), this);
  RenameButton = new QPushButton(tr("&Rename…"), this);
  DeleteButton = new QPushButton(tr("&Delete"), this);
  left->addWidget(listLabel);
  left->addWidget(Layouts, 1);
  for (QPushButton* button : {SaveAsButton, RenameButton, DeleteButton}) {
    button->setAutoDefault(false);
    left->addWidget(button);
  }
  connect(SaveAsButton, &QPushButton::clicked, this, &TemplateEditor::SaveAs);
  connect(RenameButton, &QPushButton::clicked, this, &TemplateEditor::Rename);
  connect(DeleteButton, &QPushButton::clicked, this, &TemplateEditor::Delete);
  connect(Layouts, &QListWidget::currentRowChanged, this, &TemplateEditor::Selected);

  // Middle: the settings, scrolled when the window is lower than they are, and what is wrong.
  auto* middle = new QVBoxLayout;
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(BuildForm());
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setMinimumWidth(scroll->widget()->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width() + 4);
  ProblemLine = new QLabel(this);
  ProblemLine->setObjectName("ProblemLine");
  ProblemLine->setWordWrap(true);
  ProblemLine->setStyleSheet("color: #c00000;");
  middle->addWidget(scroll, 1);
  middle->addWidget(ProblemLine);

  // Right: the page.
  auto* right = new QVBoxLayout;
  Preview = new QLabel(this);
  Preview->setObjectName("Preview");
  Preview->setFixedSize(kPreviewWidth, kPreviewHeight);
  PageLabel = new QLabel(this);
  PageLabel->setAlignment(Qt::AlignHCenter);
  right->addWidget(Preview);
  right->addWidget(PageLabel);
  right->addStretch(1);

  auto* columns = new QHBoxLayout;
  columns->addLayout(left);
  columns->addLayout(middle, 1);
  columns->addLayout(right);
  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(Buttons, &QDialogButtonBox::accepted, this, &TemplateEditor::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(columns, 1);
  outer->addWidget(Buttons);

  redraw_.setSingleShot(true);
  redraw_.setInterval(kRedrawPauseMs);
  connect(&redraw_, &QTimer::timeout, this, &TemplateEditor::RedrawPreview);

  Load(sheet_.EffectiveTemplate());
  RedrawPreview();
  resize(sizeHint().width(), std::max(sizeHint().height(), 640));
}

QDoubleSpinBox* TemplateEditor::LengthEdit() {
  auto* edit = new QDoubleSpinBox(this);
  edit->setDecimals(2);
  edit->setRange(0, kMaxLengthMm);
  edit->setSuffix(" mm");
  edit->setKeyboardTracking(true);
  connect(edit, &QDoubleSpinBox::valueChanged, this, &TemplateEditor::Changed);
  return edit;
}

QPushButton* TemplateEditor::ColourButton(const QString& text, TColor* colour) {
  auto* button = new QPushButton(text, this);
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this, [this, colour] {
    if (const std::optional<QColor> chosen = questions_.colour(ToQColor(*colour))) {
      *colour = RGB(static_cast<uint8_t>(chosen->red()), static_cast<uint8_t>(chosen->green()),
                    static_cast<uint8_t>(chosen->blue()));
      ShowColours();
      Changed();
    }
  });
  return button;
}

QWidget* TemplateEditor::BuildForm() {
  auto* form = new QWidget(this);
  auto* groups = new QVBoxLayout(form);
  const auto check = [this](const QString& text) {
    auto* box = new QCheckBox(text, this);
    connect(box, &QCheckBox::toggled, this, &TemplateEditor::Changed);
    return box;
  };
  const auto lineEdit = [this](const QString& placeholder) {
    auto* edit = new QLineEdit(this);
    edit->setPlaceholderText(placeholder);
    connect(edit, &QLineEdit::textChanged, this, &TemplateEditor::Changed);
    return edit;
  };
  const auto times = [this] { return new QLabel(QStringLiteral("×"), this); };

  // Page.
  auto* page = new QGroupBox(tr("Page"), form);
  auto* pageForm = new QFormLayout(page);
  UnitBox = new QComboBox(this);
  UnitBox->addItems({tr("Millimetres"), tr("Inches"), tr("Points")});
  connect(UnitBox, &QComboBox::currentIndexChanged, this, &TemplateEditor::UnitChanged);
  pageForm->addRow(tr("Lengths in:"), UnitBox);
  MarginsBox = check(tr("Own margins (else a twentieth of the paper)"));
  pageForm->addRow(MarginsBox);
  const QString sides[] = {tr("Top:"), tr("Bottom:"), tr("Inside:"), tr("Outside:")};
  for (std::size_t i = 0; i < MarginEdits.size(); ++i) {
    MarginEdits[i] = LengthEdit();
    pageForm->addRow(sides[i], MarginEdits[i]);
    connect(MarginsBox, &QCheckBox::toggled, MarginEdits[i], &QWidget::setEnabled);
  }
  BackgroundButton = ColourButton(tr("Back&ground…"), &background_);
  pageForm->addRow(tr("Background:"), BackgroundButton);
  groups->addWidget(page);

  // Grid.
  auto* grid = new QGroupBox(tr("Grid"), form);
  auto* gridForm = new QFormLayout(grid);
  RowsEdit = new QSpinBox(this);
  ColumnsEdit = new QSpinBox(this);
  for (QSpinBox* edit : {RowsEdit, ColumnsEdit}) {
    // 0 can be typed, and is then named as the problem it is.
    edit->setRange(0, kMaxGridSize);
    connect(edit, &QSpinBox::valueChanged, this, &TemplateEditor::Changed);
  }
  gridForm->addRow(tr("Rows × columns:"), Row(grid, {RowsEdit, times(), ColumnsEdit}));
  CellSizeBox = check(tr("Cells of a size (rows and columns follow)"));
  gridForm->addRow(CellSizeBox);
  CellWidthEdit = LengthEdit();
  CellHeightEdit = LengthEdit();
  gridForm->addRow(tr("Cell width × height:"), Row(grid, {CellWidthEdit, times(), CellHeightEdit}));
  GuttersBox = check(tr("Own gutters between cells"));
  gridForm->addRow(GuttersBox);
  GutterAcrossEdit = LengthEdit();
  GutterDownEdit = LengthEdit();
  gridForm->addRow(tr("Gutter across × down:"), Row(grid, {GutterAcrossEdit, times(), GutterDownEdit}));
  for (QWidget* edit : {CellWidthEdit, CellHeightEdit}) connect(CellSizeBox, &QCheckBox::toggled, edit, &QWidget::setEnabled);
  for (QWidget* edit : {GutterAcrossEdit, GutterDownEdit}) connect(GuttersBox, &QCheckBox::toggled, edit, &QWidget::setEnabled);
  OrderBox = new QComboBox(this);
  OrderBox->addItems({tr("Across, then down"), tr("Down, then across")});
  connect(OrderBox, &QComboBox::currentIndexChanged, this, &TemplateEditor::Changed);
  gridForm->addRow(tr("Order:"), OrderBox);
  HeadingsBox = check(tr("Folder headings"));
  NewPageBox = check(tr("New page for each folder"));
  gridForm->addRow(HeadingsBox);
  gridForm->addRow(NewPageBox);
  groups->addWidget(grid);

  // Pictures.
  auto* picture = new QGroupBox(tr("Picture"), form);
  auto* pictureForm = new QFormLayout(picture);
  FitBox = new QComboBox(this);
  FitBox->addItems({tr("Fit: the whole picture"), tr("Fill: the cell covered, cropped"),
                    tr("Rotate: turned to fill more of the cell")});
  connect(FitBox, &QComboBox::currentIndexChanged, this, &TemplateEditor::Changed);
  pictureForm->addRow(tr("In its cell:"), FitBox);
  BorderEdit = LengthEdit();
  pictureForm->addRow(tr("Border width:"), BorderEdit);
  BorderColourButton = ColourButton(tr("Border colo&ur…"), &borderColour_);
  pictureForm->addRow(tr("Border colour:"), BorderColourButton);
  groups->addWidget(picture);

  // Text.
  auto* text = new QGroupBox(tr("Text"), form);
  auto* textForm = new QFormLayout(text);
  auto* hint = new QLabel(tr("Caption lines: text with fields such as {name}, {date:%d.%m.%Y}, {exposure}, "
                             "{camera}, {rating}; header and footer: {title}, {page}, {pages}, {date}, {folder}, "
                             "{count}."),
                          this);
  hint->setWordWrap(true);
  textForm->addRow(hint);
  auto* captions = new QWidget(text);
  captionGrid_ = new QGridLayout(captions);
  captionGrid_->setContentsMargins(0, 0, 0, 0);
  captionGrid_->setColumnStretch(0, 1);
  textForm->addRow(captions);
  AddLineButton = new QPushButton(tr("&Add line"), this);
  AddLineButton->setAutoDefault(false);
  connect(AddLineButton, &QPushButton::clicked, this, [this] {
    AddCaptionRow({});
    Changed();
  });
  textForm->addRow(AddLineButton);
  CaptionSizeBox = check(tr("Own caption size (else a sixth of a row)"));
  textForm->addRow(CaptionSizeBox);
  CaptionSizeEdit = new QDoubleSpinBox(this);
  CaptionSizeEdit->setRange(1, 72);
  CaptionSizeEdit->setSingleStep(0.5);
  CaptionSizeEdit->setDecimals(1);
  CaptionSizeEdit->setSuffix(" pt");
  connect(CaptionSizeEdit, &QDoubleSpinBox::valueChanged, this, &TemplateEditor::Changed);
  connect(CaptionSizeBox, &QCheckBox::toggled, CaptionSizeEdit, &QWidget::setEnabled);
  textForm->addRow(tr("Caption size:"), CaptionSizeEdit);
  TextColourButton = ColourButton(tr("Te&xt colour…"), &textColour_);
  textForm->addRow(tr("Text colour:"), TextColourButton);
  groups->addWidget(text);

  // Header and footer.
  auto* lines = new QGroupBox(tr("Header and footer"), form);
  auto* linesForm = new QFormLayout(lines);
  HeaderBox = check(tr("Own header (else the title and page number)"));
  linesForm->addRow(HeaderBox);
  const QString places[] = {tr("left"), tr("centre"), tr("right")};
  for (std::size_t i = 0; i < 3; ++i) {
    HeaderEdits[i] = lineEdit(places[i]);
    FooterEdits[i] = lineEdit(places[i]);
    connect(HeaderBox, &QCheckBox::toggled, HeaderEdits[i], &QWidget::setEnabled);
  }
  linesForm->addRow(tr("Header:"), Row(lines, {HeaderEdits[0], HeaderEdits[1], HeaderEdits[2]}, true));
  linesForm->addRow(tr("Footer:"), Row(lines, {FooterEdits[0], FooterEdits[1], FooterEdits[2]}, true));
  LogoEdit = lineEdit(tr("none"));
  LogoButton = new QPushButton(tr("C&hoose…"), this);
  LogoButton->setAutoDefault(false);
  connect(LogoButton, &QPushButton::clicked, this, [this] {
    const QString file = questions_.logoFile(LogoEdit->text());
    if (!file.isEmpty()) LogoEdit->setText(file);
  });
  linesForm->addRow(tr("Logo:"), Row(lines, {LogoEdit, LogoButton}, true));
  LogoHeightEdit = LengthEdit();
  linesForm->addRow(tr("Logo height:"), LogoHeightEdit);
  groups->addWidget(lines);
  groups->addStretch(1);
  return form;
}

void TemplateEditor::AddCaptionRow(const CaptionTemplate& caption) {
  CaptionRow row{};
  row.text = new QLineEdit(Q(caption.text), this);
  row.align = new QComboBox(this);
  row.align->addItems({tr("Left"), tr("Centre"), tr("Right")});
  row.align->setCurrentIndex(static_cast<int>(caption.align));
  row.scale = new QDoubleSpinBox(this);
  row.scale->setRange(0.25, 4.0);
  row.scale->setSingleStep(0.25);
  row.scale->setPrefix(QStringLiteral("× "));
  row.scale->setValue(caption.scale);
  row.scale->setToolTip(tr("Size relative to the caption size"));
  row.remove = new QPushButton(tr("Re&move"), this);
  row.remove->setAutoDefault(false);
  connect(row.text, &QLineEdit::textChanged, this, &TemplateEditor::Changed);
  connect(row.align, &QComboBox::currentIndexChanged, this, &TemplateEditor::Changed);
  connect(row.scale, &QDoubleSpinBox::valueChanged, this, &TemplateEditor::Changed);
  QPushButton* remove = row.remove;
  connect(remove, &QPushButton::clicked, this, [this, remove] {
    RemoveCaptionRow(remove);
    Changed();
  });
  const int line = static_cast<int>(CaptionRows.size());
  captionGrid_->addWidget(row.text, line, 0);
  captionGrid_->addWidget(row.align, line, 1);
  captionGrid_->addWidget(row.scale, line, 2);
  captionGrid_->addWidget(row.remove, line, 3);
  CaptionRows.push_back(row);
  AddLineButton->setEnabled(CaptionRows.size() < kMaxCaptionLines);
}

void TemplateEditor::RemoveCaptionRow(QPushButton* remove) {
  // The grid keeps its rows' places: the lines are laid out again from the start.
  std::vector<CaptionTemplate> kept;
  for (const CaptionRow& row : CaptionRows) {
    if (row.remove != remove) {
      kept.push_back({S(row.text->text()), static_cast<TextAlign>(row.align->currentIndex()), row.scale->value()});
    }
    for (QWidget* widget : std::initializer_list<QWidget*>{row.text, row.align, row.scale, row.remove}) {
      widget->hide();
      widget->deleteLater();
    }
  }
  CaptionRows.clear();
  const bool wasLoading = loading_;
  loading_ = true;
  for (const CaptionTemplate& caption : kept) AddCaptionRow(caption);
  loading_ = wasLoading;
  AddLineButton->setEnabled(CaptionRows.size() < kMaxCaptionLines);
}

void TemplateEditor::ShowLength(QDoubleSpinBox* edit, const TemplateLength& length) const {
  edit->setValue(length.Millimetres() / UnitMillimetres(unit_));
}

TemplateLength TemplateEditor::LengthOf(const QDoubleSpinBox* edit) const { return {edit->value(), unit_}; }

void TemplateEditor::UnitChanged() {
  // The lengths stay as long as they were, told in the new unit.
  const LengthUnit unit = static_cast<LengthUnit>(std::max(UnitBox->currentIndex(), 0));
  const double factor = UnitMillimetres(unit_) / UnitMillimetres(unit);
  const bool wasLoading = loading_;
  loading_ = true;
  const QString suffix = unit == LengthUnit::Inch ? " in" : unit == LengthUnit::Point ? " pt" : " mm";
  for (QDoubleSpinBox* edit : {MarginEdits[0], MarginEdits[1], MarginEdits[2], MarginEdits[3], CellWidthEdit,
                               CellHeightEdit, GutterAcrossEdit, GutterDownEdit, BorderEdit, LogoHeightEdit}) {
    const double value = edit->value() * factor;
    edit->setRange(0, kMaxLengthMm / UnitMillimetres(unit));
    edit->setDecimals(unit == LengthUnit::Inch ? 3 : 2);
    edit->setSingleStep(unit == LengthUnit::Inch ? 0.05 : 1.0);
    edit->setSuffix(suffix);
    edit->setValue(value);
  }
  unit_ = unit;
  loading_ = wasLoading;
  Changed();
}

void TemplateEditor::Load(const SheetTemplate& layout) {
  loading_ = true;
  base_ = layout;
  // The form tells every length in one unit: the margins', else the cells', else millimetres.
  const LengthUnit unit = layout.margins    ? layout.margins->top.unit
                          : layout.cellWidth ? layout.cellWidth->unit
                                             : LengthUnit::Millimetre;
  UnitBox->setCurrentIndex(static_cast<int>(unit));
  UnitChanged();
  loading_ = true;

  const PageMargins margins = layout.margins.value_or(PageMargins{Mm(10), Mm(10), Mm(10), Mm(10)});
  MarginsBox->setChecked(layout.margins.has_value());
  ShowLength(MarginEdits[0], margins.top);
  ShowLength(MarginEdits[1], margins.bottom);
  ShowLength(MarginEdits[2], margins.inside);
  ShowLength(MarginEdits[3], margins.outside);
  background_ = layout.background;

  RowsEdit->setValue(layout.rows);
  ColumnsEdit->setValue(layout.columns);
  CellSizeBox->setChecked(layout.cellWidth || layout.cellHeight);
  ShowLength(CellWidthEdit, layout.cellWidth.value_or(Mm(30)));
  ShowLength(CellHeightEdit, layout.cellHeight.value_or(Mm(30)));
  GuttersBox->setChecked(layout.gutterAcross || layout.gutterDown);
  ShowLength(GutterAcrossEdit, layout.gutterAcross.value_or(Mm(0)));
  ShowLength(GutterDownEdit, layout.gutterDown.value_or(Mm(0)));
  OrderBox->setCurrentIndex(static_cast<int>(layout.order));
  HeadingsBox->setChecked(layout.folderHeadings);
  NewPageBox->setChecked(layout.newPagePerFolder);

  FitBox->setCurrentIndex(static_cast<int>(layout.fit));
  ShowLength(BorderEdit, layout.border);
  borderColour_ = layout.borderColor;

  while (!CaptionRows.empty()) RemoveCaptionRow(CaptionRows.front().remove);
  for (const CaptionTemplate& caption : layout.captions) AddCaptionRow(caption);
  CaptionSizeBox->setChecked(layout.captionPoints.has_value());
  CaptionSizeEdit->setValue(layout.captionPoints.value_or(8.0));
  textColour_ = layout.textColor;

  const LineSlots header = layout.header.value_or(LineSlots{"{title}", "", "{page} / {pages}"});
  HeaderBox->setChecked(layout.header.has_value());
  const std::string* headerTexts[] = {&header.left, &header.centre, &header.right};
  const std::string* footerTexts[] = {&layout.footer.left, &layout.footer.centre, &layout.footer.right};
  for (std::size_t i = 0; i < 3; ++i) {
    HeaderEdits[i]->setText(Q(*headerTexts[i]));
    FooterEdits[i]->setText(Q(*footerTexts[i]));
  }
  LogoEdit->setText(Q(layout.logoFile));
  ShowLength(LogoHeightEdit, layout.logoHeight);

  // The check boxes enable their fields when they change; set as they were, they did not.
  for (QWidget* edit : MarginEdits) edit->setEnabled(MarginsBox->isChecked());
  CellWidthEdit->setEnabled(CellSizeBox->isChecked());
  CellHeightEdit->setEnabled(CellSizeBox->isChecked());
  GutterAcrossEdit->setEnabled(GuttersBox->isChecked());
  GutterDownEdit->setEnabled(GuttersBox->isChecked());
  CaptionSizeEdit->setEnabled(CaptionSizeBox->isChecked());
  for (QLineEdit* edit : HeaderEdits) edit->setEnabled(HeaderBox->isChecked());
  ShowColours();
  loading_ = false;
  FillList(layout.name);
  Changed();
}

SheetTemplate TemplateEditor::Edited() const {
  SheetTemplate t = base_;
  t.margins.reset();
  if (MarginsBox->isChecked()) {
    t.margins = PageMargins{LengthOf(MarginEdits[0]), LengthOf(MarginEdits[1]), LengthOf(MarginEdits[2]),
                            LengthOf(MarginEdits[3])};
  }
  t.background = background_;
  t.rows = RowsEdit->value();
  t.columns = ColumnsEdit->value();
  t.cellWidth.reset();
  t.cellHeight.reset();
  if (CellSizeBox->isChecked()) {
    t.cellWidth = LengthOf(CellWidthEdit);
    t.cellHeight = LengthOf(CellHeightEdit);
  }
  t.gutterAcross.reset();
  t.gutterDown.reset();
  if (GuttersBox->isChecked()) {
    t.gutterAcross = LengthOf(GutterAcrossEdit);
    t.gutterDown = LengthOf(GutterDownEdit);
  }
  t.order = static_cast<CellOrder>(std::max(OrderBox->currentIndex(), 0));
  t.folderHeadings = HeadingsBox->isChecked();
  t.newPagePerFolder = NewPageBox->isChecked();
  t.fit = static_cast<PictureFit>(std::max(FitBox->currentIndex(), 0));
  t.border = LengthOf(BorderEdit);
  t.borderColor = borderColour_;
  t.captions.clear();
  for (const CaptionRow& row : CaptionRows) {
    t.captions.push_back(
        {S(row.text->text()), static_cast<TextAlign>(std::max(row.align->currentIndex(), 0)), row.scale->value()});
  }
  t.captionPoints.reset();
  if (CaptionSizeBox->isChecked()) t.captionPoints = CaptionSizeEdit->value();
  t.textColor = textColour_;
  t.header.reset();
  if (HeaderBox->isChecked()) t.header = LineSlots{S(HeaderEdits[0]->text()), S(HeaderEdits[1]->text()), S(HeaderEdits[2]->text())};
  t.footer = LineSlots{S(FooterEdits[0]->text()), S(FooterEdits[1]->text()), S(FooterEdits[2]->text())};
  t.logoFile = S(LogoEdit->text().trimmed());
  t.logoHeight = LengthOf(LogoHeightEdit);
  return t;
}

void TemplateEditor::ShowColours() {
  const auto show = [](QPushButton* button, TColor colour) {
    QPixmap swatch(16, 16);
    swatch.fill(ToQColor(colour));
    button->setIcon(QIcon(swatch));
  };
  show(BackgroundButton, background_);
  show(BorderColourButton, borderColour_);
  show(TextColourButton, textColour_);
}

void TemplateEditor::FillList(const std::string& select) {
  listed_ = store_.List();
  // The built-in ones first, as they come; the saved ones by name as the user's language sorts.
  const auto saved = std::stable_partition(listed_.begin(), listed_.end(),
                                           [](const SheetTemplate& t) { return TemplateStore::IsBuiltIn(t.name); });
  std::stable_sort(saved, listed_.end(), [](const SheetTemplate& a, const SheetTemplate& b) {
    return Q(a.name).localeAwareCompare(Q(b.name)) < 0;
  });
  const QSignalBlocker blocker(Layouts);
  Layouts->clear();
  int row = -1;
  for (std::size_t i = 0; i < listed_.size(); ++i) {
    Layouts->addItem(Q(listed_[i].name));
    if (listed_[i].name == select) row = static_cast<int>(i);
  }
  Layouts->setCurrentRow(row);
  UpdateButtons();
}

void TemplateEditor::Selected() {
  const int row = Layouts->currentRow();
  if (row < 0 || row >= static_cast<int>(listed_.size())) return;
  failure_.clear();
  Load(listed_[static_cast<std::size_t>(row)]);
  RedrawPreview();
}

void TemplateEditor::Changed() {
  if (loading_) return;
  failure_.clear();
  ShowProblems();
  redraw_.start();
}

void TemplateEditor::ShowProblems() {
  // The paper the sheet prints on; a printer that tells no page has an A4 one.
  const SheetPage paper = sheet_.PrinterPage();
  double width = 210;
  double height = 297;
  if (paper.pixelsPerMm > 0 && paper.rect.Right > paper.rect.Left && paper.rect.Bottom > paper.rect.Top) {
    width = (paper.rect.Right - paper.rect.Left) / paper.pixelsPerMm;
    height = (paper.rect.Bottom - paper.rect.Top) / paper.pixelsPerMm;
  }
  problems_ = TemplateProblems(Edited(), width, height);
  QStringList lines;
  for (const std::string& problem : problems_) lines << Q(problem);
  if (!failure_.empty()) lines << Q(failure_);
  ProblemLine->setText(lines.join('\n'));
  ProblemLine->setVisible(!lines.isEmpty());
  UpdateButtons();
}

void TemplateEditor::UpdateButtons() {
  const int row = Layouts->currentRow();
  const bool saved = row >= 0 && row < static_cast<int>(listed_.size()) &&
                     !TemplateStore::IsBuiltIn(listed_[static_cast<std::size_t>(row)].name);
  RenameButton->setEnabled(saved);
  DeleteButton->setEnabled(saved);
  SaveAsButton->setEnabled(problems_.empty());
  Buttons->button(QDialogButtonBox::Ok)->setEnabled(problems_.empty());
}

void TemplateEditor::RedrawPreview() {
  redraw_.stop();
  // A layout with a problem has no page to show: the last good one stays, faded.
  if (!problems_.empty()) {
    Preview->setEnabled(false);
    return;
  }
  Preview->setEnabled(true);
  try {
    TBitmap page;
    page.SetPixelFormat(pf32bit);
    page.SetSize(kPreviewWidth, kPreviewHeight);
    const int32_t number = std::max(sheet_.CurrentPage, 1);
    const int32_t pages = sheet_.RenderSample(Edited(), number, page);
    picture_ = BitmapImage(page).copy();
    Preview->setPixmap(QPixmap::fromImage(picture_));
    PageLabel->setText(tr("Page %1 of %2").arg(std::clamp(number, 1, std::max(pages, 1))).arg(pages));
  } catch (const std::exception& e) {
    failure_ = e.what();
    ShowProblems();
  }
}

std::optional<std::string> TemplateEditor::AskName(const QString& label, const std::string& start,
                                                   const std::string& keep) {
  const std::optional<QString> answer = questions_.name(label, Q(start));
  if (!answer) return std::nullopt;
  const std::string name = S(answer->trimmed());
  if (name.empty() || name == keep) return std::nullopt;
  if (TemplateStore::IsBuiltIn(name)) {
    failure_ = S(tr("\"%1\" is a built-in layout; choose another name").arg(Q(name)));
    ShowProblems();
    return std::nullopt;
  }
  const bool exists = std::any_of(listed_.begin(), listed_.end(), [&](const SheetTemplate& t) { return t.name == name; });
  if (exists && !questions_.confirm(tr("A layout named \"%1\" exists. Replace it?").arg(Q(name)))) return std::nullopt;
  return name;
}

void TemplateEditor::SaveAs() {
  if (!problems_.empty()) return;
  const std::string start = TemplateStore::IsBuiltIn(base_.name) ? std::string() : base_.name;
  const std::optional<std::string> name = AskName(tr("Save the layout as:"), start, std::string());
  if (!name) return;
  SheetTemplate layout = Edited();
  layout.name = *name;
  try {
    store_.Save(layout);
  } catch (const ETemplate& e) {
    failure_ = e.what();
    ShowProblems();
    return;
  }
  base_ = layout;
  FillList(layout.name);
}

void TemplateEditor::Rename() {
  const std::string from = base_.name;
  if (TemplateStore::IsBuiltIn(from)) return;
  const std::optional<std::string> name = AskName(tr("New name of \"%1\":").arg(Q(from)), from, from);
  if (!name) return;
  try {
    store_.Rename(from, *name);
  } catch (const ETemplate& e) {
    failure_ = e.what();
    ShowProblems();
    return;
  }
  base_.name = *name;
  FillList(*name);
}

void TemplateEditor::Delete() {
  const std::string name = base_.name;
  if (TemplateStore::IsBuiltIn(name)) return;
  if (!questions_.confirm(tr("Delete the layout \"%1\"?").arg(Q(name)))) return;
  try {
    store_.Remove(name);
  } catch (const ETemplate& e) {
    failure_ = e.what();
    ShowProblems();
    return;
  }
  // The form goes on to the first layout, Classic.
  Load(BuiltInTemplates().front());
  RedrawPreview();
}

void TemplateEditor::accept() {
  if (!problems_.empty()) return;
  sheet_.Layout = Edited();
  const std::string& name = sheet_.Layout.name;
  if (std::any_of(listed_.begin(), listed_.end(), [&](const SheetTemplate& t) { return t.name == name; })) {
    try {
      store_.SetLastUsed(name);
    } catch (const ETemplate&) {
      // The layout is in use all the same; the next start begins with the one recorded before.
    }
  }
  QDialog::accept();
}

bool EditTemplates(QWidget* parent, const TemplateStore& store, TContactSheet& sheet, std::string& chosen) {
  TemplateEditor editor(store, sheet, parent);
  if (editor.exec() != QDialog::Accepted) return false;
  chosen = sheet.Layout.name;
  return true;
}

}  // namespace tablora
