#include "app/t_splash.h"

#include <QImage>
#include <gtest/gtest.h>
#include <set>

#include "support/qt_application.h"

namespace tablora {
namespace {

// The colour key is all or nothing, so the shape's edge must be too: every pixel that touches a
// see-through one is drawn in the flat colour of one of the two shapes that border the key (the
// dark card and the sheet, as resources/make_splash.sh draws them), never a blend with the key.
TEST(Splash, EdgesOfTheShapeAreExactlyTheKeyOrDrawn) {
  test::Application();
  const QImage picture = SplashPicture();
  ASSERT_EQ(picture.size(), QSize(400, 300));
  const std::set<QRgb> shapes = {qRgb(0x1f, 0x29, 0x33), qRgb(0xf5, 0xf1, 0xe8)};
  int keyed = 0;
  int edge = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb pixel = picture.pixel(x, y);
      if (pixel == T_Splash::kKeyColor) {
        ++keyed;
        continue;
      }
      bool touchesKey = false;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const QPoint n(x + dx, y + dy);
          touchesKey |= picture.rect().contains(n) && picture.pixel(n) == T_Splash::kKeyColor;
        }
      }
      if (!touchesKey) continue;
      ++edge;
      EXPECT_TRUE(shapes.count(pixel)) << "fringe at " << x << "," << y << ": " << std::hex << pixel;
    }
  }
  EXPECT_GT(keyed, 10000);  // the corners and the band above the card
  EXPECT_GT(edge, 1000);
}

}  // namespace
}  // namespace tablora
