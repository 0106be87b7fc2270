#include <algorithm>
#include <chrono>

#include "platform/translated_text.h"
#include "sheet/contact_sheet.h"

namespace tablora {

namespace {

// A printer that reports no page has no proportions; an A4 portrait page stands in for it.
constexpr int32_t kFallbackPageWidth = 210;
constexpr int32_t kFallbackPageHeight = 297;
constexpr auto kFillInterval = std::chrono::milliseconds(40);

}  // namespace

void TContactSheet::RefreshPreview() {
  ProgressWindow& progress =
      services_.previewProgress != nullptr ? *services_.previewProgress : *services_.progress;
  PreviewControl& preview = *services_.preview;
  progress.Show();
  progress.ShowStatus(Translated("TContactSheet", "Calculating Pages"));
  progress.Repaint();
  Paginate();
  if (CurrentPage < 1) CurrentPage = 1;
  if (PageCount < CurrentPage) CurrentPage = PageCount;
  progress.ShowStatus(Translated("TContactSheet", "Please Wait"));
  LayoutPreview();
  services_.pump->PumpMessages();
  // The label names the page the preview shows: it changes when the new page first stands there.
  const std::string label = Filled(Translated("TContactSheet", "Page %1 of %2"),
                                   {std::to_string(CurrentPage), std::to_string(PageCount)});
  bool labelled = false;
  if (!FileList.empty() && progress.Working()) {
    std::unique_ptr<DrawingSurface> canvas = services_.canvases->CanvasFor(PreviewBitmap);
    auto lastShown = std::chrono::steady_clock::time_point();
    PageDrawing drawing;
    drawing.progress = &progress;
    // The page stands at once with its texts and empty cells; the cells fill as the pictures
    // arrive, shown every few frames rather than at every picture.
    drawing.shown = [&] {
      const auto now = std::chrono::steady_clock::now();
      if (labelled && now - lastShown < kFillInterval) return;
      lastShown = now;
      preview.ShowBitmap(PreviewBitmap);
      if (!labelled) preview.SetPageLabel(label);
      labelled = true;
    };
    RenderPage(*canvas, CurrentPage, drawing);
  }
  preview.ShowBitmap(PreviewBitmap);
  if (!labelled) preview.SetPageLabel(label);
  progress.Close();
}

void TContactSheet::LayoutPreview() {
  const PreviewControl& preview = *services_.preview;
  const int32_t previewWidth = std::max(preview.Width(), 0);
  const int32_t previewHeight = std::max(preview.Height(), 0);
  if (PreviewBitmap.PixelFormat() != pf32bit) PreviewBitmap.SetPixelFormat(pf32bit);
  PreviewBitmap.SetWidth(previewWidth);
  PreviewBitmap.SetHeight(previewHeight);

  std::unique_ptr<DrawingSurface> canvas = services_.canvases->CanvasFor(PreviewBitmap);
  canvas->SetBrushColor(clGray);
  canvas->SetBrushSolid();
  canvas->FillRect(canvas->ClipRect());

  int32_t pageWidth = services_.printer->PageWidth();
  int32_t pageHeight = services_.printer->PageHeight();
  if (pageWidth <= 0 || pageHeight <= 0) {
    pageWidth = kFallbackPageWidth;
    pageHeight = kFallbackPageHeight;
  }

  FrameWidth = previewWidth;
  FrameHeight = previewHeight;
  PrinterAspect = static_cast<double>(pageWidth) / pageHeight;
  PreviewAspect = FrameHeight > 0 ? static_cast<double>(FrameWidth) / FrameHeight : 0.0;
  OriginX = 0;
  OriginY = 0;
  if (PrinterAspect < PreviewAspect) {
    FrameWidth = static_cast<int32_t>(static_cast<int64_t>(pageWidth) * FrameHeight / pageHeight);
    OriginX = (previewWidth - FrameWidth) / 2;
  }
  if (PrinterAspect > PreviewAspect) {
    FrameHeight = static_cast<int32_t>(static_cast<int64_t>(pageHeight) * FrameWidth / pageWidth);
    OriginY = (previewHeight - FrameHeight) / 2;
  }
  PageRect = Rect(OriginX, OriginY, previewWidth - OriginX, previewHeight - OriginY);
  previewPage_ = PageRect;
  canvas->SetBrushColor(clWhite);
  canvas->FillRect(PageRect);
}

namespace {

bool Holds(const TRect& rect, int32_t x, int32_t y) {
  return x >= rect.Left && x < rect.Right && y >= rect.Top && y < rect.Bottom;
}

}  // namespace

int32_t TContactSheet::EntryAt(int32_t x, int32_t y) const {
  if (CurrentPage < 1 || CurrentPage > PageCount) return -1;
  const PageLayout placed = Geometry().LayOut(FileList, PageEnds, CurrentPage, PageOn(previewPage_));
  for (const CellPlace& cell : placed.cells) {
    if (Holds(cell.cell, x, y) || Holds(cell.picture, x, y)) return cell.entry;
  }
  return -1;
}

TRect TContactSheet::CellRect(int32_t index) const {
  if (CurrentPage < 1 || CurrentPage > PageCount) return {};
  const PageLayout placed = Geometry().LayOut(FileList, PageEnds, CurrentPage, PageOn(previewPage_));
  for (const CellPlace& cell : placed.cells) {
    if (cell.entry != index) continue;
    // The picture box of a Classic cell can reach below the cell when captions take two lines.
    return Rect(std::min(cell.cell.Left, cell.picture.Left), std::min(cell.cell.Top, cell.picture.Top),
                std::max(cell.cell.Right, cell.picture.Right), std::max(cell.cell.Bottom, cell.picture.Bottom));
  }
  return {};
}

}  // namespace tablora
