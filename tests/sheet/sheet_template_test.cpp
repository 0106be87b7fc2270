#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "sheet/caption_template.h"
#include "sheet/sheet_geometry.h"
#include "sheet/template_store.h"
#include "sheet/thumbnail_pipeline.h"
#include "support/sheet_fakes.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

// A4 at ten pixels a millimetre.
const SheetPage kA4{Rect(0, 0, 2100, 2970), 10.0};

SheetTemplate TwoByTwo() {
  SheetTemplate t;
  t.name = "Two by two";
  t.margins = PageMargins{Mm(10), Mm(10), Mm(10), Mm(10)};
  t.rows = 2;
  t.columns = 2;
  return t;
}

// Worked example, 7 pt captions (25 px, lines of 31), headings of 37 px (lines of 46), the header
// line 35 px (44 with its spacing) and a 2 mm gap: the grid spans 100..2000 across and 164..2870
// down; cells are (1900 - 40) / 2 = 930 wide and (2706 - 46 - 40) / 2 = 1310 high, 4 mm apart.
TEST(SheetGeometry, WorkedExampleOfATemplatedPage) {
  const std::vector<std::string> files = {"/a.jpg", "/b.jpg", "/c.jpg", "/S/d.jpg"};
  const SheetGeometry geometry(TwoByTwo(), 1, false);
  const std::vector<int32_t> ends = geometry.Paginate(files, kA4);
  // d's heading and row no longer fit under c's row.
  ASSERT_EQ(ends, (std::vector<int32_t>{2, 3}));
  const PageLayout page = geometry.LayOut(files, ends, 1, kA4);
  ASSERT_EQ(page.headings.size(), 1u);
  EXPECT_EQ(page.headings[0].y, 164);
  EXPECT_EQ(page.headings[0].width, 1900);
  ASSERT_EQ(page.cells.size(), 3u);
  EXPECT_EQ(page.cells[0].cell, Rect(100, 210, 1030, 1520));
  EXPECT_EQ(page.cells[0].picture, Rect(100, 210, 1030, 1489));
  EXPECT_EQ(page.cells[1].cell, Rect(1070, 210, 2000, 1520));
  EXPECT_EQ(page.cells[2].cell, Rect(100, 1560, 1030, 2870));
  const PageLayout second = geometry.LayOut(files, ends, 2, kA4);
  ASSERT_EQ(second.cells.size(), 1u);
  EXPECT_EQ(second.cells[0].cell.Top, 210);
  EXPECT_EQ(second.cells[0].frame, 4);
}

