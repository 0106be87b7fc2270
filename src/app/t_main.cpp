#include "app/t_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QUrl>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QTreeWidget>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QScreen>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <QFile>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <thread>

#include "app/page_export.h"
#include "app/page_setup_dialog.h"
#include "app/preview_picker.h"
#include "app/program_icon.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/t_splash.h"
#include "app/template_editor.h"
#include "imaging/exceptions.h"
#include "platform/bitmap_image.h"
#include "platform/qt_printer_device.h"

namespace tablora {

namespace {

constexpr int kLeftPanelWidth = 172;
constexpr int kLeftPanelMinimum = 173;
// The window is 924 x 625 with its frame; its client area is 916 x 598, which leaves the preview
// 738 x 563.
constexpr int kClientWidth = 916;
constexpr int kClientHeight = 598;
constexpr int kResizeSettleMs = 120;
// Typing in a field redraws once the typing pauses this long.
constexpr int kTypingSettleMs = 400;
constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 4.0;
// The preview's page is held below this many device pixels a side, whatever the zoom.
constexpr int kMaxPreviewSide = 8000;
constexpr int kRecentFolders = 10;
constexpr int kTreeWidth = 260;
// Share of the screen's available area the window takes when nothing was saved.
constexpr double kDefaultScreenShare = 0.8;
// The room a window manager's frame usually takes beside and above a window.
constexpr int kFrameSide = 8;
constexpr int kFrameTop = 40;

QFont WindowFont() {
  QFont font("Tahoma");
  font.setPixelSize(11);
  return font;
}

}  // namespace

QString ErrorText(const std::string& message) {
  QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') text += '.';
  return text;
}

T_Main::T_Main(MainServices services, QWidget* parent) : QWidget(parent), services_(std::move(services)) {
  setWindowTitle("Tablora");
  setFont(WindowFont());
  resize(kClientWidth, kClientHeight);
  BuildControls();

  // FormCreate: the sheet with an empty file list and preview bitmap, no pages.
  SheetServices sheetServices;
  sheetServices.pump = services_.pump;
  sheetServices.inputs = this;
  sheetServices.directories = services_.directories;
  sheetServices.printer = services_.printer;
  sheetServices.preview = Preview;
  sheetServices.canvases = services_.canvases;
  sheetServices.thumbnails = services_.thumbnails;
  sheetServices.selections = services_.selections;
  previewStatus_ = std::make_unique<PreviewStatus>(*StatusLine, [this] { return waiting_.empty(); });
  sheetServices.previewProgress = previewStatus_.get();
  sheet_ = std::make_unique<TContactSheet>(sheetServices);
  // The pictures of a page load on every core while the page is drawn in order.
  sheet_->ThumbnailJobs = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  sheet_->PageCount = 0;
  sheet_->PageEnds.clear();
  // The window marks a picture it cannot read; paper leaves the cell empty.
  sheet_->MarkUnreadable = true;
  Picker = new PreviewPicker(*this);

  resizeTimer_.setSingleShot(true);
  resizeTimer_.setInterval(kResizeSettleMs);
  connect(&resizeTimer_, &QTimer::timeout, this, &T_Main::FormResize);
  connect(Preview, &PreviewImage::Resized, this, [this] {
    if (!shown_) return;
    ShowPendingPreview();
    resizeTimer_.start();
  });
  connect(Preview, &PreviewImage::PageLabelChanged, this, [this](const QString& caption) {
    PreviewPageNumber->setText(caption);
    UpdateNavigation();
  });
  settleTimer_.setSingleShot(true);
  settleTimer_.setInterval(kTypingSettleMs);
  connect(&settleTimer_, &QTimer::timeout, this, [this] { Run([this] { Refresh(); }); });
  UpdateNavigation();
  UpdateSheetState();
  setWindowIcon(ProgramIcon());
  PlaceOnScreen(QByteArray());
}

void T_Main::PlaceOnScreen(const QByteArray& savedGeometry) {
  const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  if (!savedGeometry.isEmpty() && restoreGeometry(savedGeometry)) {
    // Before the window is shown its frame is not known: a frame's usual room is allowed for.
    const QRect frame = isVisible() ? frameGeometry() : geometry().adjusted(-kFrameSide, -kFrameTop, kFrameSide, kFrameSide);
    if (area.contains(frame)) return;
    // Saved on a larger screen or at a smaller scale: placed afresh rather than cut off.
  }
  const QSize wanted(static_cast<int>(area.width() * kDefaultScreenShare),
                     static_cast<int>(area.height() * kDefaultScreenShare));
  resize(wanted.expandedTo(minimumSizeHint()).boundedTo(area.size()));
  move(area.center() - rect().center());
}

T_Main::~T_Main() = default;

void T_Main::SetWindows(T_Splash* splash, T_Processing* processing, T_Options* options) {
  splash_ = splash;
  processing_ = processing;
  options_ = options;
  sheet_->Services().progress = processing;
  sheet_->Services().options = options;
  if (options == nullptr) return;
  // The options show in the preview as they change, the dialog still open.
  const auto redraw = [this] { SettingChanged(false); };
  connect(options->PrintFacingBox, &QCheckBox::toggled, this, redraw);
  connect(options->PrintPageNumBox, &QCheckBox::toggled, this, redraw);
  for (QCheckBox* box : options->CaptionBoxes) connect(box, &QCheckBox::toggled, this, redraw);
  connect(options->SortBox, &QComboBox::currentIndexChanged, this, [this] { OrderChanged(); });
  connect(options->MinRatingBox, &QSpinBox::valueChanged, this, [this] { OrderChanged(); });
  connect(options->PairsBox, &QComboBox::currentIndexChanged, this, [this] { OrderChanged(); });
  connect(options->TemplateBox, &QComboBox::currentTextChanged, this, [this] {
    if (options_->isVisible()) TakeChosenLayout();
  });
}

void T_Main::SettingChanged(bool typed) {
  if (typed) {
    settleTimer_.start();
    return;
  }
  settleTimer_.stop();
  Run([this] { Refresh(); });
}

void T_Main::ApplyPending() {
  if (!settleTimer_.isActive()) return;
  settleTimer_.stop();
  Refresh();
}

void T_Main::OrderChanged() {
  settleTimer_.stop();
  Run([this] {
    sheet_->Reorder();
    Refresh();
  });
}

void T_Main::Change(const std::function<void()>& change) {
  settleTimer_.stop();
  Run([this, change] {
    change();
    Refresh();
  });
}

void T_Main::ShowPage(int page) {
  Run([this, page] {
    sheet_->CurrentPage = std::clamp(page, 1, std::max(sheet_->PageCount, 1));
    Refresh();
  });
}

void T_Main::ShowLeftOut(bool show) {
  if (sheet_->ShowLeftOut == show) return;
  Change([this, show] {
    sheet_->ShowLeftOut = show;
    sheet_->Reorder();
  });
  emit LeftOutShown(show);
}

void T_Main::ShowProblems() {
  QDialog dialog(this);
  dialog.setWindowTitle(tr("Pictures that could not be read"));
  auto* list = new QTreeWidget(&dialog);
  list->setObjectName("ProblemList");
  list->setHeaderLabels({tr("Picture"), tr("Why")});
  list->setRootIsDecorated(false);
  for (const PictureProblem& problem : sheet_->Problems()) {
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, QFile::decodeName(QByteArray::fromStdString(sheet_->BaseFolder + problem.entry)));
    item->setText(1, QString::fromUtf8(problem.message.data(), static_cast<qsizetype>(problem.message.size())));
    item->setToolTip(0, item->text(0));
    item->setToolTip(1, item->text(1));
  }
  list->resizeColumnToContents(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  layout->addWidget(buttons);
  dialog.resize(720, 360);
  if (services_.showProblems) {
    services_.showProblems(dialog);
  } else {
    dialog.exec();
  }
}

void T_Main::UpdateSheetState() {
  const bool built = sheet_ && !sheet_->FileList.empty();
  PrintBtn->setEnabled(built);
  const std::size_t problems = sheet_ ? sheet_->Problems().size() : 0;
  ProblemsBtn->setVisible(problems > 0);
  ProblemsBtn->setText(tr("Problems (%1)").arg(problems));
  if (Picker != nullptr) Picker->UpdateMarks();
  Preview->SetHint(built ? QString() : tr("Choose a folder of photographs, then Build"));
}

void T_Main::SetRecentFolders(const QStringList& folders) {
  recent_.clear();
  for (const QString& folder : folders) {
    if (!folder.isEmpty() && !recent_.contains(folder) && recent_.size() < kRecentFolders) recent_ << folder;
  }
}

void T_Main::RememberFolder(const QString& folder) {
  if (folder.isEmpty()) return;
  recent_.removeAll(folder);
  recent_.prepend(folder);
  while (recent_.size() > kRecentFolders) recent_.removeLast();
}

double T_Main::PageAspect() const {
  const SheetPage paper = sheet_->PrinterPage();
  const int32_t width = paper.rect.Right - paper.rect.Left;
  const int32_t height = paper.rect.Bottom - paper.rect.Top;
  return width > 0 && height > 0 ? static_cast<double>(width) / height : 210.0 / 297.0;
}

QSizeF T_Main::ActualPageSize() const {
  const SheetPage paper = sheet_->PrinterPage();
  const double perMm = paper.pixelsPerMm > 0 ? paper.pixelsPerMm : 600 / 25.4;
  const double screenPerMm = logicalDpiX() / 25.4;
  return {(paper.rect.Right - paper.rect.Left) / perMm * screenPerMm,
          (paper.rect.Bottom - paper.rect.Top) / perMm * screenPerMm};
}

double T_Main::ShownScale() const {
  if (zoomMode_ == ZoomMode::Scale) return zoomScale_;
  const QSizeF actual = ActualPageSize();
  if (actual.width() <= 0) return 1.0;
  const double frame = std::min<double>(Preview->width(), Preview->height() * PageAspect());
  return frame / actual.width();
}

void T_Main::SetZoom(ZoomMode mode, double scale) {
  zoomMode_ = mode;
  zoomScale_ = std::clamp(scale, kMinZoom, kMaxZoom);
  PlacePreview();
}

void T_Main::ZoomBy(double factor) { SetZoom(ZoomMode::Scale, ShownScale() * factor); }

void T_Main::PlacePreview() {
  const QSize room = PreviewScroll->maximumViewportSize();
  const double aspect = PageAspect();
  QSize size = room;
  if (zoomMode_ == ZoomMode::FitWidth) {
    int width = room.width();
    // A page taller than the room brings a scroll bar, which takes from the width.
    if (width / aspect > room.height()) width -= style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    size = QSize(width, static_cast<int>(width / aspect));
  } else if (zoomMode_ == ZoomMode::Scale) {
    size = (ActualPageSize() * zoomScale_).toSize();
  }
  const int limit = static_cast<int>(kMaxPreviewSide / Preview->Ratio());
  if (size.width() > limit || size.height() > limit) size.scale(limit, limit, Qt::KeepAspectRatio);
  size = size.expandedTo(QSize(1, 1));
  if (Preview->size() != size) Preview->resize(size);
}

void T_Main::BuildControls() {
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(2);
  Splitter1->setChildrenCollapsible(false);
  outer->addWidget(Splitter1);

  Panel1 = new QWidget(Splitter1);
  Panel1->setObjectName("Panel1");
  Panel1->setMinimumWidth(kLeftPanelWidth);
  auto* left = new QVBoxLayout(Panel1);
  left->setContentsMargins(0, 0, 0, 0);
  left->setSpacing(0);

  // A folder can be typed (with completion) or chosen as well as found in the tree.
  auto* pathRow = new QHBoxLayout;
  pathRow->setContentsMargins(4, 4, 4, 4);
  pathRow->setSpacing(4);
  PathEdit = new QLineEdit(Panel1);
  PathEdit->setObjectName("PathEdit");
  PathEdit->setPlaceholderText(tr("Folder"));
  auto* folders = new QFileSystemModel(PathEdit);
  folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  folders->setRootPath(QDir::rootPath());
  auto* completer = new QCompleter(folders, PathEdit);
  completer->setCompletionMode(QCompleter::PopupCompletion);
  PathEdit->setCompleter(completer);
  ChooseFolderBtn = new QPushButton(tr("C&hoose…"), Panel1);
  ChooseFolderBtn->setObjectName("ChooseFolderBtn");
  ChooseFolderBtn->setToolTip(tr("Choose folder…"));
  pathRow->addWidget(PathEdit, 1);
  pathRow->addWidget(ChooseFolderBtn);
  left->addLayout(pathRow);
  // The tree starts at a place: the home folder, the pictures folder, a drive, or the whole
  // computer.
  PlacesBox = new QComboBox(Panel1);
  PlacesBox->setObjectName("PlacesBox");
  // A drive's long name must not widen the panel: the list opens as wide as its names.
  PlacesBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  PlacesBox->setMinimumContentsLength(12);
  const auto addPlace = [this](const QString& name, const QString& path) {
    if (!path.isEmpty() && QFileInfo(path).isDir() && PlacesBox->findData(path) < 0) PlacesBox->addItem(name, path);
  };
  addPlace(tr("Home"), QDir::homePath());
  addPlace(tr("Pictures"), QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    const QString root = volume.rootPath();
    if (!volume.isValid() || !volume.isReady()) continue;
    if (root.startsWith("/media/") || root.startsWith("/mnt/") || root.startsWith("/run/media/")) {
      addPlace(volume.displayName(), root);
    }
  }
  addPlace(tr("Computer"), "/");
  auto* placesRow = new QHBoxLayout;
  placesRow->setContentsMargins(4, 0, 4, 4);
  placesRow->addWidget(PlacesBox, 1);
  left->addLayout(placesRow);

  PathModel = new QFileSystemModel(this);
  PathModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  PathModel->setRootPath("/");
  PathSelect = new QTreeView(Panel1);
  PathSelect->setObjectName("PathSelect");
  PathSelect->setModel(PathModel);
  PathSelect->setRootIndex(PathModel->index("/").parent());
  for (int column = 1; column < PathModel->columnCount(); ++column) PathSelect->hideColumn(column);
  PathSelect->header()->hide();
  PathSelect->setRootIsDecorated(true);
  PathSelect->setIndentation(19);
  PathSelect->viewport()->installEventFilter(this);
  left->addWidget(PathSelect, 1);

  // The settings stand in a grid rather than at fixed places, so a larger font or a longer
  // translation gets the room its words need.
  Panel2 = new QWidget(Panel1);
  Panel2->setObjectName("Panel2");
  auto* grid = new QGridLayout(Panel2);
  grid->setContentsMargins(8, 8, 8, 8);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  left->addWidget(Panel2);

  Label1 = new QLabel(tr("Archive Title (This will print at the top of each page)"), Panel2);
  Label1->setWordWrap(true);
  TitleEdit = new QLineEdit(Panel2);
  TitleEdit->setObjectName("Title");
  Label1->setBuddy(TitleEdit);
  Label2 = new QLabel(tr("&Rows"), Panel2);
  Label3 = new QLabel(tr("Colu&mns"), Panel2);
  RowInput = new TSpinEdit(kMinGridSize, kMaxGridSize, kDefaultRows, Panel2);
  RowInput->setObjectName("RowInput");
  ColInput = new TSpinEdit(kMinGridSize, kMaxGridSize, kDefaultColumns, Panel2);
  ColInput->setObjectName("ColInput");
  // Room for two digits beside the arrows, whatever the font.
  const int spinWidth = RowInput->fontMetrics().horizontalAdvance("3030") + 28;
  RowInput->setMinimumWidth(spinWidth);
  ColInput->setMinimumWidth(spinWidth);
  Label2->setBuddy(RowInput);
  Label3->setBuddy(ColInput);
  Button3 = new QPushButton(tr("&Update"), Panel2);
  Button3->setToolTip(tr("Draw the page again now"));
  Button2 = new QPushButton(tr("Select &Font"), Panel2);
  Button1 = new QPushButton(tr("Page Se&tup"), Panel2);
  BuildBtn = new QPushButton(tr("&Build"), Panel2);
  BuildBtn->setObjectName("BuildBtn");
  BuildBtn->setDefault(true);
  PrintBtn = new QPushButton(tr("&Print"), Panel2);
  PrintBtn->setObjectName("PrintBtn");
  grid->addWidget(Label1, 0, 0, 1, 3);
  grid->addWidget(TitleEdit, 1, 0, 1, 3);
  grid->addWidget(Label2, 2, 0);
  grid->addWidget(Label3, 2, 1);
  grid->addWidget(RowInput, 3, 0);
  grid->addWidget(ColInput, 3, 1);
  grid->addWidget(Button3, 3, 2);
  auto* pair = [&] {
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    return row;
  }();
  pair->addWidget(Button2);
  pair->addWidget(Button1);
  grid->addLayout(pair, 4, 0, 1, 3);
  auto* actions = new QHBoxLayout;
  actions->setSpacing(6);
  actions->addWidget(BuildBtn);
  actions->addWidget(PrintBtn);
  grid->addLayout(actions, 5, 0, 1, 3);

  Panel3 = new QFrame(Splitter1);
  Panel3->setObjectName("Panel3");
  Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel3->setLineWidth(2);
  Panel3->setAutoFillBackground(true);
  QPalette grey = Panel3->palette();
  grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
  Panel3->setPalette(grey);
  auto* right = new QVBoxLayout(Panel3);
  right->setContentsMargins(0, 0, 0, 0);
  right->setSpacing(0);

  Panel4 = new QWidget(Panel3);
  Panel4->setObjectName("Panel4");
  Panel4->setAutoFillBackground(true);
  Panel4->setPalette(palette());
  right->addWidget(Panel4);
  auto* bar = new QHBoxLayout(Panel4);
  bar->setContentsMargins(4, 3, 4, 3);
  bar->setSpacing(6);
  Button4 = new QPushButton(tr("&Options"), Panel4);
  bar->addWidget(Button4);
  StatusLine = new QLabel(Panel4);
  StatusLine->setObjectName("StatusLine");
  StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
  StatusLine->setMinimumWidth(40);
  StatusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  bar->addWidget(StatusLine, 1);
  ProblemsBtn = new QPushButton(Panel4);
  ProblemsBtn->setObjectName("ProblemsBtn");
  ProblemsBtn->hide();
  bar->addWidget(ProblemsBtn);
  Panel5 = new QWidget(Panel4);
  Panel5->setObjectName("Panel5");
  auto* pages = new QHBoxLayout(Panel5);
  pages->setContentsMargins(0, 0, 0, 0);
  pages->setSpacing(0);
  bar->addWidget(Panel5);

  auto flat = [this, pages](const char* text, const QString& tip) {
    auto* button = new QToolButton(Panel5);
    button->setText(text);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    pages->addWidget(button);
    return button;
  };
  SpeedButton1 = flat("<<", tr("First page (Home)"));
  SpeedButton3 = flat("<", tr("Previous page (Page Up)"));
  // The engine's own label text, for the sheet of no pages.
  PreviewPageNumber =
      new QLabel(QCoreApplication::translate("TContactSheet", "Page %1 of %2").arg(0).arg(0), Panel5);
  PreviewPageNumber->setObjectName("PreviewPageNumber");
  PreviewPageNumber->setMinimumWidth(89);
  PreviewPageNumber->setAlignment(Qt::AlignCenter);
  pages->addWidget(PreviewPageNumber);
  SpeedButton4 = flat(">", tr("Next page (Page Down)"));
  SpeedButton2 = flat(">>", tr("Last page (End)"));

  PreviewScroll = new QScrollArea(Panel3);
  PreviewScroll->setObjectName("PreviewScroll");
  PreviewScroll->setFrameShape(QFrame::NoFrame);
  PreviewScroll->setWidgetResizable(false);
  PreviewScroll->setAlignment(Qt::AlignCenter);
  PreviewScroll->setBackgroundRole(QPalette::Window);
  PreviewScroll->viewport()->installEventFilter(this);
  Preview = new PreviewImage;
  Preview->setObjectName("Preview");
  Preview->installEventFilter(this);
  PreviewScroll->setWidget(Preview);
  right->addWidget(PreviewScroll, 1);

  Splitter1->addWidget(Panel1);
  Splitter1->addWidget(Panel3);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  // The panel never narrower than its buttons' words need (a larger font, a longer translation),
  // and the tree wide enough for a shoot's folder names.
  Panel1->setMinimumWidth(std::max(kLeftPanelWidth, Panel1->minimumSizeHint().width()));
  const int panel = std::max(kTreeWidth, Panel1->minimumWidth());
  Splitter1->setSizes({panel, kClientWidth - panel - 2});

  connect(BuildBtn, &QPushButton::clicked, this, &T_Main::BuildBtnClick);
  connect(PrintBtn, &QPushButton::clicked, this, &T_Main::PrintBtnClick);
  connect(Button1, &QPushButton::clicked, this, &T_Main::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &T_Main::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &T_Main::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &T_Main::Button4Click);
  connect(ProblemsBtn, &QPushButton::clicked, this, &T_Main::ShowProblems);
  connect(SpeedButton1, &QToolButton::clicked, this, &T_Main::SpeedButton1Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &T_Main::SpeedButton3Click);
  connect(SpeedButton4, &QToolButton::clicked, this, &T_Main::SpeedButton4Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &T_Main::SpeedButton2Click);
  connect(Splitter1, &QSplitter::splitterMoved, this, &T_Main::Splitter1CanResize);
  connect(PathSelect->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] {
            PathEdit->setText(QFile::decodeName(QByteArray::fromStdString(SelectedFolder())));
            if (tracksSelection_) PathSelectChange();
          });
  connect(PlacesBox, &QComboBox::activated, this, [this](int index) {
    const QString place = PlacesBox->itemData(index).toString();
    SetTreeRoot(place);
    SelectFolder(place);
  });
  connect(PathEdit, &QLineEdit::returnPressed, this, [this] {
    const QFileInfo typed(QDir::fromNativeSeparators(PathEdit->text().trimmed()));
    if (typed.isDir()) SelectFolder(typed.absoluteFilePath());
  });
  connect(ChooseFolderBtn, &QPushButton::clicked, this, [this] {
    const QString start = QFile::decodeName(QByteArray::fromStdString(SelectedFolder()));
    const QString chosen = services_.chooseFolder
                               ? services_.chooseFolder(start)
                               : QFileDialog::getExistingDirectory(this, tr("Choose folder"), start);
    if (!chosen.isEmpty()) SelectFolder(chosen);
  });
  // What changes the page shows at once; what is typed once the typing pauses.
  connect(TitleEdit, &QLineEdit::textChanged, this, [this] { SettingChanged(true); });
  connect(RowInput, &TSpinEdit::TextChanged, this, [this] { SettingChanged(true); });
  connect(ColInput, &TSpinEdit::TextChanged, this, [this] { SettingChanged(true); });

