#include <QtGlobal>
#include <algorithm>

#include "platform/translated_text.h"
#include "sheet/contact_sheet.h"

namespace tablora {

namespace {

constexpr const char* kNothingBuilt = QT_TRANSLATE_NOOP(
    "TContactSheet",
    "You need to build the archive first!\n\r\n\rSelect the folder to build the archive\n\rfrom, "
    "then click the Build button.");

// The pages a confirmed dialog asks for, in the order they print. Ranges are held to the sheet:
// pages beyond it are cut off, and a range whose first page is after its last prints the last.
std::vector<int32_t> ChosenPages(const PrintChoice& choice, int32_t pageCount, int32_t currentPage) {
  std::vector<int32_t> pages;
  switch (choice.range) {
    case prAllPages:
      for (int32_t page = 1; page <= pageCount; ++page) pages.push_back(page);
      break;
    case prSelection:
      // The shown page may lie beyond a sheet repaginated since (rows or columns changed).
      pages.push_back(std::clamp(currentPage, 1, std::max(pageCount, 1)));
      break;
    case prPageNums: {
      std::vector<PageSpan> spans = choice.pageSet;
      if (spans.empty()) spans.push_back({choice.fromPage, choice.toPage});
      for (const PageSpan& span : spans) {
        if (span.from > span.to) {
          if (span.to >= 1 && span.to <= pageCount) pages.push_back(span.to);
          continue;
        }
        for (int32_t page = std::max(1, span.from); page <= std::min(pageCount, span.to); ++page) {
          pages.push_back(page);
        }
      }
      break;
    }
  }
  return pages;
}

// The device waits on the print server through the progress window for as long as the job runs.
class WaitThroughProgress {
 public:
  WaitThroughProgress(PrinterDevice& printer, ProgressWindow& progress, EventPump& pump) : printer_(printer) {
    printer.SetWaitHandler([this, &progress, &pump](const std::string& status) {
      // A new wait shows the window again: after a Cancel during the last page the job is still
      // sent, and it can be withdrawn while it is.
      if (status != shown_) {
        shown_ = status;
        progress.ShowStatus(status);
        progress.Show();
      }
      pump.PumpMessages();
      return progress.Working();
    });
  }
  ~WaitThroughProgress() { printer_.SetWaitHandler(nullptr); }
  WaitThroughProgress(const WaitThroughProgress&) = delete;
  WaitThroughProgress& operator=(const WaitThroughProgress&) = delete;

  bool Waited() const { return !shown_.empty(); }

 private:
  PrinterDevice& printer_;
  std::string shown_;
};

}  // namespace

bool TContactSheet::LookUpPrinters() {
  if (services_.progress == nullptr) return services_.printer->LookUpPrinters();
  WaitThroughProgress waiting(*services_.printer, *services_.progress, *services_.pump);
  const bool found = services_.printer->LookUpPrinters();
  if (waiting.Waited()) services_.progress->Close();
  return found;
}

namespace {

// One bar for the whole job: a page's own progress counts as its share of the pages.
class JobProgress : public ProgressWindow {
 public:
  JobProgress(ProgressWindow& window, std::size_t pages) : window_(window), pages_(std::max<std::size_t>(pages, 1)) {}
  void SetPage(std::size_t k) { page_ = k; }

  void Show() override { window_.Show(); }
  void Close() override { window_.Close(); }
  void ShowStatus(const std::string& text) override { window_.ShowStatus(text); }
  void ShowProgress(int percent) override {
    window_.ShowProgress(static_cast<int>((page_ * 100 + static_cast<std::size_t>(std::clamp(percent, 0, 100))) / pages_));
  }
  // Between pages the bar stays where the last page left it.
  void HideProgress() override {}
  void BringToFront() override { window_.BringToFront(); }
  void Repaint() override { window_.Repaint(); }
  bool Working() const override { return window_.Working(); }

