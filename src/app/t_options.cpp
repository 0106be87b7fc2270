#include "app/t_options.h"

#include <QEvent>
#include <QSignalBlocker>
#include <algorithm>

#include "sheet/sheet_template.h"

namespace tablora {

namespace {
// The window is 301 x 348 with its frame; a dialog frame takes 8 pixels across and 27 down.
constexpr int kClientWidth = 301 - 8;
constexpr int kClientHeight = 348 - 27;

// The designed places, for a font whose explanation takes three lines of 13 pixels. The label's
// box reaches one pixel into the first check box's.
constexpr QRect kLabel(4, 4, 285, 45);
constexpr QRect kPrintFacing(4, 48, 285, 17);
constexpr QRect kPrintPageNum(4, 68, 285, 17);
constexpr QRect kSortLabel(4, 92, 90, 21);
constexpr QRect kSort(96, 92, 193, 21);
constexpr QRect kMinRatingLabel(4, 116, 90, 21);
constexpr QRect kMinRating(96, 116, 60, 21);
constexpr QRect kPairsLabel(4, 140, 90, 21);
constexpr QRect kPairs(96, 140, 193, 21);
constexpr QRect kTemplateLabel(4, 164, 90, 21);
constexpr QRect kTemplate(96, 164, 133, 21);
constexpr QRect kEditLayouts(232, 164, 57, 21);
constexpr QRect kCaptionLabel(4, 188, 285, 13);
// The caption fields' boxes: four to a row, fewer where their names are longer.
constexpr QRect CaptionBoxPlace(std::size_t i, std::size_t columns, int columnWidth) {
  return QRect(4 + static_cast<int>(i % columns) * columnWidth, 203 + static_cast<int>(i / columns) * 20,
               columnWidth - 2, 17);
}
constexpr QRect kCache(4, 244, 285, 17);
constexpr QRect kCacheLimitLabel(4, 266, 150, 21);
constexpr QRect kCacheLimit(160, 266, 90, 21);
constexpr QRect kButton1(136, 293, 75, 25);
constexpr QRect kButton2(216, 293, 75, 25);
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

  SortLabel = new QLabel(tr("Order:"), this);
  SortBox = new QComboBox(this);
  SortBox->setObjectName("SortOrder");
  SortBox->addItems({tr("Name"), tr("Natural (IMG_2 before IMG_10)"), tr("Date taken")});
  SortLabel->setBuddy(SortBox);

  MinRatingLabel = new QLabel(tr("Minimum rating:"), this);
  MinRatingBox = new QSpinBox(this);
  MinRatingBox->setObjectName("MinRating");
  MinRatingBox->setRange(0, kMaxRating);
  MinRatingBox->setSpecialValueText(tr("Any"));
  MinRatingLabel->setBuddy(MinRatingBox);

  PairsLabel = new QLabel(tr("RAW + JPEG:"), this);
  PairsBox = new QComboBox(this);
  PairsBox->setObjectName("Pairs");
  PairsBox->addItems({tr("Once, as the JPEG"), tr("Both files"), tr("The RAW only"), tr("The JPEG only")});
  PairsBox->setToolTip(tr("Files of one name in one folder that the camera wrote as RAW and JPEG (or HEIF)"));
  PairsLabel->setBuddy(PairsBox);

