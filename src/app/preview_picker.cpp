#include "app/preview_picker.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "app/t_main.h"

namespace tablora {

namespace {

QString Text(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The folder part of an entry ("/Day 2/" of "/Day 2/a.jpg"): pictures move only within it.
std::string FolderOf(const std::string& entry) { return entry.substr(0, entry.rfind('/') + 1); }

}  // namespace

PreviewPicker::PreviewPicker(T_Main& main) : QObject(&main), main_(main) {
  main.Preview->installEventFilter(this);
  main.Preview->setMouseTracking(false);
}

QString PreviewPicker::PathOf(const std::string& entry) const {
  return QFile::decodeName(QByteArray::fromStdString(main_.Sheet().BaseFolder + entry));
}

std::string PreviewPicker::EntryAt(QPoint point) const {
  const double ratio = main_.Preview->Ratio();
  const int32_t index = main_.Sheet().EntryAt(static_cast<int32_t>(std::lround(point.x() * ratio)),
                                               static_cast<int32_t>(std::lround(point.y() * ratio)));
  const auto& list = main_.Sheet().FileList;
  return index >= 0 && static_cast<std::size_t>(index) < list.size() ? list[static_cast<std::size_t>(index)]
                                                                      : std::string();
}

int PreviewPicker::IndexOf(const std::string& entry) const {
  const auto& list = main_.Sheet().FileList;
  const auto found = std::find(list.begin(), list.end(), entry);
  return found == list.end() ? -1 : static_cast<int>(found - list.begin());
}

void PreviewPicker::Pick(const std::vector<std::string>& entries) {
  picked_ = std::set<std::string>(entries.begin(), entries.end());
  if (!entries.empty()) focus_ = anchor_ = entries.back();
  UpdateMarks();
}

void PreviewPicker::Clear() {
  picked_.clear();
  focus_.clear();
  anchor_.clear();
  UpdateMarks();
}

void PreviewPicker::LeaveOutPicked() {
  if (picked_.empty()) return;
  const std::vector<std::string> entries(picked_.begin(), picked_.end());
  main_.Change([this, entries] {
    main_.Sheet().Selection.LeaveOut(entries);
    main_.Sheet().SaveSelection();
    main_.Sheet().Reorder();
  });
  // Shown dimmed they stay picked, to be brought back; gone, they cannot be.
  if (!main_.Sheet().ShowLeftOut) picked_.clear();
  UpdateMarks();
}

void PreviewPicker::BringBackPicked() {
  const std::vector<std::string> entries(picked_.begin(), picked_.end());
  main_.Change([this, entries] {
    main_.Sheet().Selection.BringBack(entries);
    main_.Sheet().SaveSelection();
    main_.Sheet().Reorder();
  });
  UpdateMarks();
}

void PreviewPicker::BringBackAll() {
  main_.Change([this] {
    main_.Sheet().Selection.BringBack();
    main_.Sheet().SaveSelection();
    main_.Sheet().Reorder();
  });
  UpdateMarks();
}

void PreviewPicker::MovePickedBefore(const std::string& before) {
  if (picked_.empty() || picked_.count(before) != 0) return;
  // In the order they stand, so a block moved keeps its own order.
  std::vector<std::string> entries;
  for (const std::string& entry : main_.Sheet().FileList) {
    if (picked_.count(entry) != 0) entries.push_back(entry);
  }
  main_.Change([this, entries, before] {
    main_.Sheet().Selection.Move(entries, before, main_.Sheet().FileList);
    main_.Sheet().SaveSelection();
    main_.Sheet().Reorder();
  });
  UpdateMarks();
}

void PreviewPicker::UpdateMarks() {
  TContactSheet& sheet = main_.Sheet();
  const double ratio = main_.Preview->Ratio();
  const auto toWidget = [ratio](const TRect& rect) {
    return QRectF(rect.Left / ratio, rect.Top / ratio, (rect.Right - rect.Left) / ratio,
                  (rect.Bottom - rect.Top) / ratio)
        .toAlignedRect();
  };
  std::vector<QRect> picked;
  std::vector<QRect> dimmed;
  QRect focus;
  const int page = sheet.CurrentPage;
  if (page >= 1 && page <= sheet.PageCount && static_cast<std::size_t>(page) <= sheet.PageEnds.size()) {
    const int first = page == 1 ? 0 : sheet.PageEnds[static_cast<std::size_t>(page - 2)] + 1;
    const int last = sheet.PageEnds[static_cast<std::size_t>(page - 1)];
    for (int i = std::max(first, 0); i <= last && static_cast<std::size_t>(i) < sheet.FileList.size(); ++i) {
      const std::string& entry = sheet.FileList[static_cast<std::size_t>(i)];
      const bool isPicked = picked_.count(entry) != 0;
      const bool isLeftOut = sheet.Selection.IsLeftOut(entry);
      if (!isPicked && !isLeftOut && entry != focus_) continue;
      const TRect cell = sheet.CellRect(i);
      if (cell.Right <= cell.Left) continue;
      if (isPicked) picked.push_back(toWidget(cell));
      if (isLeftOut) dimmed.push_back(toWidget(cell));
      if (entry == focus_) focus = toWidget(cell);
    }
  }
  main_.Preview->SetMarks(picked, focus, dimmed);
}

QString PreviewPicker::Describe(const std::string& entry) {
  TContactSheet& sheet = main_.Sheet();
  const QFileInfo file(PathOf(entry));
  QStringList lines{file.fileName()};
  for (const PictureProblem& problem : sheet.Problems()) {
    if (problem.entry == entry) lines << tr("Cannot be read: %1").arg(Text(problem.message));
  }
  if (sheet.Selection.IsLeftOut(entry)) lines << tr("Left out of the sheet");
  const TPhotoMetadata& metadata = sheet.MetadataOf(entry);
  if (file.exists()) lines << QLocale().formattedDataSize(file.size());
  if (!metadata.dateTaken.empty()) lines << Text(metadata.dateTaken);
  if (!metadata.camera.empty()) lines << Text(metadata.camera);
  lines << file.absolutePath();
  return lines.join('\n');
}

void PreviewPicker::Open(const std::string& entry) const {
  QDesktopServices::openUrl(QUrl::fromLocalFile(PathOf(entry)));
}

void PreviewPicker::Press(QMouseEvent* event) {
  const std::string entry = EntryAt(event->position().toPoint());
  pressedAt_ = event->position().toPoint();
  pressed_ = entry;
  dragging_ = false;
  if (entry.empty()) {
    if (!(event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier))) Clear();
    return;
  }
  if (event->modifiers() & Qt::ControlModifier) {
    if (!picked_.erase(entry)) picked_.insert(entry);
    anchor_ = entry;
  } else if ((event->modifiers() & Qt::ShiftModifier) && !anchor_.empty() && IndexOf(anchor_) >= 0) {
    const int from = IndexOf(anchor_);
    const int to = IndexOf(entry);
    picked_.clear();
    for (int i = std::min(from, to); i <= std::max(from, to); ++i) {
      picked_.insert(main_.Sheet().FileList[static_cast<std::size_t>(i)]);
    }
  } else if (picked_.count(entry) == 0) {
    // A press on a picked cell keeps the pick: it may be the start of a drag.
    picked_ = {entry};
    anchor_ = entry;
  }
  focus_ = entry;
  UpdateMarks();
}

void PreviewPicker::Release(QMouseEvent* event) {
  const std::string target = EntryAt(event->position().toPoint());
  if (dragging_) {
    dragging_ = false;
    main_.Preview->unsetCursor();
    if (!target.empty() && picked_.count(target) == 0 && FolderOf(target) == FolderOf(pressed_)) {
      MovePickedBefore(target);
    }
    return;
  }
  // A click on one of several picked cells, without keys, picks that one alone.
  if (!(event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) && !target.empty() && target == pressed_ &&
      picked_.size() > 1) {
    Pick({target});
  }
}

void PreviewPicker::ShowMenu(QContextMenuEvent* event) {
  const std::string entry = EntryAt(event->pos());
  if (!entry.empty() && picked_.count(entry) == 0) Pick({entry});
  QMenu menu(main_.Preview);
  TContactSheet& sheet = main_.Sheet();
  if (!entry.empty()) {
    menu.addAction(tr("&Open"), this, [this, entry] { Open(entry); });
    menu.addAction(tr("Show in &folder"), this, [this, entry] {
      QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(PathOf(entry)).absolutePath()));
    });
    menu.addAction(tr("&Copy path"), this, [this, entry] { QApplication::clipboard()->setText(PathOf(entry)); });
    menu.addSeparator();
    const bool anyLeftOut = std::any_of(picked_.begin(), picked_.end(),
                                        [&sheet](const std::string& e) { return sheet.Selection.IsLeftOut(e); });
    if (anyLeftOut) {
      menu.addAction(tr("&Bring back"), this, [this] { BringBackPicked(); });
    } else {
      menu.addAction(tr("&Leave out"), this, [this] { LeaveOutPicked(); });
    }
  }
  QAction* show = menu.addAction(tr("&Show left-out pictures"));
  show->setCheckable(true);
  show->setChecked(sheet.ShowLeftOut);
  connect(show, &QAction::toggled, this, [this](bool on) { main_.ShowLeftOut(on); });
  if (!sheet.Selection.LeftOut().empty()) {
    menu.addAction(tr("Bring back &all left-out pictures"), this, [this] { BringBackAll(); });
  }
  menu.exec(event->globalPos());
}

