#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/types.h"
#include "platform/directory_search.h"
#include "platform/locale_collator.h"
#include "platform/printer_device.h"
#include "platform/message_box.h"
#include "sheet/file_pairs.h"
#include "sheet/preview_control.h"
#include "sheet/photo_caption.h"
#include "sheet/picture_selection.h"
#include "sheet/print_dialog.h"
#include "sheet/sheet_geometry.h"
#include "sheet/sheet_logo.h"
#include "sheet/sheet_template.h"
#include "sheet/progress_window.h"
#include "sheet/sheet_settings.h"
#include "sheet/thumbnail_image.h"
#include "sheet/thumbnail_pipeline.h"

namespace tablora {

// What the sheet talks to; all owned by the caller and outliving the sheet. Building needs the
// first five; previewing and printing need the rest as well.
struct SheetServices {
  ProgressWindow* progress = nullptr;
  EventPump* pump = nullptr;
  SheetInputs* inputs = nullptr;
  SheetOptions* options = nullptr;
  DirectorySearch* directories = nullptr;
  PrinterDevice* printer = nullptr;
  PreviewControl* preview = nullptr;
  CanvasFactory* canvases = nullptr;
  ThumbnailLoader* thumbnails = nullptr;
  // Where the preview reports while a page fills, without a window of its own; null: the
  // progress window.
  ProgressWindow* previewProgress = nullptr;
  // Where captions, the date order and the rating filter get a picture's metadata; null: the
  // files' own, read by the sheet.
  MetadataReader* metadata = nullptr;
  // Where each built folder's selection is kept: a build takes the folder's from it. Null: the
  // sheet keeps the Selection its owner gave it.
  SelectionStore* selections = nullptr;
};

// Captions shrink no further than this (points on paper, pixels on screen); a name too long
// for its column at that size is shortened in the middle instead.
constexpr int32_t kMinCaptionPoints = 6;
constexpr int32_t kMinCaptionPixels = 7;
// Pictures are reduced to at most this many pixels per inch of paper.
constexpr int32_t kMaxPicturePpi = 600;

// The text cut in its middle to fit maxWidth in the surface's current font, with an ellipsis where
// the cut is ("IMG_2024…_final.jpg"); the text itself when it fits.
std::string ElideMiddle(DrawingSurface& surface, const std::string& text, int maxWidth);
// A caption's text and size: the font shrinks one pixel at a time from its current height until
// the name fits, down to readableHeight; below that the name is elided instead.
std::string FitCaption(DrawingSurface& surface, const std::string& name, int maxWidth, int readableHeight);

// One caption line as drawn: the template line it stands on, its text, size and alignment.
struct CaptionRun {
  std::size_t line;
  std::string text;
  int32_t height;
  TextAlign align;
};
// A picture's caption lines (each as the pieces FillTemplatePieces gives) fitted to a cell's width
// at the sheet's caption size: a line too long continues on the template's next line when that
// has nothing to show, then loses whole fields from its end behind an ellipsis; a single field too
// long is shortened in its middle.
std::vector<CaptionRun> FitCaptionLines(DrawingSurface& surface, std::vector<std::vector<std::string>> lines,
                                        const std::vector<CaptionTemplate>& templates, int32_t captionHeight,
                                        int32_t width);

// How one drawing of a page reports: where its progress goes (null: the progress window), and
// what to call once the page's texts stand and after each picture (the preview shows the page
// filling).
struct PageDrawing {
  ProgressWindow* progress = nullptr;
  std::function<void()> shown;
  // Whether the page's pictures go into Thumbnails for the next drawing at their size.
  ThumbnailPipeline::Keep keep = ThumbnailPipeline::Keep::InCache;
};

// A picture of the sheet that could not be read, and the reader's words why.
struct PictureProblem {
  std::string entry;
  std::string message;
  friend bool operator==(const PictureProblem&, const PictureProblem&) = default;
};

// The contact sheet of the main window: the sorted list of image files under the chosen folder,
// its division into pages and the geometry of the page being previewed or printed.
class TContactSheet {
 public:
  explicit TContactSheet(SheetServices services);
  TContactSheet(const TContactSheet&) = delete;
  TContactSheet& operator=(const TContactSheet&) = delete;

