#include "app/app_actions.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include "app/preview_picker.h"
#include "app/t_main.h"
#include "imaging/libraries.h"
#include "version/version.h"

namespace tablora {

namespace {

// The one local folder a drag carries, or empty.
QString DroppedFolder(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().front();
  if (!url.isLocalFile()) return {};
  const QFileInfo info(url.toLocalFile());
  return info.isDir() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

}  // namespace

QString AboutText() {
  const auto item = [](const QString& name, const std::string& version, const std::string& licence) {
    const QString named = version.empty() ? name : name + ' ' + QString::fromStdString(version);
    return QStringLiteral("<li>%1 (%2)</li>").arg(named.toHtmlEscaped(), QString::fromStdString(licence));
  };
  QString libraries = item("Qt", qVersion(), "LGPL-3.0");
  for (const LibraryNotice& library : ImagingLibraries()) {
    libraries += item(QString::fromStdString(library.name), library.version, library.licence);
  }
  return TMainActions::tr(
             "<h3>Tablora %1</h3>"
             "<p>Contact sheets of a folder tree of photographs.</p>"
             "<p>Licensed under the GNU General Public License, version 2 or (at your option) any "
             "later version (GPL-2.0-or-later).</p>"
             "<p>Built with these libraries, under the licences named:</p><ul>%2</ul>")
      .arg(QString::fromLatin1(kVersion), libraries);
}

TMainActions::TMainActions(T_Main& main) : QObject(&main), main_(main) {
  Menu = new QMenuBar(&main);
  Menu->setObjectName("MenuBar");
  main.layout()->setMenuBar(Menu);
  const auto add = [](QMenu* menu, const QString& text, const QKeySequence& keys, auto handler) {
    QAction* action = menu->addAction(text);
    action->setShortcut(keys);
    QObject::connect(action, &QAction::triggered, menu, handler);
    return action;
  };

  QMenu* file = Menu->addMenu(tr("&File"));
  add(file, tr("&Choose folder…"), QKeySequence(Qt::CTRL | Qt::Key_O), [&main] { main.ChooseFolderBtn->click(); });
  RecentMenu = file->addMenu(tr("&Recent folders"));
  connect(RecentMenu, &QMenu::aboutToShow, this, [this] {
    RecentMenu->clear();
    for (const QString& folder : main_.RecentFolders()) {
      RecentMenu->addAction(folder, &main_, [this, folder] { main_.SelectFolder(folder); });
    }
    if (RecentMenu->isEmpty()) RecentMenu->addAction(tr("(none yet)"))->setEnabled(false);
  });
  add(file, tr("&Build"), Qt::Key_F5, [&main] { main.BuildBtn->click(); });
  file->addSeparator();
  PrintAction = add(file, tr("&Print…"), QKeySequence(Qt::CTRL | Qt::Key_P), [&main] { main.PrintBtn->click(); });
  SavePageAction = add(file, tr("&Save page as…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
                       [&main] { main.SavePageAs(); });
  SaveSheetPdfAction = add(file, tr("Save sheet as P&DF…"), QKeySequence(), [&main] { main.SaveSheetAsPdf(); });
  PrintEachFolderAction =
      add(file, tr("Print &each folder to PDF…"), QKeySequence(), [&main] { main.PrintEachFolder(); });
  file->addSeparator();
  add(file, tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), [&main] { main.close(); });

  QMenu* view = Menu->addMenu(tr("&View"));
  add(view, tr("Fit &page"), QKeySequence(Qt::CTRL | Qt::Key_0), [&main] { main.SetZoom(T_Main::ZoomMode::FitPage); });
  add(view, tr("Fit &width"), QKeySequence(Qt::CTRL | Qt::Key_9),
      [&main] { main.SetZoom(T_Main::ZoomMode::FitWidth); });
  add(view, tr("&Actual size"), QKeySequence(Qt::CTRL | Qt::Key_1),
      [&main] { main.SetZoom(T_Main::ZoomMode::Scale, 1.0); });
  QAction* zoomIn = add(view, tr("Zoom &in"), QKeySequence(Qt::CTRL | Qt::Key_Plus), [&main] { main.ZoomBy(1.25); });
  // Ctrl+= as well: on most keyboards + is = with Shift.
  zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  add(view, tr("Zoom &out"), QKeySequence(Qt::CTRL | Qt::Key_Minus), [&main] { main.ZoomBy(0.8); });
  QAction* leftOut = view->addAction(tr("&Show left-out pictures"));
  leftOut->setCheckable(true);
  connect(leftOut, &QAction::toggled, &main, [&main](bool on) { main.ShowLeftOut(on); });
  connect(&main, &T_Main::LeftOutShown, leftOut, &QAction::setChecked);
  view->addSeparator();
  // The page keys act while the preview has the focus; elsewhere they scroll the tree or move the
  // cursor in a field.
  const auto pageKey = [&main, view, &add](const QString& text, Qt::Key key, QToolButton* button) {
    QAction* action = add(view, text, key, [button] { button->click(); });
    action->setShortcutContext(Qt::WidgetShortcut);
    main.Preview->addAction(action);
  };
  pageKey(tr("&First page"), Qt::Key_Home, main.SpeedButton1);
  pageKey(tr("Pre&vious page"), Qt::Key_PageUp, main.SpeedButton3);
  pageKey(tr("&Next page"), Qt::Key_PageDown, main.SpeedButton4);
  pageKey(tr("&Last page"), Qt::Key_End, main.SpeedButton2);

  SheetMenu = Menu->addMenu(tr("&Sheet"));
  add(SheetMenu, tr("&Leave out picked pictures"), Qt::Key_Delete, [&main] { main.Picker->LeaveOutPicked(); })
      ->setShortcutContext(Qt::WidgetShortcut);
  main.Preview->addAction(SheetMenu->actions().back());
  add(SheetMenu, tr("&Bring back all left-out pictures"), QKeySequence(), [&main] { main.Picker->BringBackAll(); });
  SheetMenu->addSeparator();
  add(SheetMenu, tr("&Update"), QKeySequence(Qt::CTRL | Qt::Key_R), [&main] { main.Button3->click(); });
  add(SheetMenu, tr("Select &font…"), QKeySequence(), [&main] { main.Button2->click(); });
  add(SheetMenu, tr("Page se&tup…"), QKeySequence(), [&main] { main.Button1->click(); });
  add(SheetMenu, tr("&Options…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), [&main] { main.Button4->click(); });
  add(SheetMenu, tr("&Layouts…"), QKeySequence(Qt::CTRL | Qt::Key_L), [&main] { main.EditLayouts(&main); });

  QMenu* help = Menu->addMenu(tr("&Help"));
  add(help, tr("&Keyboard shortcuts"), QKeySequence(Qt::CTRL | Qt::Key_F1), [this] { ShowShortcuts(); });
  add(help, tr("&About Tablora"), Qt::Key_F1, [&main] { ShowAbout(&main); });

  // The preview takes the focus when clicked or tabbed to, and then turns the pages.
  main.Preview->setFocusPolicy(Qt::StrongFocus);

  main.setAcceptDrops(true);
  main.installEventFilter(this);
  // The menu's Print follows the button, off until there is a sheet.
  PrintAction->setEnabled(main.PrintBtn->isEnabled());
  SavePageAction->setEnabled(main.PrintBtn->isEnabled());
  SaveSheetPdfAction->setEnabled(main.PrintBtn->isEnabled());
  PrintEachFolderAction->setEnabled(main.PrintBtn->isEnabled());
  main.PrintBtn->installEventFilter(this);
}

QString TMainActions::ShortcutsText() const {
  QString rows;
  for (QAction* top : Menu->actions()) {
    if (top->menu() == nullptr) continue;
    for (QAction* action : top->menu()->actions()) {
      if (action->shortcut().isEmpty()) continue;
      QString name = action->text();
      name.remove('&');
      rows += QStringLiteral("<tr><td>%1</td><td>&nbsp;&nbsp;%2</td></tr>")
                  .arg(name.toHtmlEscaped(), action->shortcut().toString(QKeySequence::NativeText).toHtmlEscaped());
    }
  }
  return QStringLiteral("<table>%1</table>").arg(rows);
}

void TMainActions::ShowShortcuts() {
  QMessageBox box(QMessageBox::NoIcon, tr("Keyboard shortcuts"), ShortcutsText(), QMessageBox::Ok, &main_);
  box.setObjectName("ShortcutsBox");
  box.setTextFormat(Qt::RichText);
  box.exec();
}

void TMainActions::ShowAbout(QWidget* parent) {
  QMessageBox box(QMessageBox::NoIcon, tr("About Tablora"), AboutText(), QMessageBox::Ok, parent);
  box.setObjectName("AboutBox");
  box.setTextFormat(Qt::RichText);
  if (parent != nullptr && !parent->windowIcon().isNull()) {
    box.setIconPixmap(parent->windowIcon().pixmap(64, 64));
  }
  box.exec();
}

bool TMainActions::eventFilter(QObject* watched, QEvent* event) {
  if (watched == main_.PrintBtn && event->type() == QEvent::EnabledChange) {
    PrintAction->setEnabled(main_.PrintBtn->isEnabled());
    SavePageAction->setEnabled(main_.PrintBtn->isEnabled());
    SaveSheetPdfAction->setEnabled(main_.PrintBtn->isEnabled());
    PrintEachFolderAction->setEnabled(main_.PrintBtn->isEnabled());
  }
  if (watched == &main_ && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    if (!DroppedFolder(drag->mimeData()).isEmpty()) {
      drag->acceptProposedAction();
      return true;
    }
  }
  if (watched == &main_ && event->type() == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    const QString folder = DroppedFolder(drop->mimeData());
    if (!folder.isEmpty()) {
      main_.SelectFolder(folder);
      drop->acceptProposedAction();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tablora
