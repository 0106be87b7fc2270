#include "app/t_processing.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "imaging/exceptions.h"
#include "support/qt_application.h"

namespace tablora {
namespace {


class ProcessingTest : public ::testing::Test {
 protected:
  ProcessingTest() { test::Application(); }
};

TEST_F(ProcessingTest, DefinitionMatchesTheDialog) {
  T_Processing dialog;
  EXPECT_EQ(dialog.windowTitle(), "Working...");
  EXPECT_EQ(dialog.size(), QSize(251, 57));
  EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(dialog.Label1->text(), "Building File List");
  EXPECT_EQ(dialog.Label1->geometry(), QRect(0, 0, 249, 25));
  EXPECT_EQ(dialog.Gauge->geometry(), QRect(8, 16, 233, 12));
  EXPECT_EQ(dialog.Button1->geometry(), QRect(93, 32, 65, 25));
  EXPECT_EQ(dialog.Button1->text(), "Cancel");
  EXPECT_TRUE(dialog.Button1->isDefault());
  EXPECT_TRUE(dialog.Gauge->isHidden());
  EXPECT_FALSE(dialog.Working());
}

TEST_F(ProcessingTest, WorkingLifeCycle) {
  T_Processing dialog;
  dialog.Show();
  EXPECT_TRUE(dialog.Working());
  dialog.Button1->click();  // Cancel
  EXPECT_FALSE(dialog.Working());
  EXPECT_FALSE(dialog.isVisible());

  dialog.Show();
  EXPECT_TRUE(dialog.Working());
  dialog.close();  // the close box
  EXPECT_FALSE(dialog.Working());

  dialog.Show();
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.Working());

  dialog.Show();
  dialog.Close();  // the engine at the end of an operation
  EXPECT_FALSE(dialog.Working());
}

TEST_F(ProcessingTest, ShowingAVisibleWindowKeepsWorking) {
  T_Processing dialog;
  dialog.Show();
  dialog.Close();
  EXPECT_FALSE(dialog.Working());
  // Shown again while it is already up: FormShow does not run a second time.
  dialog.Show();
  dialog.Show();
  EXPECT_TRUE(dialog.Working());
}

TEST_F(ProcessingTest, StatusShowsTheSecondLine) {
  T_Processing dialog;
  dialog.ShowStatus("Building File List\n\r/Holiday/");
  EXPECT_EQ(dialog.Label1->text(), "Building File List\n/Holiday/");
  // A path too long for the window loses its middle, not its ends.
  dialog.ShowStatus("Building File List\n\r/Archive/2019/Client shoots/Wedding Smith-Jones/Selects/Prints/Final/");
  const QString shown = dialog.Label1->text().section('\n', 1);
  EXPECT_TRUE(shown.startsWith("/Archive/")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("/Final/")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
}

TEST_F(ProcessingTest, ProgressShowsAndHidesTheGauge) {
  T_Processing dialog;
  dialog.Show();
  dialog.ShowProgress(42);
  EXPECT_FALSE(dialog.Gauge->isHidden());
  EXPECT_EQ(dialog.Gauge->Progress(), 42);
  dialog.HideProgress();
  EXPECT_TRUE(dialog.Gauge->isHidden());
  EXPECT_EQ(dialog.Gauge->Progress(), 0);
  dialog.Close();
}

TEST_F(ProcessingTest, GaugeRefusesLimitsOutOfOrder) {
  TGauge gauge;
  try {
    gauge.SetMinValue(150);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Value must be between -2147483647 and 99");
  }
  try {
    gauge.SetMaxValue(-1);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Value must be between 1 and 2147483647");
  }
  gauge.SetMaxValue(50);
  gauge.SetProgress(80);
  EXPECT_EQ(gauge.Progress(), 50);
  EXPECT_EQ(gauge.PercentDone(), 100);
  gauge.SetMinValue(50);
  EXPECT_EQ(gauge.PercentDone(), 0);  // equal limits
}

TEST_F(ProcessingTest, GaugePercentTruncates) {
  TGauge gauge;
  gauge.SetMaxValue(3);
  gauge.SetProgress(2);
  EXPECT_EQ(gauge.PercentDone(), 66);
}

class GaugePaint : public ProcessingTest {
 protected:
  GaugePaint() {
    gauge.resize(161, 12);
    gauge.SetBackColor(QColor(255, 255, 255));
    gauge.SetForeColor(QColor(0, 0, 255));
  }
  QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
  TGauge gauge;
};

TEST_F(GaugePaint, BorderIsBlackAndZeroShowsOnlyBackground) {
  gauge.SetProgress(0);
  const QImage image = gauge.Render();
  for (int x = 0; x < 161; ++x) {
    EXPECT_EQ(At(image, x, 0), 0u);
    EXPECT_EQ(At(image, x, 11), 0u);
  }
  for (int y = 0; y < 12; ++y) {
    EXPECT_EQ(At(image, 0, y), 0u);
    EXPECT_EQ(At(image, 160, y), 0u);
  }
  // Near the ends of the bar no text is drawn: plain background.
  EXPECT_EQ(At(image, 2, 5), 0xFFFFFFu);
  EXPECT_EQ(At(image, 158, 5), 0xFFFFFFu);
  // The text "0%" is white XOR white: black pixels somewhere in the middle.
  bool sawText = false;
  for (int x = 60; x < 100; ++x) {
    for (int y = 1; y < 11; ++y) sawText |= At(image, x, y) != 0xFFFFFFu;
  }
  EXPECT_TRUE(sawText);
}

TEST_F(GaugePaint, FullProgressFillsTheWholeBar) {
  gauge.SetProgress(100);
  const QImage image = gauge.Render();
  EXPECT_EQ(At(image, 1, 1), 0x0000FFu);
  EXPECT_EQ(At(image, 159, 10), 0x0000FFu);
  EXPECT_EQ(At(image, 160, 10), 0u);  // border
}

TEST_F(GaugePaint, PartialFillEndsAtItsPlainWidth) {
  gauge.SetProgress(25);
  const QImage image = gauge.Render();
  // W = 160, filled = 40: the filled part covers x 1..39 (right edge 40 exclusive); the text
  // sits in the middle, away from that edge.
  EXPECT_EQ(At(image, 5, 5), 0x0000FFu);
  EXPECT_EQ(At(image, 39, 5), 0x0000FFu);
  EXPECT_EQ(At(image, 40, 5), 0xFFFFFFu);
}

}  // namespace
}  // namespace tablora