  // The home folder is open and selected at start; the title stays empty until the user picks.
  SelectFolder(QDir::homePath());
  tracksSelection_ = true;
}

void T_Main::SetTreeRoot(const QString& root) {
  if (root == treeRoot_) return;
  treeRoot_ = root;
  PathModel->setRootPath(root);
  // The whole computer shows "/" as its one top row; any other place shows its folders.
  PathSelect->setRootIndex(root == "/" ? PathModel->index("/").parent() : PathModel->index(root));
  const int place = PlacesBox->findData(root);
  if (place >= 0) PlacesBox->setCurrentIndex(place);
}

void T_Main::SelectFolder(const QString& path) {
  const QString clean = QDir::cleanPath(path);
  const auto within = [&clean](const QString& root) {
    return root == "/" || clean == root || clean.startsWith(root + '/');
  };
  if (treeRoot_.isEmpty() || !within(treeRoot_)) {
    // The nearest place that holds the folder.
    QString best = "/";
    for (int i = 0; i < PlacesBox->count(); ++i) {
      const QString place = PlacesBox->itemData(i).toString();
      if (within(place) && place.size() > best.size()) best = place;
    }
    SetTreeRoot(best);
  }
  if (clean == treeRoot_ && treeRoot_ != "/") {
    // The place itself is no row of its tree: nothing is selected in it, and the place is built.
    PathSelect->setCurrentIndex(QModelIndex());
    PathSelect->clearSelection();
    PathEdit->setText(clean);
    if (tracksSelection_) PathSelectChange();
    return;
  }
  const QModelIndex index = PathModel->index(clean);
  if (!index.isValid()) return;
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) {
    PathSelect->expand(parent);
  }
  PathSelect->expand(index);
  PathSelect->setCurrentIndex(index);
  PathSelect->scrollTo(index);
}

