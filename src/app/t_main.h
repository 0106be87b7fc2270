#pragma once

#include <QComboBox>
#include <QFileSystemModel>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStringList>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
#include <memory>

#include "app/preview_image.h"
#include "app/preview_status.h"
#include "app/sheet_export.h"
#include "app/spin_edit.h"
#include "sheet/contact_sheet.h"
#include "sheet/template_store.h"

class QDialog;
class QPrinter;

namespace tablora {

class PreviewPicker;
class T_Splash;
class T_Processing;
class T_Options;

// The platform pieces the main window works through; made by the program's entry or by tests.
struct MainServices {
  PrinterDevice* printer = nullptr;
  QPrinter* qprinter = nullptr;  // for the page set-up dialog; may be null
  CanvasFactory* canvases = nullptr;
  ThumbnailLoader* thumbnails = nullptr;
  MessageBox* messages = nullptr;
  PrintDialog* printDialog = nullptr;
  DirectorySearch* directories = nullptr;
  EventPump* pump = nullptr;
  // Shows the font dialog starting at the given font; returns the font chosen (typeface, bold,
  // italic), or nothing when it was dismissed. Null: the platform's font dialog.
  std::function<std::optional<QFont>(const QFont&)> chooseFont;
  // Shows the page set-up dialog; true when confirmed. Null: the platform's dialog on qprinter.
  std::function<bool()> pageSetup;
  // Asks where to save the pages of a job the print server did not take; empty when dismissed.
  // Null: the platform's file dialog.
  std::function<QString()> choosePdfFile;
  // Shows the list of unreadable pictures; null: modal over the window.
  std::function<void(QDialog&)> showProblems;
  // Where the pictures left out of each folder's sheet and their order are kept; null: nowhere.
  SelectionStore* selections = nullptr;
  // Asks for a folder to build, starting at the given one; empty when dismissed.
  std::function<QString(const QString&)> chooseFolder;
  // Asks where to save the page on screen (PNG, JPEG or PDF); empty when dismissed.
  std::function<QString()> choosePageFile;
  // Asks where and how each folder's sheet is printed to PDF, starting from the last choices;
  // nothing when dismissed. Null: the window's dialog.
  std::function<std::optional<FolderExportChoices>(const FolderExportChoices&)> chooseFolderExport;
  // Asks where to save the whole sheet as PDF and whether its manifest goes beside it; nothing
  // when dismissed. Null: the platform's file dialog with a box for the manifest.
  std::function<std::optional<SheetPdfChoice>(const SheetPdfChoice&)> chooseSheetPdf;
  // Says what a run wrote into which folder. Null: a message box that offers to open the folder.
  std::function<void(const QString& text, const QString& folder)> reportWritten;
};

// The main window: the folder tree and sheet settings on the left, the page preview with its
// navigation on the right. It owns the contact sheet and wires every control to it.
class T_Main : public QWidget, public SheetInputs {
  Q_OBJECT

 public:
  explicit T_Main(MainServices services, QWidget* parent = nullptr);
  ~T_Main() override;

  // The windows created after the main window; called once, before it is shown.
  void SetWindows(T_Splash* splash, T_Processing* processing, T_Options* options);

  int Rows() const override;
  int Columns() const override;
  std::string Title() const override;
  std::string FontName() const override;
  TFontStyle FontStyle() const override { return fontStyle_; }
  // The font the sheet draws with, at the window's 8-point size: what the font dialog opens on.
  QFont SheetFont() const;
  void SetFontName(const std::string& name) { fontName_ = name; }
  void SetFontStyle(TFontStyle style) { fontStyle_ = style; }
  std::string SelectedFolder() const override;

  TContactSheet& Sheet() { return *sheet_; }
  // The saved templates beside the built-in ones; without a store (tests) only the built-in ones.
  void SetTemplateStore(const TemplateStore* store) { templates_ = store; }
  // Lays the sheet out with the template of that name and records it as the last used; with
  // takeGrid its rows and columns go to the fields. A template that cannot be used is reported
  // and the sheet keeps its layout.
  bool UseTemplate(const std::string& name, bool takeGrid);
  // The Options window's layout list, filled before it opens; what it chose, taken once closed.
  void OfferLayouts();
  void TakeChosenLayout();
  // The layouts dialog over `parent`: what it chose goes to the fields and the page at once.
  void EditLayouts(QWidget* parent);
  // For the dialogs that are parented to this window and so are made after it.
  MainServices& Services() { return services_; }

  // Selects a folder in the tree as the user would (tests, and the start-up selection).
  void SelectFolder(const QString& path);
  // The folders built last, newest first, at most ten.
  const QStringList& RecentFolders() const { return recent_; }
  void SetRecentFolders(const QStringList& folders);

  // How the page sits in the preview: the whole page, the page's width, or a scale of its actual
  // size at the screen's resolution (1: 100 %).
  enum class ZoomMode { FitPage, FitWidth, Scale };
  void SetZoom(ZoomMode mode, double scale = 1.0);
  // Zooms from the scale shown now, whatever the mode, by a factor.
  void ZoomBy(double factor);
  ZoomMode Zoom() const { return zoomMode_; }
  // The scale of actual size the page is shown at now.
  double ShownScale() const;
  // Places the window inside the available area of its screen: the saved geometry when there is
  // one and it fits, else about 80 % of the area, centred.
  void PlaceOnScreen(const QByteArray& savedGeometry);