  // The Build command: walks the selected folder under the progress window. A cancelled build
  // leaves an empty list; with no folder selected the sheet is empty.
  void BuildFileList();
  // Lists the walked pictures again under the sort order, the rating filter and the selection as
  // they stand now, without walking the folder, and repaginates. A cancel while the pictures'
  // metadata is read keeps the list as it was.
  void Reorder();
  // Makes the sheet the one of a part of what the build found, as a build of `folder` finding
  // just `entries` (relative to it, each beginning with "/", in their order) would have made it:
  // the title, headings and paths then follow that folder. Problems and metadata start afresh;
  // Selection is cleared, having been applied already.
  void NarrowTo(std::string folder, std::vector<std::string> entries);
  // The folders the last build's walk entered, relative to the built folder ("/" for itself,
  // then "/2024/", "/2024/Rome/"), in the order entered: folders without pictures too.
  const std::vector<std::string>& WalkedFolders() const { return walkedFolders_; }
  // Writes Selection to the store for the built folder; ESelection when it cannot be.
  void SaveSelection();
  // Sets PageEnds and PageCount from FileList, Rows and Columns.
  void Paginate();
  // Repaginates, clamps CurrentPage, lays out the page frame and draws the current page into
  // PreviewBitmap, then shows it on the preview control.
  void RefreshPreview();
  // Sizes PreviewBitmap to the preview control and fits the printer page's proportions into it.
  void LayoutPreview();
  // The Print command: asks for the pages, lays them out on the page the print dialog chose and
  // prints them as one job; with nothing built it only shows the "Try again" message.
  void Print(PrintDialog& dialog, MessageBox& messages);
  // The name of a print job and of its PDF file: the title, else the built folder's name, else
  // "Tablora Print Task".
  std::string JobTitle() const;
  // Makes sure the print server answers before a dialog that asks it about printers, showing the
  // progress window while it is awaited; false when the user gave up. EPrinter when it is silent.
  bool LookUpPrinters();
  // Draws one page (1..PageCount) onto a surface at PageRect; moves OriginX/OriginY by the margin.
  // The page number is 32-bit: a sheet of one cell per page can have more than 65535 pages.
  void RenderPage(DrawingSurface& surface, int32_t page);
  void RenderPage(DrawingSurface& surface, int32_t page, const PageDrawing& drawing);

  // The pictures that could not be read on the pages drawn since the last build, each once, in
  // the order met. A picture a reader draws only partly (a cut-off JPEG that still gives rows)
  // is not among them: the reader reports no failure.
  const std::vector<PictureProblem>& Problems() const { return problems_; }

  // The index in FileList of the picture whose cell or picture box holds the point, on the
  // current page as the preview last laid it out (PreviewBitmap's pixels); -1 for none.
  int32_t EntryAt(int32_t x, int32_t y) const;
  // The cell of FileList[index] on the preview's current page, in PreviewBitmap's pixels; an
  // empty rectangle when the picture is not on that page.
  TRect CellRect(int32_t index) const;

  // What a listed entry stands for beyond its own file (the other half of a RAW + JPEG pair, a
  // Live Photo's clip); null for a picture on its own.
  const PairNote* PairOf(std::string_view entry) const;

  // A listed entry's metadata, read once per build and kept for the captions of its pages.
  const TPhotoMetadata& MetadataOf(const std::string& entry);

  // The services, for owners that create some of them after the sheet (the windows at start-up).
  SheetServices& Services() { return services_; }

  // Rows and Columns as the engine uses them: the fields' values held to 1..30.
  int Rows() const { return ClampGridSize(services_.inputs->Rows()); }
  int Columns() const { return ClampGridSize(services_.inputs->Columns()); }
  // The layout pages are made with: Layout with the rows and columns of the fields.
  SheetTemplate EffectiveTemplate() const;
  // The geometry of the sheet as the options and the layout stand now.
  SheetGeometry Geometry() const;
  // The printer's page, on which the sheet is divided into pages whatever surface draws them.
  SheetPage PrinterPage() const;
  // A page rectangle of a surface showing the printer's paper, with its pixels per millimetre.
  SheetPage PageOn(const TRect& rect) const;
  // Page `page` (held to the pages there are) of FileList as `layout` would print it, with the
  // layout's own rows and columns, drawn into `into` as the preview draws: the paper centred on
  // grey. With nothing built the page holds grey stand-ins named "IMG_0001.jpg" and on. Nothing
  // of the sheet changes (layout, pages, preview); no progress shows and no events are handled.
  // Returns the number of pages the layout makes.
  int32_t RenderSample(const SheetTemplate& layout, int32_t page, TBitmap& into);

