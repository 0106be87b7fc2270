#include "platform/qt_message_box.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <memory>

namespace tablora {
namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "qt_message_box_widgets_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

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