 private:
  ProgressWindow& window_;
  std::size_t pages_;
  std::size_t page_ = 0;
};

}  // namespace

void TContactSheet::Print(PrintDialog& dialog, MessageBox& messages) {
  ProgressWindow& progress = *services_.progress;
  PrinterDevice& printer = *services_.printer;

  // Pictures left out but shown dimmed in the window never reach paper: the job prints the list
  // without them, and the window's list and pages come back after it.
  struct PaperList {
    TContactSheet& sheet;
    std::vector<std::string> shown;
    bool swapped = false;
    ~PaperList() {
      if (!swapped) return;
      sheet.FileList = std::move(shown);
      try {
        sheet.Paginate();
      } catch (...) {
        // Paginating a list that paginated before cannot fail; the window repaginates anyway.
      }
    }
  } paper{*this, {}};
  if (ShowLeftOut && !Selection.LeftOut().empty()) {
    paper.shown = FileList;
    paper.swapped = true;
    std::erase_if(FileList, [this](const std::string& entry) { return Selection.IsLeftOut(entry); });
  }

  if (FileList.empty()) {
    messages.Show(Translated("TContactSheet", kNothingBuilt), Translated("TContactSheet", "Try again"),
                  MessageIcon::None);
    return;
  }

  // No window stands behind the print dialog: the progress window appears only while the print
  // server is awaited, and again once pages are printed.
  WaitThroughProgress waiting(printer, progress, *services_.pump);
  Paginate();
  const bool found = printer.LookUpPrinters();
  if (waiting.Waited()) progress.Close();
  if (!found) return;
  // Named before the dialog, which proposes the name for a print to file.
  printer.SetTitle(JobTitle());
  const PrintChoice choice = dialog.Execute(1, PageCount);
  if (!choice.accepted) return;
  // The dialog may have chosen another printer, paper, orientation or resolution: the pages are
  // laid out on the page it chose, not on the one the preview showed.
  PageRect = printer.Canvas().ClipRect();
  Paginate();
  const std::vector<int32_t> pages = ChosenPages(choice, PageCount, CurrentPage);
  if (pages.empty()) return;
  // The window counts the pages of this job: the third of pages 5 to 7 is "Page 3 of 3".
  const auto status = [&pages](std::size_t k) {
    return Filled(Translated("TContactSheet", "Printing Page %1 of %2"),
                  {std::to_string(k + 1), std::to_string(pages.size())});
  };
  progress.ShowStatus(status(0));
  progress.Show();
  progress.ShowProgress(0);
  // The window stands painted before the first page takes the thread.
  progress.Repaint();
  services_.pump->PumpMessages();
  JobProgress jobProgress(progress, pages.size());
  PageDrawing drawing;
  drawing.progress = &jobProgress;
  // Each page of a job is drawn once, at the printer's resolution: kept, its pictures would fill
  // memory (a long job several hundred megabytes) and push out the window's own.
  drawing.keep = ThumbnailPipeline::Keep::Not;

  struct DeviceResolution {
    int32_t& dpi;
    ~DeviceResolution() { dpi = 0; }
  } resolution{SurfaceDpi};
  SurfaceDpi = printer.Resolution();

  printer.BeginDoc();
  bool ended = false;
  try {
    for (std::size_t k = 0; k + 1 < pages.size(); ++k) {
      progress.ShowStatus(status(k));
      if (!progress.Working()) {
        printer.Abort();
        ended = true;
        break;
      }
      OriginX = 0;
      OriginY = 0;
      jobProgress.SetPage(k);
      RenderPage(printer.Canvas(), pages[k], drawing);
      printer.NewPage();
    }
    if (!ended) {
      if (progress.Working()) {
        progress.ShowStatus(status(pages.size() - 1));
        OriginX = 0;
        OriginY = 0;
        jobProgress.SetPage(pages.size() - 1);
        RenderPage(printer.Canvas(), pages.back(), drawing);
        ended = true;
        printer.EndDoc();
      } else {
        ended = true;
        printer.Abort();
      }
    }
  } catch (...) {
    // Whatever escapes a page discards the job once and closes the dialog; the caller reports it.
    if (!ended) printer.Abort();
    progress.Close();
    throw;
  }
  progress.Close();
}

std::string TContactSheet::JobTitle() const {
  std::string title = services_.inputs->Title();
  if (title.empty()) {
    std::string folder = BaseFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    title = folder.substr(folder.rfind('/') + 1);
  }
  return title.empty() ? Translated("TContactSheet", "Tablora Print Task") : title;
}

}  // namespace tablora
