#include "sheet/sheet_template.h"

namespace tablora {

double TemplateLength::Millimetres() const {
  switch (unit) {
    case LengthUnit::Inch:
      return value * 25.4;
    case LengthUnit::Point:
      return value * 25.4 / 72.0;
    case LengthUnit::Millimetre:
      break;
  }
  return value;
}

TemplateLength Mm(double value) { return {value, LengthUnit::Millimetre}; }
TemplateLength Pt(double value) { return {value, LengthUnit::Point}; }

bool SheetTemplate::ClassicGeometry() const {
  return !margins && !cellWidth && !cellHeight && !gutterAcross && !gutterDown && !captionPoints && !header &&
         footer.Empty() && logoFile.empty();
}

SheetTemplate ClassicTemplate() { return SheetTemplate{}; }

std::vector<SheetTemplate> BuiltInTemplates() {
  SheetTemplate proof;
  proof.name = "Proof sheet";
  proof.margins = PageMargins{Mm(12), Mm(12), Mm(12), Mm(12)};
  proof.rows = 5;
  proof.columns = 4;
  proof.gutterAcross = Mm(5);
  proof.gutterDown = Mm(4);
  // The shooting data wraps onto the free third line of a narrow cell rather than losing the
  // exposure behind an ellipsis.
  proof.captions = {{"{frame}  {name}"}, {"{date}  {exposure}"}, {""}};
  proof.captionPoints = 7.5;
  proof.header = LineSlots{"{title}", "", "{page} / {pages}"};

  // Six strips of six 35 mm frames, black between them as on the negative, frame numbers beside
  // each picture in the rebate.
  SheetTemplate film;
  film.name = "Film strip";
  film.margins = PageMargins{Mm(10), Mm(10), Mm(8), Mm(8)};
  film.background = clBlack;
  film.textColor = RGB(0xF0, 0xB0, 0x30);
  film.rows = 6;
  film.columns = 6;
  film.gutterAcross = Mm(1.5);
  film.gutterDown = Mm(3);
  film.fit = PictureFit::Rotate;
  film.captions = {{"{frame}", TextAlign::Left}};
  film.captionPoints = 6;
  film.folderHeadings = false;
  film.header = LineSlots{"{title}", "", "{page}"};

  SheetTemplate archive;
  archive.name = "Archive index";
  archive.margins = PageMargins{Mm(10), Mm(12), Mm(15), Mm(10)};
  archive.rows = 12;
  archive.columns = 8;
  archive.gutterAcross = Mm(2);
  archive.gutterDown = Mm(2);
  archive.captionPoints = 5.5;
  archive.newPagePerFolder = true;
  archive.header = LineSlots{"{title}", "", "{page} / {pages}"};
  archive.footer = LineSlots{"{folder}", "", "{count}"};

  return {ClassicTemplate(), proof, film, archive};
}

}  // namespace tablora