TEST(SheetGeometry, GridChoicesTable) {
  const std::vector<std::string> oneFolder = {"/a.jpg", "/b.jpg", "/c.jpg"};
  struct Case {
    const char* what;
    std::function<void(SheetTemplate&)> change;
    std::vector<std::string> files;
    std::vector<int32_t> ends;
    std::vector<std::pair<int32_t, int32_t>> firstPageTopLefts;
  };
  const std::vector<Case> cases = {
      // Down first: a and b fill the first column, c starts the second.
      {"down then across", [](SheetTemplate& t) { t.order = CellOrder::DownThenAcross; }, oneFolder, {2},
       {{100, 210}, {100, 1560}, {1070, 210}}},
      {"a page per folder", [](SheetTemplate& t) { t.newPagePerFolder = true; }, {"/a.jpg", "/S/b.jpg"}, {0, 1},
       {{100, 210}}},
      // Without headings the grid flows on across folders and starts at the grid's top.
      {"no headings", [](SheetTemplate& t) { t.folderHeadings = false; }, {"/a.jpg", "/S/b.jpg"}, {1},
       {{100, 164}, {1070, 164}}},
      // 60 mm cells: (1900 + 40) / (600 + 40) = 3 columns.
      {"cell size", [](SheetTemplate& t) { t.cellWidth = Mm(60), t.cellHeight = Mm(60); }, oneFolder, {2},
       {{100, 210}, {740, 210}, {1380, 210}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SheetTemplate t = TwoByTwo();
    c.change(t);
    const SheetGeometry geometry(t, 1, false);
    const std::vector<int32_t> ends = geometry.Paginate(c.files, kA4);
    EXPECT_EQ(ends, c.ends);
    const PageLayout page = geometry.LayOut(c.files, ends, 1, kA4);
    std::vector<std::pair<int32_t, int32_t>> corners;
    for (const CellPlace& cell : page.cells) corners.emplace_back(cell.cell.Left, cell.cell.Top);
    EXPECT_EQ(corners, c.firstPageTopLefts);
  }
}

TEST(SheetGeometry, FacingPagesMirrorInsideAndOutside) {
  SheetTemplate t = TwoByTwo();
  t.margins = PageMargins{Mm(10), Mm(10), Mm(25), Mm(5)};
  const SheetGeometry geometry(t, 1, true);
  const std::vector<std::string> files(12, "/a.jpg");
  const std::vector<int32_t> ends = geometry.Paginate(files, kA4);
  EXPECT_EQ(geometry.LayOut(files, ends, 1, kA4).metrics.content.Left, 250);
  EXPECT_EQ(geometry.LayOut(files, ends, 2, kA4).metrics.content.Left, 50);
}

TEST(CaptionTemplate, FieldsWithoutValueTakeTheirSeparatorAlong) {
  const std::map<std::string, std::string> values = {{"date", "2024-06-01 14:03"}, {"exposure", "1/250 s"}, {"iso", ""},
                                                     {"name", "IMG_1.JPG"}, {"frame", "7"}};
  const FieldValue value = [&](std::string_view field) -> std::optional<std::string> {
    const auto it = values.find(std::string(field));
    return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"{date}  {exposure}", "2024-06-01 14:03  1/250 s"},
      {"{iso}  {exposure}", "1/250 s"},
      {"{exposure}  ISO {iso}", "1/250 s"},
      {"ISO {iso}", ""},
      {"#{frame} {{{name}}}", "#7 {IMG_1.JPG}"},
      {"plain text", "plain text"},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(FillTemplate(text, value), want) << text;
  EXPECT_EQ(UnknownFields("{name} {nmae} {", value), (std::vector<std::string>{"{nmae}", "{"}));
}

TEST(CaptionTemplate, PictureFields) {
  TPhotoMetadata md;
  md.dateTaken = "2024-06-01 14:03:09";
  md.exposureNumerator = 1;
  md.exposureDenominator = 250;
  md.fNumber = 8.0;
  PictureFacts facts;
  facts.entry = "/Rome/IMG_0001.CR3";
  facts.baseFolder = "/photos/2024";
  facts.frame = 12;
  facts.frameInFolder = 3;
  facts.metadata = &md;
  facts.width = 6000;
  facts.height = 4000;
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"stem", "IMG_0001"}, {"ext", "CR3"}, {"folder", "Rome"}, {"path", "Rome/IMG_0001.CR3"},
      {"frame-in-folder", "3"}, {"date:%d.%m.%Y", "01.06.2024"}, {"time", "14:03"}, {"shutter", "1/250 s"},
      {"aperture", "f/8"}, {"size", "6000\xC3\x97" "4000"}, {"megapixels", "24.0 MP"}, {"format", "RAW"},
      {"lens", ""}, {"Exif.Photo.LensModel", ""},
  };
  for (const auto& [field, want] : cases) EXPECT_EQ(PictureField(field, facts), std::optional<std::string>(want)) << field;
  EXPECT_FALSE(PictureField("nmae", facts));
  // Keys by their exiv2 names, read with the metadata; a name not of that form is no field.
  md.byKey = {{"Exif.Image.Model", "Canon EOS R5"}, {"Xmp.xmp.Label", "Red"}};
  EXPECT_EQ(FillTemplate("{Exif.Image.Model} \xC2\xB7 {Xmp.dc.creator} \xC2\xB7 {label}",
                         [&](std::string_view field) { return PictureField(field, facts); }),
            "Canon EOS R5 \xC2\xB7 Red");
  EXPECT_FALSE(PictureField("Exif.Photo", facts));
  EXPECT_FALSE(PictureField("Exif.Image.Lens Model", facts));
  facts.entry = "/IMG_2.JPG";
  EXPECT_EQ(PictureField("folder", facts), std::optional<std::string>("2024"));
}

