#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;

namespace tablora {

class MessageBox;
class ProgressWindow;
class TContactSheet;

// What "Print each folder to PDF" is asked to do, and remembered for the next time.
struct FolderExportChoices {
  QString folder;  // where the sheets go; empty: not chosen yet
  bool tree = false;  // each top folder with everything below it, rather than each folder's own pictures
  QString pattern = QStringLiteral("{path}.pdf");
  bool manifest = false;
  bool json = false;  // the manifest as JSON rather than CSV
  friend bool operator==(const FolderExportChoices&, const FolderExportChoices&) = default;
};

// The pattern as a run uses it: the default for one whose fields are not all known or that names
// no file, ".pdf" added when it has another ending.
QString UsablePattern(const QString& pattern);

// The small dialog that asks for the choices; `browse` asks for the folder (null: the platform's
// folder dialog).
class FolderExportDialog : public QDialog {
  Q_OBJECT

 public:
  FolderExportDialog(const FolderExportChoices& choices, QWidget* parent = nullptr);
  FolderExportChoices Choices() const;

  QLineEdit* FolderEdit;
  QPushButton* BrowseBtn;
  QComboBox* SplitBox;
  QLineEdit* PatternEdit;
  QCheckBox* ManifestBox;
  QComboBox* ManifestKindBox;
  QLabel* Problem;
  QPushButton* OkBtn;

 private:
  void Check();
};

// A sheet saved as one PDF file: where, and whether its manifest (CSV, same name) goes beside it.
struct SheetPdfChoice {
  QString path;
  bool manifest = false;
};

// What the runs below work through.
struct ExportServices {
  ProgressWindow* progress = nullptr;  // the progress window, shown for the whole run
  MessageBox* messages = nullptr;      // failures, said before or instead of anything written
  const QPrinter* layoutFrom = nullptr;  // the paper and layout the files get; null: A4
  // Says what was written and where; null: nothing.
  std::function<void(const QString& text, const QString& folder)> report;
};

// Prints the built sheet's folders, each to its own PDF file (and manifest) under the chosen folder,
// as the sheet prints them, each committed as it is finished. Names that clash, a cancel and a
// failure are told through the services; the window's sheet is left as it was.
void PrintEachFolder(TContactSheet& shown, const QString& typedTitle, const FolderExportChoices& choices,
                     const ExportServices& services);

// Prints the whole sheet to one PDF file (and the manifest beside it), replacing the file only once
// all is written. False when the run was cancelled.
bool SaveSheetAsPdf(TContactSheet& sheet, const SheetPdfChoice& choice, const ExportServices& services);

// The manifest beside a sheet's PDF file: the same name ending in ".csv".
QString ManifestBeside(const QString& pdf);

}  // namespace tablora
