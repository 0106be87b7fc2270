#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "sheet/contact_sheet.h"
#include "sheet/path_parts.h"
#include "sheet/thumbnail_pipeline.h"

namespace tablora {

namespace {

// Text shrinks one pixel at a time until it fits, but never below a height of 1 pixel.
void ShrinkToFit(DrawingSurface& surface, const std::string& text, int maxWidth) {
  while (surface.TextWidth(text) > maxWidth && surface.FontHeight() > 1) {
    surface.SetFontHeight(surface.FontHeight() - 1);
  }
}

// Keeps a page's drawing inside its rectangle. The surfaces clip only to their device, which in
// the preview includes the grey around the page frame. What lies wholly inside goes straight
// through; what crosses the edge is drawn into a bitmap of its visible part, which then goes onto
// the page, so only a page too small for its own texts pays for the detour.
class PageClip final : public ForwardingDrawingSurface {
 public:
  PageClip(DrawingSurface& surface, const TRect& page, CanvasFactory& canvases)
      : ForwardingDrawingSurface(surface), page_(page), canvases_(canvases) {}

  TRect ClipRect() const override {
    const Box visible = Box::Of(Target().ClipRect()).Intersect(Box::Of(page_));
    return visible.Empty() ? Rect(page_.Left, page_.Top, page_.Left, page_.Top) : visible.ToRect();
  }
  void FillRect(const TRect& rect) override {
    const Box visible = Box::Of(rect).Intersect(Box::Of(page_));
    if (!visible.Empty()) Target().FillRect(visible.ToRect());
  }
  void TextOut(int x, int y, const std::string& text) override {
    const Box box{x, y, int64_t{x} + Target().TextWidth(text), int64_t{y} + Target().FontHeight()};
    Route(box, nullptr, [&](DrawingSurface& target, int64_t left, int64_t top) {
      target.TextOut(Held(x - left), Held(y - top), text);
    });
  }
  void StretchDraw(const TRect& rect, const TBitmap& bitmap) override {
    Route(Box::Of(rect), &bitmap, [&](DrawingSurface& target, int64_t left, int64_t top) {
      target.StretchDraw(Rect(Held(rect.Left - left), Held(rect.Top - top), Held(rect.Right - left),
                              Held(rect.Bottom - top)),
                         bitmap);
    });
  }
  void Draw(int x, int y, const TBitmap& bitmap) override {
    const Box box{x, y, int64_t{x} + bitmap.Width(), int64_t{y} + bitmap.Height()};
    Route(box, &bitmap, [&](DrawingSurface& target, int64_t left, int64_t top) {
      target.Draw(Held(x - left), Held(y - top), bitmap);
    });
  }

 private:
  // In 64 bits: a text's right edge is its position plus a width, either of which may be large.
  struct Box {
    int64_t left, top, right, bottom;
    static Box Of(const TRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }
    Box Intersect(const Box& o) const {
      return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
              std::min(bottom, o.bottom)};
    }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Within(const Box& o) const {
      return left >= o.left && top >= o.top && right <= o.right && bottom <= o.bottom;
    }
    TRect ToRect() const {
      return Rect(static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                  static_cast<int32_t>(bottom));
    }
  };

  static int32_t Held(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
  }

  // `draw` paints the operation onto a surface whose origin lies at (left, top) of the page's.
  // A bitmap source passes its colour key on to the detour, so its see-through parts stay so.
  template <typename Operation>
  void Route(const Box& box, const TBitmap* source, Operation draw) {
    const Box page = Box::Of(page_);
    if (box.Within(page)) {
      draw(Target(), 0, 0);
      return;
    }
    const Box visible = box.Intersect(page);
    if (visible.Empty()) return;
    const TRect part = visible.ToRect();
    TBitmap strip;
    strip.SetPixelFormat(pf32bit);
    strip.SetSize(part.Width(), part.Height());
    const bool keyed = source != nullptr && source->Transparent();
    if (keyed) {
      strip.SetTransparent(true);
      strip.SetTransparentColor(source->TransparentColor());
    }
    {
      std::unique_ptr<DrawingSurface> canvas = canvases_.CanvasFor(strip);
      canvas->SetFontName(Target().FontName());
      canvas->SetFontHeight(Target().FontHeight());
      canvas->SetFontColor(Target().FontColor());
      // The strip stands for the page under it: the text's own background, or see-through.
      canvas->SetBrushColor(keyed ? source->TransparentColor() : Target().BrushColor());
      canvas->SetBrushSolid();
      canvas->FillRect(canvas->ClipRect());
      canvas->SetBrushColor(Target().BrushColor());
      draw(*canvas, part.Left, part.Top);
    }
    Target().Draw(part.Left, part.Top, strip);
  }

