#include "sheet/sheet_geometry.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "sheet/path_parts.h"
#include "sheet/sheet_settings.h"

namespace tablora {

namespace {

// Sizes of a template's texts that sets none, relative to its caption size.
constexpr double kDefaultCaptionPoints = 7.0;
constexpr double kHeadingScale = 1.5;
constexpr double kLineScale = 1.4;
constexpr double kLineSpacing = 1.25;  // a text line's height per pixel of font height
constexpr double kDefaultGutterMm = 4.0;
constexpr double kBandGapMm = 2.0;

int32_t Px(double millimetres, double pixelsPerMm) {
  return static_cast<int32_t>(std::lround(std::max(0.0, millimetres) * pixelsPerMm));
}

int32_t PointsToPx(double points, double pixelsPerMm) { return Px(points * 25.4 / 72.0, pixelsPerMm); }

}  // namespace

// One pass over a run of files in sheet order. It keeps two row positions: where pagination counts
// the page's rows to have reached (`counted`), and where the page draws them (`drawn`). They move
// by the same steps; they differ only where a Classic page has always counted differently from how
// it is drawn (below). Classic positions are in row heights from the top of the usable area, a
// heading half a row; other templates' in pixels from the top of the page.
class SheetGeometry::Walk {
 public:
  struct Steps {
    bool classic = true;
    double heading = 0.5;    // what a heading adds
    double row = 1.0;        // what a finished row of cells adds
    double rowHeight = 1.0;  // how much of that the row's cells take
    double top = 0.0;        // where a page's rows start
    double bottom = 0.0;     // Classic: Rows (rows start no lower); others: the grid's lower edge
  };

  Walk(const Steps& steps, int columns, bool headings, bool newPagePerFolder)
      : s_(steps), columns_(columns), headings_(headings), newPagePerFolder_(newPagePerFolder) {
    counted_ = s_.classic ? 0.0 : s_.top;
    StartPage();
  }

  // Called for each file in order: Heading(entry, drawn position before the heading) and Cell(entry,
  // column, drawn position) for what it places, Break(last entry) where pagination closes a page
  // (only with paginate). A page that breaks before a file starts again at that file.
  template <typename Visitor>
  void Step(const std::vector<std::string>& entries, int32_t i, bool paginate, Visitor& visit) {
    const std::string_view folder = headings_ || newPagePerFolder_ ? FolderPart(entries[Index(i)]) : std::string_view();
    const bool newFolder = folder != countedFolder_;
    if (paginate && newFolder && pageHasFiles_ && newPagePerFolder_) {
      visit.Break(i - 1);
      BreakBefore(folder);
    } else if (newFolder) {
      // Pagination's heading: the unfinished row is closed and the heading takes its space; a
      // page holding files must still have room for the heading's row, a page's first file always
      // stays.
      if (column_ > 0) counted_ += s_.row;
      if (headings_) counted_ += s_.heading;
      column_ = 0;
      countedFolder_ = folder;
      if (paginate && pageHasFiles_ && !RowFits(counted_)) {
        visit.Break(i - 1);
        BreakBefore(folder);
      }
    }
    if (folder != drawnFolder_ || !pageHasFiles_) {
      // The page draws a heading for every run of a folder's files, and for the first run on
      // each page, continued or not.
      if (drawnColumn_ > 0) drawn_ += s_.row;
      drawnColumn_ = 0;
      if (headings_) {
        visit.Heading(i, drawn_);
        drawn_ += s_.heading;
      }
      drawnFolder_ = folder;
    }
    visit.Cell(i, drawnColumn_, drawn_);
    pageHasFiles_ = true;
    if (++drawnColumn_ == columns_) {
      drawnColumn_ = 0;
      drawn_ += s_.row;
    }
    if (++column_ == columns_) {
      column_ = 0;
      counted_ += s_.row;
    }
    // A page closes after the file whose next row would not fit.
    if (paginate && !RowFits(counted_)) {
      visit.Break(i);
      StartPage();
      if (s_.classic) {
        // A Classic page closed this way counts from half a row: the heading at its top. When it
        // goes on with a new folder, that folder's heading is counted on top (the page may close
        // half a row early); the page draws it once.
        counted_ = ClassicPageTop();
      } else {
        // Others count that heading once: whatever folder comes next opens the page's heading.
        counted_ = s_.top;
        countedFolder_ = kNoFolder;
      }
    }
  }

