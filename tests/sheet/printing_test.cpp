#include <gtest/gtest.h>

#include <stdexcept>

#include "imaging/exceptions.h"

#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"
#include "support/engine_rig.h"

namespace tablora {
namespace {

using Kind = test::RecordingSurface::Kind;

class FakeDialog : public PrintDialog {
 public:
  PrintChoice Execute(int minPage, int maxPage) override {
    ++shown;
    shownMin = minPage;
    shownMax = maxPage;
    if (onShow) onShow();
    return choice;
  }
  PrintChoice choice{true, prAllPages, 0, 0};
  int shown = 0;
  int shownMin = 0;
  int shownMax = 0;
  std::function<void()> onShow;
};

class FakeMessages : public MessageBox {
 public:
  void Show(const std::string& text, const std::string& caption, MessageIcon) override {
    texts.push_back(text);
    captions.push_back(caption);
  }
  std::vector<std::string> texts;
  std::vector<std::string> captions;
};

struct Printing : test::EngineRig {
  Printing() {
    // Rows 1, columns 1: one file per page, seven pages.
    inputs.rows = 1;
    inputs.columns = 1;
    sheet.FileList = {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg", "/e.jpg", "/f.jpg", "/g.jpg"};
    sheet.CurrentPage = 1;
  }
  void Print() { sheet.Print(dialog, messages); }
  // The page-number texts drawn on paper, in order.
  std::vector<std::string> PrintedPages() const {
    std::vector<std::string> pages;
    for (const auto& op : printer.canvas.OpsOf(Kind::TextOut)) {
      if (op.text.rfind("Page ", 0) == 0) pages.push_back(op.text);
    }
    return pages;
  }

  FakeDialog dialog;
  FakeMessages messages;
};

using Events = std::vector<std::string>;

TEST(Print, NothingBuiltShowsOnlyTheMessage) {
  Printing p;
  p.sheet.FileList.clear();
  p.Print();
  ASSERT_EQ(p.messages.texts.size(), 1u);
  EXPECT_EQ(p.messages.texts[0],
            "You need to build the archive first!\n\r\n\rSelect the folder to build the archive\n\r"
            "from, then click the Build button.");
  EXPECT_EQ(p.messages.captions[0], "Try again");
  EXPECT_TRUE(p.progress.events.empty());
  EXPECT_EQ(p.dialog.shown, 0);
  EXPECT_TRUE(p.printer.events.empty());
}

TEST(Print, AllPagesAsOneJob) {
  Printing p;
  p.Print();
  EXPECT_EQ(p.printer.title, "Tablora Print Task");  // no title and no folder
  EXPECT_EQ(p.dialog.shownMin, 1);
  EXPECT_EQ(p.dialog.shownMax, 7);
  EXPECT_EQ(p.printer.events, (Events{"BeginDoc", "NewPage", "NewPage", "NewPage", "NewPage",
                                      "NewPage", "NewPage", "EndDoc"}));
  EXPECT_EQ(p.PrintedPages().front(), "Page 1 of 7");
  EXPECT_EQ(p.PrintedPages().back(), "Page 7 of 7");
  EXPECT_EQ(p.sheet.PageRect, Rect(0, 0, 4800, 6600));
  EXPECT_FALSE(p.progress.visible);
}

// Pictures the window shows dimmed as left out are not printed, and the window's list comes back.
TEST(Print, LeftOutPicturesNeverReachPaper) {
  Printing p;
  p.sheet.ShowLeftOut = true;
  p.sheet.Selection.LeaveOut({"/b.jpg", "/f.jpg"});
  const std::vector<std::string> shown = p.sheet.FileList;
  p.Print();
  EXPECT_EQ(p.dialog.shownMax, 5);
  EXPECT_EQ(p.PrintedPages().size(), 5u);
  for (const auto& op : p.printer.canvas.OpsOf(Kind::TextOut)) {
    EXPECT_NE(op.text, "b.jpg");
    EXPECT_NE(op.text, "f.jpg");
  }
  EXPECT_EQ(p.sheet.FileList, shown);
  EXPECT_EQ(p.sheet.PageCount, 7);
}

TEST(Print, TitleNamesTheJobAndElseTheFolder) {
  Printing p;
  p.sheet.BaseFolder = "/home/ann/Pictures/Rome 2024";
  p.dialog.onShow = [&] { EXPECT_EQ(p.printer.title, "Rome 2024"); };  // named before the dialog
  p.Print();
  EXPECT_EQ(p.printer.title, "Rome 2024");
  p.dialog.onShow = nullptr;
  p.inputs.title = "Holiday";
  p.Print();
  EXPECT_EQ(p.printer.title, "Holiday");
  p.inputs.title = "";
  p.sheet.BaseFolder = "/";
  p.Print();
  EXPECT_EQ(p.printer.title, "Tablora Print Task");
}

TEST(Print, RangeKeepsTheSheetsPageCountInTheTexts) {
  Printing p;
  p.dialog.choice = {true, prPageNums, 2, 3};
  p.Print();
  EXPECT_EQ(p.PrintedPages(), (Events{"Page 2 of 7", "Page 3 of 7"}));
  EXPECT_EQ(p.printer.events, (Events{"BeginDoc", "NewPage", "EndDoc"}));
  // The window counts the pages of the job.
  EXPECT_EQ(p.progress.statuses, (Events{"Printing Page 1 of 2", "Printing Page 1 of 2", "Printing Page 2 of 2"}));
}

TEST(Print, SelectionPrintsThePageInThePreview) {
  Printing p;
  p.sheet.CurrentPage = 5;
  p.dialog.choice = {true, prSelection, 0, 0};
  p.Print();
  EXPECT_EQ(p.PrintedPages(), (Events{"Page 5 of 7"}));
  EXPECT_EQ(p.printer.events, (Events{"BeginDoc", "EndDoc"}));
}

TEST(Print, FirstAfterLastPrintsOnlyTheLast) {
  Printing p;
  p.dialog.choice = {true, prPageNums, 5, 3};
  p.Print();
  EXPECT_EQ(p.PrintedPages(), (Events{"Page 3 of 7"}));
}

// Images are reduced to 600 pixels per inch at most and scaled up to their boxes on a finer
// printer; the readable caption size follows the printer's inches too.
TEST(Print, PicturesAtMostSixHundredPixelsPerInch) {
  Printing p;
  p.loader.images["a.jpg"] = {4000, 1000};
  p.sheet.FileList = {"/a.jpg"};
  p.printer.resolution = 1200;
  p.Print();
  const auto draws = p.printer.canvas.OpsOf(Kind::StretchDraw);
  ASSERT_EQ(draws.size(), 1u);
  // The 4800 x 6600 page at 1 x 1: the box is 3240 wide; the picture 1620 x 405 pixels drawn
  // over 3240 x 810.
  EXPECT_EQ(draws[0].rect.Width(), 3240);
  EXPECT_EQ(draws[0].rect.Height(), 810);
  EXPECT_EQ(draws[0].bitmapWidth, 1620);
  EXPECT_EQ(draws[0].bitmapHeight, 405);
  EXPECT_EQ(p.sheet.SurfaceDpi, 0);  // the preview after it draws at screen pixels again
  p.printer.canvas.ops.clear();
  p.printer.resolution = 600;
  p.Print();
  EXPECT_TRUE(p.printer.canvas.OpsOf(Kind::StretchDraw).empty());
  EXPECT_EQ(p.printer.canvas.OpsOf(Kind::Draw).size(), 1u);
}

// A job draws each page once: its pictures are not kept, and the window's stay.
TEST(Print, PrintedPicturesAreNotKeptInMemory) {
  test::TempTree tree;
  tree.File("a.jpg");
  tree.File("b.jpg");
  Printing p;
  p.loader.images["a.jpg"] = {400, 300};
  p.loader.images["b.jpg"] = {400, 300};
  p.sheet.BaseFolder = tree.Path();
  p.sheet.FileList = {"/a.jpg", "/b.jpg"};
  p.sheet.Paginate();
  test::RecordingSurface surface;
  p.sheet.PageRect = Rect(0, 0, 200, 280);
  p.progress.Show();
  p.sheet.RenderPage(surface, 1);
  p.progress.Close();
  const uint64_t windowBytes = p.sheet.Thumbnails.Bytes();
  ASSERT_GT(windowBytes, 0u);
  p.Print();
  ASSERT_EQ(p.printer.canvas.OpsOf(Kind::Draw).size(), 2u);
  EXPECT_EQ(p.sheet.Thumbnails.Bytes(), windowBytes);
}

TEST(Print, DismissedDialogStartsNoJob) {
  Printing p;
  p.dialog.choice.accepted = false;
  p.Print();
  EXPECT_TRUE(p.printer.events.empty());
  // Nothing stood behind the dialog, and nothing is left.
  EXPECT_TRUE(p.progress.events.empty());
}

TEST(Print, CancelBeforeTheLastPageAbortsTheJob) {
  Printing p;
  // Pumps: one before pagination, then one per cell; cancel while page 2 is drawn.
  p.pump.onPump = [&](int n) {
    if (n == 4) p.progress.Cancel();
  };
  p.Print();
  EXPECT_EQ(p.printer.events, (Events{"BeginDoc", "NewPage", "NewPage", "Abort"}));
}

TEST(Print, CancelDuringTheLastPageStillEndsTheJob) {
  Printing p;
  p.dialog.choice = {true, prPageNums, 6, 7};
  p.pump.onPump = [&](int n) {
    if (n == 6) p.progress.Cancel();  // inside page 7's drawing
  };
  p.Print();
  EXPECT_EQ(p.printer.events, (Events{"BeginDoc", "NewPage", "EndDoc"}));
}

TEST(Print, FacingPagesFollowThePageNumberNotTheRange) {
  Printing p;
  p.options.facing = true;
  p.dialog.choice = {true, prPageNums, 2, 2};
  p.Print();
  const auto texts = p.printer.canvas.OpsOf(Kind::TextOut);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0].text, "Page 2 of 7");
  EXPECT_LT(texts[0].rect.Left, 4800 / 2);  // at the left on an even page
}

TEST(Print, SelectionBeyondARepaginatedSheetIsHeldToTheLastPage) {
  Printing p;
  p.sheet.CurrentPage = 7;
  p.inputs.columns = 7;  // now one page
  p.dialog.choice = {true, prSelection, 0, 0};
  p.Print();
  EXPECT_EQ(p.PrintedPages(), (Events{"Page 1 of 1"}));
}

TEST(Print, LayoutFollowsThePageTheDialogChose) {
  Printing p;
  // Landscape chosen in the dialog: the pages must be laid out on it, not on the page before.
  p.dialog.onShow = [&] { std::swap(p.printer.pageWidth, p.printer.pageHeight); };
  p.Print();
  EXPECT_EQ(p.sheet.PageRect, Rect(0, 0, 6600, 4800));
  EXPECT_EQ(p.dialog.shownMax, 7);
}

TEST(Print, PageSetPrintsExactlyItsPagesInOrder) {
  const std::vector<std::pair<std::vector<PageSpan>, Events>> cases = {
      {{{1, 1}, {3, 3}, {5, 7}}, {"Page 1 of 7", "Page 3 of 7", "Page 5 of 7", "Page 6 of 7", "Page 7 of 7"}},
      {{{6, 6}, {2, 2}}, {"Page 6 of 7", "Page 2 of 7"}},
      // Pages beyond the sheet are cut off; a range backwards prints its last page.
      {{{6, 9}, {12, 12}, {4, 3}}, {"Page 6 of 7", "Page 7 of 7", "Page 3 of 7"}},
  };
  for (const auto& [set, pages] : cases) {
    Printing p;
    p.dialog.choice = {true, prPageNums, set.front().from, set.back().to, set};
    p.Print();
    EXPECT_EQ(p.PrintedPages(), pages);
    EXPECT_EQ(p.printer.events.size(), pages.size() + 1);
  }
  Printing none;
  none.dialog.choice = {true, prPageNums, 8, 9, {{8, 9}}};
  none.Print();
  EXPECT_TRUE(none.printer.events.empty());
  EXPECT_FALSE(none.progress.visible);
}

// A printer that hands its jobs to a server: it waits in EndDoc and in the printer lookup through
// the handler, `waits` times each, and gives up as the handler says.
class HandingOverPrinter : public test::FakePrinter {
 public:
  void SetWaitHandler(PrintWaitHandler handler) override { wait = std::move(handler); }
  bool LookUpPrinters() override { return Wait("Looking for printers..."); }
  void EndDoc() override {
    if (!Wait("Sending to printer...")) throw EAbort();
    FakePrinter::EndDoc();
  }
  bool Wait(const std::string& status) {
    for (int i = 0; i < waits; ++i) {
      if (!wait(status)) return false;
    }
    return true;
  }
  PrintWaitHandler wait;
  int waits = 3;
};

TEST(Print, WaitsOnThePrintServerShowTheirStatusAndCancelGivesUp) {
  Printing p;
  HandingOverPrinter printer;
  SheetServices services = p.Services();
  services.printer = &printer;
  TContactSheet sheet{services};
  sheet.FileList = {"/a.jpg", "/b.jpg"};
  // Cancel while the last page is drawn: the job still goes, and can be withdrawn while it does.
  const auto cancelDuring = [&](const std::string& status) {
    p.pump.onPump = [&p, status](int) {
      if (p.progress.visible && p.progress.statuses.back() == status) p.progress.Cancel();
    };
  };
  cancelDuring("Printing Page 2 of 2");
  p.dialog.onShow = [&] { EXPECT_FALSE(p.progress.visible); };
  sheet.Print(p.dialog, p.messages);
  EXPECT_EQ(printer.events, (Events{"BeginDoc", "NewPage", "EndDoc"}));
  EXPECT_NE(std::find(p.progress.statuses.begin(), p.progress.statuses.end(), "Looking for printers..."),
            p.progress.statuses.end());
  EXPECT_EQ(p.progress.statuses.back(), "Sending to printer...");
  EXPECT_FALSE(p.progress.visible);
  EXPECT_FALSE(printer.wait);

  printer.events.clear();
  cancelDuring("Looking for printers...");
  sheet.Print(p.dialog, p.messages);
  EXPECT_TRUE(printer.events.empty());
  EXPECT_EQ(p.dialog.shown, 1);

  printer.events.clear();
  cancelDuring("Sending to printer...");
  EXPECT_THROW(sheet.Print(p.dialog, p.messages), EAbort);
  EXPECT_EQ(printer.events, (Events{"BeginDoc", "NewPage"}));
  EXPECT_FALSE(p.progress.visible);
}

class ThrowingCanvasPrinter : public test::FakePrinter {
 public:
  DrawingSurface& Canvas() override {
    surface.SetClipRect(Rect(0, 0, pageWidth, pageHeight));
    return surface;
  }
  class Surface : public test::RecordingSurface {
   public:
    void TextOut(int, int, const std::string&) override { throw std::runtime_error("printer gone"); }
  } surface;
};

TEST(Print, ErrorWhilePrintingAbortsOnceAndClosesTheDialog) {
  Printing p;
  ThrowingCanvasPrinter printer;
  SheetServices services = p.Services();
  services.printer = &printer;
  TContactSheet sheet{services};
  sheet.FileList = p.sheet.FileList;
  EXPECT_THROW(sheet.Print(p.dialog, p.messages), std::runtime_error);
  EXPECT_EQ(printer.events, (Events{"BeginDoc", "Abort"}));
  EXPECT_FALSE(p.progress.visible);
}

}  // namespace
}  // namespace tablora
