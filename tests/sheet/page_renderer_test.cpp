#include <gtest/gtest.h>

#include <functional>

#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"
#include "support/engine_rig.h"

namespace tablora {
namespace {

using Kind = test::RecordingSurface::Kind;
using Op = test::RecordingSurface::Op;

struct Renderer : test::EngineRig {

  // Draws page `page` of `files` into a frame, the way the preview or the printer sets it up.
  test::RecordingSurface Draw(const std::vector<std::string>& files, TRect frame, int page = 1) {
    sheet.FileList = files;
    sheet.BaseFolder = "/base";
    sheet.Paginate();
    sheet.PageRect = frame;
    sheet.OriginX = frame.Left;
    sheet.OriginY = frame.Top;
    test::RecordingSurface surface(frame);
    surface.measure = measure;
    progress.Show();
    sheet.RenderPage(surface, page);
    return surface;
  }

  std::function<int(const std::string&, int)> measure;
};

std::vector<Op> Texts(const test::RecordingSurface& s) { return s.OpsOf(Kind::TextOut); }

TEST(RenderPage, PreviewWorkedExample) {
  Renderer r;
  r.inputs.title = "Holiday";
  r.loader.images["a.jpg"] = {100, 100};
  const auto surface = r.Draw({"/a.jpg"}, Rect(164, 0, 574, 563));
  EXPECT_EQ(r.sheet.OriginX, 184);
  EXPECT_EQ(r.sheet.OriginY, 20);

  const auto texts = Texts(surface);
  ASSERT_EQ(texts.size(), 4u);
  // Title at the left, at TitleHeight 23: x = 184 + SidePad 7, y = 20 + TopPad 2.
  EXPECT_EQ(texts[0].text, "Holiday");
  EXPECT_EQ(texts[0].fontHeight, 23);
  EXPECT_EQ(texts[0].rect.Left, 191);
  EXPECT_EQ(texts[0].rect.Top, 22);
  EXPECT_EQ(texts[0].color, clBlack);
  EXPECT_EQ(texts[0].font, "Tahoma");
  // Page number at the right, at PageNumberHeight 14.
  EXPECT_EQ(texts[1].text, "Page 1 of 1");
  EXPECT_EQ(texts[1].fontHeight, 14);
  EXPECT_EQ(texts[1].rect.Left, 184 + 370 - (11 * 14 / 2 + 7));
  EXPECT_EQ(texts[1].rect.Top, 22);
  // The first heading, of the base folder's own pictures, names it: top of its text at 53.
  EXPECT_EQ(texts[2].text, "base");
  EXPECT_EQ(texts[2].rect.Left, 191);
  EXPECT_EQ(texts[2].rect.Top, 53);
  EXPECT_EQ(texts[2].fontHeight, 14);
  // The caption under the first image box, centred on the 61-pixel column, at CaptionHeight 7.
  EXPECT_EQ(texts[3].text, "a.jpg");
  EXPECT_EQ(texts[3].fontHeight, 7);
  EXPECT_EQ(texts[3].rect.Left, 184 + (61 - 5 * 7 / 2) / 2);
  EXPECT_EQ(texts[3].rect.Top, 69 + 38);

  // The first image box: top 69, 47 x 38. A square image in a wider box: full height, centred
  // across, reduced to exactly the pixels it covers.
  EXPECT_TRUE(surface.OpsOf(Kind::StretchDraw).empty());
  const auto draws = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect, Rect(191 + 4, 69, 191 + 4 + 38, 69 + 38));
}

TEST(RenderPage, PrinterWorkedExample) {
  Renderer r;
  r.loader.images["a.jpg"] = {4000, 1000};
  const auto surface = r.Draw({"/a.jpg"}, Rect(0, 0, 4800, 6600));
  EXPECT_EQ(r.sheet.OriginX, 240);
  EXPECT_EQ(r.sheet.OriginY, 240);
  const auto texts = Texts(surface);
  ASSERT_EQ(texts.size(), 3u);  // no title: only page number, heading, caption
  EXPECT_EQ(texts[0].text, "Page 1 of 1");
  EXPECT_EQ(texts[0].fontHeight, 184);
  EXPECT_EQ(texts[0].rect.Top, 240 + 34);
  EXPECT_EQ(texts[1].rect.Left, 240 + 90);
  EXPECT_EQ(texts[1].rect.Top, 612);
  EXPECT_EQ(texts[2].fontHeight, 92);
  EXPECT_EQ(texts[2].rect.Top, 830 + 430);
  // The box at (330, 830), 540 x 430; a wide image fills its width at the printer's full
  // resolution: 540 * 1000 / 4000 = 135 high, centred down.
  const auto draws = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect, Rect(330, 830 + 147, 330 + 540, 830 + 147 + 135));
}

