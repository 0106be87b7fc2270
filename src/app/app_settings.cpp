#include "app/app_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/t_main.h"
#include "app/t_options.h"

namespace tablora {

namespace {

// A typeface name or a title longer than this is not one anybody typed.
constexpr int kMaxTextLength = 1000;
constexpr int kSortSettleMs = 150;

QString LastComponent(const QString& path) {
  const int slash = path.lastIndexOf('/');
  return slash < 0 ? path : path.mid(slash + 1);
}

bool ReadBool(const QSettings& store, const char* key, bool fallback) {
  const QVariant value = store.value(key);
  if (!value.isValid()) return fallback;
  const QString text = value.toString().trimmed().toLower();
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  return fallback;
}

// A number out of range is no setting anybody made: columns=-5 is not a wish for one column.
int ReadInt(const QSettings& store, const char* key, int fallback, int min, int max) {
  bool ok = false;
  const double value = store.value(key).toString().trimmed().toDouble(&ok);
  if (!ok || value != value || value < min || value > max) return fallback;
  return static_cast<int>(value);
}

double ReadMm(const QSettings& store, const char* key, double fallback) {
  bool ok = false;
  const double value = store.value(key).toString().trimmed().toDouble(&ok);
  return ok && value >= 0 && value <= 100 ? value : fallback;
}

QString ReadText(const QSettings& store, const char* key, const QString& fallback) {
  const QVariant value = store.value(key);
  if (!value.isValid() || value.userType() != QMetaType::QString) return fallback;
  return value.toString().left(kMaxTextLength);
}

}  // namespace

AppSettings::AppSettings() : store_(std::make_unique<QSettings>()) {}

AppSettings::AppSettings(const QString& file)
    : store_(std::make_unique<QSettings>(file, QSettings::IniFormat)) {}

AppSettings::~AppSettings() = default;

SavedSettings AppSettings::Load() const {
  SavedSettings settings;
  const QSettings& store = *store_;
  if (store.status() != QSettings::NoError) return settings;
  settings.folder = ReadText(store, "folder", settings.folder);
  settings.titleTyped = store.contains("title");
  settings.title = ReadText(store, "title", settings.title);
  settings.rows = ReadInt(store, "rows", settings.rows, kMinGridSize, kMaxGridSize);
  settings.columns = ReadInt(store, "columns", settings.columns, kMinGridSize, kMaxGridSize);
  settings.fontName = ReadText(store, "font", settings.fontName).trimmed();
  if (settings.fontName.isEmpty()) settings.fontName = SavedSettings().fontName;
  settings.fontStyle = {ReadBool(store, "bold", false), ReadBool(store, "italic", false)};
  // A paper Qt has no name for is left to the printer.
  const int paper = ReadInt(store, "paper", QPageSize::Custom, -1, QPageSize::LastPageSize + 1);
  if (paper >= 0 && paper <= QPageSize::LastPageSize) settings.paper = static_cast<QPageSize::PageSizeId>(paper);
  const QString orientation = ReadText(store, "orientation", "");
  settings.orientationSaved = orientation == "portrait" || orientation == "landscape";
  if (orientation == "landscape") settings.orientation = QPageLayout::Landscape;
  settings.facing = ReadBool(store, "facing", settings.facing);
  settings.pageNumbers = ReadBool(store, "pageNumbers", settings.pageNumbers);
  settings.thumbnailCache = ReadBool(store, "thumbnailCache", settings.thumbnailCache);
  settings.thumbnailCacheMiB = ReadInt(store, "thumbnailCacheMiB", settings.thumbnailCacheMiB, 16, 1 << 20);
  // Written by hand without quotes, "date,exposure" reads as a list of two.
  const QVariant caption = store.value("caption");
  const QString fields = caption.userType() == QMetaType::QStringList ? caption.toStringList().join(',')
                                                                        : ReadText(store, "caption", "");
  settings.captionFields =
      ParseCaptionFields(fields.left(kMaxTextLength).toStdString()).value_or(std::vector<CaptionField>{});
  settings.order = SortOrderNamed(ReadText(store, "order", "").toStdString()).value_or(settings.order);
  settings.minRating = ReadInt(store, "minRating", settings.minRating, 0, kMaxRating);
  settings.pairs = PairModeNamed(ReadText(store, "pairs", "").toStdString()).value_or(settings.pairs);
  const QStringList margins = store.value("margins").toStringList();
  if (margins.size() == 4) {
    bool all = true;
    double mm[4];
    for (int i = 0; i < 4; ++i) {
      bool ok = false;
      mm[i] = margins[i].trimmed().toDouble(&ok);
      all = all && ok && mm[i] >= 0 && mm[i] <= 100;
    }
    if (all) settings.margins = QMarginsF(mm[0], mm[1], mm[2], mm[3]);
  }
  settings.recentFolders = store.value("recentFolders").toStringList();
  const QString zoom = ReadText(store, "zoom", "page");
  settings.zoom = zoom == "width" ? 1 : zoom == "scale" ? 2 : 0;
  settings.zoomScale = ReadMm(store, "zoomScale", 1.0);
  if (settings.zoomScale < 0.1 || settings.zoomScale > 4) settings.zoomScale = 1.0;
  const QVariant geometry = store.value("geometry");
  if (geometry.userType() == QMetaType::QByteArray) settings.geometry = geometry.toByteArray();
  FolderExportChoices& exports = settings.folderExport;
  exports.folder = ReadText(store, "exportFolder", exports.folder);
  exports.tree = ReadText(store, "exportSheets", "own") == "tree";
  exports.pattern = UsablePattern(ReadText(store, "exportNames", exports.pattern));
  exports.manifest = ReadBool(store, "exportManifest", exports.manifest);
  exports.json = ReadText(store, "exportManifestFormat", "csv") == "json";
  settings.sheetPdfManifest = ReadBool(store, "sheetPdfManifest", settings.sheetPdfManifest);
  return settings;
}

void AppSettings::Save(const SavedSettings& settings) {
  QSettings& store = *store_;
  // Written afresh, so that nothing of a damaged file lingers.
  store.clear();
  if (!settings.folder.isEmpty()) store.setValue("folder", settings.folder);
  if (settings.titleTyped) store.setValue("title", settings.title);
  store.setValue("rows", settings.rows);
  store.setValue("columns", settings.columns);
  store.setValue("font", settings.fontName);
  store.setValue("bold", settings.fontStyle.bold);
  store.setValue("italic", settings.fontStyle.italic);
  if (settings.paper != QPageSize::Custom) store.setValue("paper", static_cast<int>(settings.paper));
  if (settings.orientationSaved) {
    store.setValue("orientation", settings.orientation == QPageLayout::Landscape ? "landscape" : "portrait");
  }
  store.setValue("facing", settings.facing);
  store.setValue("pageNumbers", settings.pageNumbers);
  store.setValue("thumbnailCache", settings.thumbnailCache);
  store.setValue("thumbnailCacheMiB", settings.thumbnailCacheMiB);
  store.setValue("caption", QString::fromStdString(CaptionFieldList(settings.captionFields)));
  store.setValue("order", QString::fromStdString(std::string(SortOrderName(settings.order))));
  store.setValue("minRating", settings.minRating);
  store.setValue("pairs", QString::fromStdString(std::string(PairModeName(settings.pairs))));
  if (settings.margins) {
    const QMarginsF& m = *settings.margins;
    store.setValue("margins", QStringList{QString::number(m.left()), QString::number(m.top()),
                                          QString::number(m.right()), QString::number(m.bottom())});
  }
  if (!settings.recentFolders.isEmpty()) store.setValue("recentFolders", settings.recentFolders);
  store.setValue("zoom", settings.zoom == 1 ? "width" : settings.zoom == 2 ? "scale" : "page");
  if (settings.zoom == 2) store.setValue("zoomScale", settings.zoomScale);
  if (!settings.geometry.isEmpty()) store.setValue("geometry", settings.geometry);
  const FolderExportChoices& exports = settings.folderExport;
  if (!exports.folder.isEmpty()) store.setValue("exportFolder", exports.folder);
  store.setValue("exportSheets", exports.tree ? "tree" : "own");
  store.setValue("exportNames", exports.pattern);
  store.setValue("exportManifest", exports.manifest);
  // Kept while no manifest is written, for the next time one is.
  store.setValue("exportManifestFormat", exports.json ? "json" : "csv");
  store.setValue("sheetPdfManifest", settings.sheetPdfManifest);
  store.sync();
}

SavedSettings AppSettings::Of(const T_Main& main, const T_Options& options, const QPrinter* printer) {
  SavedSettings settings;
  settings.folder = QFile::decodeName(QByteArray::fromStdString(main.SelectedFolder()));
  settings.title = main.TitleEdit->text();
  // A title that is the folder's name came from the folder and will again.
  settings.titleTyped = settings.title != LastComponent(settings.folder);
  settings.rows = main.RowInput->Value();
  settings.columns = main.ColInput->Value();
  settings.fontName = QString::fromStdString(main.FontName());
  settings.fontStyle = main.FontStyle();
  if (printer) {
    const QPageLayout layout = printer->pageLayout();
    settings.paper = layout.pageSize().id();
    settings.orientation = layout.orientation();
    settings.orientationSaved = true;
    settings.margins = layout.margins(QPageLayout::Millimeter);
  }
  settings.recentFolders = main.RecentFolders();
  settings.zoom = static_cast<int>(main.Zoom());
  settings.zoomScale = main.ShownScale();
  settings.facing = options.PrintFacing();
  settings.pageNumbers = options.PrintPageNum();
  settings.thumbnailCache = options.CacheBox->isChecked();
  settings.thumbnailCacheMiB = options.CacheLimitBox->value();
  settings.captionFields = options.CaptionFields();
  settings.order = options.Order();
  settings.minRating = options.MinRating();
  settings.pairs = options.Pairs();
  settings.geometry = main.saveGeometry();
  settings.folderExport = main.ExportChoices();
  settings.sheetPdfManifest = main.SheetPdfManifest();
  return settings;
}

void AppSettings::Apply(const SavedSettings& settings, T_Main& main, T_Options& options, QPrinter* printer) {
  // Selecting the folder gives the title its name; a typed title then replaces it.
  if (!settings.folder.isEmpty() && QFileInfo(settings.folder).isDir()) {
    const QString folder = QFileInfo(settings.folder).absoluteFilePath();
    main.PathSelect->collapseAll();
    main.SelectFolder(folder);
    // The tree reads and sorts its folders in the background: the row can be scrolled to only
    // once the folders above it are read and sorted, which is a moment after the last is read.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(main.PathModel, &QFileSystemModel::directoryLoaded, main.PathSelect,
                                   [&main, folder, connection](const QString& loaded) {
                                     if (loaded != QFileInfo(folder).path()) return;
                                     QObject::disconnect(*connection);
                                     QTimer::singleShot(kSortSettleMs, main.PathSelect, [&main] {
                                       main.PathSelect->scrollTo(main.PathSelect->currentIndex(),
                                                                 QAbstractItemView::PositionAtCenter);
                                     });
                                   });
  }
  if (settings.titleTyped) main.TitleEdit->setText(settings.title);
  main.RowInput->SetValue(std::clamp(settings.rows, kMinGridSize, kMaxGridSize));
  main.ColInput->SetValue(std::clamp(settings.columns, kMinGridSize, kMaxGridSize));
  main.SetFontName(settings.fontName.toStdString());
  main.SetFontStyle(settings.fontStyle);
  if (printer) {
    if (settings.paper != QPageSize::Custom) printer->setPageSize(QPageSize(settings.paper));
    if (settings.orientationSaved) printer->setPageOrientation(settings.orientation);
    if (settings.margins) printer->setPageMargins(*settings.margins, QPageLayout::Millimeter);
  }
  main.SetRecentFolders(settings.recentFolders);
  main.SetZoom(static_cast<T_Main::ZoomMode>(settings.zoom), settings.zoomScale);
  options.PrintFacingBox->setChecked(settings.facing);
  options.PrintPageNumBox->setChecked(settings.pageNumbers);
  options.CacheBox->setChecked(settings.thumbnailCache);
  options.CacheLimitBox->setValue(settings.thumbnailCacheMiB);
  options.SetCaptionFields(settings.captionFields);
  options.SetOrder(settings.order);
  options.MinRatingBox->setValue(std::clamp(settings.minRating, 0, kMaxRating));
  options.SetPairs(settings.pairs);
  main.PlaceOnScreen(settings.geometry);
  main.SetExportChoices(settings.folderExport);
  main.SetSheetPdfManifest(settings.sheetPdfManifest);
}

}  // namespace tablora
