#include <gtest/gtest.h>

#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"
#include "support/engine_rig.h"

namespace tablora {
namespace {

using Kind = test::RecordingSurface::Kind;

struct Preview : test::EngineRig {
};

TEST(LayoutPreview, PortraitPageInTheDesignSizePreview) {
  Preview p;
  p.sheet.LayoutPreview();
  EXPECT_EQ(p.sheet.FrameWidth, 409);
  EXPECT_EQ(p.sheet.FrameHeight, 563);
  EXPECT_EQ(p.sheet.OriginX, 164);
  EXPECT_EQ(p.sheet.OriginY, 0);
  EXPECT_EQ(p.sheet.PageRect, Rect(164, 0, 574, 563));  // 410 wide: the odd leftover
  EXPECT_EQ(p.sheet.PreviewBitmap.Width(), 738);
  EXPECT_EQ(p.sheet.PreviewBitmap.Height(), 563);
  EXPECT_EQ(p.preview.label, "");  // the label names a page shown, and none is yet
  const auto fills = p.canvases.OpsOnBitmapsOf(738, 563);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].rect, Rect(0, 0, 738, 563));
  EXPECT_EQ(fills[0].color, 0x808080u);
  EXPECT_EQ(fills[1].rect, Rect(164, 0, 574, 563));
  EXPECT_EQ(fills[1].color, 0xFFFFFFu);
}

// The preview's page 164..574 x 0..563 at Classic 2 x 2: margin 20, rows 174 high (the title's,
// then a heading's half row), columns 185 wide, the first row's cells from y 20 + 174 + 10 and
// 174 - 29 - 10 high; the second row starts a row lower.
TEST(LayoutPreview, HitTestingFindsTheCellUnderThePoint) {
  Preview p;
  p.inputs.rows = 2;
  p.inputs.columns = 2;
  p.sheet.FileList = {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg", "/e.jpg", "/Day/f.jpg"};
  p.sheet.LayoutPreview();
  p.sheet.Paginate();
  ASSERT_EQ(p.sheet.PageEnds, (std::vector<int32_t>{3, 4, 5}));
  p.sheet.CurrentPage = 1;
  EXPECT_EQ(p.sheet.CellRect(0), Rect(184, 204, 369, 339));
  EXPECT_EQ(p.sheet.CellRect(1), Rect(369, 204, 554, 339));
  EXPECT_EQ(p.sheet.CellRect(3), Rect(369, 378, 554, 513));
  EXPECT_EQ(p.sheet.CellRect(4), TRect{});  // on page 2
  const struct {
    int32_t x, y, entry;
  } points[] = {
      {184, 204, 0}, {368, 338, 0}, {369, 204, 1}, {553, 210, 1}, {554, 210, -1},
      {184, 203, -1}, {184, 339, -1}, {200, 400, 2}, {5, 5, -1},
  };
  for (const auto& point : points) EXPECT_EQ(p.sheet.EntryAt(point.x, point.y), point.entry) << point.x << "," << point.y;
  p.sheet.CurrentPage = 3;
  EXPECT_EQ(p.sheet.EntryAt(200, 300), 5);
}

TEST(LayoutPreview, LandscapePageGetsBandsAboveAndBelow) {
  Preview p;
  p.printer.pageWidth = 6600;
  p.printer.pageHeight = 4800;
  p.sheet.LayoutPreview();
  EXPECT_EQ(p.sheet.FrameWidth, 738);
  EXPECT_EQ(p.sheet.FrameHeight, 536);
  EXPECT_EQ(p.sheet.PageRect, Rect(0, 13, 738, 550));  // 537 high
}

TEST(LayoutPreview, EqualAspectsFillThePreview) {
  Preview p;
  p.printer.pageWidth = 738 * 4;
  p.printer.pageHeight = 563 * 4;
  p.sheet.LayoutPreview();
  EXPECT_EQ(p.sheet.PageRect, Rect(0, 0, 738, 563));
}

TEST(LayoutPreview, PrinterWithoutAPageFallsBackToA4Proportions) {
  Preview p;
  p.printer.pageWidth = 0;
  p.printer.pageHeight = 0;
  p.sheet.LayoutPreview();
  EXPECT_EQ(p.sheet.FrameWidth, 210 * 563 / 297);
  EXPECT_EQ(p.sheet.OriginY, 0);
}

TEST(RefreshPreview, ShowsPageOneAfterABuildAndClampsThePage) {
  Preview p;
  p.sheet.FileList = {"/a.jpg", "/b.jpg", "/c.jpg"};
  p.inputs.rows = 1;
  p.inputs.columns = 1;
  p.sheet.CurrentPage = 1;
  p.sheet.RefreshPreview();
  EXPECT_EQ(p.sheet.PageCount, 3);
  EXPECT_EQ(p.preview.label, "Page 1 of 3");
  // The label changed once the page stood in the preview with its texts, not before.
  EXPECT_EQ(p.preview.shownAtLabel, 1);
  p.sheet.CurrentPage = 9;
  p.sheet.RefreshPreview();
  EXPECT_EQ(p.sheet.CurrentPage, 3);
  EXPECT_EQ(p.preview.label, "Page 3 of 3");
  p.sheet.CurrentPage = -2;
  p.sheet.RefreshPreview();
  EXPECT_EQ(p.sheet.CurrentPage, 1);
  EXPECT_EQ(p.preview.shown, 6);  // each page twice: with its cells empty, and filled
  EXPECT_FALSE(p.progress.visible);
  EXPECT_FALSE(p.progress.Working());
}

TEST(RefreshPreview, StatusesAndOrder) {
  Preview p;
  p.sheet.FileList = {"/a.jpg"};
  p.sheet.RefreshPreview();
  const std::vector<std::string> expected = {"show", "status:Calculating Pages", "repaint",
                                             "status:Please Wait", "hide-progress", "close"};
  EXPECT_EQ(p.progress.events, expected);
}

TEST(RefreshPreview, EmptySheetShowsOnlyTheFrame) {
  Preview p;
  p.sheet.CurrentPage = 1;
  p.sheet.RefreshPreview();
  EXPECT_EQ(p.sheet.CurrentPage, 0);
  EXPECT_EQ(p.preview.label, "Page 0 of 0");
  EXPECT_TRUE(p.progress.progress.empty());  // nothing rendered
  EXPECT_EQ(p.preview.shown, 1);
}

TEST(RefreshPreview, CancelBeforeDrawingLeavesTheWhiteFrame) {
  Preview p;
  p.sheet.FileList = {"/a.jpg"};
  p.pump.onPump = [&](int) { p.progress.Cancel(); };
  p.sheet.RefreshPreview();
  EXPECT_TRUE(p.progress.progress.empty());
  EXPECT_EQ(p.preview.label, "Page 1 of 1");
  EXPECT_EQ(p.preview.shown, 1);
}

TEST(RefreshPreview, ResizedPreviewIsLaidOutAtItsNewSize) {
  Preview p;
  p.sheet.RefreshPreview();
  p.preview.width = 1000;
  p.preview.height = 400;
  p.sheet.RefreshPreview();
  EXPECT_EQ(p.preview.shownWidth, 1000);
  EXPECT_EQ(p.preview.shownHeight, 400);
  EXPECT_EQ(p.sheet.FrameWidth, 4800 * 400 / 6600);
}

}  // namespace
}  // namespace tablora