TEST(CaptionTemplate, VideoFields) {
  TPhotoMetadata clip;
  clip.duration = 3723.4;
  clip.frameRate = 30000.0 / 1001;
  clip.codec = "HEVC";
  const TPhotoMetadata photo;
  PictureFacts facts;
  facts.entry = "/IMG_0002.MOV";
  const std::vector<std::tuple<const TPhotoMetadata*, const char*, const char*>> cases = {
      {&clip, "duration", "1:02:03"}, {&clip, "fps", "29.97 fps"}, {&clip, "codec", "HEVC"},
      {&clip, "format", "Video"},     {&photo, "duration", ""},    {&photo, "fps", ""},
      {&photo, "codec", ""},
  };
  for (const auto& [metadata, field, want] : cases) {
    facts.metadata = metadata;
    EXPECT_EQ(PictureField(field, facts), std::optional<std::string>(want)) << field;
  }
  facts.metadata = &photo;
  EXPECT_EQ(FillTemplate("{name} ({duration}, {codec})", [&](std::string_view field) { return PictureField(field, facts); }),
            "IMG_0002.MOV");
}

TEST(TemplateFile, BuiltInsGoThroughTheirFilesUnchangedAndUnknownKeysStay) {
  for (const SheetTemplate& t : BuiltInTemplates()) {
    SheetTemplate back = TemplateFromJson(TemplateJson(t), t.name);
    back.json.clear();
    EXPECT_EQ(back, t) << t.name;
  }
  const std::string future = R"({"version": 1, "name": "Mine", "stamp": {"ink": "red"},
                                 "grid": {"rows": 3, "columns": 4, "spiral": true}})";
  const SheetTemplate mine = TemplateFromJson(future, "mine.json");
  EXPECT_EQ(mine.rows, 3);
  EXPECT_FALSE(mine.pairs);
  SheetTemplate raw = mine;
  raw.pairs = PairMode::Raw;
  EXPECT_EQ(TemplateFromJson(TemplateJson(raw), "raw.json").pairs, PairMode::Raw);
  const std::string written = TemplateJson(mine);
  EXPECT_NE(written.find("\"ink\": \"red\""), std::string::npos) << written;
  EXPECT_NE(written.find("\"spiral\": true"), std::string::npos) << written;
}

