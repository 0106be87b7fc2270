#include "app/t_options.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "support/qt_application.h"

namespace tablora {
namespace {


class OptionsTest : public ::testing::Test {
 protected:
  OptionsTest() { test::Application(); }
};

TEST_F(OptionsTest, DefinitionAndStartValues) {
  T_Options options;
  EXPECT_EQ(options.windowTitle(), "Tablora Options");
  EXPECT_EQ(options.Label1->text(),
            "Printing facing pages causes Tablora to switch the position of the album title and "
            "page numbers every other page.  It will also switch the left and right margins.");
  EXPECT_EQ(options.PrintFacingBox->text(), "Print Facing Pages");
  EXPECT_EQ(options.PrintPageNumBox->text(), "Print Page Numbers");
  EXPECT_EQ(options.PrintFacingBox->geometry(), QRect(4, 48, 285, 17));
  EXPECT_EQ(options.PrintPageNumBox->geometry(), QRect(4, 68, 285, 17));
  EXPECT_EQ(options.Button1->text(), "Save");
  EXPECT_EQ(options.Button2->text(), "Cancel");
  EXPECT_EQ(options.Button1->geometry(), QRect(136, 200, 75, 25));
  EXPECT_EQ(options.Button2->geometry(), QRect(216, 200, 75, 25));
  EXPECT_TRUE(options.Button1->isDefault());
  EXPECT_FALSE(options.PrintFacing());
  EXPECT_TRUE(options.PrintPageNum());
}

TEST_F(OptionsTest, BothButtonsKeepWhatTheUserChecked) {
  T_Options options;
  QTimer::singleShot(0, [&] {
    options.PrintFacingBox->click();
    options.Button2->click();  // Cancel
  });
  EXPECT_EQ(options.exec(), QDialog::Rejected);
  EXPECT_TRUE(options.PrintFacing());

  QTimer::singleShot(0, [&] {
    options.PrintPageNumBox->click();
    options.Button1->click();  // Save
  });
  EXPECT_EQ(options.exec(), QDialog::Accepted);
  EXPECT_FALSE(options.PrintPageNum());
  EXPECT_TRUE(options.PrintFacing());
}

}  // namespace
}  // namespace tablora