TEST(RenderPage, FacingPagesSwapTitleAndNumberOnEvenPages) {
  Renderer r;
  r.inputs.title = "T";
  r.inputs.rows = 1;
  r.inputs.columns = 1;
  r.options.facing = true;
  const std::vector<std::string> files = {"/a.jpg", "/b.jpg"};
  const auto odd = r.Draw(files, Rect(164, 0, 574, 563), 1);
  // One 370-pixel column: SidePad 46; RowHeight 261, so the title is 130 high.
  EXPECT_EQ(Texts(odd)[0].rect.Left, 184 + 46);
  const auto even = r.Draw(files, Rect(164, 0, 574, 563), 2);
  const auto texts = Texts(even);
  EXPECT_EQ(texts[0].text, "T");
  EXPECT_EQ(texts[0].rect.Left, 184 + 370 - 46 - 130 / 2);
  EXPECT_EQ(texts[1].text, "Page 2 of 2");
  EXPECT_EQ(texts[1].rect.Left, 184 + 46);
}

// Where each text of the title line lies, as the recording surface measures it.
TRect TextBox(const Op& op) {
  return Rect(op.rect.Left, op.rect.Top, op.rect.Left + static_cast<int>(op.text.size()) * op.fontHeight / 2,
              op.rect.Top + op.fontHeight);
}
bool Inside(const TRect& r, const TRect& frame) {
  return r.Left >= frame.Left && r.Top >= frame.Top && r.Right <= frame.Right && r.Bottom <= frame.Bottom;
}
bool Overlap(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

const std::string kLongTitle = "Family Archive 2023\u20132024 \u2014 \u00e9t\u00e9";  // 36 bytes

TEST(RenderPage, TitleLineStaysOnThePageBesideThePageNumber) {
  struct Case {
    const char* what;
    std::string title;
    int rows, columns;
    bool facing, numbers;
    int page;
    TRect frame;
    bool titleShown;
  };
  const TRect preview = Rect(164, 0, 574, 563);
  const Case cases[] = {
      {"long title", kLongTitle, 4, 3, false, true, 1, preview, true},
      {"facing even page", kLongTitle, 4, 3, true, true, 2, preview, true},
      {"printer page", kLongTitle, 4, 3, true, true, 1, Rect(0, 0, 4800, 6600), true},
      // The number alone is wider than the line at 1 x 1: it shrinks into half of it.
      {"1 x 1", kLongTitle, 1, 1, false, true, 1, preview, true},
      {"1 x 1 facing", "T", 1, 1, true, true, 2, preview, true},
      {"no page number", kLongTitle, 4, 3, true, false, 2, preview, true},
      {"empty title", "", 4, 3, true, true, 2, preview, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Renderer r;
    r.inputs.title = c.title;
    r.inputs.rows = c.rows;
    r.inputs.columns = c.columns;
    r.options.facing = c.facing;
    r.options.pageNumbers = c.numbers;
    const auto texts = Texts(r.Draw(std::vector<std::string>(13, "/a.jpg"), c.frame, c.page));
    const Op* title = nullptr;
    const Op* number = nullptr;
    for (const Op& op : texts) {
      EXPECT_TRUE(Inside(TextBox(op), c.frame)) << op.text;
      if (!c.title.empty() && op.text == c.title) title = &op;
      if (op.text.rfind("Page ", 0) == 0) number = &op;
    }
    EXPECT_EQ(title != nullptr, c.titleShown);
    EXPECT_EQ(number != nullptr, c.numbers);
    if (title && number) {
      EXPECT_FALSE(Overlap(TextBox(*title), TextBox(*number)));
    }
  }
}

TEST(RenderPage, LongTitleShrinksOnePixelAtATimeAndTheNumberKeepsItsPlace) {
  Renderer r;
  r.inputs.title = kLongTitle;
  r.inputs.rows = 4;
  r.inputs.columns = 3;
  const auto texts = Texts(r.Draw(std::vector<std::string>(13, "/a.jpg"), Rect(164, 0, 574, 563)));
  // "Page 1 of 2" at 34 is 187 wide at 184 + 370 - 15 - 187. The title has 370 - 3 x 15 - 187 =
  // 138 pixels: 36 bytes fit at height 7 (126) but not at 8 (144).
  EXPECT_EQ(texts[0].text, kLongTitle);
  EXPECT_EQ(texts[0].fontHeight, 7);
  EXPECT_EQ(texts[0].rect.Left, 184 + 15);
  EXPECT_EQ(texts[0].rect.Top, 20 + 6);
  EXPECT_EQ(texts[1].fontHeight, 34);
  EXPECT_EQ(texts[1].rect.Left, 184 + 370 - 15 - 187);
}

TEST(RenderPage, PageTooNarrowForItsTextsClipsThemAtItsEdges) {
  Renderer r;
  r.inputs.title = "Holiday";
  // Even a one-pixel font is 1.5 pixels a character wide here.
  r.measure = [](const std::string& text, int height) {
    return static_cast<int>(text.size()) * (height + 2) / 2;
  };
  const TRect frame = Rect(100, 0, 108, 563);  // 8 wide: no margin, columns of 1 pixel
  const auto surface = r.Draw({"/a.jpg"}, frame);
  for (const Op& op : Texts(surface)) {
    EXPECT_LE(op.rect.Left + r.measure(op.text, op.fontHeight), frame.Right) << op.text;
    EXPECT_GE(op.rect.Left, frame.Left) << op.text;
    EXPECT_NE(op.text, "Holiday");  // the page number wins the line
  }
  // The number, 16 wide at height 1 from x 92, reaches the page through its visible 8 pixels.
  const auto parts = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(parts.size(), 2u);  // the number and the caption
  EXPECT_EQ(parts[0].rect, Rect(100, 3, 108, 4));
  const auto strip = r.canvases.OpsOnBitmapsOf(8, 1);
  ASSERT_EQ(strip.size(), 2u);
  EXPECT_EQ(strip[1].text, "Page 1 of 1");
  EXPECT_EQ(strip[1].rect.Left, -8);
  for (const Op& op : parts) EXPECT_TRUE(Inside(op.rect, frame));
}

TEST(RenderPage, PageNumbersOffLeavesTheTitle) {
  Renderer r;
  r.inputs.title = "T";
  r.options.pageNumbers = false;
  const auto texts = Texts(r.Draw({"/a.jpg"}, Rect(164, 0, 574, 563)));
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].text, "T");
  EXPECT_EQ(texts[1].text, "base");
}

