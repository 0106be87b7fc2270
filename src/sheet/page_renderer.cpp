#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image_format.h"
#include "imaging/readers/video_reader.h"
#include "platform/path_text.h"
#include "platform/translated_text.h"
#include "sheet/caption_template.h"
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
      canvas->SetFontStyle(Target().FontStyle());
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

int32_t MulDivRound(int32_t a, int32_t b, int32_t divisor) {
  const int64_t product = (int64_t{a} * b + divisor / 2) / divisor;
  return static_cast<int32_t>(std::clamp<int64_t>(product, 0, std::numeric_limits<int32_t>::max()));
}

// Byte offsets where the characters of UTF-8 text begin; a byte that is not part of a valid
// sequence counts as a character of its own, so no cut falls inside one.
std::vector<std::size_t> CharacterStarts(const std::string& text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 || starts.empty()) starts.push_back(i);
  }
  return starts;
}

// Text at the left, centre or right of a span starting at x.
void DrawAligned(DrawingSurface& surface, const std::string& text, int32_t x, int32_t width, int32_t y,
                 TextAlign align) {
  if (text.empty()) return;
  const int32_t w = surface.TextWidth(text);
  const int32_t left = align == TextAlign::Left ? x : align == TextAlign::Right ? x + width - w : x + (width - w) / 2;
  surface.TextOut(left, y, text);
}

// A frame of `width` pixels around a picture, drawn outside it.
void DrawFrame(DrawingSurface& surface, const TRect& picture, int32_t width, TColor color) {
  const TColor brush = surface.BrushColor();
  surface.SetBrushColor(color);
  surface.FillRect(Rect(picture.Left - width, picture.Top - width, picture.Right + width, picture.Top));
  surface.FillRect(Rect(picture.Left - width, picture.Bottom, picture.Right + width, picture.Bottom + width));
  surface.FillRect(Rect(picture.Left - width, picture.Top, picture.Left, picture.Bottom));
  surface.FillRect(Rect(picture.Right, picture.Top, picture.Right + width, picture.Bottom));
  surface.SetBrushColor(brush);
}

// The folder of an entry as a header names it: its path below the sheet's folder.
// The page's folder for a header or footer: its path from the sheet's folder, which goes by its
// own name ("Rome 2024/Day 2"; "Rome 2024" for the sheet's folder's own pictures).
std::string FolderShown(const std::string& entry, const std::string& baseFolder) {
  std::string_view base = baseFolder;
  while (base.size() > 1 && base.back() == '/') base.remove_suffix(1);
  std::string shown(base.substr(base.rfind('/') + 1));
  std::string folder(FolderPart(entry));
  if (folder.size() > 1) folder.pop_back();
  if (shown.empty()) return folder;
  if (folder != "/") shown += folder;
  return shown;
}

// A heading's text: the folder below the sheet's folder, and for the sheet's folder's own
// pictures that folder's own name ("Rome 2024"; "/" for the root itself).
std::string HeadingText(std::string_view entry, const std::string& baseFolder) {
  const std::string_view folder = FolderPart(entry);
  if (folder != "/") return std::string(folder);
  std::string_view base = baseFolder;
  while (base.size() > 1 && base.back() == '/') base.remove_suffix(1);
  const std::string_view name = base.substr(base.rfind('/') + 1);
  return name.empty() ? std::string("/") : std::string(name);
}

