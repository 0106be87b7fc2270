#include <algorithm>
#include <cmath>
#include <limits>

#include "sheet/contact_sheet.h"
#include "sheet/path_parts.h"

namespace tablora {

namespace {

// Text shrinks one pixel at a time until it fits, but never below a height of 1 pixel.
void ShrinkToFit(DrawingSurface& surface, const std::string& text, int maxWidth) {
  while (surface.TextWidth(text) > maxWidth && surface.FontHeight() > 1) {
    surface.SetFontHeight(surface.FontHeight() - 1);
  }
}

// product div divisor as 32-bit arithmetic would give it for sane image sizes; formed in 64 bits
// so a huge image cannot overflow, and held to the 32-bit range.
int32_t MulDivTrunc(int32_t a, int32_t b, int32_t divisor) {
  const int64_t value = static_cast<int64_t>(a) * b / divisor;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

void TContactSheet::RenderPage(DrawingSurface& surface, int32_t page) {
  ProgressWindow& progress = *services_.progress;
  EventPump& pump = *services_.pump;
  const SheetOptions& options = *services_.options;

  // Lengths of the page, all derived from the page rectangle in the surface's own pixels.
  const int32_t w0 = PageRect.Right - PageRect.Left;
  const int32_t h0 = PageRect.Bottom - PageRect.Top;
  const bool portrait = h0 > 0 && static_cast<double>(w0) / h0 < 1.0;
  const int32_t margin = portrait ? w0 / 20 : h0 / 20;
  const int32_t usableWidth = w0 - 2 * margin;
  const int32_t usableHeight = h0 - 2 * margin;
  OriginX += margin;
  OriginY += margin;

  const int rows = Rows();
  const int32_t rowHeight = usableHeight / (rows + 1);
  const int columns = Columns();
  const int32_t columnWidth = usableWidth / columns;
  const int32_t topPad = rowHeight / 16;
  const int32_t sidePad = columnWidth / 8;
  const int32_t titleHeight = rowHeight / 2;
  const int32_t captionHeight = titleHeight / 3;
  const int32_t pageNumberHeight = 2 * captionHeight;
  const int32_t cellImageHeight = rowHeight - captionHeight - topPad;
  const int32_t cellImageWidth = columnWidth - 2 * sidePad;
  const int reduceFactor = cellImageWidth > 200 ? 2 : 1;

  surface.SetFontName(services_.inputs->FontName());
  surface.SetFontColor(clBlack);

  const bool swapSides = options.PrintFacing() && page % 2 == 0;
  const std::string title = services_.inputs->Title();
  if (surface.TextWidth(title) > 0) {
    surface.SetFontHeight(titleHeight);
    int32_t x = sidePad;
    if (swapSides) x = usableWidth - sidePad - surface.TextWidth(title);
    surface.TextOut(OriginX + x, OriginY + topPad, title);
  }

  if (options.PrintPageNum()) {
    surface.SetFontHeight(pageNumberHeight);
    const std::string text = "Page " + std::to_string(page) + " of " + std::to_string(PageCount);
    int32_t x = usableWidth - (surface.TextWidth(text) + sidePad);
    if (swapSides) x = sidePad;
    surface.TextOut(OriginX + x, OriginY + topPad, text);
  }

  surface.SetFontHeight(captionHeight);

  const int32_t first = page == 1 ? 0 : PageEnds[page - 2] + 1;
  const int32_t last = PageEnds[page - 1];

  std::string lastFolder;
  int32_t column = 0;
  double rowPos = 0.5;

  TBitmap cellBitmap;
  cellBitmap.SetPixelFormat(pf32bit);
  cellBitmap.SetSize(std::max(cellImageWidth / reduceFactor, 0), std::max(cellImageHeight / reduceFactor, 0));
  std::unique_ptr<DrawingSurface> cellCanvas = services_.canvases->CanvasFor(cellBitmap);
  cellCanvas->SetBrushColor(clWhite);
  cellCanvas->SetBrushSolid();

  progress.ShowProgress(0);

  for (int32_t i = first; i <= last; ++i) {
    progress.BringToFront();
    pump.PumpMessages();
    if (!progress.Working()) break;

    const std::string& entry = FileList[static_cast<std::size_t>(i)];
    const std::string folder(FolderPart(entry));
    if (folder != lastFolder) {
      if (column > 0) rowPos += 1.0;
      rowPos += 0.5;
      column = 0;
      const int32_t y = static_cast<int32_t>(std::floor((rowPos - 1.0) * rowHeight)) + topPad;
      surface.SetFontHeight(pageNumberHeight);
      ShrinkToFit(surface, folder, usableWidth - 2 * sidePad);
      surface.TextOut(OriginX + sidePad, OriginY + y + cellImageHeight - captionHeight, folder);
      lastFolder = folder;
    }

    surface.SetFontHeight(captionHeight);
    const int32_t x = (column % columns) * columnWidth;
    const int32_t y = static_cast<int32_t>(std::floor(rowHeight * rowPos)) + topPad;

    // The caption comes before the image, so a file that cannot be read still has its name.
    const std::string name(NamePart(entry));
    ShrinkToFit(surface, name, columnWidth - sidePad);
    surface.TextOut(OriginX + x + (columnWidth - surface.TextWidth(name)) / 2,
                    OriginY + y + cellImageHeight, name);

    const TRect box = Rect(OriginX + x + sidePad, OriginY + y, OriginX + x + sidePad + cellImageWidth,
                           OriginY + y + cellImageHeight);
    DrawCellImage(surface, cellBitmap, *cellCanvas, static_cast<std::size_t>(i), box, reduceFactor);

    column += 1;
    if (column % columns == 0) {
      column = 0;
      rowPos += 1.0;
    }
    progress.ShowProgress(last == first ? 100 : (i - first) * 100 / (last - first));
  }

  pump.PumpMessages();
  progress.HideProgress();
}

void TContactSheet::DrawCellImage(DrawingSurface& surface, TBitmap& cellBitmap,
                                  DrawingSurface& cellCanvas, std::size_t i, const TRect& box,
                                  int reduceFactor) {
  const int32_t cellImageWidth = box.Width();
  const int32_t cellImageHeight = box.Height();
  cellCanvas.FillRect(cellCanvas.ClipRect());
  // A page too small to hold an image box shows captions only.
  if (cellImageWidth <= 0 || cellImageHeight <= 0 || cellBitmap.Empty()) return;
  const double cellAspect = static_cast<double>(cellImageWidth) / cellImageHeight;

  std::unique_ptr<ThumbnailImage> image = services_.thumbnails->Load(BaseFolder + FileList[i]);
  if (!image) return;
  const int32_t w = image->Width();
  const int32_t h = image->Height();
  const double imageAspect = static_cast<double>(w) / h;
  int32_t drawnWidth = 0;
  int32_t drawnHeight = 0;
  if (cellAspect < imageAspect) {
    drawnWidth = cellImageWidth / reduceFactor;
    drawnHeight = MulDivTrunc(cellImageWidth, h, w) / reduceFactor;
  } else {
    drawnHeight = cellImageHeight / reduceFactor;
    drawnWidth = MulDivTrunc(cellImageHeight, w, h) / reduceFactor;
  }
  const int32_t top = (cellBitmap.Height() - drawnHeight) / 2;
  const int32_t left = (cellBitmap.Width() - drawnWidth) / 2;
  const TRect target = Rect(left, top, cellBitmap.Width() - left, cellBitmap.Height() - top);
  try {
    image->Draw(cellCanvas, target);
  } catch (...) {
    // Pixels the reader rejects only when it decodes them (a JPEG whose data is damaged beyond
    // its header) leave the cell empty like any failed load; the page goes on.
    return;
  }
  image.reset();
  surface.StretchDraw(box, cellBitmap);
}

}  // namespace tablora
