#pragma once

#include <QApplication>

namespace tablora::test {

// The one QApplication of a test program, made on first use: ctest runs every test in a process
// of its own, so whatever a test constructs first must be able to create it.
inline QApplication* Application() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
  static int argc = 1;
  static char name[] = "tablora-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return app;
}

}  // namespace tablora::test