int T_Main::Rows() const { return RowInput->Value(); }
int T_Main::Columns() const { return ColInput->Value(); }
std::string T_Main::Title() const { return TitleEdit->text().toStdString(); }
std::string T_Main::FontName() const { return fontName_; }

std::string T_Main::SelectedFolder() const {
  const QModelIndex index = PathSelect->currentIndex();
  QString folder;
  if (index.isValid()) {
    folder = PathModel->filePath(index);
  } else if (treeRoot_ != "/") {
    folder = treeRoot_;
  }
  if (folder.isEmpty()) return {};
  const QByteArray path = QFile::encodeName(folder);
  return std::string(path.constData(), static_cast<std::size_t>(path.size()));
}

void T_Main::Run(const std::function<void()>& handler) {
  if (busy_) {
    // Only a page filling in gives way; a click during a build or a print is ignored.
    if (previewing_) waiting_.push_back(handler);
    return;
  }
  waiting_.push_back(handler);
  while (!waiting_.empty()) {
    const std::function<void()> next = std::move(waiting_.front());
    waiting_.pop_front();
    RunOne(next);
  }
  UpdateNavigation();
  UpdateSheetState();
}

void T_Main::RunOne(const std::function<void()>& handler) {
  busy_ = true;
  try {
    handler();
  } catch (const EAbort&) {
  } catch (const EJobNotHandedOver& e) {
    // The pages are drawn already: rather than lose them, the user may keep them as a PDF file.
    if (processing_) processing_->Close();
    busy_ = false;
    previewing_ = false;
    OfferToSavePages(e, this, services_.choosePdfFile);
  } catch (const std::exception& e) {
    if (processing_) processing_->Close();
    busy_ = false;
    previewing_ = false;
    ShowError(e.what());
  }
  busy_ = false;
  previewing_ = false;
}

