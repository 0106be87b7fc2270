#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/console_progress.h"
#include "platform/canvas_factory.h"
#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"
#include "sheet/thumbnail_cache.h"

namespace tablora::cli {

// Options every sheet-drawing command shares with the window's controls.
extern const std::vector<std::string> kSheetValueOptions;
extern const std::vector<std::string> kSheetFlagOptions;
extern const char* const kSheetOptionsHelp;

// The pictures of the drawn pages that could not be read, on stderr: with verbose one line each,
// "  PATH: MESSAGE", then "N pictures could not be read". Nothing when every picture was read.
void ReportProblems(const TContactSheet& sheet, bool verbose);

// Threads for loading pictures when --jobs is not given: one per core.
int DefaultJobs();

// Reads --rows, --cols, --title, --font, --facing, --no-page-numbers, --jobs, --no-cache into inputs.
void ReadSheetOptions(const Args& args, CliInputs& inputs);

// A Qt application for commands that draw text: it runs on the offscreen platform when there is
// no display, so no X server is ever needed.
void EnsureGuiApplication();

// A preview control of a fixed size that keeps what was shown on it.
class ImagePreview : public PreviewControl {
 public:
  ImagePreview(int width, int height) : width_(width), height_(height) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void ShowBitmap(const TBitmap& bitmap) override { shown = bitmap; }
  void SetPageLabel(const std::string& caption) override { label = caption; }
  TBitmap shown;
  std::string label;

 private:
  int width_;
  int height_;
};

// The engine wired for the command line: console progress, the real file system and readers.
class SheetSession {
 public:
  SheetSession(CliInputs& inputs, bool quiet, PrinterDevice* printer, PreviewControl* preview);
  ~SheetSession();
  SheetSession(const SheetSession&) = delete;
  SheetSession& operator=(const SheetSession&) = delete;

  // Build as the window's Build button does; false when Ctrl-C cancelled it.
  bool Build();

  TContactSheet& Sheet() { return sheet_; }
  // The whole paths of the files the build found.
  std::vector<std::string> InputFiles() const;
  ConsoleProgress& Progress() { return progress_; }

 private:
  SelectionStore selections_;
  ConsoleProgress progress_;
  PosixDirectorySearch directories_;
  ExtensionThumbnailLoader thumbnails_;
  QtCanvasFactory canvases_;
  TContactSheet sheet_;
  std::unique_ptr<DesktopThumbnailCache> desktop_;
};

}  // namespace tablora::cli