TEST(RenderPage, TheBaseFoldersOwnHeadingNamesTheFolder) {
  struct Case {
    std::string base;
    std::string entry;
    std::string heading;
  };
  for (const Case& c : std::vector<Case>{{"/photos/Rome 2024", "/a.jpg", "Rome 2024"},
                                         {"/photos/Rome 2024//", "/a.jpg", "Rome 2024"},
                                         {"/", "/a.jpg", "/"},
                                         {"/photos/Rome 2024", "/Day 1/a.jpg", "/Day 1/"}}) {
    Renderer r;
    r.Draw({c.entry}, Rect(164, 0, 574, 563));
    r.sheet.BaseFolder = c.base;
    test::RecordingSurface surface(Rect(164, 0, 574, 563));
    r.sheet.RenderPage(surface, 1);
    EXPECT_EQ(Texts(surface)[1].text, c.heading) << c.base << c.entry;
  }
}

// The preview's worked example with pictures that cannot be read: each is listed once however
// often its page is drawn, with the reader's words; the window's mark is a crossed box of the
// picture box (47 x 38 at 191, 69) with "cannot read" at its middle.
TEST(RenderPage, UnreadablePicturesAreListedAndMarkedOnlyWhenAsked) {
  Renderer r;
  r.loader.images["bad.jpg"] = {100, 100, true};
  r.loader.images["good.jpg"] = {100, 100};
  const std::vector<std::string> files = {"/gone.jpg", "/bad.jpg", "/good.jpg"};
  auto surface = r.Draw(files, Rect(164, 0, 574, 563));
  EXPECT_EQ(r.sheet.Problems(),
            (std::vector<PictureProblem>{{"/gone.jpg", "cannot be read"}, {"/bad.jpg", "JPEG error #1"}}));
  for (const Op& text : Texts(surface)) EXPECT_NE(text.text, "cannot read");

  r.sheet.MarkUnreadable = true;
  surface = r.Draw(files, Rect(164, 0, 574, 563));
  EXPECT_EQ(r.sheet.Problems().size(), 2u);
  std::vector<Op> marks;
  for (const Op& text : Texts(surface)) {
    if (text.text == "cannot read") marks.push_back(text);
  }
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0].rect.Left, 191 + (47 - 11 * 7 / 2) / 2);
  EXPECT_EQ(marks[0].rect.Top, 69 + (38 - 7) / 2);
  EXPECT_EQ(marks[1].rect.Left, marks[0].rect.Left + 61);
  const auto draws = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 3u);  // two crosses, one picture
  EXPECT_EQ(draws[0].rect.Left, 191);
  EXPECT_EQ(draws[0].rect.Top, 69);
  EXPECT_EQ(draws[0].bitmapWidth, 47);
  EXPECT_EQ(draws[0].bitmapHeight, 38);
  int frame = 0;
  for (const Op& fill : surface.OpsOf(Kind::FillRect)) frame += fill.color == clGray;
  EXPECT_EQ(frame, 8);
}

