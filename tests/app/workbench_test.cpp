#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/preview_picker.h"
#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "platform/canvas_factory.h"
#include "platform/directory_search.h"
#include "sheet/picture_selection.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"
#include "support/window_rig.h"

namespace tablora {
namespace {

using Kind = test::RecordingSurface::Kind;

// The window over fakes, seven pictures in two folders built one to a page.
class Workbench : public ::testing::Test, public test::WindowRig {
 protected:
  static void SetUpTestSuite() { test::Application(); }

  Workbench() {
    services.selections = &selections;
    services.chooseFont = [](const QFont&) { return std::optional<QFont>(QFont("DejaVu Serif")); };
    Open();
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "S/d.bmp", "S/e.bmp", "S/f.bmp", "g.bmp"}) tree.File(name);
    main->show();
    main->SelectFolder(QString::fromStdString(tree.Path()));
    main->RowInput->SetValue(1);
    main->ColInput->SetValue(1);
    main->BuildBtn->click();
  }

  int ShownPages() const { return main->PreviewPageNumber->text().section(' ', -1).toInt(); }
  // The texts of the first page the printer drew.
  std::vector<std::string> Print() {
    printer.canvas.ops.clear();
    main->PrintBtn->click();
    std::vector<std::string> texts;
    for (const auto& op : printer.canvas.OpsOf(Kind::TextOut)) texts.push_back(op.text);
    return texts;
  }

  test::TempTree tree;
  test::TempTree data;
  SelectionStore selections{data.Path()};
};

// Whatever changed last, and however soon Print follows, the print dialog offers the pages the
// window shows and the pages carry what the fields say.
TEST_F(Workbench, PrintEqualsPreviewAfterEachKindOfChange) {
  ASSERT_EQ(ShownPages(), 7);
  const std::vector<std::function<void()>> changes = {
      [&] { main->TitleEdit->setText("Rome 2024"); },  // typed: still waiting when Print comes
      [&] { main->ColInput->SetValue(4); },
      [&] { main->RowInput->SetValue(2); },
      [&] { options->PrintPageNumBox->setChecked(false); },
      [&] { options->SetOrder(SortOrder::Natural); },
      [&] { main->Button2->click(); },  // a font
      [&] { main->TitleEdit->setText("Proofs"); },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    changes[i]();
    const std::vector<std::string> printed = Print();
    EXPECT_EQ(dialog.lastMax, ShownPages()) << "change " << i;
    EXPECT_NE(std::find(printed.begin(), printed.end(), main->TitleEdit->text().toStdString()), printed.end())
        << "change " << i;
  }
  // Typing waits a moment, then the preview follows without Update.
  const int before = ShownPages();
  main->ColInput->SetValue(1);
  EXPECT_EQ(ShownPages(), before);
  QTest::qWait(700);
  EXPECT_EQ(ShownPages(), 4);  // two rows of one
}