 private:
  static std::size_t Index(int32_t i) { return static_cast<std::size_t>(i); }

  // Whether a row of cells starting at `position` fits on the page.
  bool RowFits(double position) const {
    if (s_.classic) return s_.bottom - 0.5 >= position;
    return position + s_.rowHeight <= s_.bottom + 0.5;
  }

  // Pagination's page before file i closes; the file's folder heading opens the next.
  void BreakBefore(std::string_view folder) {
    StartPage();
    counted_ = s_.classic ? ClassicPageTop() : s_.top + (headings_ ? s_.heading : 0.0);
    countedFolder_ = folder;
  }

  // Where pagination counts a later Classic page's rows from: the heading at its top.
  double ClassicPageTop() const { return headings_ ? 0.5 : 0.0; }

  void StartPage() {
    pageHasFiles_ = false;
    drawn_ = s_.top;
    drawnColumn_ = 0;
    drawnFolder_ = {};
    column_ = 0;
  }

  // No folder's name: every file's folder differs from it.
  static constexpr std::string_view kNoFolder = "\x01";

  Steps s_;
  int columns_;
  bool headings_;
  bool newPagePerFolder_;
  double counted_ = 0;
  int column_ = 0;
  std::string_view countedFolder_;
  bool pageHasFiles_ = false;
  double drawn_ = 0;
  int drawnColumn_ = 0;
  std::string_view drawnFolder_;
};

SheetGeometry::SheetGeometry(const SheetTemplate& layout, int captionLines, bool facing)
    : template_(layout), captionLines_(std::max(0, captionLines)), facing_(facing) {
  template_.rows = ClampGridSize(template_.rows);
  template_.columns = ClampGridSize(template_.columns);
}

SheetMetrics SheetGeometry::MetricsOf(const SheetPage& page, int32_t number) const {
  SheetMetrics m;
  const TRect& r = page.rect;
  const int32_t w0 = r.Right - r.Left;
  const int32_t h0 = r.Bottom - r.Top;
  if (template_.ClassicGeometry()) {
    const bool portrait = h0 > 0 && static_cast<double>(w0) / h0 < 1.0;
    const int32_t margin = portrait ? w0 / 20 : h0 / 20;
    m.content = Rect(r.Left + margin, r.Top + margin, r.Right - margin, r.Bottom - margin);
    const int32_t usableWidth = w0 - 2 * margin;
    const int32_t usableHeight = h0 - 2 * margin;
    m.rowHeight = usableHeight / (template_.rows + 1);
    m.columnWidth = usableWidth / template_.columns;
    m.topPad = m.rowHeight / 16;
    m.sidePad = m.columnWidth / 8;
    m.titleHeight = m.rowHeight / 2;
    m.captionHeight = m.titleHeight / 3;
    m.captionLineHeight = m.captionHeight;
    m.pageNumberHeight = 2 * m.captionHeight;
    m.headingHeight = m.pageNumberHeight;
    m.lineHeight = m.pageNumberHeight;
    m.borderWidth = Px(template_.border.Millimetres(), page.pixelsPerMm);
    return m;
  }
  const double s = page.pixelsPerMm > 0 ? page.pixelsPerMm : (w0 > 0 ? w0 / 210.0 : 1.0);
  // Inside and outside margins change sides on the even (left-hand) pages of facing pages.
  const PageMargins margins = template_.margins.value_or(PageMargins{Mm(10), Mm(10), Mm(10), Mm(10)});
  const bool mirrored = facing_ && number % 2 == 0;
  const int32_t left = Px((mirrored ? margins.outside : margins.inside).Millimetres(), s);
  const int32_t right = Px((mirrored ? margins.inside : margins.outside).Millimetres(), s);
  m.content = Rect(r.Left + left, r.Top + Px(margins.top.Millimetres(), s), r.Right - right,
                   r.Bottom - Px(margins.bottom.Millimetres(), s));
  const double captionPoints = template_.captionPoints.value_or(kDefaultCaptionPoints);
  m.captionHeight = std::max(1, PointsToPx(captionPoints, s));
  m.captionLineHeight = static_cast<int32_t>(std::lround(m.captionHeight * kLineSpacing));
  m.headingHeight = std::max(1, PointsToPx(captionPoints * kHeadingScale, s));
  m.lineHeight = std::max(1, PointsToPx(captionPoints * kLineScale, s));
  m.logoHeight = template_.logoFile.empty() ? 0 : Px(template_.logoHeight.Millimetres(), s);
  const int32_t gap = Px(kBandGapMm, s);
  // Without a header of its own the page has the title line's texts in the header's place.
  const bool hasHeader = !template_.header || !template_.header->Empty() || m.logoHeight > 0;
  m.headerTop = m.content.Top;
  m.sidePad = 0;
  m.topPad = hasHeader ? std::max(m.logoHeight, static_cast<int32_t>(std::lround(m.lineHeight * kLineSpacing))) + gap : 0;
  const int32_t footer = template_.footer.Empty() ? 0 : static_cast<int32_t>(std::lround(m.lineHeight * kLineSpacing));
  m.footerTop = m.content.Bottom - footer;
  m.borderWidth = Px(template_.border.Millimetres(), s);
  // Captions take at most half of a cell: a sheet of small cells has smaller captions, the same
  // size in every cell of every page.
  const double gutter = Px(template_.gutterDown ? template_.gutterDown->Millimetres() : kDefaultGutterMm, s);
  const double cellHeight =
      template_.cellHeight ? Px(template_.cellHeight->Millimetres(), s)
                           : (m.footerTop - m.content.Top - m.topPad - (template_.rows - 1) * gutter) / template_.rows;
  const double block = static_cast<double>(captionLines_) * m.captionLineHeight;
  if (captionLines_ > 0 && block > cellHeight / 2 && cellHeight > 0) {
    m.captionHeight = std::max(1, static_cast<int32_t>(m.captionHeight * (cellHeight / 2) / block));
    m.captionLineHeight = static_cast<int32_t>(std::lround(m.captionHeight * kLineSpacing));
  }
  return m;
}

namespace {

// What the geometry of a non-Classic page needs beyond its metrics.
struct Grid {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int columns = 1;
  int32_t cellWidth = 0, cellHeight = 0, gutterAcross = 0, gutterDown = 0, headingLine = 0;
};

Grid GridOf(const SheetTemplate& t, const SheetMetrics& m, double s) {
  Grid g;
  g.left = m.content.Left;
  g.right = m.content.Right;
  g.top = m.content.Top + m.topPad;
  g.bottom = m.footerTop - (m.footerTop < m.content.Bottom ? Px(kBandGapMm, s) : 0);
  g.gutterAcross = Px(t.gutterAcross ? t.gutterAcross->Millimetres() : kDefaultGutterMm, s);
  g.gutterDown = Px(t.gutterDown ? t.gutterDown->Millimetres() : kDefaultGutterMm, s);
  g.headingLine = t.folderHeadings ? static_cast<int32_t>(std::lround(m.headingHeight * kLineSpacing)) : 0;
  const int32_t width = std::max(0, g.right - g.left);
  const int32_t height = std::max(0, g.bottom - g.top);
  if (t.cellWidth) {
    g.cellWidth = std::max(1, Px(t.cellWidth->Millimetres(), s));
    g.columns = std::clamp<int>((width + g.gutterAcross) / (g.cellWidth + g.gutterAcross), 1, kMaxGridSize);
  } else {
    g.columns = t.columns;
    g.cellWidth = std::max(1, (width - (g.columns - 1) * g.gutterAcross) / g.columns);
  }
  if (t.cellHeight) {
    g.cellHeight = std::max(1, Px(t.cellHeight->Millimetres(), s));
  } else {
    // Rows x columns fit a page that opens with a folder heading.
    g.cellHeight = std::max(1, (height - g.headingLine - (t.rows - 1) * g.gutterDown) / t.rows);
  }
  return g;
}

}  // namespace

std::vector<int32_t> SheetGeometry::Paginate(const std::vector<std::string>& entries, const SheetPage& page) const {
  std::vector<int32_t> pageEnds;
  const auto n = static_cast<int32_t>(entries.size());
  if (n == 0) return pageEnds;
  Walk::Steps steps;
  int columns = template_.columns;
  if (template_.ClassicGeometry()) {
    steps.bottom = template_.rows;
    steps.top = 0.5;
  } else {
    const SheetMetrics m = MetricsOf(page, 1);
    const Grid g = GridOf(template_, m, page.pixelsPerMm);
    steps = {false, static_cast<double>(g.headingLine), static_cast<double>(g.cellHeight + g.gutterDown),
             static_cast<double>(g.cellHeight), static_cast<double>(g.top), static_cast<double>(g.bottom)};
    columns = g.columns;
  }
  struct {
    std::vector<int32_t>& ends;
    void Break(int32_t last) { ends.push_back(last); }
    void Heading(int32_t, double) {}
    void Cell(int32_t, int, double) {}
  } visit{pageEnds};
  Walk walk(steps, columns, template_.folderHeadings, template_.newPagePerFolder);
  for (int32_t i = 0; i < n; ++i) walk.Step(entries, i, true, visit);
  // The last file closes the last page, unless the rows closed it there already.
  if (pageEnds.empty() || pageEnds.back() != n - 1) pageEnds.push_back(n - 1);
  return pageEnds;
}

PageLayout SheetGeometry::LayOut(const std::vector<std::string>& entries, const std::vector<int32_t>& pageEnds,
                                 int32_t number, const SheetPage& page) const {
  PageLayout layout;
  layout.metrics = MetricsOf(page, number);
  const SheetMetrics& m = layout.metrics;
  if (number < 1 || static_cast<std::size_t>(number) > pageEnds.size()) return layout;
  layout.first = number == 1 ? 0 : pageEnds[static_cast<std::size_t>(number) - 2] + 1;
  layout.last = pageEnds[static_cast<std::size_t>(number) - 1];
  const bool classic = template_.ClassicGeometry();

  Walk::Steps steps;
  Grid g;
  int columns = template_.columns;
  if (!classic) {
    g = GridOf(template_, m, page.pixelsPerMm);
    steps = {false, static_cast<double>(g.headingLine), static_cast<double>(g.cellHeight + g.gutterDown),
             static_cast<double>(g.cellHeight), static_cast<double>(g.top), static_cast<double>(g.bottom)};
    columns = g.columns;
  }
  // Classic: the image box stands above the name (and the second caption line).
  const int32_t headingBase = m.rowHeight - m.captionHeight - m.topPad;
  const int32_t classicBoxHeight = headingBase - (captionLines_ > 1 ? (captionLines_ - 1) * m.captionHeight : 0);
  const int32_t captionBlock = captionLines_ * m.captionLineHeight;

  struct Visitor {
    const SheetGeometry& geometry;
    PageLayout& layout;
    const Grid& g;
    bool classic;
    int columns;
    int32_t headingBase, classicBoxHeight, captionBlock;
    void Break(int32_t) {}
    void Heading(int32_t entry, double position) {
      const SheetMetrics& m = layout.metrics;
      HeadingPlace place;
      place.entry = entry;
      if (classic) {
        // The heading ends where the row below it begins, in the lower part of the row above.
        const int32_t y = static_cast<int32_t>(std::floor((position + 0.5 - 1.0) * m.rowHeight)) + m.topPad;
        place.x = m.content.Left + m.sidePad;
        place.y = m.content.Top + y + headingBase - m.captionHeight;
        place.width = (m.content.Right - m.content.Left) - 2 * m.sidePad;
      } else {
        place.x = g.left;
        place.y = static_cast<int32_t>(std::lround(position));
        place.width = g.right - g.left;
      }
      layout.headings.push_back(place);
    }
    void Cell(int32_t entry, int column, double position) {
      const SheetMetrics& m = layout.metrics;
      CellPlace place;
      place.entry = entry;
      place.frame = entry + 1;
      if (classic) {
        const int32_t x = m.content.Left + (column % columns) * m.columnWidth;
        const int32_t y = m.content.Top + static_cast<int32_t>(std::floor(m.rowHeight * position)) + m.topPad;
        const int32_t boxWidth = m.columnWidth - 2 * m.sidePad;
        place.cell = Rect(x, y, x + m.columnWidth, y + headingBase);
        place.picture = Rect(x + m.sidePad, y, x + m.sidePad + boxWidth, y + classicBoxHeight);
        place.captionTop = y + classicBoxHeight;
        place.captionLeft = x;
        place.captionWidth = m.columnWidth;
      } else {
        const int32_t x = g.left + column * (g.cellWidth + g.gutterAcross);
        const int32_t y = static_cast<int32_t>(std::lround(position));
        place.cell = Rect(x, y, x + g.cellWidth, y + g.cellHeight);
        place.picture = Rect(x, y, x + g.cellWidth, y + g.cellHeight - captionBlock);
        place.captionTop = y + g.cellHeight - captionBlock;
        place.captionLeft = x;
        place.captionWidth = g.cellWidth;
      }
      layout.cells.push_back(place);
    }
  } visit{*this, layout, g, classic, columns, headingBase, classicBoxHeight, captionBlock};

  // Classic rows are counted in row heights from the top of the usable area, the title row being
  // row 0: the first heading stands in the lower half of row 0, the first cells in row 1.
  if (classic) steps.top = template_.folderHeadings ? 0.5 : 1.0;
  Walk walk(steps, columns, template_.folderHeadings, false);
  for (int32_t i = layout.first; i <= layout.last; ++i) walk.Step(entries, i, false, visit);
  if (template_.order == CellOrder::DownThenAcross) {
    // Each run of one folder's files fills its rows column by column: the same places, handed out
    // down first.
    std::size_t runStart = 0;
    for (std::size_t k = 1; k <= layout.cells.size(); ++k) {
      const bool runEnds = k == layout.cells.size() ||
                           std::any_of(layout.headings.begin(), layout.headings.end(),
                                       [&](const HeadingPlace& h) { return h.entry == layout.cells[k].entry; });
      if (!runEnds) continue;
      const std::size_t count = k - runStart;
      const std::size_t rows = (count + static_cast<std::size_t>(columns) - 1) / static_cast<std::size_t>(columns);
      std::vector<CellPlace> places(layout.cells.begin() + static_cast<std::ptrdiff_t>(runStart),
                                    layout.cells.begin() + static_cast<std::ptrdiff_t>(k));
      for (std::size_t j = 0; j < count; ++j) {
        const std::size_t slot = (j % rows) * static_cast<std::size_t>(columns) + j / rows;
        CellPlace& target = layout.cells[runStart + j];
        const int32_t entry = target.entry;
        const int32_t frame = target.frame;
        // A slot past the run's last place lies in its last row: the place above it, one row down.
        const std::size_t above = slot < count ? slot : slot - static_cast<std::size_t>(columns);
        target = places[above];
        if (slot >= count) {
          const int32_t step = places.size() > static_cast<std::size_t>(columns)
                                   ? places[static_cast<std::size_t>(columns)].cell.Top - places[0].cell.Top
                                   : 0;
          target.cell.Top += step, target.cell.Bottom += step, target.picture.Top += step;
          target.picture.Bottom += step, target.captionTop += step;
        }
        target.entry = entry;
        target.frame = frame;
      }
      runStart = k;
    }
  }
  return layout;
}

}  // namespace tablora