  // Relative entries, each beginning with "/": folder by folder (folder names compared case-blind
  // under the user's locale, a folder's own pictures before its subfolders'), then by name, then
  // as Selection has it.
  std::vector<std::string> FileList;
  std::string BaseFolder;
  // The pictures left out and the order chosen within folders; Reorder applies a change.
  PictureSelection Selection;
  // Why the store's selection of the built folder was not used (a damaged file); empty when it
  // was, or there was none.
  std::string SelectionProblem;
  // Left-out pictures stay on the list, for a window that shows them dimmed (Selection.IsLeftOut
  // tells which); printing leaves them out whatever this says. Reorder applies a change.
  bool ShowLeftOut = false;
  // The sheet's layout; its rows and columns give way to the fields'.
  SheetTemplate Layout;
  // Dots per inch of the surface pages are drawn on: the printer's while printing, 0 for the screen.
  int32_t SurfaceDpi = 0;
  int32_t OriginX = 0;
  int32_t OriginY = 0;
  int32_t FrameWidth = 0;
  int32_t FrameHeight = 0;
  double PrinterAspect = 0.0;
  // A cell whose picture cannot be read shows a crossed box and "cannot read" (in the window;
  // paper shows the empty cell unless asked).
  bool MarkUnreadable = false;
  // Worker threads that load a page's pictures; 1 loads them one by one on the caller's thread.
  int ThumbnailJobs = 1;
  // Bytes of decodes that may be in flight at once with several jobs.
  uint64_t DecodeBudget = uint64_t{1536} << 20;
  // Reduced pictures kept for a page drawn again at the same size.
  ThumbnailCache Thumbnails;
  double PreviewAspect = 0.0;
  TRect PageRect;
  int32_t PageCount = 0;
  std::vector<int32_t> PageEnds;
  int32_t CurrentPage = 0;
  TBitmap PreviewBitmap;

 private:
  void ScanFolder(const std::string& relative);
  // The walk's entries as the sheet lists them: folder by folder, each folder's pictures together.
  // Pictures the rating filter leaves out are dropped here, so a folder it empties has no entry.
  std::vector<std::string> OrderByFolder(std::vector<std::string> entries);
  // The order of one folder's pictures (names without the folder, entries with it): indexes into
  // `names` in the order the options choose, names comparing equal kept once.
  std::vector<std::size_t> OrderWithinFolder(const std::vector<std::string>& names,
                                             const std::vector<std::string>& entries);

  SheetServices services_;
  // While a sample is drawn: the layout's rows and columns rather than the fields'.
  bool sampleGrid_ = false;
  LocaleCollator collator_;
  FileMetadataReader fileMetadata_;
  std::unordered_map<std::string, TPhotoMetadata> metadata_;
  // Pairs by the kept picture's whole path, which a sheet narrowed to one folder still finds.
  std::unordered_map<std::string, PairNote> pairs_;
  // The exiv2 keys the metadata above holds: the layout's when it was read.
  std::vector<std::string> metadataKeys_;
  // The header's logo, read when a page first shows it and kept while the layout names that file.
  std::optional<SheetLogo> logo_;
  // The sheet's list of `sorted`, as Selection and ShowLeftOut make it.
  std::vector<std::string> Selected(const std::vector<std::string>& sorted) const;

  // Entries found by the running walk, in the order found, and the folders it has entered.
  std::vector<std::string> found_;
  // Everything the last build's walk found, for Reorder.
  std::vector<std::string> walked_;
  std::vector<std::string> walkedFolders_;
  std::set<std::pair<uint64_t, uint64_t>> visited_;
  std::vector<PictureProblem> problems_;
  std::set<std::string> problemEntries_;
  // The page rectangle the preview last laid out (printing lays out pages of its own).
  TRect previewPage_{};
};

}  // namespace tablora
