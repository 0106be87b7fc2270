#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <gtest/gtest.h>

#include "app/t_main.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"
#include "support/window_rig.h"

namespace tablora {
namespace {

// At twice the scale the window still opens inside the screen's available area, whether a
// geometry was saved at another scale or none was, and its page is drawn at the device pixels.
TEST(WindowAtScaleTwo, OpensOnScreenAndDrawsAtDevicePixels) {
  // A 1600 x 1000 screen, which at scale 2 is 800 x 500 to the window.
  test::TempTree tree;
  const std::string screens = tree.Path() + "/screens.json";
  {
    std::FILE* file = std::fopen(screens.c_str(), "w");
    std::fputs(R"({"screens":[{"name":"wide","x":0,"y":0,"width":1600,"height":1000,"logicalDpi":96}]})", file);
    std::fclose(file);
  }
  qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + screens.c_str());
  qputenv("QT_SCALE_FACTOR", "2");
  test::Application();
  ASSERT_DOUBLE_EQ(qApp->devicePixelRatio(), 2.0);
  test::WindowRig rig;
  const MainServices& services = rig.services;
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();

  T_Main saved(services);
  saved.setGeometry(-114, -58, 1832, 1196);  // as a window left at scale 1 on a larger screen
  const QByteArray geometry = saved.saveGeometry();

  for (const QByteArray& start : {QByteArray(), geometry}) {
    T_Main main(services);
    main.PlaceOnScreen(start);
    main.show();
    const QRect frame = main.frameGeometry();
    EXPECT_TRUE(area.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                      << frame.height();
    EXPECT_EQ(main.Preview->Width(), 2 * main.Preview->width());
  }
  T_Main fresh(services);
  fresh.PlaceOnScreen(QByteArray());
  EXPECT_NEAR(fresh.width(), area.width() * 0.8, 2);
}

}  // namespace
}  // namespace tablora