TEST(TemplateFile, BadFilesNameTheFileAndTheField) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{\"version\": 1, \"name\": \"x\",", "t.json: not a template file (unterminated object at byte 27)"},
      {"[1, 2]", "t.json: not a template file"},
      {R"({"name": "x"})", "t.json: version: missing: not a template file"},
      {R"({"version": 2, "name": "x"})", "t.json: version: made by a newer version of Tablora (version 2)"},
      {R"({"version": 1, "name": "x", "grid": {"rows": 0}})", "t.json: grid.rows: must be a whole number from 1 to 30"},
      {R"({"version": 1, "name": "x", "grid": {"cellWidth": "4mm"}})", "t.json: grid.cellWidth: cells must be at least 5 mm"},
      {R"({"version": 1, "name": "x", "grid": {"gutterDown": "3cm"}})", "t.json: grid.gutterDown: unknown unit \"cm\" (mm, in or pt)"},
      {R"({"version": 1, "name": "x", "page": {"margins": {"top": 5}}})", "t.json: page.margins.bottom: missing"},
      {R"({"version": 1, "name": "x", "text": {"captions": [{"text": "{nmae}"}]}})",
       "t.json: text.captions[0].text: unknown field {nmae}"},
      {R"({"version": 1, "name": "x", "text": {"footer": {"left": "{frame}"}}})", "t.json: text.footer.left: unknown field {frame}"},
      {R"({"version": 1, "name": "x", "picture": {"fit": "stretch"}})",
       "t.json: picture.fit: \"stretch\" is none of fit, fill or rotate"},
      {R"({"version": 1, "name": "x", "picture": {"pairs": "twice"}})",
       "t.json: picture.pairs: \"twice\" is none of once, both, raw or jpeg"},
      {R"({"version": 1, "name": "x", "page": {"background": "white"}})",
       "t.json: page.background: must be a colour such as \"#1a2b3c\""},
  };
  for (const auto& [json, message] : cases) {
    try {
      TemplateFromJson(json, "t.json");
      ADD_FAILURE() << json;
    } catch (const ETemplate& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
  // Keys are fields wherever pictures' metadata may show; a key's misspelt form is not.
  const SheetTemplate keyed = TemplateFromJson(
      R"({"version": 1, "name": "x", "text": {"captions": [{"text": "{Exif.Image.Model} {label}"}],
          "header": {"centre": "{Iptc.Application2.City}"}, "footer": {"left": "{Xmp.dc.creator}"}}})",
      "t.json");
  EXPECT_EQ(MetadataKeysOf(keyed), (std::vector<std::string>{"Exif.Image.Model", "Xmp.xmp.Label",
                                                            "Iptc.Application2.City", "Xmp.dc.creator"}));
  EXPECT_TRUE(MetadataKeysOf(ClassicTemplate()).empty());
  try {
    TemplateFromJson(R"({"version": 1, "name": "x", "text": {"captions": [{"text": "{Exif.Photo}"}]}})", "t.json");
    ADD_FAILURE();
  } catch (const ETemplate& e) {
    EXPECT_EQ(std::string(e.what()), "t.json: text.captions[0].text: unknown field {Exif.Photo}");
  }
  SheetTemplate wide = TwoByTwo();
  wide.margins = PageMargins{Mm(10), Mm(10), Mm(110), Mm(100)};
  wide.logoFile = "/nonexistent/logo.png";
  EXPECT_EQ(TemplateProblems(wide, 210, 297),
            (std::vector<std::string>{"page.margins: the inside and outside margins leave no room on the paper",
                                      "text.logo.file: cannot read /nonexistent/logo.png"}));
  EXPECT_TRUE(TemplateProblems(TwoByTwo(), 210, 297).empty());
  // What the layouts dialog can make but a file could not hold.
  SheetTemplate edited = TwoByTwo();
  edited.rows = 0;
  edited.cellHeight = Mm(4.9);
  edited.captions = {{"{name}"}, {"ISO {iso} {lense}"}};
  edited.footer.right = "{page} of {pges}";
  EXPECT_EQ(TemplateProblems(edited, 210, 297),
            (std::vector<std::string>{"grid.rows: must be a whole number from 1 to 30",
                                      "grid.cellHeight: cells must be at least 5 mm",
                                      "text.captions[1].text: unknown field {lense}",
                                      "text.footer.right: unknown field {pges}"}));
}