  // Applies a change of a setting to the preview: at once, or after a moment for typing. Print
  // and export take a pending change first, so they always print the sheet on screen.
  void SettingChanged(bool typed);
  // A change of the order or the rating filter: the built list is sorted and filtered again
  // without walking the folder.
  void OrderChanged();
  // Runs a change of the sheet as one operation and draws the page again.
  void Change(const std::function<void()>& change);
  // Shows a page of the sheet (held to the pages there are).
  void ShowPage(int page);
  // Lists the left-out pictures again, veiled, so they can be brought back; or hides them.
  void ShowLeftOut(bool show);
  // The list of the pictures that could not be read, with the reader's words for each.
  void ShowProblems();
  // Saves the page on screen as a picture or a PDF file at the printer's resolution; the name
  // from the chooser (null: the platform's file dialog).
  void SavePageAs();
  // Prints each folder of the built sheet to its own PDF file (and manifest), as asked.
  void PrintEachFolder();
  // Saves the whole sheet as one PDF file on the printer's paper, with its manifest if asked.
  void SaveSheetAsPdf();
  // What the two above were last asked, for the settings.
  const FolderExportChoices& ExportChoices() const { return exportChoices_; }
  void SetExportChoices(const FolderExportChoices& choices) { exportChoices_ = choices; }
  bool SheetPdfManifest() const { return sheetPdfManifest_; }
  void SetSheetPdfManifest(bool manifest) { sheetPdfManifest_ = manifest; }

  QWidget* Panel1;
  QLineEdit* PathEdit;
  QPushButton* ChooseFolderBtn;
  QComboBox* PlacesBox;
  QTreeView* PathSelect;
  QFileSystemModel* PathModel;
  QWidget* Panel2;
  QLabel* Label1;
  QLineEdit* TitleEdit;
  QLabel* Label2;
  QLabel* Label3;
  TSpinEdit* RowInput;
  TSpinEdit* ColInput;
  QPushButton* Button3;
  QPushButton* Button2;
  QPushButton* Button1;
  QPushButton* BuildBtn;
  QPushButton* PrintBtn;
  QSplitter* Splitter1;
  QFrame* Panel3;
  QWidget* Panel4;
  QPushButton* Button4;
  QWidget* Panel5;
  QToolButton* SpeedButton1;
  QToolButton* SpeedButton3;
  QLabel* PreviewPageNumber;
  // Progress of the page filling in, and what the last Build or Print to file came to.
  QLabel* StatusLine;
  QToolButton* SpeedButton4;
  QToolButton* SpeedButton2;
  PreviewImage* Preview;
  QScrollArea* PreviewScroll;
  // Opens the list of the pictures that could not be read; hidden while there are none.
  QPushButton* ProblemsBtn;
  PreviewPicker* Picker = nullptr;

 signals:
  // Left-out pictures were shown again or hidden.
  void LeftOutShown(bool shown);

 public slots:
  void BuildBtnClick();
  void PrintBtnClick();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void SpeedButton1Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SpeedButton2Click();
  void PathSelectChange();
  void Splitter1CanResize();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void FormResize();
  // While a re-layout is pending (resize, splitter): the page last shown, scaled into the frame
  // of the preview's new size, until the new page is drawn.
  void ShowPendingPreview();
  // Runs a handler: one long operation at a time, and any error it raises is reported. While a
  // page fills in the preview, a new request stops the filling and runs after it; during a build
  // or a print, clicks are ignored.
  void Run(const std::function<void()>& handler);
  void RunOne(const std::function<void()>& handler);
  // Draws the current page into the preview, filling it as its pictures arrive.
  void Refresh();
  // The page buttons that would move: none at the first page backwards, none at the last forwards.
  void UpdateNavigation();
  void ShowError(const std::string& message);
  void BuildControls();
  // Sizes the preview control for the zoom and the scroll area's room; the sheet lays its page
  // out again when the size changes.
  void PlacePreview();
  // The page's proportions (width over height) and its actual size in the screen's pixels.
  double PageAspect() const;
  QSizeF ActualPageSize() const;
  // Takes a pending change of settings now.
  void ApplyPending();
  void RememberFolder(const QString& folder);
  // Shows the folders of a place in the tree.
  void SetTreeRoot(const QString& root);
  // The hint of the empty preview, the buttons that need a sheet.
  void UpdateSheetState();

  MainServices services_;
  std::unique_ptr<TContactSheet> sheet_;
  T_Splash* splash_ = nullptr;
  T_Processing* processing_ = nullptr;
  T_Options* options_ = nullptr;
  const TemplateStore* templates_ = nullptr;
  std::string fontName_ = "Tahoma";
  TFontStyle fontStyle_;
  std::unique_ptr<PreviewStatus> previewStatus_;
  bool previewing_ = false;
  std::deque<std::function<void()>> waiting_;
  bool shown_ = false;
  bool busy_ = false;
  bool tracksSelection_ = false;
  QString folderTitle_;  // the name the last folder chosen gave the title
  QTimer resizeTimer_;
  QImage pendingPage_;  // the page frame as drawn before the pending re-layout
  QTimer settleTimer_;  // a typed setting applies once the typing pauses
  ZoomMode zoomMode_ = ZoomMode::FitPage;
  double zoomScale_ = 1.0;
  QStringList recent_;
  QString treeRoot_;
  FolderExportChoices exportChoices_;
  bool sheetPdfManifest_ = false;
  QString sheetPdfFolder_;  // where the last whole sheet was saved
  // The services the exports report through.
  ExportServices Exports();
};

// The text of an error box: the message, with a full stop added when its last character's code
// lies above that of ".".
QString ErrorText(const std::string& message);

}  // namespace tablora
