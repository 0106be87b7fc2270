#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tablora");
  QMainWindow window;
  window.setWindowTitle("Tablora");
  window.resize(924, 625);
  window.show();
  return QApplication::exec();
}