  TemplateLabel = new QLabel(tr("&Layout:"), this);
  TemplateBox = new QComboBox(this);
  TemplateBox->setObjectName("Template");
  TemplateBox->addItem(QString::fromStdString(ClassicTemplate().name));
  TemplateLabel->setBuddy(TemplateBox);
  EditLayoutsButton = new QPushButton(tr("&Edit…"), this);
  EditLayoutsButton->setObjectName("EditLayouts");
  EditLayoutsButton->setAutoDefault(false);
  EditLayoutsButton->setEnabled(false);
  connect(EditLayoutsButton, &QPushButton::clicked, this, [this] {
    if (editLayouts_) editLayouts_();
  });
  CaptionLabel = new QLabel(tr("Second caption line:"), this);
  for (const QString& text : {tr("Date"), tr("Exposure"), tr("Camera"), tr("Lens"), tr("Focal"), tr("ISO"),
                              tr("Rating"), tr("Title")}) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName("Caption" + QString::number(CaptionBoxes.size()));
    CaptionBoxes.push_back(box);
  }

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

std::vector<CaptionField> T_Options::CaptionFields() const {
  std::vector<CaptionField> fields;
  for (std::size_t i = 0; i < CaptionBoxes.size(); ++i) {
    if (CaptionBoxes[i]->isChecked()) fields.push_back(static_cast<CaptionField>(i));
  }
  return fields;
}

void T_Options::SetCaptionFields(const std::vector<CaptionField>& fields) {
  for (std::size_t i = 0; i < CaptionBoxes.size(); ++i) {
    CaptionBoxes[i]->setChecked(std::find(fields.begin(), fields.end(), static_cast<CaptionField>(i)) != fields.end());
  }
}

void T_Options::SetTemplates(const std::vector<std::string>& names, const std::string& current) {
  // Filling the list chooses nothing: the layouts dialog refills it with the options open, where a
  // change of the list's text is the user's choice of another layout.
  const QSignalBlocker quiet(TemplateBox);
  TemplateBox->clear();
  for (const std::string& name : names) TemplateBox->addItem(QString::fromStdString(name));
  TemplateBox->setCurrentText(QString::fromStdString(current));
}

void T_Options::SetLayoutEditor(std::function<void()> edit) {
  editLayouts_ = std::move(edit);
  EditLayoutsButton->setEnabled(static_cast<bool>(editLayouts_));
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
  // The sheet's order, filter and second caption line, row by row under the page options.
  // A control stands right of its label, further right where a larger font widens the label.
  const auto beside = [&](QLabel* label, const QRect& labelPlace, QWidget* control, const QRect& designed, int top) {
    const int left = std::max(designed.x(), labelPlace.x() + label->sizeHint().width() + 4);
    const bool toTheEdge = designed.right() == kSort.right() || designed.right() == kTemplate.right() ||
                           designed.right() == kPairs.right();
    const int right = toTheEdge ? designed.right() : left + designed.width() - 1;
    const int labelBottom = place(label, QRect(labelPlace.x(), labelPlace.y(), left - 2 - labelPlace.x(), labelPlace.height()), top);
    return std::max(labelBottom, place(control, QRect(QPoint(left, designed.y()), QPoint(right, designed.bottom())), top));
  };
  below = beside(SortLabel, kSortLabel, SortBox, kSort, below + checkGap);
  below = beside(MinRatingLabel, kMinRatingLabel, MinRatingBox, kMinRating, below + checkGap);
  below = beside(PairsLabel, kPairsLabel, PairsBox, kPairs, below + checkGap);
  const int layoutTop = below + checkGap;
  below = beside(TemplateLabel, kTemplateLabel, TemplateBox, kTemplate, layoutTop);
  // The button keeps its place at the right edge; the list gives way to a wider label.
  below = std::max(below, place(EditLayoutsButton, kEditLayouts, TemplateBox->y()));
  below = place(CaptionLabel, kCaptionLabel, below + checkGap);
  int widest = 0;
  // A check box's size hint carries some eight pixels of spacing its name does not need.
  for (QCheckBox* box : CaptionBoxes) widest = std::max(widest, box->sizeHint().width() - 8 + 2);
  std::size_t columns = 4;
  while (columns > 2 && static_cast<int>(columns) * widest > kCaptionLabel.width() + 2) --columns;
  const int columnWidth = columns == 4 ? 72 : (kCaptionLabel.width() + 2) / static_cast<int>(columns);
  int rowBelow = below;
  for (std::size_t i = 0; i < CaptionBoxes.size(); ++i) {
    if (i % columns == 0) below = rowBelow + (i == 0 ? 2 : checkGap);
    rowBelow = std::max(rowBelow, place(CaptionBoxes[i], CaptionBoxPlace(i, columns, columnWidth), below));
  }
  below = rowBelow;
  below = place(CacheBox, kCache, below + checkGap);
  below = beside(CacheLimitLabel, kCacheLimitLabel, CacheLimitBox, kCacheLimit,
                 below + kCacheLimit.y() - kCache.bottom() - 1);
  const int buttonsTop = std::max(kButton1.y(), below + checkGap);
  const int buttonsBottom =
      std::max(place(Button1, kButton1, buttonsTop), place(Button2, kButton2, buttonsTop));
  const int bottomGap = kClientHeight - kButton1.bottom() - 1;
  setFixedSize(kClientWidth, std::max(kClientHeight, buttonsBottom + bottomGap));
}

}  // namespace tablora
