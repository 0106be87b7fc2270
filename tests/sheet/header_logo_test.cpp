// The header's logo and the captions' metadata keys as the renderer draws them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/png_encoder.h"
#include "sheet/contact_sheet.h"
#include "sheet/sheet_logo.h"
#include "sheet/template_store.h"
#include "support/engine_rig.h"

namespace tablora {
namespace {

using Kind = test::RecordingSurface::Kind;

std::string Png(int width, int height, TColor color) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.SetPixelColor(x, y, color);
  }
  const std::vector<uint8_t> bytes = EncodePng(bitmap);
  return std::string(bytes.begin(), bytes.end());
}

constexpr TColor kRed = RGB(255, 0, 0);
constexpr TColor kBlue = RGB(0, 0, 255);

const char kSvg[] =
    "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 30 10'><rect width='30' height='10' fill='#0000ff'/></svg>";

// Sizes fitted into the box with the proportions kept; colours through; every file that cannot be
// a logo says why.
TEST(SheetLogo, LoadsPngAndSvgAndSaysWhyOthersFail) {
  test::TempTree tree;
  tree.File("logo.png", Png(40, 20, kRed));
  tree.File("logo.svg", kSvg);
  const std::string png = Png(40, 20, kRed);
  tree.File("cut.png", png.substr(0, png.size() - 30));
  std::string huge = Png(2, 2, kRed);
  huge[16] = 0x7F;  // IHDR width 0x7F000002
  tree.File("huge.png", huge);
  tree.File("notes.txt", "hello");
  tree.File("empty.svg", "<html></html>");
  tree.File("big.png", "");
  std::filesystem::resize_file(tree.Root() / "big.png", kLargestLogoBytes + 1);

  SheetLogo pngLogo(tree.Path() + "/logo.png");
  ASSERT_EQ(pngLogo.Problem(), "");
  const TBitmap* at = pngLogo.At(10, 100);
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(std::pair(at->Width(), at->Height()), std::pair(20, 10));
  EXPECT_EQ(at->PixelColor(10, 5), kRed);
  at = pngLogo.At(10, 15);  // too wide for its room: narrower and lower, 15 x 7.5
  EXPECT_EQ(std::pair(at->Width(), at->Height()), std::pair(15, 8));
  EXPECT_EQ(pngLogo.At(0, 15), nullptr);

  SheetLogo svgLogo(tree.Path() + "/logo.svg");
  ASSERT_EQ(svgLogo.Problem(), "");
  at = svgLogo.At(12, 100);
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(std::pair(at->Width(), at->Height()), std::pair(36, 12));
  EXPECT_EQ(at->PixelColor(18, 6), kBlue);

  const struct {
    const char* file;
    const char* why;
  } failures[] = {{"missing.png", ""},         {"cut.png", ": damaged"},
                  {"huge.png", ": too large"}, {"big.png", ": too large"},
                  {"notes.txt", ": not a PNG or SVG picture"}, {"empty.svg", ": damaged"}};
  for (const auto& f : failures) {
    const std::string path = tree.Path() + "/" + f.file;
    SheetLogo logo(path);
    EXPECT_EQ(logo.Problem(), "cannot read " + path + f.why);
    EXPECT_EQ(logo.At(10, 100), nullptr);
    SheetTemplate layout;
    layout.logoFile = path;
    EXPECT_EQ(TemplateProblems(layout, 210, 297),
              std::vector<std::string>{"text.logo.file: cannot read " + path + f.why});
  }
}

struct LogoSheet : test::EngineRig {
  LogoSheet() {
    layout.name = "Logo";
    layout.rows = 2;
    layout.columns = 2;
    layout.header = LineSlots{"{title}", "", "{page}"};
    layout.footer = LineSlots{"", "", ""};
    layout.logoHeight = Mm(10);
    sheet.Layout = layout;
    inputs.title = "Harbour";
    inputs.rows = 2;
    inputs.columns = 2;
  }

