#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <functional>
#include <memory>
#include <utility>

namespace tablora::test {

// Makes the Qt application object a test program needs (QGuiApplication for fonts and painting,
// QApplication for widgets) on the offscreen platform before the first test, and removes it after
// the last. `prepare` runs first, for environment a test program needs set before Qt starts.
template <typename App>
class QtEnvironment : public ::testing::Environment {
 public:
  explicit QtEnvironment(std::function<void()> prepare = {}) : prepare_(std::move(prepare)) {}

  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (prepare_) prepare_();
    static int argc = 1;
    static char name[] = "tablora-test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<App>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::function<void()> prepare_;
  std::unique_ptr<App> app_;
};

}  // namespace tablora::test
