#pragma once

#include <QObject>
#include <QPoint>
#include <set>
#include <string>
#include <vector>

class QContextMenuEvent;
class QHelpEvent;
class QKeyEvent;
class QMouseEvent;

namespace tablora {

class T_Main;

// The pictures of the preview as things to pick: a click picks a cell (Shift and Ctrl for
// several), Delete leaves the picked out of the sheet, a drag moves them within their folder,
// a double-click opens the picture, and the context menu opens it, shows its folder or copies its
// path. The sheet decides what a pick means; this only turns the preview's events into it.
class PreviewPicker : public QObject {
  Q_OBJECT

 public:
  explicit PreviewPicker(T_Main& main);

  // The picked entries, by name; kept across pages and redraws, dropped on a build.
  const std::set<std::string>& Picked() const { return picked_; }
  void Pick(const std::vector<std::string>& entries);
  void Clear();
  // Leaves the picked pictures out, or brings the picked left-out ones back.
  void LeaveOutPicked();
  void BringBackPicked();
  void BringBackAll();
  // Moves the picked pictures in front of `before` (empty: to their folder's end).
  void MovePickedBefore(const std::string& before);
  // Shows the pick, the focus cell and the left-out pictures on the preview.
  void UpdateMarks();
  // What the tooltip of an entry says: name, size, date, camera, or why it shows nothing.
  QString Describe(const std::string& entry);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The entry under a point of the preview, in its own coordinates; empty when none.
  std::string EntryAt(QPoint point) const;
  int IndexOf(const std::string& entry) const;
  void Press(QMouseEvent* event);
  void Release(QMouseEvent* event);
  void ShowMenu(QContextMenuEvent* event);
  bool Key(QKeyEvent* event);
  void Open(const std::string& entry) const;
  QString PathOf(const std::string& entry) const;

  T_Main& main_;
  std::set<std::string> picked_;
  std::string focus_;  // the cell the keys act on
  std::string anchor_;  // where a Shift pick starts
  QPoint pressedAt_;
  std::string pressed_;
  bool dragging_ = false;
};

}  // namespace tablora