  test::RecordingSurface Draw(int page = 1) {
    sheet.Layout = layout;
    sheet.FileList = {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg", "/e.jpg"};
    sheet.BaseFolder = "/base";
    sheet.Paginate();
    const TRect frame = Rect(0, 0, 2100, 2970);
    sheet.PageRect = frame;
    sheet.OriginX = 0;
    sheet.OriginY = 0;
    test::RecordingSurface surface(frame);
    progress.Show();
    sheet.RenderPage(surface, page);
    return surface;
  }

  PageLayout Placed(int page) const {
    return sheet.Geometry().LayOut(sheet.FileList, sheet.PageEnds, page, sheet.PageOn(sheet.PageRect));
  }

  std::string Text(const test::RecordingSurface& surface, const std::string& text) const {
    for (const auto& op : surface.OpsOf(Kind::TextOut)) {
      if (op.text == text) return std::to_string(op.rect.Left) + "," + std::to_string(op.rect.Top);
    }
    return "none";
  }

  SheetTemplate layout;
};

// The logo at the left slot's place, as high as the geometry keeps the header, its text to its
// right; on the even page of facing pages both change sides. Pictures start below it.
TEST(HeaderLogo, StandsAtTheLeftSlotWithItsTextBesideIt) {
  test::TempTree tree;
  tree.File("logo.png", Png(300, 100, kRed));
  for (const bool facing : {false, true}) {
    SCOPED_TRACE(facing);
    LogoSheet s;
    s.options.facing = facing;
    s.layout.logoFile = tree.Path() + "/logo.png";
    for (const int page : {1, 2}) {
      const test::RecordingSurface surface = s.Draw(page);
      const SheetMetrics m = s.Placed(page).metrics;
      ASSERT_GT(m.logoHeight, m.lineHeight);
      const int32_t width = 3 * m.logoHeight;
      const auto draws = surface.OpsOf(Kind::Draw);
      ASSERT_EQ(draws.size(), 1u);
      const bool right = facing && page == 2;
      const int32_t left = right ? m.content.Right - width : m.content.Left;
      EXPECT_EQ(draws[0].rect, Rect(left, m.headerTop, left + width, m.headerTop + m.logoHeight));
      const int32_t titleWidth = 7 * m.lineHeight / 2;  // the recording surface's measure
      EXPECT_EQ(s.Text(surface, "Harbour"),
                std::to_string(right ? m.content.Right - width - m.lineHeight / 2 - titleWidth
                                     : m.content.Left + width + m.lineHeight / 2) +
                    "," + std::to_string(m.headerTop));
      for (const CellPlace& cell : s.Placed(page).cells) EXPECT_GE(cell.cell.Top, m.headerTop + m.logoHeight);
    }
  }
}

// Read once for the sheet: the file gone after the first page, the second still shows it. A logo
// that does not load leaves the header its text alone, where it would stand without one.
TEST(HeaderLogo, ReadOnceAndAMissingOneIsLeftOut) {
  test::TempTree tree;
  tree.File("logo.png", Png(30, 10, kRed));
  LogoSheet s;
  s.layout.logoFile = tree.Path() + "/logo.png";
  EXPECT_EQ(s.Draw(1).OpsOf(Kind::Draw).size(), 1u);
  std::filesystem::remove(tree.Root() / "logo.png");
  EXPECT_EQ(s.Draw(2).OpsOf(Kind::Draw).size(), 1u);

  LogoSheet missing;
  missing.layout.logoFile = tree.Path() + "/gone.png";
  const test::RecordingSurface surface = missing.Draw();
  EXPECT_TRUE(surface.OpsOf(Kind::Draw).empty());
  const SheetMetrics m = missing.Placed(1).metrics;
  EXPECT_EQ(missing.Text(surface, "Harbour"), std::to_string(m.content.Left) + "," + std::to_string(m.headerTop));
}

// Captions and the header show the keys they name, read with each picture's metadata; a layout
// that names none asks for none.
TEST(MetadataKeys, CaptionsAndHeaderShowTheKeysTheyName) {
  LogoSheet s;
  test::FakeMetadata metadata;
  s.sheet.Services().metadata = &metadata;
  metadata.byName["a.jpg"].byKey = {{"Exif.Image.Model", "Canon EOS R5"},
                                    {"Xmp.dc.creator", "Jane Doe, John Roe"},
                                    {"Iptc.Application2.City", "Genova"}};
  metadata.byName["b.jpg"].byKey = {{"Xmp.dc.creator", "Ann Poe"}};
  s.layout.captions = {{"{name}"}, {"{Exif.Image.Model} / {Xmp.dc.creator}"}};
  s.layout.header = LineSlots{"{title}", "{Iptc.Application2.City}", ""};
  const test::RecordingSurface surface = s.Draw();
  EXPECT_EQ(metadata.keysAsked,
            (std::vector<std::string>{"Exif.Image.Model", "Xmp.dc.creator", "Iptc.Application2.City"}));
  std::vector<std::string> texts;
  for (const auto& op : surface.OpsOf(Kind::TextOut)) texts.push_back(op.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Harbour", "Genova", "base", "a.jpg", "Canon EOS R5 / Jane Doe, John Roe",
                                             "b.jpg", "Ann Poe", "c.jpg", "d.jpg"}));

  LogoSheet plain;
  test::FakeMetadata none;
  plain.sheet.Services().metadata = &none;
  plain.layout.captions = {{"{name} {camera}"}};
  plain.Draw();
  EXPECT_GT(none.reads, 0);
  EXPECT_TRUE(none.keysAsked.empty());
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// A footer's {folder} names the page's folder by its path from the sheet's folder, which goes by
// its own name: an archive's page says where its pictures are.
TEST(PageFields, TheFolderOfAPageIsItsPathFromTheSheetsFolder) {
  LogoSheet s;
  s.layout.rows = 1;
  s.layout.columns = 1;
  s.inputs.rows = 1;
  s.inputs.columns = 1;
  s.layout.header = LineSlots{"", "", ""};
  s.layout.footer = LineSlots{"{folder}", "", "{page}/{pages}"};
  s.sheet.Layout = s.layout;
  s.sheet.FileList = {"/a.jpg", "/Day 2/b.jpg"};
  s.sheet.BaseFolder = "/photos/Rome 2024";
  s.sheet.Paginate();
  const auto footerOf = [&s](int page) {
    const TRect frame = Rect(0, 0, 2100, 2970);
    s.sheet.PageRect = frame;
    s.sheet.OriginX = 0;
    s.sheet.OriginY = 0;
    test::RecordingSurface surface(frame);
    s.progress.Show();
    s.sheet.RenderPage(surface, page);
    std::vector<std::string> texts;
    for (const auto& op : surface.OpsOf(Kind::TextOut)) texts.push_back(op.text);
    return texts;
  };
  const std::vector<std::string> first = footerOf(1);
  const std::vector<std::string> second = footerOf(2);
  EXPECT_NE(std::find(first.begin(), first.end(), "Rome 2024"), first.end());
  EXPECT_NE(std::find(second.begin(), second.end(), "Rome 2024/Day 2"), second.end());
}

}  // namespace
}  // namespace tablora