// The cell of a picture that cannot be read: a thin frame of its box crossed corner to corner,
// "cannot read" in its middle.
void DrawUnreadable(DrawingSurface& surface, const TRect& box, int32_t textHeight, CanvasFactory& canvases) {
  const int32_t width = box.Right - box.Left;
  const int32_t height = box.Bottom - box.Top;
  if (width < 2 || height < 2) return;
  const TColor line = clGray;
  // The diagonals on a see-through bitmap of the box: the surfaces draw no lines of their own.
  constexpr TColor kSeeThrough = 0x00FF00FF;
  TBitmap cross;
  cross.SetPixelFormat(pf24bit);
  cross.SetSize(width, height);
  {
    std::unique_ptr<DrawingSurface> canvas = canvases.CanvasFor(cross);
    canvas->SetBrushColor(kSeeThrough);
    canvas->SetBrushSolid();
    canvas->FillRect(Rect(0, 0, width, height));
  }
  const int64_t steps = std::max(width, height);
  for (int64_t t = 0; t < steps; ++t) {
    const auto x = static_cast<int>(t * (width - 1) / std::max<int64_t>(steps - 1, 1));
    const auto y = static_cast<int>(t * (height - 1) / std::max<int64_t>(steps - 1, 1));
    cross.SetPixelColor(x, y, line);
    cross.SetPixelColor(width - 1 - x, y, line);
  }
  cross.SetTransparent(true);
  cross.SetTransparentColor(kSeeThrough);
  surface.Draw(box.Left, box.Top, cross);
  DrawFrame(surface, Rect(box.Left + 1, box.Top + 1, box.Right - 1, box.Bottom - 1), 1, line);
  const std::string text = Translated("TContactSheet", "cannot read");
  surface.SetFontHeight(std::max(1, textHeight));
  ShrinkToFit(surface, text, width - 2);
  surface.TextOut(box.Left + (width - surface.TextWidth(text)) / 2, box.Top + (height - surface.FontHeight()) / 2,
                  text);
}

// Whether an entry is read as a video clip, whose duration its cell shows.
bool IsClip(const std::string& entry) {
  const TImageFormat* format = FormatByExtension(LowerAscii(ExtensionPart(entry)));
  return format != nullptr && std::string_view(format->name) == "Video";
}

enum class BadgeCorner { TopLeft, BottomRight };

// A short text in a corner of the picture (a clip's duration, a Live Photo's mark): white on a
// dark plate, legible on dark and light pictures alike, no higher than a caption. Left out of a
// picture too small to carry it.
void DrawBadge(DrawingSurface& surface, const TRect& picture, const std::string& text, int32_t captionHeight,
               BadgeCorner corner) {
  constexpr TColor kPlate = 0x00282828;
  int32_t fontHeight = std::min(captionHeight, (picture.Bottom - picture.Top) / 5);
  if (fontHeight < 6) return;
  surface.SetFontHeight(fontHeight);
  int32_t pad = std::max(1, fontHeight / 5);
  int32_t textWidth = surface.TextWidth(text);
  const int32_t room = (picture.Right - picture.Left) / 2;
  // A narrow picture (a clip filmed upright) takes a smaller badge rather than none.
  while (textWidth + 3 * pad > room) {
    fontHeight = std::min(fontHeight - 1, static_cast<int32_t>(int64_t{fontHeight} * room / (textWidth + 3 * pad)));
    if (fontHeight < 6) return;
    surface.SetFontHeight(fontHeight);
    pad = std::max(1, fontHeight / 5);
    textWidth = surface.TextWidth(text);
  }
  const int32_t width = textWidth + 2 * pad;
  const int32_t height = fontHeight + 2 * pad;
  const TRect plate = corner == BadgeCorner::TopLeft
                          ? Rect(picture.Left + pad, picture.Top + pad, picture.Left + pad + width, picture.Top + pad + height)
                          : Rect(picture.Right - pad - width, picture.Bottom - pad - height, picture.Right - pad,
                                 picture.Bottom - pad);
  const TColor brush = surface.BrushColor();
  const TColor font = surface.FontColor();
  surface.SetBrushColor(kPlate);
  surface.SetBrushSolid();
  surface.FillRect(plate);
  surface.SetFontColor(clWhite);
  surface.TextOut(plate.Left + pad, plate.Top + pad, text);
  surface.SetFontColor(font);
  surface.SetBrushColor(brush);
}

// Today as YYYY-MM-DD in local time.
std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

}  // namespace

