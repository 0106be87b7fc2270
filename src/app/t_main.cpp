#include "app/t_main.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrinter>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <thread>

#include "app/program_icon.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/t_splash.h"
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
  previewStatus_ = std::make_unique<PreviewStatus>(*StatusLine, [this] { return waiting_.empty(); });
  sheetServices.previewProgress = previewStatus_.get();
  sheet_ = std::make_unique<TContactSheet>(sheetServices);
  // The pictures of a page load on every core while the page is drawn in order.
  sheet_->ThumbnailJobs = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  sheet_->PageCount = 0;
  sheet_->PageEnds.clear();

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
  UpdateNavigation();
  setWindowIcon(ProgramIcon());

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

T_Main::~T_Main() = default;

void T_Main::SetWindows(T_Splash* splash, T_Processing* processing, T_Options* options) {
  splash_ = splash;
  processing_ = processing;
  options_ = options;
  sheet_->Services().progress = processing;
  sheet_->Services().options = options;
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

  Panel2 = new QWidget(Panel1);
  Panel2->setObjectName("Panel2");
  Panel2->setFixedHeight(176);
  left->addWidget(Panel2);

  Label1 = new QLabel(tr("Archive Title (This will print at the top of each page)"), Panel2);
  Label1->setGeometry(8, 8, 153, 33);
  Label1->setWordWrap(true);
  TitleEdit = new QLineEdit(Panel2);
  TitleEdit->setObjectName("Title");
  TitleEdit->setGeometry(8, 40, 153, 21);
  Label2 = new QLabel(tr("Rows"), Panel2);
  Label2->move(8, 64);
  Label3 = new QLabel(tr("Columns"), Panel2);
  Label3->move(56, 64);
  RowInput = new TSpinEdit(kMinGridSize, kMaxGridSize, kDefaultRows, Panel2);
  RowInput->setObjectName("RowInput");
  RowInput->setGeometry(8, 80, 41, 22);
  ColInput = new TSpinEdit(kMinGridSize, kMaxGridSize, kDefaultColumns, Panel2);
  ColInput->setObjectName("ColInput");
  ColInput->setGeometry(56, 80, 41, 22);
  Button3 = new QPushButton(tr("Update"), Panel2);
  Button3->setGeometry(104, 80, 57, 21);
  Button2 = new QPushButton(tr("Select Font"), Panel2);
  Button2->setGeometry(8, 112, 75, 25);
  Button1 = new QPushButton(tr("Page Setup"), Panel2);
  Button1->setGeometry(88, 112, 73, 25);
  BuildBtn = new QPushButton(tr("&Build"), Panel2);
  BuildBtn->setObjectName("BuildBtn");
  BuildBtn->setGeometry(8, 144, 73, 25);
  BuildBtn->setDefault(true);
  PrintBtn = new QPushButton(tr("&Print"), Panel2);
  PrintBtn->setObjectName("PrintBtn");
  PrintBtn->setGeometry(88, 144, 73, 25);

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
  Panel4->setFixedHeight(31);
  Panel4->setAutoFillBackground(true);
  Panel4->setPalette(palette());
  Panel4->installEventFilter(this);
  right->addWidget(Panel4);
  Button4 = new QPushButton(tr("Options"), Panel4);
  Button4->setGeometry(4, 4, 75, 25);
  Panel5 = new QWidget(Panel4);
  Panel5->setObjectName("Panel5");
  Panel5->setFixedSize(169, 31);

  auto flat = [this](const char* text, int x, int width) {
    auto* button = new QToolButton(Panel5);
    button->setText(text);
    button->setAutoRaise(true);
    button->setGeometry(x, 8, width, 17);
    return button;
  };
  SpeedButton1 = flat("<<", 0, 25);
  SpeedButton3 = flat("<", 24, 17);
  // The engine's own label text, for the sheet of no pages.
  PreviewPageNumber =
      new QLabel(QCoreApplication::translate("TContactSheet", "Page %1 of %2").arg(0).arg(0), Panel5);
  PreviewPageNumber->setObjectName("PreviewPageNumber");
  PreviewPageNumber->setGeometry(40, 10, 89, 13);
  PreviewPageNumber->setAlignment(Qt::AlignCenter);
  StatusLine = new QLabel(Panel4);
  StatusLine->setObjectName("StatusLine");
  StatusLine->setGeometry(84, 9, 300, 13);
  StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
  SpeedButton4 = flat(">", 129, 16);
  SpeedButton2 = flat(">>", 144, 25);

  Preview = new PreviewImage(Panel3);
  Preview->setObjectName("Preview");
  right->addWidget(Preview, 1);

  Splitter1->addWidget(Panel1);
  Splitter1->addWidget(Panel3);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({kLeftPanelWidth, kClientWidth - kLeftPanelWidth - 2});

  connect(BuildBtn, &QPushButton::clicked, this, &T_Main::BuildBtnClick);
  connect(PrintBtn, &QPushButton::clicked, this, &T_Main::PrintBtnClick);
  connect(Button1, &QPushButton::clicked, this, &T_Main::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &T_Main::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &T_Main::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &T_Main::Button4Click);
  connect(SpeedButton1, &QToolButton::clicked, this, &T_Main::SpeedButton1Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &T_Main::SpeedButton3Click);
  connect(SpeedButton4, &QToolButton::clicked, this, &T_Main::SpeedButton4Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &T_Main::SpeedButton2Click);
  connect(Splitter1, &QSplitter::splitterMoved, this, &T_Main::Splitter1CanResize);
  connect(PathSelect->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] {
            if (tracksSelection_) PathSelectChange();
          });

  // The home folder is open and selected at start; the title stays empty until the user picks.
  SelectFolder(QDir::homePath());
  tracksSelection_ = true;
}

