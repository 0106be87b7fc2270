#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace tablora {

class T_Main;

// The window's keys and drops, kept apart from its controls: Ctrl+P prints, Ctrl+Q quits, F5
// builds again, F1 shows the About box; Page Up, Page Down, Home and End turn the pages while the
// preview has the focus; a folder dropped anywhere on the window is selected in the tree.
class TMainActions : public QObject {
  Q_OBJECT

 public:
  explicit TMainActions(T_Main& main);

  // The About box, modal over the parent.
  static void ShowAbout(QWidget* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  T_Main& main_;
};

// What the About box says: the version, the program's licence and those of the libraries in it.
QString AboutText();

}  // namespace tablora
