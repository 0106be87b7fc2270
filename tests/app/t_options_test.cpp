#include "app/t_options.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

#include "support/qt_application.h"
#include "support/test_paths.h"

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
  // The check boxes start at 48 and 68, lower by what the explanation needs beyond 44 pixels.
  const int below = std::max(48, 4 + options.Label1->heightForWidth(285));
  EXPECT_EQ(options.PrintFacingBox->geometry(), QRect(4, below, 285, 17));
  EXPECT_EQ(options.PrintPageNumBox->geometry(), QRect(4, below + 20, 285, 17));
  EXPECT_EQ(options.Button1->text(), "Save");
  EXPECT_EQ(options.Button2->text(), "Cancel");
  EXPECT_EQ(options.Button1->geometry(), QRect(136, 293, 75, 25));
  EXPECT_EQ(options.Button2->geometry(), QRect(216, 293, 75, 25));
  EXPECT_TRUE(options.Button1->isDefault());
  EXPECT_FALSE(options.PrintFacing());
  EXPECT_TRUE(options.PrintPageNum());
  EXPECT_EQ(options.CacheBox->text(), "Keep thumbnails in the desktop's cache");
  EXPECT_TRUE(options.ThumbnailCache());
  EXPECT_EQ(options.ThumbnailCacheLimit(), uint64_t{1} << 30);
  EXPECT_GT(options.CacheBox->y(), options.CaptionBoxes[4]->geometry().bottom());
  EXPECT_EQ(options.CacheBox->geometry().size(), QSize(285, 17));
  options.CacheBox->click();
  EXPECT_FALSE(options.CacheLimitBox->isEnabled());
  // The layouts dialog opens from beside the list, once there is one to open.
  EXPECT_EQ(options.EditLayoutsButton->text(), "&Edit…");
  EXPECT_FALSE(options.EditLayoutsButton->isEnabled());
  int edits = 0;
  options.SetLayoutEditor([&] { ++edits; });
  options.EditLayoutsButton->click();
  EXPECT_EQ(edits, 1);
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

// The window as it shows, at its own font and at one half again as large (11 and 17 pixels): the
// explanation's last line is drawn inside the label, above the check boxes, and the buttons stay
// inside the window, which keeps its designed size while the text fits.
TEST_F(OptionsTest, SheetChoicesStartAsBeforeAndReadBack) {
  T_Options options;
  EXPECT_TRUE(options.CaptionFields().empty());
  EXPECT_EQ(options.Order(), SortOrder::Name);
  EXPECT_EQ(options.MinRating(), 0);
  EXPECT_EQ(options.MinRatingBox->text(), "Any");
  EXPECT_EQ(options.Pairs(), PairMode::Once);
  options.PairsBox->setCurrentIndex(2);
  EXPECT_EQ(options.Pairs(), PairMode::Raw);
  options.CaptionBoxes[7]->setChecked(true);  // title
  options.CaptionBoxes[1]->setChecked(true);  // exposure
  EXPECT_EQ(options.CaptionFields(), (std::vector<CaptionField>{CaptionField::Exposure, CaptionField::Title}));
  options.SortBox->setCurrentIndex(1);
  EXPECT_EQ(options.Order(), SortOrder::Natural);
  // Refilling the layouts is no choice of one.
  int choices = 0;
  QObject::connect(options.TemplateBox, &QComboBox::currentTextChanged, [&] { ++choices; });
  options.SetTemplates({"Classic", "Proof sheet", "Rome"}, "Rome");
  EXPECT_EQ(options.TemplateName(), "Rome");
  EXPECT_EQ(choices, 0);
}

TEST_F(OptionsTest, ScreenshotShowsTheWholeExplanation) {
  for (const int pixels : {11, 17}) {
    SCOPED_TRACE(pixels);
    T_Options options;
    QFont font = options.font();
    font.setPixelSize(pixels);
    options.setFont(font);
    options.show();
    const QImage shot = options.grab().toImage();
    shot.save(QString::fromStdString(
        (test::BinaryDir() / ("options_window_" + std::to_string(pixels) + ".png")).string()));

    const QRect label = options.Label1->geometry();
    const QFontMetrics metrics(options.Label1->font());
    const QRect text = metrics.boundingRect(QRect(0, 0, label.width(), 10000), Qt::TextWordWrap,
                                            options.Label1->text());
    EXPECT_GT(text.height(), 2 * metrics.height());  // wrapped
    EXPECT_LE(text.height(), label.height());
    EXPECT_LE(label.top() + text.height(), options.PrintFacingBox->y());
    EXPECT_LE(metrics.height(), options.PrintFacingBox->height());
    EXPECT_LT(options.PrintFacingBox->geometry().bottom(), options.PrintPageNumBox->y());
    // The sheet's choices, row under row, none overlapping another or the buttons.
    std::vector<QWidget*> rows = {options.PrintPageNumBox, options.SortBox, options.MinRatingBox, options.PairsBox,
                                  options.TemplateBox,
                                  options.CaptionLabel, options.CaptionBoxes[0], options.CaptionBoxes[4],
                                  options.CacheBox, options.CacheLimitBox, options.Button1};
    for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_LT(rows[i - 1]->geometry().bottom(), rows[i]->y()) << i;
    for (QCheckBox* box : options.CaptionBoxes) EXPECT_LE(box->geometry().right(), options.width());
    EXPECT_LT(options.TemplateBox->geometry().right(), options.EditLayoutsButton->x());
    EXPECT_EQ(options.EditLayoutsButton->y(), options.TemplateBox->y());
    EXPECT_LT(options.EditLayoutsButton->geometry().right(), options.width());
    EXPECT_LT(options.Button2->geometry().bottom(), options.height());
    if (pixels == 11) {
      EXPECT_EQ(options.size(), QSize(293, 321));
    }

    // The last line's band on the screen holds the glyphs of "margins."
    int ink = 0;
    const int textBottom = label.top() + text.height();
    for (int y = textBottom - metrics.height(); y < textBottom; ++y) {
      for (int x = label.left(); x <= label.right(); ++x) ink += qGray(shot.pixel(x, y)) < 100;
    }
    EXPECT_GT(ink, 3 * pixels);
  }
}

}  // namespace
}  // namespace tablora