TEST(RenderPage, LongNamesAreElidedAtTheReadableSizeAndHeadingsShrink) {
  Renderer r;
  const std::string longName(40, 'x');
  const std::string folder = "/" + std::string(200, 'f') + "/";
  const auto texts =
      Texts(r.Draw({"/" + longName + ".jpg", "/b.jpg", folder + "c.jpg"}, Rect(164, 0, 574, 563)));
  ASSERT_EQ(texts.size(), 6u);
  // The caption starts at 7 pixels, the readable least on screen: 44 characters would need 2.
  // What fits 61 - 7 = 54 pixels at 7 (15 bytes, the ellipsis is 3): 6 + ... + 6 characters.
  EXPECT_EQ(texts[2].fontHeight, 7);
  EXPECT_EQ(texts[2].text, "xxxxxx\xE2\x80\xA6xx.jpg");
  EXPECT_EQ(texts[3].text, "b.jpg");
  EXPECT_EQ(texts[3].fontHeight, 7);
  // 202 characters never fit 356 pixels above height 3: a heading still shrinks.
  EXPECT_EQ(texts[4].text, folder);
  EXPECT_EQ(texts[4].fontHeight, 3);
  r.inputs.columns = 30;  // columns of 12 pixels: SidePad 1, room for the ellipsis alone
  const auto tiny = Texts(r.Draw({"/" + longName + ".jpg"}, Rect(164, 0, 574, 563)));
  EXPECT_EQ(tiny.back().fontHeight, 7);
  EXPECT_EQ(tiny.back().text, "\xE2\x80\xA6");
}