void T_Main::Refresh() {
  previewing_ = true;
  sheet_->RefreshPreview();
  previewing_ = false;
}

void T_Main::UpdateNavigation() {
  const bool back = sheet_ && sheet_->CurrentPage > 1;
  const bool forward = sheet_ && sheet_->CurrentPage < sheet_->PageCount;
  SpeedButton1->setEnabled(back);
  SpeedButton3->setEnabled(back);
  SpeedButton4->setEnabled(forward);
  SpeedButton2->setEnabled(forward);
}

void T_Main::ShowError(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, "Tablora", ErrorText(message), QMessageBox::Ok, this);
  box.exec();
}

void T_Main::BuildBtnClick() {
  Run([this] {
    previewStatus_->SetNotice({});
    Picker->Clear();
    sheet_->BuildFileList();
    // A walk stopped half way found an arbitrary part of the tree, and how much it missed is not
    // known: no sheet is shown rather than one that looks whole.
    const bool cancelled = !processing_->Working();
    processing_->Close();
    if (cancelled) {
      sheet_->FileList.clear();
      previewStatus_->SetNotice(tr("Build cancelled"));
    } else if (sheet_->FileList.empty() && !sheet_->BaseFolder.empty()) {
      const QString folder = QFile::decodeName(QByteArray::fromStdString(sheet_->BaseFolder));
      previewStatus_->SetNotice(tr("No pictures in %1").arg(folder));
    }
    if (!sheet_->FileList.empty()) {
      RememberFolder(QFile::decodeName(QByteArray::fromStdString(sheet_->BaseFolder)));
    }
    Refresh();
  });
}