std::string ElideMiddle(DrawingSurface& surface, const std::string& text, int maxWidth) {
  static const std::string kEllipsis = "\xE2\x80\xA6";
  if (surface.TextWidth(text) <= maxWidth) return text;
  const std::vector<std::size_t> starts = CharacterStarts(text);
  const std::size_t count = starts.size();
  // `kept` characters of the name: the end (which holds the extension) keeps the larger half.
  const auto shortened = [&](std::size_t kept) {
    const std::size_t head = kept / 2;
    const std::size_t tail = kept - head;
    const std::size_t tailStart = tail == 0 ? text.size() : starts[count - tail];
    return text.substr(0, head == 0 ? 0 : starts[head]) + kEllipsis + text.substr(tailStart);
  };
  std::size_t low = 0;  // fits (or is the least there is)
  std::size_t high = count;  // does not fit
  while (high - low > 1) {
    const std::size_t mid = (low + high) / 2;
    if (surface.TextWidth(shortened(mid)) <= maxWidth) {
      low = mid;
    } else {
      high = mid;
    }
  }
  return shortened(low);
}

std::string FitCaption(DrawingSurface& surface, const std::string& name, int maxWidth, int readableHeight) {
  while (surface.TextWidth(name) > maxWidth && surface.FontHeight() > readableHeight) {
    surface.SetFontHeight(surface.FontHeight() - 1);
  }
  return ElideMiddle(surface, name, maxWidth);
}

std::vector<CaptionRun> FitCaptionLines(DrawingSurface& surface, std::vector<std::vector<std::string>> lines,
                                        const std::vector<CaptionTemplate>& templates, int32_t captionHeight,
                                        int32_t width) {
  static const std::string kEllipsis = "\xE2\x80\xA6";
  const auto join = [](const std::vector<std::string>& pieces, std::size_t count) {
    std::string text;
    for (std::size_t k = 0; k < count; ++k) text += pieces[k];
    return text;
  };
  std::vector<CaptionRun> runs;
  for (std::size_t line = 0; line < lines.size(); ++line) {
    std::vector<std::string>& pieces = lines[line];
    if (pieces.empty()) continue;
    const int32_t height = std::max(1, static_cast<int32_t>(std::lround(captionHeight * templates[line].scale)));
    surface.SetFontHeight(height);
    std::size_t kept = pieces.size();
    while (kept > 1 && surface.TextWidth(join(pieces, kept)) > width) --kept;
    const bool nextFree = line + 1 < lines.size() && lines[line + 1].empty();
    if (kept < pieces.size() && nextFree) {
      // The rest goes on the free line below, its separator dropped at the break.
      std::vector<std::string> rest(pieces.begin() + static_cast<std::ptrdiff_t>(kept), pieces.end());
      rest.front().erase(0, rest.front().find_first_not_of(' '));
      lines[line + 1] = std::move(rest);
      pieces.resize(kept);
    }
    std::string text = join(pieces, kept);
    if (kept < pieces.size()) {
      while (kept > 1 && surface.TextWidth(join(pieces, kept) + kEllipsis) > width) --kept;
      text = join(pieces, kept) + kEllipsis;
    }
    if (surface.TextWidth(text) > width) text = ElideMiddle(surface, text, width);
    runs.push_back({line, text, height, templates[line].align});
  }
  return runs;
}

void TContactSheet::RenderPage(DrawingSurface& target, int32_t page) { RenderPage(target, page, PageDrawing{}); }