// Captions shrink down to the readable size, then keep their start and end around an ellipsis;
// a cut never falls inside a character. Widths here: one pixel per character at height 2.
TEST(RenderPage, CaptionsShrinkToTheReadableSizeThenElideInTheMiddle) {
  test::RecordingSurface surface;
  surface.measure = [](const std::string& text, int height) {
    int characters = 0;
    for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return characters * height / 2;
  };
  const std::string name = "IMG_2024_0612_wedding_final.jpg";  // 31 characters
  struct Case {
    int start, readable, maxWidth;
    std::string name, shown;
    int height;
  };
  const std::vector<Case> cases = {
      {2, 2, 40, name, name, 2},                       // fits as it is
      {8, 2, 62, name, name, 4},                       // shrinks until it fits
      {8, 2, 19, name, "IMG_2024_\xE2\x80\xA6" "final.jpg", 2},  // 9 + ... + 9 at the floor
      {4, 4, 10, "caf\xC3\xA9_au_lait.jpg", "ca\xE2\x80\xA6pg", 4},  // whole characters only
      {4, 4, 18, "caf\xC3\xA9_au_lait.jpg", "caf\xC3\xA9\xE2\x80\xA6.jpg", 4},
      {2, 2, 4, "\xFF\xFE\xFD\xFC\xFB.png", "\xFF\xE2\x80\xA6ng", 2},  // bytes that are not UTF-8
  };
  for (const Case& c : cases) {
    surface.SetFontHeight(c.start);
    const std::string shown = FitCaption(surface, c.name, c.maxWidth, c.readable);
    EXPECT_EQ(shown, c.shown) << c.name << " in " << c.maxWidth;
    EXPECT_EQ(surface.FontHeight(), c.height) << c.name << " in " << c.maxWidth;
    EXPECT_LE(surface.TextWidth(shown), c.maxWidth) << c.name;
  }
}

// On paper the readable least is 6 points: 50 pixels at 600 dpi.
TEST(RenderPage, PaperCaptionsStopShrinkingAtSixPoints) {
  Renderer r;
  r.sheet.SurfaceDpi = 600;
  const auto texts = Texts(r.Draw({"/" + std::string(60, 'x') + ".jpg"}, Rect(0, 0, 4800, 6600)));
  EXPECT_EQ(texts.back().fontHeight, 50);
  EXPECT_NE(texts.back().text.find("\xE2\x80\xA6"), std::string::npos);
}

TEST(RenderPage, FailedLoadsKeepCaptionAndPlace) {
  Renderer r;
  r.loader.images["b.jpg"] = {10, 10};
  const auto surface = r.Draw({"/a.jpg", "/b.jpg"}, Rect(164, 0, 574, 563));
  const auto draws = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect.Left, 184 + 61 + 7 + (47 - 38) / 2);  // b stays in the second column
  EXPECT_EQ(Texts(surface).size(), 4u);
  EXPECT_EQ(r.loader.loaded[0], "/base/a.jpg");
}

TEST(RenderPage, ImageThatFailsWhenDrawnLeavesItsCellEmpty) {
  Renderer r;
  r.loader.images["a.jpg"] = {10, 10, true};
  r.loader.images["b.jpg"] = {10, 10};
  const auto surface = r.Draw({"/a.jpg", "/b.jpg"}, Rect(164, 0, 574, 563));
  const auto draws = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect.Left, 184 + 61 + 7 + (47 - 38) / 2);
  EXPECT_FALSE(r.progress.gaugeVisible);
}

