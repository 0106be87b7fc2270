#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/types.h"
#include "sheet/sheet_template.h"

namespace tablora {

// The page a sheet is laid out on: its rectangle in the surface's pixels, and how many of them
// make a millimetre of paper (for the template's lengths; 0 when the page has no known paper).
struct SheetPage {
  TRect rect;
  double pixelsPerMm = 0;
};

// Where one folder heading stands: its text's top-left corner and the width it may take.
struct HeadingPlace {
  int32_t entry = 0;  // the first file of the run it introduces
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
};

// Where one file stands: its cell, the box its picture is fitted into, and the top of its first
// caption line (the lines follow one caption line height apart, centred on the cell's text span).
struct CellPlace {
  int32_t entry = 0;
  int32_t frame = 0;  // 1-based number of the file within the sheet
  TRect cell;
  TRect picture;
  int32_t captionTop = 0;
  int32_t captionLeft = 0;   // the span the captions are aligned in
  int32_t captionWidth = 0;
};

// Lengths of a laid-out page, all in the surface's pixels.
struct SheetMetrics {
  // The area inside the margins.
  TRect content;
  // Classic: the title line's and the row's measures.
  int32_t rowHeight = 0;
  int32_t columnWidth = 0;
  int32_t topPad = 0;
  int32_t sidePad = 0;
  int32_t titleHeight = 0;
  int32_t pageNumberHeight = 0;
  // Font heights of captions, headings, header and footer.
  int32_t captionHeight = 0;
  int32_t captionLineHeight = 0;
  int32_t headingHeight = 0;
  int32_t lineHeight = 0;  // header and footer text
  int32_t logoHeight = 0;
  // The header's and footer's text lines (top edges); the grid between them.
  int32_t headerTop = 0;
  int32_t footerTop = 0;
  int32_t borderWidth = 0;
};

struct PageLayout {
  int32_t first = 0;
  int32_t last = -1;  // last < first: a page without files
  SheetMetrics metrics;
  std::vector<HeadingPlace> headings;
  std::vector<CellPlace> cells;
};

// The one place that decides where everything of a sheet stands: which files fall on which page
// (pagination) and where each heading, cell, picture box and text line of a page goes (the
// renderer, the preview and printing). A pure function of the template, the page and the list.
class SheetGeometry {
 public:
  // captionLines: the caption lines under each picture (the template's and the options' second
  // line); facing: whether inside and outside margins change sides on even pages.
  SheetGeometry(const SheetTemplate& layout, int captionLines, bool facing);

  // Per page, the index of its last file. Classic pages depend on rows and columns alone; the
  // others on the paper, given by `page`.
  std::vector<int32_t> Paginate(const std::vector<std::string>& entries, const SheetPage& page) const;
  // Where everything of page `number` (1-based) stands on `page`.
  PageLayout LayOut(const std::vector<std::string>& entries, const std::vector<int32_t>& pageEnds, int32_t number,
                    const SheetPage& page) const;

  const SheetTemplate& Template() const { return template_; }

 private:
  class Walk;
  SheetMetrics MetricsOf(const SheetPage& page, int32_t number) const;

  SheetTemplate template_;
  int captionLines_;
  bool facing_;
};

}  // namespace tablora
