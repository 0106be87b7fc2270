#include "app/app_actions.h"

#include <QApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/t_splash.h"
#include "platform/directory_search.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/sheet_fakes.h"
#include "version/version.h"

namespace tablora {
namespace {

class CountingDialog : public PrintDialog {
 public:
  PrintChoice Execute(int, int) override {
    ++asked;
    return PrintChoice{};
  }
  int asked = 0;
};

class NoMessages : public MessageBox {
 public:
  void Show(const std::string&, const std::string&, MessageIcon) override {}
};

// The main window with its keys, active, over fakes; seven pictures, one a page.
class MainActions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::Application(); }

  MainActions() {
    services.printer = &printer;
    services.canvases = &canvases;
    services.thumbnails = &loader;
    services.directories = &directories;
    services.pump = &pump;
    services.printDialog = &dialog;
    services.messages = &messages;
    main = std::make_unique<T_Main>(services);
    processing = std::make_unique<T_Processing>(main.get());
    options = std::make_unique<T_Options>(main.get());
    main->SetWindows(&splash, processing.get(), options.get());
    new TMainActions(*main);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "S/d.bmp", "S/e.bmp", "S/f.bmp", "g.bmp"}) {
      tree.File(name);
    }
    main->SelectFolder(QString::fromStdString(tree.Path()));
    main->RowInput->SetValue(1);
    main->ColInput->SetValue(1);
    main->show();
    main->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(main.get()));
  }

  QString Label() const { return main->PreviewPageNumber->text(); }

  test::FakePrinter printer;
  test::RecordingCanvases canvases;
  test::FakeLoader loader;
  PosixDirectorySearch directories;
  test::FakePump pump;
  CountingDialog dialog;
  NoMessages messages;
  MainServices services;
  T_Splash splash;
  test::TempTree tree;
  std::unique_ptr<T_Main> main;
  std::unique_ptr<T_Processing> processing;
  std::unique_ptr<T_Options> options;
};

TEST_F(MainActions, KeysBuildTurnPagesPrintAndQuit) {
  QTest::keyClick(main.get(), Qt::Key_F5);
  ASSERT_EQ(Label(), "Page 1 of 7");

  // The page keys belong to the preview: in the title field they do nothing of the sort.
  main->TitleEdit->setFocus();
  QTest::keyClick(main->TitleEdit, Qt::Key_PageDown);
  QTest::keyClick(main->TitleEdit, Qt::Key_End);
  EXPECT_EQ(Label(), "Page 1 of 7");

  main->Preview->setFocus();
  const struct {
    Qt::Key key;
    const char* label;
  } pages[] = {{Qt::Key_PageDown, "Page 2 of 7"}, {Qt::Key_End, "Page 7 of 7"},
               {Qt::Key_PageDown, "Page 7 of 7"}, {Qt::Key_PageUp, "Page 6 of 7"},
               {Qt::Key_Home, "Page 1 of 7"},     {Qt::Key_PageUp, "Page 1 of 7"}};
  for (const auto& page : pages) {
    QTest::keyClick(main->Preview, page.key);
    EXPECT_EQ(Label(), page.label) << page.key;
  }

  QTest::keyClick(main.get(), Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(dialog.asked, 1);
  QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(main->isVisible());
}

TEST_F(MainActions, AFolderDroppedOnTheWindowIsSelected) {
  tree.Folder("Dropped");
  const auto drop = [this](const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main.get(), &enter);
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main.get(), &dropped);
    return enter.isAccepted() && dropped.isAccepted();
  };
  // A file is no folder: nothing changes.
  EXPECT_FALSE(drop(QString::fromStdString(tree.Path() + "/a.bmp")));
  EXPECT_EQ(main->SelectedFolder(), tree.Path());
  EXPECT_TRUE(drop(QString::fromStdString(tree.Path() + "/S/../Dropped/")));
  EXPECT_EQ(main->SelectedFolder(), tree.Path() + "/Dropped");
  EXPECT_EQ(main->TitleEdit->text(), "Dropped");
}

TEST_F(MainActions, F1ShowsTheVersionAndTheLicences) {
  QString shown;
  QTimer::singleShot(0, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    shown = box->windowTitle() + "\n" + box->text();
    box->accept();
  });
  QTest::keyClick(main.get(), Qt::Key_F1);
  EXPECT_TRUE(shown.startsWith("About Tablora\n")) << shown.toStdString();
  for (const QString& part : {QString("Tablora ") + kVersion, QString("GPL-2.0-or-later"),
                              QString("Qt ") + qVersion(), QString("LGPL-3.0"), QString("libjpeg-turbo 2."),
                              QString("zlib 1."), QString("libwebp 1."), QString("libheif 1."),
                              QString("libjxl 0."), QString("LibRaw"), QString("Little CMS 2"), QString("Exiv2"),
                              QString("(MIT)")}) {
    EXPECT_TRUE(shown.contains(part)) << part.toStdString();
  }
}

}  // namespace
}  // namespace tablora