TEST(RenderPage, ProgressRunsFromZeroToHundredAndHidesAfterwards) {
  Renderer r;
  r.Draw({"/a.jpg", "/b.jpg", "/c.jpg"}, Rect(164, 0, 574, 563));
  EXPECT_EQ(r.progress.progress, (std::vector<int>{0, 0, 50, 100}));
  EXPECT_FALSE(r.progress.gaugeVisible);
  EXPECT_EQ(r.progress.raised, 3);
  Renderer one;
  one.Draw({"/a.jpg"}, Rect(164, 0, 574, 563));
  EXPECT_EQ(one.progress.progress, (std::vector<int>{0, 100}));
}

TEST(RenderPage, CancelStopsAtTheNextCell) {
  Renderer r;
  r.pump.onPump = [&](int n) {
    if (n == 2) r.progress.Cancel();
  };
  const auto surface = r.Draw({"/a.jpg", "/b.jpg", "/c.jpg"}, Rect(164, 0, 574, 563));
  // The page's texts stand at once (page number, heading, three captions); only the first
  // cell's picture was loaded.
  EXPECT_EQ(Texts(surface).size(), 5u);
  EXPECT_EQ(r.loader.loaded.size(), 1u);
}

TEST(RenderPage, PageThatStartsInsideAFolderRepeatsItsHeading) {
  Renderer r;
  r.inputs.rows = 1;
  r.inputs.columns = 1;
  const auto texts = Texts(r.Draw({"/S/a.jpg", "/S/b.jpg"}, Rect(164, 0, 574, 563), 2));
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1].text, "/S/");
  EXPECT_EQ(texts[2].text, "b.jpg");
}

TEST(RenderPage, SquarePageUsesTheHeightForTheMargin) {
  Renderer r;
  r.Draw({"/a.jpg"}, Rect(0, 0, 1000, 1000));
  EXPECT_EQ(r.sheet.OriginX, 50);
  Renderer landscape;
  landscape.Draw({"/a.jpg"}, Rect(0, 0, 6600, 4800));
  EXPECT_EQ(landscape.sheet.OriginX, 240);
}

TEST(RenderPage, ZeroRowsAndColumnsAreClamped) {
  Renderer r;
  r.inputs.rows = 0;
  r.inputs.columns = 0;
  r.loader.images["a.jpg"] = {10, 10};
  const auto surface = r.Draw({"/a.jpg"}, Rect(164, 0, 574, 563));
  EXPECT_EQ(surface.OpsOf(Kind::Draw).size(), 1u);
}