void T_Main::PrintBtnClick() {
  Run([this] {
    ApplyPending();
    previewStatus_->SetNotice({});
    sheet_->Print(*services_.printDialog, *services_.messages);
    const std::string saved = services_.printer->SavedFile();
    if (!saved.empty()) {
      previewStatus_->SetNotice(tr("Saved to %1").arg(QFile::decodeName(QByteArray::fromStdString(saved))));
    }
  });
}

void T_Main::SavePageAs() {
  if (sheet_->FileList.empty() || sheet_->CurrentPage < 1) return;
  QString path;
  if (services_.choosePageFile) {
    path = services_.choosePageFile();
  } else {
    const QString name = QString::fromStdString(sheet_->JobTitle()) + QStringLiteral(" %1.png").arg(sheet_->CurrentPage);
    path = QFileDialog::getSaveFileName(this, tr("Save page as"), QDir::home().filePath(name),
                                        tr("PNG picture (*.png);;JPEG picture (*.jpg *.jpeg);;PDF file (*.pdf)"));
  }
  if (path.isEmpty()) return;
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix != "png" && suffix != "jpg" && suffix != "jpeg" && suffix != "pdf") path += ".png";
  Run([this, path] {
    ApplyPending();
    previewStatus_->SetNotice({});
    const int page = sheet_->CurrentPage;
    try {
      SavePage(*sheet_, page, path, *services_.canvases, services_.qprinter, *services_.messages);
    } catch (...) {
      Refresh();
      throw;
    }
    if (QFileInfo::exists(path)) previewStatus_->SetNotice(tr("Saved to %1").arg(path));
    Refresh();
  });
}