void TContactSheet::RenderPage(DrawingSurface& target, int32_t page, const PageDrawing& drawing) {
  ProgressWindow& progress = drawing.progress != nullptr ? *drawing.progress : *services_.progress;
  EventPump& pump = *services_.pump;
  const SheetOptions& options = *services_.options;

  // Where everything stands, from the one geometry pagination used too.
  const SheetGeometry geometry = Geometry();
  const SheetTemplate& layout = geometry.Template();
  const PageLayout placed = geometry.LayOut(FileList, PageEnds, page, PageOn(PageRect));
  const SheetMetrics& m = placed.metrics;
  const bool classic = layout.ClassicGeometry();
  OriginX += m.content.Left - PageRect.Left;
  OriginY += m.content.Top - PageRect.Top;
  const int32_t usableWidth = m.content.Right - m.content.Left;

  const int32_t captionHeight = m.captionHeight;
  // The shooting data, when chosen, takes a second caption line under a name that stands alone.
  const std::vector<CaptionField> captionFields =
      layout.captions == ClassicTemplate().captions ? options.CaptionFields() : std::vector<CaptionField>();
  // Below this a caption is no longer read but guessed at: a long name is shortened instead.
  const int32_t readableCaption =
      std::max(1, std::min(captionHeight, SurfaceDpi > 0 ? MulDivRound(kMinCaptionPoints, SurfaceDpi, 72)
                                                         : kMinCaptionPixels));
  // Pictures beyond a few hundred pixels per inch cost file size and time and show nothing more:
  // they are reduced to at most kMaxPicturePpi and scaled up to their boxes when drawn.
  const int32_t pictureDpi = SurfaceDpi > kMaxPicturePpi ? kMaxPicturePpi : SurfaceDpi;
  const auto toPicture = [&](int32_t length) {
    return pictureDpi == SurfaceDpi ? length : std::max(1, MulDivRound(length, pictureDpi, SurfaceDpi));
  };
  const auto toSurface = [&](int32_t length) {
    return pictureDpi == SurfaceDpi ? length : MulDivRound(length, SurfaceDpi, pictureDpi);
  };

  PageClip surface(target, PageRect, *services_.canvases);
  if (layout.background != clWhite) {
    // Texts are drawn on their own background: the page's.
    surface.SetBrushColor(layout.background);
    surface.SetBrushSolid();
    surface.FillRect(PageRect);
  }
  surface.SetFontName(services_.inputs->FontName());
  surface.SetFontStyle(services_.inputs->FontStyle());
  surface.SetFontColor(layout.textColor);

  const bool swapSides = options.PrintFacing() && page % 2 == 0;
  if (classic && !layout.header) {
    const std::string pageNumber =
        Filled(Translated("TContactSheet", "Page %1 of %2"), {std::to_string(page), std::to_string(PageCount)});
    DrawTitleLine(surface,
                  {OriginX, OriginY, usableWidth, m.sidePad, m.topPad, m.titleHeight, m.pageNumberHeight, swapSides},
                  services_.inputs->Title(), options.PrintPageNum() ? &pageNumber : nullptr);
  }
  if (!classic) {
    PageFacts facts{services_.inputs->Title(), page, PageCount, TodayText(), {},
                    static_cast<int32_t>(FileList.size()), {}};
    if (placed.last >= placed.first) {
      const std::string& firstEntry = FileList[static_cast<std::size_t>(placed.first)];
      facts.folder = FolderShown(firstEntry, BaseFolder);
      // Read only when the line shows a key: most headers show none.
      facts.metadataKey = [this, entry = firstEntry](std::string_view key) {
        const auto& byKey = MetadataOf(entry).byKey;
        const auto it = byKey.find(key);
        return it == byKey.end() ? std::string() : it->second;
      };
    }
    const auto fill = [&](const std::string& text) {
      return FillTemplate(text, [&](std::string_view field) { return PageField(field, facts); });
    };
    // `logo`: the width the left slot's text leaves to a logo before it (at the right on an even
    // facing page, with the slot).
    const auto drawLine = [&](const LineSlots& slots, int32_t top, int32_t logo) {
      surface.SetFontHeight(m.lineHeight);
      const std::string& leftText = swapSides ? slots.right : slots.left;
      const std::string& rightText = swapSides ? slots.left : slots.right;
      const int32_t leftInset = swapSides ? 0 : logo;
      const int32_t rightInset = swapSides ? logo : 0;
      DrawAligned(surface, ElideMiddle(surface, fill(leftText), std::max(0, usableWidth / 3 - leftInset)),
                  m.content.Left + leftInset, usableWidth - leftInset, top, TextAlign::Left);
      DrawAligned(surface, ElideMiddle(surface, fill(slots.centre), usableWidth / 3), m.content.Left, usableWidth,
                  top, TextAlign::Centre);
      DrawAligned(surface, ElideMiddle(surface, fill(rightText), std::max(0, usableWidth / 3 - rightInset)),
                  m.content.Left, usableWidth - rightInset, top, TextAlign::Right);
    };
    int32_t logoRoom = 0;
    if (!layout.logoFile.empty()) {
      if (!logo_ || logo_->File() != layout.logoFile) logo_.emplace(layout.logoFile);
      // The geometry keeps the header as high as the logo; a logo that does not load leaves its
      // place empty.
      if (const TBitmap* logo = logo_->At(m.logoHeight, usableWidth / 3)) {
        surface.Draw(swapSides ? m.content.Right - logo->Width() : m.content.Left, m.headerTop, *logo);
        logoRoom = logo->Width() + m.lineHeight / 2;
      }
    }
    // A template without a header of its own has the title line's texts there.
    drawLine(layout.header.value_or(LineSlots{"{title}", "", Translated("TContactSheet", "Page {page} of {pages}")}),
             m.headerTop, logoRoom);
    if (!layout.footer.Empty()) drawLine(layout.footer, m.footerTop, 0);
  }

  // Every picture of the page is reduced to the size it is drawn at on this surface; with several
  // jobs they are loaded on worker threads from here on, while the texts are laid out (reading the
  // captions' metadata) and the cells are filled here in page order.
  // A page too small to hold an image box shows captions only.
  std::vector<ThumbnailPipeline::Request> requests;
  for (const CellPlace& cell : placed.cells) {
    const int32_t width = cell.picture.Right - cell.picture.Left;
    const int32_t height = cell.picture.Bottom - cell.picture.Top;
    if (width <= 0 || height <= 0) {
      requests.clear();
      break;
    }
    requests.push_back(
        {BaseFolder + FileList[static_cast<std::size_t>(cell.entry)], toPicture(width), toPicture(height), layout.fit});
  }
  const bool hasBoxes = !requests.empty();
  ThumbnailPipeline pictures(*services_.thumbnails, &Thumbnails, hasBoxes ? ThumbnailJobs : 1, DecodeBudget,
                             std::move(requests), drawing.keep);

  // Ratings as stars only in a typeface that draws them; a substitute may not.
  surface.SetFontHeight(captionHeight);
  const bool wantsStars = !captionFields.empty() || layout.captions != ClassicTemplate().captions;
  const bool stars = wantsStars && surface.HasCharacters("\xE2\x98\x85\xE2\x98\x86");

  // The page's texts first, headings and captions, so the whole page stands at once with its
  // cells still empty; the pictures follow as they arrive.
  int32_t frameInFolder = 0;
  std::string_view runFolder;
  auto heading = placed.headings.begin();
  for (const CellPlace& cell : placed.cells) {
    const std::string& entry = FileList[static_cast<std::size_t>(cell.entry)];
    for (; heading != placed.headings.end() && heading->entry == cell.entry; ++heading) {
      const std::string folder = HeadingText(entry, BaseFolder);
      surface.SetFontHeight(classic ? m.pageNumberHeight : m.headingHeight);
      ShrinkToFit(surface, folder, heading->width);
      surface.TextOut(heading->x, heading->y, folder);
    }
    const int32_t textWidth = cell.captionWidth - m.sidePad;
    if (classic && layout.captions == ClassicTemplate().captions) {
      surface.SetFontHeight(captionHeight);
      const PairNote* pair = PairOf(entry);
      const std::string name = pair != nullptr && !pair->caption.empty() ? pair->caption : std::string(NamePart(entry));
      const std::string caption = FitCaption(surface, name, textWidth, readableCaption);
      surface.TextOut(cell.captionLeft + (cell.captionWidth - surface.TextWidth(caption)) / 2, cell.captionTop, caption);
      if (const std::string line = captionFields.empty() ? std::string() : CaptionLine(MetadataOf(entry), captionFields, stars);
          !line.empty()) {
        surface.SetFontHeight(captionHeight);
        const std::string fitted = FitCaption(surface, line, textWidth, readableCaption);
        surface.TextOut(cell.captionLeft + (cell.captionWidth - surface.TextWidth(fitted)) / 2,
                        cell.captionTop + captionHeight, fitted);
      }
      continue;
    }
    const std::string_view folder = FolderPart(entry);
    if (folder != runFolder) {
      runFolder = folder;
      frameInFolder = 1;
      for (int32_t i = cell.entry - 1; i >= 0 && FolderPart(FileList[static_cast<std::size_t>(i)]) == folder; --i) {
        ++frameInFolder;
      }
    } else {
      ++frameInFolder;
    }
    PictureFacts facts;
    facts.entry = entry;
    if (const PairNote* pair = PairOf(entry)) facts.shownName = pair->caption;
    facts.baseFolder = BaseFolder;
    facts.frame = cell.frame;
    facts.frameInFolder = frameInFolder;
    facts.metadata = &MetadataOf(entry);
    facts.stars = stars;
    std::vector<std::vector<std::string>> lines;
    for (const CaptionTemplate& caption : layout.captions) {
      lines.push_back(FillTemplatePieces(caption.text, [&](std::string_view field) { return PictureField(field, facts); }));
    }
    for (const CaptionRun& run : FitCaptionLines(surface, lines, layout.captions, captionHeight, textWidth)) {
      surface.SetFontHeight(run.height);
      DrawAligned(surface, run.text, cell.captionLeft + m.sidePad / 2, textWidth,
                  cell.captionTop + static_cast<int32_t>(run.line) * m.captionLineHeight, run.align);
    }
  }
  if (drawing.shown) drawing.shown();

  progress.ShowProgress(0);

  const int32_t first = placed.first;
  const int32_t last = placed.last;
  for (std::size_t k = 0; k < placed.cells.size(); ++k) {
    progress.BringToFront();
    pump.PumpMessages();
    if (!progress.Working()) break;
    const int32_t i = placed.cells[k].entry;

    if (hasBoxes) {
      const TRect& box = placed.cells[k].picture;
      const std::optional<CellPicture> picture = pictures.Take(k, [&] {
        pump.PumpMessages();
        return progress.Working();
      });
      if (!picture) break;
      if (!picture->pixels && !picture->problem.empty()) {
        const std::string& entry = FileList[static_cast<std::size_t>(i)];
        if (problemEntries_.insert(entry).second) problems_.push_back({entry, picture->problem});
        // Only the screen marks them: paper and saved pages leave the cell empty.
        if (MarkUnreadable && SurfaceDpi == 0) {
          DrawUnreadable(surface, box, captionHeight, *services_.canvases);
          if (drawing.shown) drawing.shown();
        }
      }
      if (picture->pixels) {
        const FittedImage& place = picture->place;
        TRect drawn;
        if (pictureDpi == SurfaceDpi) {
          drawn = Rect(box.Left + place.left, box.Top + place.top, box.Left + place.left + place.width,
                       box.Top + place.top + place.height);
          surface.Draw(drawn.Left, drawn.Top, *picture->pixels);
        } else {
          const int32_t left = box.Left + toSurface(place.left);
          const int32_t top = box.Top + toSurface(place.top);
          drawn = Rect(left, top, std::min(box.Right, left + toSurface(place.width)),
                       std::min(box.Bottom, top + toSurface(place.height)));
          surface.StretchDraw(drawn, *picture->pixels);
        }
        if (m.borderWidth > 0) DrawFrame(surface, drawn, m.borderWidth, layout.borderColor);
        if (const std::string& entry = FileList[static_cast<std::size_t>(i)]; IsClip(entry)) {
          if (const TPhotoMetadata& clip = MetadataOf(entry); clip.duration) {
            DrawBadge(surface, drawn, DurationText(*clip.duration), captionHeight, BadgeCorner::BottomRight);
          }
        }
        if (const PairNote* pair = PairOf(FileList[static_cast<std::size_t>(i)]); pair != nullptr && pair->live) {
          DrawBadge(surface, drawn, "LIVE", captionHeight, BadgeCorner::TopLeft);
        }
        if (drawing.shown) drawing.shown();
      }
    }
    progress.ShowProgress(last == first ? 100 : (i - first) * 100 / (last - first));
  }

  pump.PumpMessages();
  progress.HideProgress();
}

}  // namespace tablora
