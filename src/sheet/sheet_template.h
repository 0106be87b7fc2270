#pragma once

#include <optional>
#include <string>
#include <vector>

#include "imaging/types.h"
#include "sheet/file_pairs.h"

namespace tablora {

// A length as the photographer wrote it: millimetres, inches or points.
enum class LengthUnit { Millimetre, Inch, Point };
struct TemplateLength {
  double value = 0;
  LengthUnit unit = LengthUnit::Millimetre;
  double Millimetres() const;
  bool operator==(const TemplateLength&) const = default;
};
TemplateLength Mm(double value);
TemplateLength Pt(double value);

// With facing pages, inside and outside change sides on even pages; without, inside is the left.
struct PageMargins {
  TemplateLength top, bottom, inside, outside;
  bool operator==(const PageMargins&) const = default;
};

enum class CellOrder { AcrossThenDown, DownThenAcross };
// Fit: the whole picture in its box. Fill: the box covered, the picture cropped about its centre.
// Rotate: as Fit, but a picture whose orientation differs from its box's is turned a quarter to fill
// more of it.
enum class PictureFit { Fit, Fill, Rotate };
enum class TextAlign { Left, Centre, Right };

// One line of text under each picture: literal text with fields ("{name}", "{date:%d.%m.%Y}").
struct CaptionTemplate {
  std::string text;
  TextAlign align = TextAlign::Centre;
  // Relative to the sheet's caption size: 1 is that size.
  double scale = 1.0;
  bool operator==(const CaptionTemplate&) const = default;
};

// The left, centre and right texts of the header or footer line, each a template of fields.
struct LineSlots {
  std::string left, centre, right;
  bool Empty() const { return left.empty() && centre.empty() && right.empty(); }
  bool operator==(const LineSlots&) const = default;
};

// A sheet's layout as data: the page, the grid, how pictures sit in their cells and what text goes
// where. The window, the command line and the saved settings all hand the engine one of these.
// Fields that are unset keep the program's first layout ("Classic"): sizes that follow from the
// number of rows and columns, a margin of a twentieth of the page's shorter side, the title line.
struct SheetTemplate {
  std::string name = "Classic";

  // Page.
  std::optional<PageMargins> margins;
  TColor background = clWhite;

  // Grid: rows x columns, or cells of a size from which they follow.
  int rows = 10;
  int columns = 6;
  std::optional<TemplateLength> cellWidth;
  std::optional<TemplateLength> cellHeight;
  std::optional<TemplateLength> gutterAcross;
  std::optional<TemplateLength> gutterDown;
  CellOrder order = CellOrder::AcrossThenDown;
  bool folderHeadings = true;
  bool newPagePerFolder = false;

  // Pictures.
  PictureFit fit = PictureFit::Fit;
  TemplateLength border;
  TColor borderColor = clBlack;
  // How a frame written as RAW and JPEG shows; unset: as the options say.
  std::optional<PairMode> pairs;

  // Text. Captions: the file name alone keeps the Classic caption (with the options' second line
  // of shooting data). captionPoints unset: the Classic size, a sixth of a row.
  std::vector<CaptionTemplate> captions = {{"{name}"}};
  std::optional<double> captionPoints;
  TColor textColor = clBlack;
  // Header unset: the Classic title line (title, "Page N of M"). With facing pages left and
  // right change places on even pages.
  std::optional<LineSlots> header;
  LineSlots footer;
  std::string logoFile;
  TemplateLength logoHeight = Mm(10);

  // The file the template was read from, whose keys this version does not know are written back.
  std::string json;

  bool operator==(const SheetTemplate&) const = default;

  // Whether the page is laid out as the program always did (margins, sizes and title line).
  bool ClassicGeometry() const;
};

// The built-in templates: "Classic" first (the default), "Proof sheet", "Film strip", "Archive
// index".
std::vector<SheetTemplate> BuiltInTemplates();
SheetTemplate ClassicTemplate();

}  // namespace tablora
