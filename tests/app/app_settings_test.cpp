#include "app/app_settings.h"

#include <QDir>
#include <QPrinter>
#include <QSettings>
#include <fstream>
#include <gtest/gtest.h>

#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/t_splash.h"
#include "platform/directory_search.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/sheet_fakes.h"

namespace tablora {
namespace {

// A settings file with the given text, and what the program makes of it.
SavedSettings LoadText(const test::TempTree& tree, const std::string& text) {
  const std::string file = tree.Path() + "/Tablora.conf";
  std::ofstream(file, std::ios::binary) << text;
  return AppSettings(QString::fromStdString(file)).Load();
}

TEST(AppSettings, DamagedStrangeOrOutOfRangeValuesFallBackToTheDefault) {
  test::Application();
  test::TempTree tree;
  struct Case {
    const char* text;
    int rows;
    int columns;
    const char* font;
    bool facing;
    bool pageNumbers;
  };
  const Case cases[] = {
      {"", 10, 6, "Tahoma", false, true},
      {"[General]\nrows=4\ncolumns=30\nfont=DejaVu Sans\nfacing=true\npageNumbers=false\n", 4, 30,
       "DejaVu Sans", true, false},
      // Out of range: the default, also far beyond what an int holds.
      {"[General]\nrows=0\ncolumns=31\n", 10, 6, "Tahoma", false, true},
      {"[General]\nrows=12\ncolumns=-5\n", 12, 6, "Tahoma", false, true},
      {"[General]\nrows=-99999999999999\ncolumns=99999999999999999999\n", 10, 6, "Tahoma", false, true},
      // The wrong kind: the default.
      {"[General]\nrows=many\ncolumns=@ByteArray(x)\nfont=\nfacing=perhaps\npageNumbers=2\n", 10, 6,
       "Tahoma", false, true},
      {"[General]\nrows=nan\ncolumns=inf\nfont=@Variant(\\0\\0\\0\\x7f)\n", 10, 6, "Tahoma", false, true},
      // Not a settings file at all.
      {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xff=\xff\n[[[\n=\n", 10, 6, "Tahoma", false, true},
  };
  for (const Case& c : cases) {
    const SavedSettings s = LoadText(tree, c.text);
    EXPECT_EQ(s.rows, c.rows) << c.text;
    EXPECT_EQ(s.columns, c.columns) << c.text;
    EXPECT_EQ(s.fontName.toStdString(), c.font) << c.text;
    EXPECT_EQ(s.facing, c.facing) << c.text;
    EXPECT_EQ(s.pageNumbers, c.pageNumbers) << c.text;
  }
  // The sheet's choices: an unknown field, order or a rating beyond five fall back or are held.
  const struct {
    const char* text;
    std::vector<CaptionField> fields;
    SortOrder order;
    int minRating;
    PairMode pairs = PairMode::Once;
  } sheetCases[] = {
      {"[General]\ncaption=exposure,date\norder=natural\nminRating=2\npairs=raw\n",
       {CaptionField::Exposure, CaptionField::Date}, SortOrder::Natural, 2, PairMode::Raw},
      {"[General]\ncaption=date,shutter\norder=size\nminRating=9\npairs=twice\n", {}, SortOrder::Name, 0},
      {"[General]\nminRating=-1\n", {}, SortOrder::Name, 0},
  };
  for (const auto& c : sheetCases) {
    const SavedSettings s = LoadText(tree, c.text);
    EXPECT_EQ(s.captionFields, c.fields) << c.text;
    EXPECT_EQ(s.order, c.order) << c.text;
    EXPECT_EQ(s.minRating, c.minRating) << c.text;
    EXPECT_EQ(s.pairs, c.pairs) << c.text;
  }
  const SavedSettings paper = LoadText(tree, "[General]\npaper=100000\norientation=sideways\n");
  EXPECT_EQ(paper.paper, QPageSize::Custom);
  const SavedSettings cache = LoadText(tree, "[General]\nthumbnailCache=perhaps\nthumbnailCacheMiB=1\n");
  EXPECT_TRUE(cache.thumbnailCache);
  EXPECT_EQ(cache.thumbnailCacheMiB, 1024);
  EXPECT_FALSE(paper.orientationSaved);
  // The choices of the export of each folder: a pattern that cannot be used is the default's.
  const struct {
    const char* text;
    FolderExportChoices choices;
  } exportCases[] = {
      {"[General]\nexportFolder=/tmp/s\nexportSheets=tree\nexportNames={date}/{folder}\nexportManifest=true\n"
       "exportManifestFormat=json\n",
       {"/tmp/s", true, "{date}/{folder}.pdf", true, true}},
      {"[General]\nexportSheets=all\nexportNames={name}.pdf\nexportManifest=perhaps\nexportManifestFormat=xml\n",
       {"", false, "{path}.pdf", false, false}},
      {"[General]\nexportNames=sheets/\n", {}},
      {"[General]\nexportNames=/etc/{path}.pdf\n", {}},
  };
  for (const auto& c : exportCases) EXPECT_EQ(LoadText(tree, c.text).folderExport, c.choices) << c.text;
  // A file that cannot be read at all: a folder in its place.
  tree.Folder("folder.conf");
  const SavedSettings unreadable = AppSettings(QString::fromStdString(tree.Path() + "/folder.conf")).Load();
  EXPECT_EQ(unreadable.rows, 10);
  EXPECT_FALSE(unreadable.titleTyped);
}

struct Application {
  Application() { test::Application(); }
};

// The windows as the program makes them, over fakes, with a PDF printer for the paper.
struct Windows : Application {
  Windows() {
    services.printer = &printer;
    services.canvases = &canvases;
    services.thumbnails = &loader;
    services.directories = &directories;
    services.pump = &pump;
    main = std::make_unique<T_Main>(services);
    processing = std::make_unique<T_Processing>(main.get());
    options = std::make_unique<T_Options>(main.get());
    main->SetWindows(&splash, processing.get(), options.get());
    paper.setOutputFormat(QPrinter::PdfFormat);
  }
  test::FakePrinter printer;
  test::RecordingCanvases canvases;
  test::FakeLoader loader;
  PosixDirectorySearch directories;
  test::FakePump pump;
  MainServices services;
  T_Splash splash;
  QPrinter paper;
  std::unique_ptr<T_Main> main;
  std::unique_ptr<T_Processing> processing;
  std::unique_ptr<T_Options> options;
};

TEST(AppSettings, WindowsReopenAsTheyWereClosed) {
  test::TempTree tree;
  tree.Folder("Holiday/Beach");
  const QString beach = QString::fromStdString(tree.Path() + "/Holiday/Beach");
  const QString file = QString::fromStdString(tree.Path() + "/Tablora.conf");
  {
    Windows before;
    before.main->SelectFolder(beach);
    before.main->TitleEdit->setText("Summer 2026");
    before.main->RowInput->SetValue(7);
    before.main->ColInput->SetValue(3);
    before.main->SetFontName("DejaVu Serif");
    before.main->SetFontStyle({.bold = true, .italic = false});
    before.paper.setPageSize(QPageSize(QPageSize::A3));
    before.paper.setPageOrientation(QPageLayout::Landscape);
    before.paper.setPageMargins(QMarginsF(12, 7.5, 12, 20), QPageLayout::Millimeter);
    before.main->SetRecentFolders({beach, "/srv/photos"});
    before.main->SetZoom(T_Main::ZoomMode::Scale, 1.5);
    before.options->PrintFacingBox->setChecked(true);
    before.options->PrintPageNumBox->setChecked(false);
    before.options->CacheBox->setChecked(false);
    before.options->CacheLimitBox->setValue(300);
    before.options->SetCaptionFields({CaptionField::Date, CaptionField::Rating});
    before.options->SetOrder(SortOrder::Date);
    before.options->MinRatingBox->setValue(3);
    before.options->SetPairs(PairMode::Both);
    before.main->setGeometry(40, 50, 600, 400);
    before.main->SetExportChoices({"/srv/sheets", true, "{folder}_{count}.pdf", false, true});
    before.main->SetSheetPdfManifest(true);
    AppSettings(file).Save(AppSettings::Of(*before.main, *before.options, &before.paper));
  }
  Windows after;
  AppSettings::Apply(AppSettings(file).Load(), *after.main, *after.options, &after.paper);
  EXPECT_EQ(after.main->SelectedFolder(), beach.toStdString());
  EXPECT_TRUE(after.main->PathSelect->isExpanded(after.main->PathSelect->currentIndex().parent()));
  EXPECT_EQ(after.main->TitleEdit->text(), "Summer 2026");
  EXPECT_EQ(after.main->RowInput->Value(), 7);
  EXPECT_EQ(after.main->ColInput->Value(), 3);
  EXPECT_EQ(after.main->FontName(), "DejaVu Serif");
  EXPECT_EQ(after.main->FontStyle(), (TFontStyle{.bold = true, .italic = false}));
  EXPECT_EQ(after.paper.pageLayout().pageSize().id(), QPageSize::A3);
  EXPECT_EQ(after.paper.pageLayout().orientation(), QPageLayout::Landscape);
  EXPECT_TRUE(after.options->PrintFacing());
  EXPECT_FALSE(after.options->PrintPageNum());
  EXPECT_FALSE(after.options->ThumbnailCache());
  EXPECT_EQ(after.options->ThumbnailCacheLimit(), uint64_t{300} << 20);
  EXPECT_EQ(after.options->CaptionFields(), (std::vector<CaptionField>{CaptionField::Date, CaptionField::Rating}));
  EXPECT_EQ(after.options->Order(), SortOrder::Date);
  EXPECT_EQ(after.options->MinRating(), 3);
  EXPECT_EQ(after.options->Pairs(), PairMode::Both);
  EXPECT_EQ(after.main->size(), QSize(600, 400));
  const QMarginsF margins = after.paper.pageLayout().margins(QPageLayout::Millimeter);
  EXPECT_NEAR(margins.top(), 7.5, 0.01);
  EXPECT_NEAR(margins.bottom(), 20, 0.01);
  EXPECT_EQ(after.main->RecentFolders(), (QStringList{beach, "/srv/photos"}));
  EXPECT_EQ(after.main->Zoom(), T_Main::ZoomMode::Scale);
  EXPECT_DOUBLE_EQ(after.main->ShownScale(), 1.5);
  EXPECT_EQ(after.main->ExportChoices(), (FolderExportChoices{"/srv/sheets", true, "{folder}_{count}.pdf", false, true}));
  EXPECT_TRUE(after.main->SheetPdfManifest());
}

TEST(AppSettings, ATitleTakenFromTheFolderFollowsTheFolder) {
  test::TempTree tree;
  tree.Folder("Holiday");
  const QString holiday = QString::fromStdString(tree.Path() + "/Holiday");
  const QString file = QString::fromStdString(tree.Path() + "/Tablora.conf");
  {
    Windows before;
    before.main->SelectFolder(holiday);
    ASSERT_EQ(before.main->TitleEdit->text(), "Holiday");
    AppSettings(file).Save(AppSettings::Of(*before.main, *before.options, nullptr));
  }
  EXPECT_FALSE(QSettings(file, QSettings::IniFormat).contains("title"));
  Windows after;
  AppSettings::Apply(AppSettings(file).Load(), *after.main, *after.options, nullptr);
  EXPECT_EQ(after.main->TitleEdit->text(), "Holiday");

  // A folder gone since: the start's home folder, and a typed title still comes back.
  QSettings store(file, QSettings::IniFormat);
  store.setValue("folder", holiday + "/gone");
  store.setValue("title", "Kept");
  store.sync();
  Windows gone;
  AppSettings::Apply(AppSettings(file).Load(), *gone.main, *gone.options, nullptr);
  EXPECT_EQ(gone.main->SelectedFolder(), QDir::homePath().toStdString());
  EXPECT_EQ(gone.main->TitleEdit->text(), "Kept");
}

}  // namespace
}  // namespace tablora
