#include "app/app_actions.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

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
  const auto add = [](QWidget* widget, const QKeySequence& keys, Qt::ShortcutContext context,
                      auto handler) {
    auto* action = new QAction(widget);
    action->setShortcut(keys);
    action->setShortcutContext(context);
    QObject::connect(action, &QAction::triggered, widget, handler);
    widget->addAction(action);
  };
  add(&main, QKeySequence(Qt::CTRL | Qt::Key_P), Qt::WindowShortcut, [&main] { main.PrintBtn->click(); });
  add(&main, QKeySequence(Qt::CTRL | Qt::Key_Q), Qt::WindowShortcut, [&main] { main.close(); });
  add(&main, Qt::Key_F5, Qt::WindowShortcut, [&main] { main.BuildBtn->click(); });
  add(&main, Qt::Key_F1, Qt::WindowShortcut, [&main] { ShowAbout(&main); });

  // The preview takes the focus when clicked or tabbed to, and then turns the pages.
  main.Preview->setFocusPolicy(Qt::StrongFocus);
  add(main.Preview, Qt::Key_PageUp, Qt::WidgetShortcut, [&main] { main.SpeedButton3->click(); });
  add(main.Preview, Qt::Key_PageDown, Qt::WidgetShortcut, [&main] { main.SpeedButton4->click(); });
  add(main.Preview, Qt::Key_Home, Qt::WidgetShortcut, [&main] { main.SpeedButton1->click(); });
  add(main.Preview, Qt::Key_End, Qt::WidgetShortcut, [&main] { main.SpeedButton2->click(); });

  main.setAcceptDrops(true);
  main.installEventFilter(this);
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
