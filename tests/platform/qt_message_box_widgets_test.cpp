#include "platform/qt_message_box.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <memory>

#include "support/qt_environment.h"

namespace tablora {
namespace {

const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment<QApplication>());

struct Seen {
  bool shown = false;
  QString text;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
};

// Reads the box once it is up and presses its OK button, so Show returns.
Seen ShowAndPressOk(MessageBox& box, const std::string& text, const std::string& caption, MessageIcon icon) {
  Seen seen;
  QTimer::singleShot(0, [&seen] {
    auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!shown) return;
    seen.shown = true;
    seen.text = shown->text();
    seen.title = shown->windowTitle();
    seen.icon = shown->icon();
    seen.buttons = static_cast<int>(shown->buttons().size());
    shown->button(QMessageBox::Ok)->click();
  });
  box.Show(text, caption, icon);
  return seen;
}

TEST(QtMessageBox, ShowsTextCaptionAndIconWithOneOkButton) {
  QtMessageBox box;
  const Seen seen = ShowAndPressOk(box, "Strip ends early – übung.tif", "Warning", MessageIcon::Warning);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, QString::fromUtf8("Strip ends early – übung.tif"));
  EXPECT_EQ(seen.title, "Warning");
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, 1);
}

TEST(QtMessageBox, MapsEveryIcon) {
  EXPECT_EQ(QtMessageBox::IconFor(MessageIcon::None), QMessageBox::NoIcon);
  EXPECT_EQ(QtMessageBox::IconFor(MessageIcon::Information), QMessageBox::Information);
  EXPECT_EQ(QtMessageBox::IconFor(MessageIcon::Warning), QMessageBox::Warning);
  EXPECT_EQ(QtMessageBox::IconFor(MessageIcon::Error), QMessageBox::Critical);

  QWidget parent;
  QtMessageBox box(&parent);
  const Seen seen = ShowAndPressOk(box, "Bitmap image is not valid.", "Tablora", MessageIcon::Error);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.title, "Tablora");
}

}  // namespace
}  // namespace tablora