TEST_F(Workbench, ZoomFitsThePageItsWidthOrAScaleOfItsActualSize) {
  const QSize room = main->PreviewScroll->maximumViewportSize();
  EXPECT_EQ(main->Preview->size(), room);
  main->SetZoom(T_Main::ZoomMode::FitWidth);
  EXPECT_LE(main->Preview->width(), room.width());
  EXPECT_GE(main->Preview->width(), room.width() - main->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  EXPECT_NEAR(main->Preview->height(), main->Preview->width() * 6600 / 4800, 1);
  main->SetZoom(T_Main::ZoomMode::Scale, 1.0);
  // 100 %: the paper's size at the screen's resolution; the fake printer's page is 8 x 11 inches.
  EXPECT_NEAR(main->Preview->width(), 8 * main->logicalDpiX(), 2);
  EXPECT_NEAR(main->Preview->height(), 11 * main->logicalDpiY(), 2);
  main->ZoomBy(0.5);
  EXPECT_DOUBLE_EQ(main->ShownScale(), 0.5);
  main->SetZoom(T_Main::ZoomMode::FitPage);
  EXPECT_EQ(main->Preview->size(), room);
  main->ZoomBy(1.0);
  EXPECT_EQ(main->Zoom(), T_Main::ZoomMode::Scale);
  // Zooming starts from the scale shown: the page as large as it stood in the room.
  EXPECT_TRUE(std::abs(main->Preview->width() - room.width()) <= 1 ||
              std::abs(main->Preview->height() - room.height()) <= 1);
  // The page is drawn again at the new size, at the screen's device pixels.
  QTest::qWait(400);
  EXPECT_EQ(main->Preview->Picture().size(), QSize(main->Preview->Width(), main->Preview->Height()));
}

// Pictures picked with the mouse and left out with Delete are gone from the preview and the
// print alike, stay gone for the next build of the folder, and come back when asked.
TEST_F(Workbench, LeftOutPicturesAreAbsentFromThePrint) {
  const auto centreOf = [&](int index) {
    const TRect cell = main->Sheet().CellRect(index);
    const double ratio = main->Preview->Ratio();
    return QPoint(static_cast<int>((cell.Left + cell.Right) / 2 / ratio), static_cast<int>((cell.Top + cell.Bottom) / 2 / ratio));
  };
  main->RowInput->SetValue(2);
  main->ColInput->SetValue(2);
  main->Button3->click();
  ASSERT_EQ(main->Sheet().FileList[1], "/b.bmp");
  QTest::mouseClick(main->Preview, Qt::LeftButton, {}, centreOf(1));
  EXPECT_EQ(main->Picker->Picked(), (std::set<std::string>{"/b.bmp"}));
  QTest::mouseClick(main->Preview, Qt::LeftButton, Qt::ControlModifier, centreOf(2));
  EXPECT_EQ(main->Picker->Picked(), (std::set<std::string>{"/b.bmp", "/c.bmp"}));
  main->Preview->setFocus();
  main->Picker->LeaveOutPicked();
  const std::vector<std::string> printed = Print();
  for (const std::string& text : printed) {
    EXPECT_EQ(text.find("b.bmp"), std::string::npos);
    EXPECT_EQ(text.find("c.bmp"), std::string::npos);
  }
  EXPECT_NE(std::find(printed.begin(), printed.end(), "a.bmp"), printed.end());
  EXPECT_EQ(main->Sheet().FileList.size(), 5u);

  // Shown again, veiled, they are on the screen but not on paper.
  main->ShowLeftOut(true);
  EXPECT_EQ(main->Sheet().FileList.size(), 7u);
  const std::vector<std::string> shownAndPrinted = Print();
  EXPECT_EQ(std::find(shownAndPrinted.begin(), shownAndPrinted.end(), "b.bmp"), shownAndPrinted.end());
  main->ShowLeftOut(false);

  // The next build of the folder remembers them, in the store and not in the folder.
  main->BuildBtn->click();
  EXPECT_EQ(main->Sheet().FileList.size(), 5u);
  EXPECT_FALSE(std::filesystem::exists(tree.Root() / ".tablora"));
  main->Picker->BringBackAll();
  EXPECT_EQ(main->Sheet().FileList.size(), 7u);
}

// A picture dragged onto another moves in front of it within its folder.
TEST_F(Workbench, APictureDraggedMovesWithinItsFolder) {
  main->RowInput->SetValue(2);
  main->ColInput->SetValue(3);
  main->Button3->click();
  ASSERT_EQ(main->Sheet().FileList[0], "/a.bmp");
  main->Picker->Pick({"/c.bmp"});
  main->Picker->MovePickedBefore("/a.bmp");
  EXPECT_EQ(main->Sheet().FileList[0], "/c.bmp");
  EXPECT_EQ(main->Sheet().FileList[1], "/a.bmp");
}

TEST(WorkbenchProblems, UnreadablePicturesAreListedWithTheirReasons) {
  test::Application();
  test::TempTree tree;
  std::filesystem::copy_file(test::DataDir() / "bmp" / "rgb24.bmp", tree.Root() / "good.bmp");
  tree.File("empty.jpg");
  test::RealWindowRig rig;
  std::vector<std::pair<QString, QString>> listed;
  rig.services.showProblems = [&](QDialog& dialog) {
    auto* list = dialog.findChild<QTreeWidget*>("ProblemList");
    for (int i = 0; list != nullptr && i < list->topLevelItemCount(); ++i) {
      listed.emplace_back(list->topLevelItem(i)->text(0), list->topLevelItem(i)->text(1));
    }
  };
  T_Main& main = rig.Open();
  main.show();
  main.SelectFolder(QString::fromStdString(tree.Path()));
  main.BuildBtn->click();
  EXPECT_TRUE(main.ProblemsBtn->isVisible());
  EXPECT_EQ(main.ProblemsBtn->text(), "Problems (1)");
  main.ProblemsBtn->click();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].first, QString::fromStdString(tree.Path() + "/empty.jpg"));
  EXPECT_FALSE(listed[0].second.isEmpty());
  // The window marks the cell; its tooltip says why.
  EXPECT_NE(main.Picker->Describe("/empty.jpg").indexOf(listed[0].second), -1);
}

TEST(WorkbenchSavePage, APageIsSavedAsAPictureAtThreeHundredDpi) {
  test::Application();
  test::TempTree tree;
  for (const char* name : {"a.bmp", "b.bmp"}) {
    std::filesystem::copy_file(test::DataDir() / "bmp" / "rgb24.bmp", tree.Root() / name);
  }
  test::RealWindowRig rig;
  const QString saved = QString::fromStdString(tree.Path() + "/page");
  rig.services.choosePageFile = [&] { return saved; };
  T_Main& main = rig.Open();
  main.show();
  main.SelectFolder(QString::fromStdString(tree.Path()));
  main.BuildBtn->click();
  main.SavePageAs();
  // A name without an ending becomes a PNG picture.
  const QImage page(saved + ".png");
  ASSERT_FALSE(page.isNull());
  EXPECT_EQ(page.size(), QSize(2400, 3300));
  EXPECT_NEAR(page.dotsPerMeterX() * 0.0254, 300, 1);
  int dark = 0;
  for (int y = 0; y < page.height(); y += 4) {
    for (int x = 0; x < page.width(); x += 4) dark += qGray(page.pixel(x, y)) < 128;
  }
  EXPECT_GT(dark, 100);  // the title and the pictures are on it
  EXPECT_EQ(main.StatusLine->text(), "Saved to " + saved + ".png");
  EXPECT_EQ(main.PreviewPageNumber->text(), "Page 1 of 1");  // the preview is drawn again
}

}  // namespace
}  // namespace tablora