void T_Main::SelectFolder(const QString& path) {
  const QModelIndex index = PathModel->index(path);
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
  if (!index.isValid()) return {};
  const QByteArray path = QFile::encodeName(PathModel->filePath(index));
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
    Refresh();
  });
}

void T_Main::PrintBtnClick() {
  Run([this] {
    sheet_->Print(*services_.printDialog, *services_.messages);
    const std::string saved = services_.printer->SavedFile();
    if (!saved.empty()) {
      previewStatus_->SetNotice(tr("Saved to %1").arg(QFile::decodeName(QByteArray::fromStdString(saved))));
    }
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
      QPageSetupDialog dialog(services_.qprinter, this);
      confirmed = dialog.exec() == QDialog::Accepted;
    }
    if (confirmed) Refresh();
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

bool T_Main::UseTemplate(const std::string& name, bool takeGrid) {
  try {
    SheetTemplate layout = templates_ != nullptr ? templates_->Find(name) : TemplateStore(std::string()).Find(name);
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
  const QString path = PathModel->filePath(PathSelect->currentIndex());
  const int slash = path.lastIndexOf('/');
  const QString name = slash < 0 ? path : path.mid(slash + 1);
  // A title the user typed is theirs: only an empty title, or the name the previous folder gave,
  // follows the folder chosen.
  if (TitleEdit->text().isEmpty() || TitleEdit->text() == folderTitle_) TitleEdit->setText(name);
  folderTitle_ = name;
}

void T_Main::Splitter1CanResize() {
  const QList<int> sizes = Splitter1->sizes();
  if (sizes.size() == 2 && sizes[0] < kLeftPanelMinimum) {
    Splitter1->setSizes({kLeftPanelMinimum, sizes[0] + sizes[1] - kLeftPanelMinimum});
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
  const QRect frame = frameOf(Preview->size());
  if (frame.isEmpty()) return;
  QImage picture(Preview->size(), QImage::Format_RGB32);
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
  if (watched == Panel4 && event->type() == QEvent::Resize) {
    Panel5->move(Panel4->width() - Panel5->width(), 0);
    StatusLine->resize(std::max(0, Panel5->x() - StatusLine->x() - 4), StatusLine->height());
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace tablora
