#include "app/translations.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/t_splash.h"
#include "platform/directory_search.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

// The catalogues as the build leaves them beside the program.
QStringList BuiltCatalogues() {
  return {QString::fromStdString((test::BinaryDir() / "src" / "app" / "translations").string())};
}

TEST(Translations, TheLanguageOfTheLocaleIsChosen) {
  test::Application();
  const struct {
    const char* locale;
    bool found;
    const char* build;
  } cases[] = {
      {"de_DE", true, "&Erstellen"},
      {"de_AT", true, "&Erstellen"},  // a German without a catalogue of its own takes the German one
      {"en_US", false, "&Build"},
      {"fr_FR", false, "&Build"},
  };
  for (const auto& c : cases) {
    Translations translations;
    EXPECT_EQ(translations.Install(QLocale(c.locale), BuiltCatalogues()), c.found) << c.locale;
    MainServices services;
    T_Main main(services);
    EXPECT_EQ(main.BuildBtn->text(), c.build) << c.locale;
  }
  // The catalogue goes with the object: the next window speaks English again.
  MainServices services;
  EXPECT_EQ(T_Main(services).BuildBtn->text(), "&Build");
}

// One text of each window, one of the engine's shown in the main window, and one of Qt's own
// dialogs, in German.
TEST(Translations, EveryWindowSpeaksGerman) {
  test::Application();
  Translations translations;
  ASSERT_TRUE(translations.Install(QLocale("de_DE"), BuiltCatalogues()));

  test::TempTree tree;
  tree.File("a.bmp");
  test::FakePrinter printer;
  test::RecordingCanvases canvases;
  test::FakeLoader loader;
  PosixDirectorySearch directories;
  test::FakePump pump;
  MainServices services;
  services.printer = &printer;
  services.canvases = &canvases;
  services.thumbnails = &loader;
  services.directories = &directories;
  services.pump = &pump;
  T_Main main(services);
  T_Processing processing(&main);
  T_Options options(&main);
  T_Splash splash;
  main.SetWindows(&splash, &processing, &options);
  EXPECT_EQ(main.Label2->text(), "&Zeilen");
  EXPECT_EQ(main.PrintBtn->text(), "Dru&cken");  // not &D: that opens the Datei menu
  EXPECT_EQ(main.PreviewPageNumber->text(), "Seite 0 von 0");
  main.SelectFolder(QString::fromStdString(tree.Path()));
  main.BuildBtn->click();
  EXPECT_EQ(main.PreviewPageNumber->text(), "Seite 1 von 1");

  EXPECT_EQ(options.windowTitle(), "Tablora-Optionen");
  EXPECT_EQ(processing.Button1->text(), "Abbrechen");
  EXPECT_EQ(splash.Label1->text(), "Kontaktbögen Ihrer Fotografien");
  QDialogButtonBox qtButtons(QDialogButtonBox::Cancel);
  EXPECT_EQ(qtButtons.button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
}

}  // namespace
}  // namespace tablora