TEST(TemplateStore, SavesFindsRenamesAndRemovesTemplates) {
  test::TempTree tree;
  const TemplateStore store(tree.Path() + "/templates");
  EXPECT_EQ(store.LastUsed(), "Classic");
  SheetTemplate mine = TwoByTwo();
  mine.name = "Rome/2024";
  store.Save(mine);
  EXPECT_TRUE(fs::exists(tree.Root() / "templates" / "Rome_2024.json"));
  EXPECT_EQ(store.Find("Rome/2024").rows, 2);
  EXPECT_EQ(store.Find((tree.Root() / "templates" / "Rome_2024.json").string()).name, "Rome/2024");
  EXPECT_EQ(store.List().size(), BuiltInTemplates().size() + 1);
  store.Rename("Rome/2024", "Rome");
  EXPECT_FALSE(fs::exists(tree.Root() / "templates" / "Rome_2024.json"));
  EXPECT_EQ(store.Find("Rome").name, "Rome");
  store.SetLastUsed("Rome");
  EXPECT_EQ(store.LastUsed(), "Rome");
  EXPECT_THROW(store.Save(ClassicTemplate()), ETemplate);
  EXPECT_THROW(store.Remove("Film strip"), ETemplate);
  // A damaged file is left out of the list, said by Problems, and named when asked for.
  std::ofstream(tree.Root() / "templates" / "Broken.json") << "{\"version\": 1, \"name\": \"Broken\", \"grid\": 5}";
  EXPECT_EQ(store.List().size(), BuiltInTemplates().size() + 1);
  EXPECT_EQ(store.Problems(), (std::vector<std::string>{"Broken.json: grid: must be a group of settings"}));
  try {
    store.Find("Broken");
    ADD_FAILURE();
  } catch (const ETemplate& e) {
    EXPECT_STREQ(e.what(), "Broken.json: grid: must be a group of settings");
  }
  store.Remove("Rome");
  EXPECT_THROW(store.Find("Rome"), ETemplate);
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// Fit, fill and rotate of a 400 x 200 landscape picture and a 200 x 400 portrait one in a
// 100 x 150 portrait box: the reduced size, the crop and where the drawn picture lands.
TEST(PicturePlacement, FitFillAndRotate) {
  struct Case {
    const char* what;
    int32_t w, h;
    PictureFit fit;
    bool turn;
    FittedImage reduced, place;
  };
  const std::vector<Case> cases = {
      {"fit", 400, 200, PictureFit::Fit, false, {0, 0, 100, 50}, {0, 50, 100, 50}},
      {"fill crops the sides", 400, 200, PictureFit::Fill, false, {100, 0, 300, 150}, {0, 0, 100, 150}},
      {"fill crops top and bottom", 200, 800, PictureFit::Fill, false, {0, 125, 100, 400}, {0, 0, 100, 150}},
      {"rotate turns a landscape picture", 400, 200, PictureFit::Rotate, true, {0, 0, 150, 75}, {12, 0, 75, 150}},
      {"rotate leaves a portrait picture", 200, 400, PictureFit::Rotate, false, {0, 0, 75, 150}, {12, 0, 75, 150}},
      {"rotate leaves a square one", 300, 300, PictureFit::Rotate, false, {0, 0, 100, 100}, {0, 25, 100, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PicturePlacement p = PlaceInBox(c.w, c.h, 100, 150, c.fit);
    EXPECT_EQ(p.turn, c.turn);
    EXPECT_EQ(std::tie(p.reduced.left, p.reduced.top, p.reduced.width, p.reduced.height),
              std::tie(c.reduced.left, c.reduced.top, c.reduced.width, c.reduced.height));
    EXPECT_EQ(std::tie(p.place.left, p.place.top, p.place.width, p.place.height),
              std::tie(c.place.left, c.place.top, c.place.width, c.place.height));
    TBitmap reduced;
    reduced.SetPixelFormat(pf24bit);
    reduced.SetSize(p.reduced.width, p.reduced.height);
    // A red column at the left edge: turned clockwise it runs along the top.
    for (int y = 0; y < reduced.Height(); ++y) reduced.ScanLine(y)[2] = 255;
    const TBitmap drawn = FinishPicture(reduced, p);
    EXPECT_EQ(drawn.Width(), p.place.width);
    EXPECT_EQ(drawn.Height(), p.place.height);
    if (p.turn) {
      EXPECT_EQ(drawn.ScanLine(0)[drawn.Width() * 3 - 1], 255);
    }
  }
}

}  // namespace
}  // namespace tablora