TEST(RenderPage, ImageAsProportionedAsTheBoxFillsIt) {
  Renderer r;
  r.loader.images["a.jpg"] = {47, 38};
  const auto draws = r.Draw({"/a.jpg"}, Rect(164, 0, 574, 563)).OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect, Rect(191, 69, 191 + 47, 69 + 38));
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// The shooting data under the name, centred in the same font, the picture's box a caption line
// shorter; stars only where the typeface has them; a picture without data has no second line.
TEST(RenderPage, SecondCaptionLineOfShootingData) {
  for (const bool stars : {true, false}) {
    Renderer r;
    test::FakeMetadata metadata;
    r.sheet.Services().metadata = &metadata;
    TPhotoMetadata& m = metadata.byName["a.jpg"];
    m.dateTaken = "2024-06-01 14:03:27";
    m.rating = 4;
    r.options.captionFields = {CaptionField::Rating, CaptionField::Date};
    r.inputs.columns = 1;
    r.loader.images["a.jpg"] = {100, 100};
    r.sheet.FileList = {"/a.jpg", "/b.jpg"};
    r.sheet.BaseFolder = "/base";
    r.sheet.Paginate();
    const TRect frame = Rect(164, 0, 574, 563);
    r.sheet.PageRect = frame;
    r.sheet.OriginX = frame.Left;
    r.sheet.OriginY = frame.Top;
    test::RecordingSurface surface(frame);
    surface.hasStars = stars;
    r.progress.Show();
    r.sheet.RenderPage(surface, 1);

    const auto texts = Texts(surface);
    ASSERT_EQ(texts.size(), 5u);  // page number, heading, a.jpg, its line, b.jpg
    const std::string line = stars ? "\u2605\u2605\u2605\u2605\u2606  2024-06-01 14:03" : "4/5  2024-06-01 14:03";
    EXPECT_EQ(texts[2].text, "a.jpg");
    EXPECT_EQ(texts[3].text, line);
    EXPECT_EQ(texts[3].fontHeight, 7);
    EXPECT_EQ(texts[3].rect.Top, texts[2].rect.Top + 7);
    EXPECT_EQ(texts[3].rect.Left, 184 + (370 - static_cast<int>(line.size()) * 7 / 2) / 2);
    EXPECT_EQ(texts[4].text, "b.jpg");
    const auto draws = surface.OpsOf(Kind::Draw);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].rect.Bottom, texts[2].rect.Top);  // the box ends where the name begins
    EXPECT_EQ(draws[0].rect.Bottom - draws[0].rect.Top, 38 - 7);
  }
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// Template captions at one size: widths here are half the font height per byte, 10 at height 20
// (the ellipsis is 3 bytes).
TEST(RenderPage, TemplateCaptionsWrapOntoAFreeLineThenLoseWholeFields) {
  test::RecordingSurface surface;
  const std::vector<CaptionTemplate> two = {{"{frame}  {name}"}, {"{date}  {exposure}"}};
  struct Case {
    const char* what;
    std::vector<std::vector<std::string>> lines;
    int width;
    std::vector<std::pair<std::size_t, std::string>> shown;
  };
  const std::vector<Case> cases = {
      {"fits", {{"7", "  IMG_1.JPG"}, {"2024-06-01 14:03", "  1/250 s"}}, 260,
       {{0, "7  IMG_1.JPG"}, {1, "2024-06-01 14:03  1/250 s"}}},
      // The second line has nothing to show: the name goes on there.
      {"wraps", {{"7", "  IMG_2024_0612.JPG"}, {}}, 190, {{0, "7"}, {1, "IMG_2024_0612.JPG"}}},
      // No free line: the exposure goes whole, never "1/2…".
      {"loses a field", {{"7", "  IMG_1.JPG"}, {"2024-06-01 14:03", "  1/250 s"}}, 200,
       {{0, "7  IMG_1.JPG"}, {1, "2024-06-01 14:03\xE2\x80\xA6"}}},
      // One field alone too long: shortened in its middle.
      {"one long field", {{"IMG_2024_0612_wedding_final.JPG"}}, 100, {{0, "IMG\xE2\x80\xA6.JPG"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::pair<std::size_t, std::string>> shown;
    for (const CaptionRun& run : FitCaptionLines(surface, c.lines, two, 20, c.width)) {
      EXPECT_EQ(run.height, 20);
      EXPECT_LE(surface.TextWidth(run.text), c.width) << run.text;
      shown.emplace_back(run.line, run.text);
    }
    EXPECT_EQ(shown, c.shown);
  }
}

// A clip's duration in its picture's lower right corner, white on a dark plate; a picture whose
// reader reports no duration (a JPEG's never does) has none.
TEST(RenderPage, ClipsShowTheirDurationInTheirPicturesCorner) {
  Renderer r;
  test::FakeMetadata metadata;
  r.sheet.Services().metadata = &metadata;
  metadata.byName["clip.mp4"].duration = 62.4;
  metadata.byName["a.jpg"].duration = 5;
  r.loader.images["clip.mp4"] = {160, 120};
  r.loader.images["a.jpg"] = {160, 120};
  r.loader.images["still.mov"] = {160, 120};
  const auto surface = r.Draw({"/a.jpg", "/clip.mp4", "/still.mov"}, Rect(164, 0, 574, 563));
  const auto draws = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 3u);
  const TRect& picture = draws[1].rect;
  std::vector<Op> badges;
  for (const Op& text : Texts(surface)) {
    if (text.color == clWhite) badges.push_back(text);
  }
  ASSERT_EQ(badges.size(), 1u);
  // Caption height 7, a pad of 1 around the text and between the plate and the picture's edges.
  EXPECT_EQ(badges[0].text, "1:02");
  EXPECT_EQ(badges[0].fontHeight, 7);
  EXPECT_EQ(badges[0].rect.Left, picture.Right - 1 - 1 - 4 * 7 / 2);
  EXPECT_EQ(badges[0].rect.Top, picture.Bottom - 1 - 1 - 7);
  bool plate = false;
  for (const Op& fill : surface.OpsOf(Kind::FillRect)) {
    plate = plate || (fill.color == 0x282828 && fill.rect == Rect(picture.Right - 17, picture.Bottom - 10,
                                                                  picture.Right - 1, picture.Bottom - 1));
  }
  EXPECT_TRUE(plate);
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// A Live Photo's clip goes with its still, which carries "LIVE" in its picture's upper left corner;
// the same still without a clip beside it carries nothing.
TEST(RenderPage, LivePhotosAreMarkedOnTheirStill) {
  test::TempTree tree;
  for (const char* name : {"IMG_7.HEIC", "IMG_7.MOV", "IMG_8.HEIC"}) tree.File(name);
  Renderer r;
  r.inputs.folder = tree.Path();
  r.sheet.BuildFileList();
  ASSERT_EQ(r.sheet.FileList, (std::vector<std::string>{"/IMG_7.HEIC", "/IMG_8.HEIC"}));
  r.loader.images["IMG_7.HEIC"] = {160, 120};
  r.loader.images["IMG_8.HEIC"] = {160, 120};
  const TRect frame = Rect(164, 0, 574, 563);
  r.sheet.Paginate();
  r.sheet.PageRect = frame;
  r.sheet.OriginX = frame.Left;
  r.sheet.OriginY = frame.Top;
  test::RecordingSurface surface(frame);
  r.progress.Show();
  r.sheet.RenderPage(surface, 1);
  const auto draws = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 2u);
  std::vector<Op> badges;
  for (const Op& text : Texts(surface)) {
    if (text.color == clWhite) badges.push_back(text);
  }
  ASSERT_EQ(badges.size(), 1u);
  EXPECT_EQ(badges[0].text, "LIVE");
  EXPECT_EQ(badges[0].rect.Left, draws[0].rect.Left + 1 + 1);
  EXPECT_EQ(badges[0].rect.Top, draws[0].rect.Top + 1 + 1);
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// A clip filmed upright has a narrow picture: its badge is made smaller to fit half its width
// rather than left out.
TEST(RenderPage, NarrowClipsKeepASmallerBadge) {
  Renderer r;
  test::FakeMetadata metadata;
  r.sheet.Services().metadata = &metadata;
  metadata.byName["tall.mov"].duration = 7;
  r.loader.images["tall.mov"] = {60, 240};
  r.inputs.rows = 1;
  r.inputs.columns = 1;
  const auto surface = r.Draw({"/tall.mov"}, Rect(164, 0, 574, 563));
  const auto draws = surface.OpsOf(Kind::Draw);
  ASSERT_EQ(draws.size(), 1u);
  std::vector<Op> badges;
  for (const Op& text : Texts(surface)) {
    if (text.color == clWhite) badges.push_back(text);
  }
  ASSERT_EQ(badges.size(), 1u);
  EXPECT_EQ(badges[0].text, "0:07");
  EXPECT_GE(badges[0].fontHeight, 6);
  EXPECT_LE(badges[0].rect.Right - badges[0].rect.Left, (draws[0].rect.Right - draws[0].rect.Left) / 2);
  EXPECT_LT(badges[0].rect.Right, draws[0].rect.Right);
}

}  // namespace
}  // namespace tablora
