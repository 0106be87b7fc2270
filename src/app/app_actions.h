#pragma once

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace tablora {

class T_Main;

// The window's menu bar, keys and drops, kept apart from its controls. Every action stands in the
// menu with its key: Ctrl+P prints, Ctrl+Q quits, F5 builds again, F1 shows the About box; Page Up,
// Page Down, Home and End turn the pages while the preview has the focus; a folder dropped
// anywhere on the window is selected in the tree.
class TMainActions : public QObject {
  Q_OBJECT

 public:
  explicit TMainActions(T_Main& main);

  // The About box, modal over the parent.
  static void ShowAbout(QWidget* parent);
  // Every action that has a key, with its key, as the Help menu lists them.
  QString ShortcutsText() const;
  void ShowShortcuts();

  QMenuBar* Menu = nullptr;
  QMenu* RecentMenu = nullptr;
  QMenu* SheetMenu = nullptr;
  QAction* PrintAction = nullptr;
  QAction* SavePageAction = nullptr;
  QAction* SaveSheetPdfAction = nullptr;
  QAction* PrintEachFolderAction = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  T_Main& main_;
};

// What the About box says: the version, the program's licence and those of the libraries in it.
QString AboutText();

}  // namespace tablora
