#include <gtest/gtest.h>

#include <algorithm>

#include "sheet/contact_sheet.h"
#include "support/engine_rig.h"

namespace tablora {
namespace {

using Kind = test::RecordingSurface::Kind;

struct Sample : test::EngineRig {
  // The texts and pictures drawn on a 300 x 400 sample.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& op : canvases.OpsOnBitmapsOf(300, 400)) {
      if (op.kind == Kind::TextOut) texts.push_back(op.text);
    }
    return texts;
  }
  int Pictures() const {
    const auto ops = canvases.OpsOnBitmapsOf(300, 400);
    return static_cast<int>(std::count_if(ops.begin(), ops.end(), [](const auto& op) { return op.kind == Kind::Draw; }));
  }
  static bool Has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }
};

SheetTemplate Grid(int rows, int columns) {
  SheetTemplate layout;
  layout.name = "Small";
  layout.rows = rows;
  layout.columns = columns;
  return layout;
}

// Nothing built: one page of stand-ins in the layout's own grid, whatever the fields say; the
// sheet is left as it was.
TEST(RenderSample, StandInsFillOnePageOfTheLayoutsGrid) {
  Sample s;
  s.sheet.PageRect = Rect(1, 2, 3, 4);
  TBitmap page;
  page.SetSize(300, 400);
  EXPECT_EQ(s.sheet.RenderSample(Grid(3, 2), 1, page), 1);
  EXPECT_EQ(s.Pictures(), 6);
  const auto texts = s.Texts();
  EXPECT_TRUE(Sample::Has(texts, "IMG_0001.jpg"));
  EXPECT_TRUE(Sample::Has(texts, "IMG_0006.jpg"));
  EXPECT_FALSE(Sample::Has(texts, "IMG_0007.jpg"));
  EXPECT_TRUE(s.sheet.FileList.empty());
  EXPECT_EQ(s.sheet.PageCount, 0);
  EXPECT_EQ(s.sheet.Layout, ClassicTemplate());
  EXPECT_EQ(s.sheet.PageRect, Rect(1, 2, 3, 4));
  EXPECT_EQ(s.sheet.EffectiveTemplate().rows, kDefaultRows);
  EXPECT_TRUE(s.progress.progress.empty());
  EXPECT_EQ(s.progress.raised, 0);
}

// A built sheet shows its own files; a page past the last shows the last.
TEST(RenderSample, BuiltListKeepsItsPagesAndShowsTheLayouts) {
  Sample s;
  for (int i = 1; i <= 7; ++i) s.sheet.FileList.push_back("/P" + std::to_string(i) + ".jpg");
  for (int i = 1; i <= 7; ++i) s.loader.images["P" + std::to_string(i) + ".jpg"] = {40, 30};
  s.sheet.Paginate();
  const std::vector<int32_t> pages = s.sheet.PageEnds;
  TBitmap page;
  page.SetSize(300, 400);
  EXPECT_EQ(s.sheet.RenderSample(Grid(3, 2), 9, page), 2);
  EXPECT_EQ(s.Pictures(), 1);
  EXPECT_TRUE(Sample::Has(s.Texts(), "P7.jpg"));
  EXPECT_EQ(s.sheet.PageEnds, pages);
  EXPECT_EQ(s.sheet.FileList.size(), 7u);
}

}  // namespace
}  // namespace tablora