bool PreviewPicker::Key(QKeyEvent* event) {
  const auto& list = main_.Sheet().FileList;
  if (list.empty()) return false;
  int step = 0;
  switch (event->key()) {
    case Qt::Key_Left: step = -1; break;
    case Qt::Key_Right: step = 1; break;
    case Qt::Key_Up: step = -main_.Sheet().Columns(); break;
    case Qt::Key_Down: step = main_.Sheet().Columns(); break;
    case Qt::Key_Space:
      if (!focus_.empty() && !picked_.erase(focus_)) picked_.insert(focus_);
      UpdateMarks();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (focus_.empty()) return false;
      Open(focus_);
      return true;
    default: return false;
  }
  const int at = focus_.empty() ? -1 : IndexOf(focus_);
  const int next = std::clamp(at < 0 ? 0 : at + step, 0, static_cast<int>(list.size()) - 1);
  focus_ = list[static_cast<std::size_t>(next)];
  if (!(event->modifiers() & Qt::ControlModifier)) {
    picked_ = {focus_};
    anchor_ = focus_;
  }
  // The focus moves on to the page that holds it.
  const auto& ends = main_.Sheet().PageEnds;
  const auto page = std::lower_bound(ends.begin(), ends.end(), next);
  const int wanted = static_cast<int>(page - ends.begin()) + 1;
  if (page != ends.end() && wanted != main_.Sheet().CurrentPage) main_.ShowPage(wanted);
  UpdateMarks();
  return true;
}

bool PreviewPicker::eventFilter(QObject* watched, QEvent* event) {
  if (watched != main_.Preview) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton) Press(mouse);
      break;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if ((mouse->buttons() & Qt::LeftButton) && !pressed_.empty() && picked_.count(pressed_) != 0 && !dragging_ &&
          (mouse->position().toPoint() - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        dragging_ = true;
        main_.Preview->setCursor(Qt::DragMoveCursor);
      }
      break;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton) Release(mouse);
      break;
    }
    case QEvent::MouseButtonDblClick: {
      const std::string entry = EntryAt(static_cast<QMouseEvent*>(event)->position().toPoint());
      if (!entry.empty()) Open(entry);
      return true;
    }
    case QEvent::ContextMenu:
      ShowMenu(static_cast<QContextMenuEvent*>(event));
      return true;
    case QEvent::ToolTip: {
      auto* help = static_cast<QHelpEvent*>(event);
      const std::string entry = EntryAt(help->pos());
      if (entry.empty()) {
        QToolTip::hideText();
      } else {
        QToolTip::showText(help->globalPos(), Describe(entry), main_.Preview);
      }
      return true;
    }
    case QEvent::KeyPress:
      if (Key(static_cast<QKeyEvent*>(event))) return true;
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tablora