  TRect page_;
  CanvasFactory& canvases_;
};

// The title line: the title at one side, the page number at the other, both at the top of the
// title row and inside the SidePad insets. The page number keeps its place and PageNumberHeight,
// and the title shrinks one pixel at a time into what the number leaves of the line, less a
// SidePad gap; it is left out when not even a one-pixel font fits there: the number wins.
// At PageNumberHeight the number alone can be wider than the line (one row: a sixth of the page's
// height). It must shrink then anyway, and it shrinks until it leaves the title half the line
// rather than all but nothing.
struct TitleLine {
  int32_t originX;
  int32_t originY;
  int32_t usableWidth;
  int32_t sidePad;
  int32_t topPad;
  int32_t titleHeight;
  int32_t pageNumberHeight;
  bool swapSides;  // facing pages, even page: title at the right, number at the left
};

void DrawTitleLine(DrawingSurface& surface, const TitleLine& line, const std::string& title,
                   const std::string* pageNumber) {
  // Measured before any height is set: in effect, whether there is a title at all.
  const bool hasTitle = surface.TextWidth(title) > 0;
  const int32_t lineWidth = line.usableWidth - 2 * line.sidePad;
  int32_t titleRoom = lineWidth;
  int32_t numberHeight = line.pageNumberHeight;
  if (pageNumber) {
    surface.SetFontHeight(line.pageNumberHeight);
    if (surface.TextWidth(*pageNumber) > lineWidth) {
      ShrinkToFit(surface, *pageNumber, hasTitle ? (lineWidth - line.sidePad) / 2 : lineWidth);
    }
    numberHeight = surface.FontHeight();
    titleRoom = lineWidth - surface.TextWidth(*pageNumber) - line.sidePad;
  }

  if (hasTitle && titleRoom > 0) {
    surface.SetFontHeight(line.titleHeight);
    ShrinkToFit(surface, title, titleRoom);
    const int32_t width = surface.TextWidth(title);
    if (width <= titleRoom) {
      const int32_t x = line.swapSides ? line.usableWidth - line.sidePad - width : line.sidePad;
      surface.TextOut(line.originX + x, line.originY + line.topPad, title);
    }
  }

  if (pageNumber) {
    surface.SetFontHeight(numberHeight);
    const int32_t width = surface.TextWidth(*pageNumber);
    const int32_t x = line.swapSides ? line.sidePad : line.usableWidth - (width + line.sidePad);
    surface.TextOut(line.originX + x, line.originY + line.topPad, *pageNumber);
  }
}

}  // namespace

void TContactSheet::RenderPage(DrawingSurface& target, int32_t page) {
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

  PageClip surface(target, PageRect, *services_.canvases);
  surface.SetFontName(services_.inputs->FontName());
  surface.SetFontColor(clBlack);

  const std::string pageNumber = "Page " + std::to_string(page) + " of " + std::to_string(PageCount);
  DrawTitleLine(surface,
                {OriginX, OriginY, usableWidth, sidePad, topPad, titleHeight, pageNumberHeight,
                 options.PrintFacing() && page % 2 == 0},
                services_.inputs->Title(), options.PrintPageNum() ? &pageNumber : nullptr);

  surface.SetFontHeight(captionHeight);

  const int32_t first = page == 1 ? 0 : PageEnds[page - 2] + 1;
  const int32_t last = PageEnds[page - 1];

  std::string lastFolder;
  int32_t column = 0;
  double rowPos = 0.5;

  // Every picture of the page is reduced to the size it is drawn at on this surface; with several
  // jobs they are loaded ahead on worker threads while the cells are drawn here in page order.
  std::vector<ThumbnailPipeline::Request> requests;
  for (int32_t i = first; i <= last; ++i) {
    requests.push_back({BaseFolder + FileList[static_cast<std::size_t>(i)], cellImageWidth, cellImageHeight});
  }
  const bool boxes = cellImageWidth > 0 && cellImageHeight > 0;
  ThumbnailPipeline pictures(*services_.thumbnails, &Thumbnails, boxes ? ThumbnailJobs : 1, DecodeBudget,
                             boxes ? std::move(requests) : std::vector<ThumbnailPipeline::Request>{});

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
    // A page too small to hold an image box shows captions only.
    if (boxes) {
      const std::optional<CellPicture> picture =
          pictures.Take(static_cast<std::size_t>(i - first), [&] {
            pump.PumpMessages();
            return progress.Working();
          });
      if (!picture) break;
      if (picture->pixels) {
        surface.Draw(box.Left + picture->place.left, box.Top + picture->place.top, *picture->pixels);
      }
    }

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

}  // namespace tablora
