#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/types.h"
#include "platform/directory_search.h"
#include "platform/locale_collator.h"
#include "platform/printer_device.h"
#include "platform/message_box.h"
#include "sheet/preview_control.h"
#include "sheet/print_dialog.h"
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
  // Makes sure the print server answers before a dialog that asks it about printers, showing the
  // progress window while it is awaited; false when the user gave up. EPrinter when it is silent.
  bool LookUpPrinters();
  // Draws one page (1..PageCount) onto a surface at PageRect; moves OriginX/OriginY by the margin.
  // The page number is 32-bit: a sheet of one cell per page can have more than 65535 pages.
  void RenderPage(DrawingSurface& surface, int32_t page);

  // The services, for owners that create some of them after the sheet (the windows at start-up).
  SheetServices& Services() { return services_; }

  // Rows and Columns as the engine uses them: the fields' values held to 1..30.
  int Rows() const { return ClampGridSize(services_.inputs->Rows()); }
  int Columns() const { return ClampGridSize(services_.inputs->Columns()); }

  // Relative entries, each beginning with "/", sorted case-blind under the user's locale.
  std::vector<std::string> FileList;
  std::string BaseFolder;
  int32_t OriginX = 0;
  int32_t OriginY = 0;
  int32_t FrameWidth = 0;
  int32_t FrameHeight = 0;
  double PrinterAspect = 0.0;
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

  SheetServices services_;
  LocaleCollator collator_;
  // Entries found by the running walk, in the order found, and the folders it has entered.
  std::vector<std::string> found_;
  std::set<std::pair<uint64_t, uint64_t>> visited_;
};

}  // namespace tablora
