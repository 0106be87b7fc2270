#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "platform/canvas_factory.h"
#include "platform/directory_search.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

// Resizing the window: until the re-layout has drawn the page at the new size, the preview shows
// the page it showed before, scaled into the new frame, rather than a blank grey area.
TEST(MainWindowResize, LastPageStaysVisibleScaledUntilTheNewOneIsDrawn) {
  test::Application();
  test::TempTree tree;
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) {
    std::filesystem::copy_file(test::DataDir() / "bmp" / "rgb24.bmp", tree.Root() / name);
  }
  test::FakePrinter printer;
  QtCanvasFactory canvases;
  ExtensionThumbnailLoader loader;
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
  main.SetWindows(nullptr, &processing, &options);
  main.show();
  main.SelectFolder(QString::fromStdString(tree.Path()));
  main.RowInput->SetValue(2);
  main.ColInput->SetValue(2);
  main.BuildBtn->click();

  const QSize before = main.Preview->size();
  main.resize(main.width() + 200, main.height() + 200);
  QApplication::processEvents();  // the preview takes its new size; the re-layout waits
  ASSERT_EQ(main.Preview->size(), before + QSize(200, 200));
  const QImage pending = main.Preview->grab().toImage();
  QTest::qWait(600);
  const QImage drawn = main.Preview->grab().toImage();
  pending.save(QString::fromStdString((test::BinaryDir() / "resize_pending.png").string()));
  drawn.save(QString::fromStdString((test::BinaryDir() / "resize_drawn.png").string()));

  // The scaled page differs from the one drawn afresh only in the finer detail of text and
  // pictures; a blank frame, or the old page at its old place, differs in a fifth of the pixels.
  // The larger the page, the more of its pixels are such detail.
  ASSERT_EQ(pending.size(), drawn.size());
  int64_t close = 0;
  for (int y = 0; y < drawn.height(); ++y) {
    for (int x = 0; x < drawn.width(); ++x) {
      close += std::abs(qGray(pending.pixel(x, y)) - qGray(drawn.pixel(x, y))) < 64;
    }
  }
  EXPECT_GT(close, int64_t{drawn.width()} * drawn.height() * 93 / 100);
}

}  // namespace
}  // namespace tablora