ExportServices T_Main::Exports() {
  ExportServices exports;
  exports.progress = processing_;
  exports.messages = services_.messages;
  exports.layoutFrom = services_.qprinter;
  exports.report = services_.reportWritten;
  if (!exports.report) {
    exports.report = [this](const QString& text, const QString& folder) {
      QMessageBox box(QMessageBox::Information, "Tablora", text, QMessageBox::Ok, this);
      QPushButton* open = box.addButton(tr("&Open folder"), QMessageBox::ActionRole);
      box.exec();
      if (box.clickedButton() == open) QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
  }
  return exports;
}

void T_Main::PrintEachFolder() {
  if (sheet_->FileList.empty() || processing_ == nullptr) return;
  FolderExportChoices proposed = exportChoices_;
  if (proposed.folder.isEmpty()) proposed.folder = QDir::homePath();
  std::optional<FolderExportChoices> chosen;
  if (services_.chooseFolderExport) {
    chosen = services_.chooseFolderExport(proposed);
  } else {
    FolderExportDialog dialog(proposed, this);
    if (dialog.exec() == QDialog::Accepted) chosen = dialog.Choices();
  }
  if (!chosen || chosen->folder.isEmpty()) return;
  chosen->pattern = UsablePattern(chosen->pattern);
  exportChoices_ = *chosen;
  Run([this] {
    ApplyPending();
    previewStatus_->SetNotice({});
    // A title that came from the built folder's name gives way to each folder's own.
    const QString root = QFile::decodeName(QByteArray::fromStdString(sheet_->BaseFolder));
    const QString title = TitleEdit->text() == root.section('/', -1) ? QString() : TitleEdit->text();
    tablora::PrintEachFolder(*sheet_, title, exportChoices_, Exports());
  });
}

void T_Main::SaveSheetAsPdf() {
  if (sheet_->FileList.empty() || processing_ == nullptr) return;
  SheetPdfChoice proposed;
  const QString folder = sheetPdfFolder_.isEmpty() ? QDir::homePath() : sheetPdfFolder_;
  proposed.path = QDir(folder).filePath(QString::fromStdString(sheet_->JobTitle()) + ".pdf");
  proposed.manifest = sheetPdfManifest_;
  std::optional<SheetPdfChoice> chosen;
  if (services_.chooseSheetPdf) {
    chosen = services_.chooseSheetPdf(proposed);
  } else {
    // Qt's own file dialog, which takes a box of ours below its fields.
    QFileDialog dialog(this, tr("Save sheet as PDF"), proposed.path, tr("PDF file (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDefaultSuffix("pdf");
    auto* manifest = new QCheckBox(tr("&Write a manifest beside it (the same name, .csv)"), &dialog);
    manifest->setChecked(proposed.manifest);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) grid->addWidget(manifest, grid->rowCount(), 0, 1, -1);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      chosen = SheetPdfChoice{dialog.selectedFiles().front(), manifest->isChecked()};
    }
  }
  if (!chosen || chosen->path.isEmpty()) return;
  if (QFileInfo(chosen->path).suffix().toLower() != "pdf") chosen->path += ".pdf";
  sheetPdfManifest_ = chosen->manifest;
  sheetPdfFolder_ = QFileInfo(chosen->path).absolutePath();
  Run([this, choice = *chosen] {
    ApplyPending();
    previewStatus_->SetNotice({});
    bool saved = false;
    try {
      saved = tablora::SaveSheetAsPdf(*sheet_, choice, Exports());
    } catch (...) {
      Refresh();
      throw;
    }
    if (saved) {
      previewStatus_->SetNotice(choice.manifest ? tr("Saved to %1 and %2").arg(choice.path, ManifestBeside(choice.path))
                                                : tr("Saved to %1").arg(choice.path));
    }
    Refresh();
  });
}

void T_Main::Button1Click() {
  Run([this] {
    // The page set-up dialog asks the print server about the printer's paper, and a server that
    // does not answer would hold the window with it.
    if (!sheet_->LookUpPrinters()) return;
    bool confirmed = false;
    if (services_.pageSetup) {
      confirmed = services_.pageSetup();
    } else if (services_.qprinter) {
      PageSetupDialog dialog(services_.qprinter->pageLayout(), this);
      confirmed = dialog.exec() == QDialog::Accepted;
      if (confirmed) services_.qprinter->setPageLayout(dialog.Layout());
    }
    if (confirmed) {
      PlacePreview();
      Refresh();
    }
  });
}

QFont T_Main::SheetFont() const {
  // The typeface that will really draw (fontconfig's substitute when the named one is not
  // installed), in the style of that typeface that matches the chosen one: without a style name
  // the dialog opens on whichever face it finds first, oblique perhaps.
  QFont font(QString::fromStdString(fontName_));
  font.setPointSize(8);
  font.setBold(fontStyle_.bold);
  font.setItalic(fontStyle_.italic);
  const QString family = QFontInfo(font).family();
  font.setFamily(family);
  // Of the faces of the right slant and boldness (oblique counts as italic), the one nearest the
  // plain weight at normal width: "Book" rather than "Oblique" or "Condensed".
  QString best;
  int bestDistance = 0;
  const int target = fontStyle_.bold ? QFont::Bold : QFont::Normal;
  for (const QString& style : QFontDatabase::styles(family)) {
    const QFont face = QFontDatabase::font(family, style, 8);
    if ((face.style() != QFont::StyleNormal) != fontStyle_.italic) continue;
    if ((face.weight() >= QFont::DemiBold) != fontStyle_.bold) continue;
    // The database tells no width of a face; its name does.
    const bool narrowOrWide = style.contains("Condensed", Qt::CaseInsensitive) ||
                              style.contains("Narrow", Qt::CaseInsensitive) ||
                              style.contains("Expanded", Qt::CaseInsensitive) ||
                              style.contains("Extended", Qt::CaseInsensitive);
    const int distance = 4 * std::abs(face.weight() - target) + (narrowOrWide ? 2 : 0) +
                         (face.style() == QFont::StyleOblique ? 1 : 0);
    if (best.isEmpty() || distance < bestDistance) {
      best = style;
      bestDistance = distance;
    }
  }
  if (!best.isEmpty()) font.setStyleName(best);
  return font;
}

void T_Main::Button2Click() {
  Run([this] {
    std::optional<QFont> chosen;
    if (services_.chooseFont) {
      chosen = services_.chooseFont(SheetFont());
    } else {
      bool ok = false;
      const QFont font = QFontDialog::getFont(&ok, SheetFont(), this, tr("Select Font"));
      if (ok) chosen = font;
    }
    if (!chosen || chosen->family().isEmpty()) return;
    fontName_ = chosen->family().toStdString();
    fontStyle_ = {chosen->bold(), chosen->italic()};
    Refresh();
  });
}

void T_Main::Button3Click() {
  Run([this] { Refresh(); });
}

void T_Main::Button4Click() {
  if (!options_) return;
  OfferLayouts();
  options_->exec();
  TakeChosenLayout();
}

void T_Main::OfferLayouts() {
  std::vector<std::string> names;
  for (const SheetTemplate& layout : templates_ != nullptr ? templates_->List() : BuiltInTemplates()) {
    names.push_back(layout.name);
  }
  options_->SetTemplates(names, sheet_->Layout.name);
}

void T_Main::TakeChosenLayout() {
  // Both buttons keep what was set; a new layout shows at once.
  const std::string chosen = options_->TemplateName();
  if (chosen == sheet_->Layout.name || !UseTemplate(chosen, true)) return;
  if (!sheet_->FileList.empty()) Run([this] { Refresh(); });
}

void T_Main::EditLayouts(QWidget* parent) {
  const TemplateStore fallback{std::string()};
  std::string chosen;
  if (EditTemplates(parent, templates_ != nullptr ? *templates_ : fallback, *sheet_, chosen)) {
    RowInput->SetValue(sheet_->Layout.rows);
    ColInput->SetValue(sheet_->Layout.columns);
    SettingChanged(false);
  }
  if (options_ != nullptr) OfferLayouts();
}

bool T_Main::UseTemplate(const std::string& name, bool takeGrid) {
  try {
    SheetTemplate layout = templates_ != nullptr ? templates_->Find(name) : TemplateStore(std::string()).Find(name);
    // One that cannot be drawn on the paper in use is refused; the sheet keeps the last good one.
    const SheetPage paper = sheet_->PrinterPage();
    if (paper.pixelsPerMm > 0) {
      const std::vector<std::string> problems =
          TemplateProblems(layout, (paper.rect.Right - paper.rect.Left) / paper.pixelsPerMm,
                           (paper.rect.Bottom - paper.rect.Top) / paper.pixelsPerMm);
      if (!problems.empty()) throw ETemplate(std::string(name).append(": ").append(problems.front()));
    }
    if (takeGrid) {
      RowInput->SetValue(layout.rows);
      ColInput->SetValue(layout.columns);
    }
    sheet_->Layout = std::move(layout);
    if (templates_ != nullptr) templates_->SetLastUsed(name);
    return true;
  } catch (const ETemplate& e) {
    if (services_.messages != nullptr) {
      services_.messages->Show(ErrorText(e.what()).toStdString(), "Tablora", MessageIcon::Error);
    } else {
      ShowError(e.what());
    }
    return false;
  }
}

void T_Main::SpeedButton1Click() {
  Run([this] {
    sheet_->CurrentPage = 1;
    Refresh();
  });
}

void T_Main::SpeedButton3Click() {
  Run([this] {
    sheet_->CurrentPage -= 1;
    if (sheet_->CurrentPage <= 0) sheet_->CurrentPage = 1;
    Refresh();
  });
}

void T_Main::SpeedButton4Click() {
  Run([this] {
    sheet_->CurrentPage += 1;
    if (sheet_->CurrentPage > sheet_->PageCount) sheet_->CurrentPage = sheet_->PageCount;
    Refresh();
  });
}

void T_Main::SpeedButton2Click() {
  Run([this] {
    sheet_->CurrentPage = sheet_->PageCount;
    Refresh();
  });
}

void T_Main::PathSelectChange() {
  const QString path = QFile::decodeName(QByteArray::fromStdString(SelectedFolder()));
  const int slash = path.lastIndexOf('/');
  const QString name = slash < 0 ? path : path.mid(slash + 1);
  // A title the user typed is theirs: only an empty title, or the name the previous folder gave,
  // follows the folder chosen.
  if (TitleEdit->text().isEmpty() || TitleEdit->text() == folderTitle_) TitleEdit->setText(name);
  folderTitle_ = name;
}

void T_Main::Splitter1CanResize() {
  const QList<int> sizes = Splitter1->sizes();
  const int minimum = std::max(kLeftPanelMinimum, Panel1->minimumWidth());
  if (sizes.size() == 2 && sizes[0] < minimum) {
    Splitter1->setSizes({minimum, sizes[0] + sizes[1] - minimum});
  }
}

void T_Main::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void T_Main::FormShow() {
  // The keys start in the tree: a folder is the first thing to choose.
  PathSelect->setFocus();
  Run([this] {
    if (services_.pump) services_.pump->PumpMessages();
    sheet_->LayoutPreview();
    Preview->ShowBitmap(sheet_->PreviewBitmap);
  });
  if (splash_) splash_->CloseWhenReady();
}

void T_Main::FormResize() {
  if (busy_ && !previewing_) {
    // The size settles once the running operation is done.
    resizeTimer_.start();
    return;
  }
  Run([this] { Refresh(); });
  pendingPage_ = QImage();
}

void T_Main::ShowPendingPreview() {
  // The frame LayoutPreview gives a preview of this size: the page's proportions, centred.
  const auto frameOf = [aspect = sheet_->PrinterAspect](QSize size) {
    const int width = size.width();
    const int height = size.height();
    if (aspect <= 0.0 || width <= 0 || height <= 0) return QRect();
    int left = 0;
    int top = 0;
    const double previewAspect = static_cast<double>(width) / height;
    if (aspect < previewAspect) left = (width - static_cast<int>(height * aspect)) / 2;
    if (aspect > previewAspect) top = (height - static_cast<int>(width / aspect)) / 2;
    return QRect(left, top, width - 2 * left, height - 2 * top);
  };
  // Taken once per re-layout, from the page drawn at the old size: scaling what was already
  // scaled would blur it a little more with every step of a drag. Between operations the preview
  // bitmap holds the page shown; during one it may hold a page half drawn.
  if (pendingPage_.isNull()) {
    if (busy_) return;
    const QImage shown = BitmapImage(sheet_->PreviewBitmap);
    const QRect frame = frameOf(shown.size());
    if (frame.isEmpty()) return;
    pendingPage_ = shown.copy(frame);
  }
  const QSize device(Preview->Width(), Preview->Height());
  const QRect frame = frameOf(device);
  if (frame.isEmpty()) return;
  QImage picture(device, QImage::Format_RGB32);
  picture.fill(QColor(0x80, 0x80, 0x80));
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(frame, pendingPage_);
  painter.end();
  Preview->ShowBitmap(BitmapFromImage(picture));
}

void T_Main::keyPressEvent(QKeyEvent* event) {
  // Build is the window's default button: Enter in any field builds.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    BuildBtn->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool T_Main::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PathSelect->viewport() && event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      const QModelIndex index = PathSelect->indexAt(mouse->position().toPoint());
      if (index.isValid()) PathSelect->setCurrentIndex(index);
    }
  }
  if (watched == PreviewScroll->viewport() && event->type() == QEvent::Resize) PlacePreview();
  if ((watched == PreviewScroll->viewport() || watched == Preview) && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (wheel->modifiers() & Qt::ControlModifier) {
      const int steps = wheel->angleDelta().y();
      if (steps != 0) ZoomBy(steps > 0 ? 1.25 : 0.8);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace tablora
