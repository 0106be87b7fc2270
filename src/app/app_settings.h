#pragma once

#include <QByteArray>
#include <QMarginsF>
#include <QStringList>
#include <optional>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <memory>
#include <vector>

#include "app/sheet_export.h"
#include "sheet/sheet_settings.h"

class QPrinter;
class QSettings;

namespace tablora {

class T_Main;
class T_Options;

// What the program keeps of a session for the next one.
struct SavedSettings {
  QString folder;  // empty: the start's home folder
  QString title;   // only a title the user typed; one taken from the folder comes back with it
  bool titleTyped = false;
  int rows = kDefaultRows;
  int columns = kDefaultColumns;
  QString fontName = "Tahoma";
  TFontStyle fontStyle;
  QPageSize::PageSizeId paper = QPageSize::Custom;  // Custom: the printer's own
  QPageLayout::Orientation orientation = QPageLayout::Portrait;
  bool orientationSaved = false;
  bool facing = false;
  bool pageNumbers = true;
  bool thumbnailCache = true;
  int thumbnailCacheMiB = 1024;
  std::vector<CaptionField> captionFields;
  SortOrder order = SortOrder::Name;
  int minRating = 0;
  PairMode pairs = PairMode::Once;
  std::optional<QMarginsF> margins;  // left, top, right, bottom in mm; none: the printer's
  QStringList recentFolders;  // newest first
  int zoom = 0;               // T_Main::ZoomMode
  double zoomScale = 1.0;
  QByteArray geometry;  // QWidget::saveGeometry; empty: about 80 % of the screen, centred
  FolderExportChoices folderExport;  // Print each folder to PDF; a pattern that cannot be used: the default
  bool sheetPdfManifest = false;     // Save sheet as PDF writes the manifest beside it
};

// The settings file. Whatever it holds is taken only as far as it makes sense: a file that cannot
// be read or parsed gives the defaults, a value of the wrong kind its default, a number out of
// range its default. Nothing of this is ever reported; the next save writes a sound file.
class AppSettings {
 public:
  // The user's file, ~/.config/Tablora/Tablora.conf (the application's organisation and name).
  AppSettings();
  // A file of the caller's (tests).
  explicit AppSettings(const QString& file);
  ~AppSettings();

  SavedSettings Load() const;
  void Save(const SavedSettings& settings);

  // The settings the windows show, and the windows set to settings; the printer may be null.
  static SavedSettings Of(const T_Main& main, const T_Options& options, const QPrinter* printer);
  static void Apply(const SavedSettings& settings, T_Main& main, T_Options& options, QPrinter* printer);

 private:
  std::unique_ptr<QSettings> store_;
};

}  // namespace tablora
