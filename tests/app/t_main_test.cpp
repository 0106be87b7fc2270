#include "app/t_main.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/preview_picker.h"
#include "app/program_icon.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/t_splash.h"
#include "platform/canvas_factory.h"
#include "platform/directory_search.h"
#include "platform/qt_printer_device.h"
#include "support/run_command.h"
#include "support/engine_fakes.h"
#include "support/sheet_fakes.h"
#include "support/qt_application.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using Kind = test::RecordingSurface::Kind;


class Dialog : public PrintDialog {
 public:
  PrintChoice Execute(int, int maxPage) override {
    lastMax = maxPage;
    return choice;
  }
  PrintChoice choice{true, prAllPages, 0, 0};
  int lastMax = 0;
};

class Messages : public MessageBox {
 public:
  void Show(const std::string& text, const std::string& caption, MessageIcon) override {
    shown.push_back(caption + ": " + text);
  }
  std::vector<std::string> shown;
};

// The four windows wired as the program wires them, over the given services.
struct Windows {
  explicit Windows(const MainServices& services)
      : main(services), processing(&main), options(&main) {
    main.SetWindows(&splash, &processing, &options);
    main.show();
  }
  T_Main main;
  T_Splash splash;
  T_Processing processing;
  T_Options options;
};

// The program's real readers, canvases and file system under the windows, with a given printer.
struct RealWindow {
  explicit RealWindow(PrinterDevice& printer) {
    services.printer = &printer;
    services.canvases = &canvases;
    services.thumbnails = &loader;
    services.directories = &directories;
    services.pump = &pump;
    services.printDialog = &dialog;
    services.messages = &messages;
    windows = std::make_unique<Windows>(services);
  }
  T_Main& Main() { return windows->main; }

  QtCanvasFactory canvases;
  ExtensionThumbnailLoader loader;
  PosixDirectorySearch directories;
  test::FakePump pump;
  Dialog dialog;
  Messages messages;
  MainServices services;
  std::unique_ptr<Windows> windows;
};

// The main window with its three windows, over fakes for printer, canvases and dialogs.
class MainWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::Application(); }

  MainWindow() {
    services.printer = &printer;
    services.canvases = &canvases;
    services.thumbnails = &loader;
    services.messages = &messages;
    services.printDialog = &dialog;
    services.directories = &directories;
    services.pump = &pump;
    main = std::make_unique<T_Main>(services);
    splash = std::make_unique<T_Splash>();
    processing = std::make_unique<T_Processing>(main.get());
    options = std::make_unique<T_Options>(main.get());
    main->SetWindows(splash.get(), processing.get(), options.get());
    // Seven files in two folders.
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "S/d.bmp", "S/e.bmp", "S/f.bmp", "g.bmp"}) {
      tree.File(name);
    }
  }

  void BuildTree(int rows, int columns) {
    main->SelectFolder(QString::fromStdString(tree.Path()));
    main->RowInput->SetValue(rows);
    main->ColInput->SetValue(columns);
    main->BuildBtn->click();
  }

  QString Label() const { return main->PreviewPageNumber->text(); }

  test::FakePrinter printer;
  test::RecordingCanvases canvases;
  test::FakeLoader loader;
  Messages messages;
  Dialog dialog;
  PosixDirectorySearch directories;
  test::FakePump pump;
  MainServices services;
  test::TempTree tree;
  std::unique_ptr<T_Main> main;
  std::unique_ptr<T_Splash> splash;
  std::unique_ptr<T_Processing> processing;
  std::unique_ptr<T_Options> options;
};

TEST_F(MainWindow, StartsWithAnEmptySheet) {
  main->show();
  EXPECT_EQ(main->windowTitle(), "Tablora");
  EXPECT_EQ(Label(), "Page 0 of 0");
  EXPECT_EQ(main->TitleEdit->text(), "");  // the home folder is selected but the title waits
  EXPECT_EQ(main->SelectedFolder(), QDir::homePath().toStdString());
  EXPECT_EQ(main->RowInput->Value(), 10);
  EXPECT_EQ(main->ColInput->Value(), 6);
  EXPECT_EQ(main->BuildBtn->text(), "&Build");
  EXPECT_EQ(main->PrintBtn->text(), "&Print");
  // The whole page in view: the preview takes the scroll area's room, and nothing is printable.
  EXPECT_EQ(main->Preview->size(), main->PreviewScroll->maximumViewportSize());
  EXPECT_FALSE(main->PrintBtn->isEnabled());
  EXPECT_EQ(main->FontName(), "Tahoma");
}

TEST_F(MainWindow, BuildShowsPageOneAndThePageButtonsStopAtTheEnds) {
  main->show();
  BuildTree(1, 1);  // one file per page
  EXPECT_EQ(Label(), "Page 1 of 7");
  EXPECT_FALSE(processing->isVisible());
  main->SpeedButton3->click();  // < on page 1
  EXPECT_EQ(Label(), "Page 1 of 7");
  main->SpeedButton4->click();  // >
  EXPECT_EQ(Label(), "Page 2 of 7");
  main->SpeedButton2->click();  // >>
  EXPECT_EQ(Label(), "Page 7 of 7");
  main->SpeedButton4->click();  // > on the last page
  EXPECT_EQ(Label(), "Page 7 of 7");
  main->SpeedButton1->click();  // <<
  EXPECT_EQ(Label(), "Page 1 of 7");
}

TEST_F(MainWindow, SelectingAFolderSetsTheTitle) {
  main->show();
  main->SelectFolder(QString::fromStdString(tree.Path() + "/S"));
  EXPECT_EQ(main->TitleEdit->text(), "S");
  main->SelectFolder("/");
  EXPECT_EQ(main->TitleEdit->text(), "");
}

// A title the user typed stays when another folder is chosen; an empty title, or the name the
// previous folder gave it, follows the folder.
TEST_F(MainWindow, TypedTitleIsKeptWhenAnotherFolderIsChosen) {
  main->show();
  tree.File("T/h.bmp");
  const QString root = QString::fromStdString(tree.Path());
  struct Step {
    const char* typed;  // nullptr: nothing typed before choosing
    QString folder;
    QString title;
  };
  const std::vector<Step> steps = {
      {nullptr, root + "/S", "S"},             // empty: takes the name
      {nullptr, root + "/T", "T"},             // still the previous folder's name
      {"Wedding", root + "/S", "Wedding"},     // typed: kept
      {nullptr, root + "/T", "Wedding"},
      {"", root + "/S", "S"},                  // emptied: follows again
      {"T", root + "/T", "T"},                 // typed what happens to be a name: still follows
  };
  for (const Step& step : steps) {
    if (step.typed) main->TitleEdit->setText(step.typed);
    main->SelectFolder(step.folder);
    EXPECT_EQ(main->TitleEdit->text(), step.title) << step.folder.toStdString();
  }
}

// Cancel during the walk shows no sheet and says so: a part of a tree found in the order of the
// walk would pass for the whole sheet.
TEST_F(MainWindow, CancelledBuildShowsNoSheetAndSaysSo) {
  main->show();
  BuildTree(1, 1);
  EXPECT_EQ(Label(), "Page 1 of 7");
  int pumps = 0;
  pump.onPump = [&](int) {
    if (++pumps == 3) processing->Button1->click();  // inside the walk
  };
  main->BuildBtn->click();
  pump.onPump = nullptr;
  EXPECT_EQ(Label(), "Page 0 of 0");
  EXPECT_EQ(main->StatusLine->text(), "Build cancelled");
  EXPECT_TRUE(main->Sheet().FileList.empty());
  EXPECT_FALSE(main->SpeedButton4->isEnabled());
  EXPECT_FALSE(main->PrintBtn->isEnabled());
  main->PrintBtnClick();  // nothing to print: only the message
  EXPECT_EQ(messages.shown.size(), 1u);
  main->BuildBtn->click();  // built again: the notice goes
  EXPECT_EQ(Label(), "Page 1 of 7");
  EXPECT_EQ(main->StatusLine->text(), "");
  tree.Folder("Nothing");
  main->SelectFolder(QString::fromStdString(tree.Path() + "/Nothing"));
  main->BuildBtn->click();
  EXPECT_EQ(main->StatusLine->text(), QString::fromStdString("No pictures in " + tree.Path() + "/Nothing"));
}

// The preview draws without the progress window: the page stands with its captions before its
// pictures arrive, its label changes when it does, and a page button pressed meanwhile stops the
// filling and goes on from the page it asked for.
TEST_F(MainWindow, PreviewFillsWithoutAWindowAndGivesWayToTheNextPage) {
  main->show();
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) loader.images[name] = {10, 10};
  BuildTree(1, 1);
  bool windowSeen = false;
  std::vector<QString> labels;
  bool clicked = false;
  pump.onPump = [&](int) {
    windowSeen |= processing->isVisible();
    labels.push_back(Label());
    if (!clicked && Label() == "Page 2 of 7") {
      clicked = true;
      main->SpeedButton4->click();  // a second ">" while page 2 fills
    }
  };
  main->SpeedButton4->click();
  pump.onPump = nullptr;
  EXPECT_FALSE(windowSeen);
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.front(), "Page 1 of 7");  // until page 2 stands in the preview
  EXPECT_TRUE(clicked);
  EXPECT_EQ(Label(), "Page 3 of 7");
  EXPECT_EQ(main->Sheet().CurrentPage, 3);
}

TEST_F(MainWindow, PageButtonsThatWouldNotMoveAreDisabled) {
  main->show();
  const auto enabled = [&] {
    return std::vector<bool>{main->SpeedButton1->isEnabled(), main->SpeedButton3->isEnabled(),
                             main->SpeedButton4->isEnabled(), main->SpeedButton2->isEnabled()};
  };
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));  // no sheet
  BuildTree(1, 1);
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, true, true}));
  main->SpeedButton4->click();
  EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true}));
  main->SpeedButton2->click();
  EXPECT_EQ(enabled(), (std::vector<bool>{true, true, false, false}));
  BuildTree(7, 6);  // one page
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));
  EXPECT_FALSE(main->windowIcon().isNull());
  EXPECT_EQ(ProgramIconPicture().size(), QSize(128, 128));
}

// Bold and italic go with the typeface, and the dialog opens on the font the sheet uses.
TEST_F(MainWindow, SelectFontKeepsTheStyleAndOpensOnTheCurrentFont) {
  main->show();
  std::vector<QFont> opened;
  QFont pick("DejaVu Serif");
  pick.setBold(true);
  pick.setItalic(true);
  main->Services().chooseFont = [&](const QFont& start) -> std::optional<QFont> {
    opened.push_back(start);
    return pick;
  };
  main->Button2->click();
  EXPECT_EQ(main->FontName(), "DejaVu Serif");
  EXPECT_EQ(main->FontStyle(), (TFontStyle{true, true}));
  main->Services().chooseFont = [&](const QFont& start) -> std::optional<QFont> {
    opened.push_back(start);
    return std::nullopt;
  };
  main->Button2->click();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_FALSE(opened[0].bold());
  EXPECT_FALSE(opened[0].italic());
  EXPECT_EQ(opened[0].pointSize(), 8);
  // The face the dialog shows first: upright, regular (DejaVu lists "Oblique" before "Book").
  EXPECT_FALSE(opened[0].styleName().contains("Oblique")) << opened[0].styleName().toStdString();
  EXPECT_FALSE(opened[0].styleName().contains("Italic")) << opened[0].styleName().toStdString();
  EXPECT_FALSE(opened[0].styleName().contains("Condensed")) << opened[0].styleName().toStdString();
  EXPECT_TRUE(opened[1].bold());
  EXPECT_TRUE(opened[1].italic());
  EXPECT_EQ(main->FontName(), "DejaVu Serif");  // dismissed: nothing changes
}

TEST_F(MainWindow, OptionsTakeEffectAtOnce) {
  main->show();
  BuildTree(1, 1);
  main->TitleEdit->setText("A");  // after the folder was chosen, which set the title
  main->SpeedButton4->click();        // page 2
  auto titleX = [&] {
    int x = -1;
    for (const auto& op : canvases.OpsOnBitmapsOf(main->Preview->Width(), main->Preview->Height())) {
      if (op.kind == Kind::TextOut && op.text == "A") x = op.rect.Left;
    }
    return x;
  };
  const int before = titleX();
  options->PrintFacingBox->setChecked(true);
  EXPECT_GT(titleX(), before);  // the title moved to the right on an even page, without Update
}

TEST_F(MainWindow, EnterInAFieldBuilds) {
  main->show();
  main->SelectFolder(QString::fromStdString(tree.Path()));
  main->RowInput->setFocus();
  QTest::keyClick(main->RowInput, Qt::Key_Return);
  EXPECT_EQ(Label(), "Page 1 of 1");
}

// Qt's page set-up dialog asks the print server about paper: the server is asked first, and
// when the user gives up waiting for it no dialog opens.
TEST_F(MainWindow, PageSetupAsksThePrintServerFirst) {
  int dialogs = 0;
  main->Services().pageSetup = [&] {
    ++dialogs;
    return false;
  };
  for (const bool answers : {false, true}) {
    printer.serverAnswers = answers;
    main->Button1->click();
    EXPECT_EQ(dialogs, answers ? 1 : 0);
  }
  EXPECT_EQ(printer.lookUps, 2);
}

TEST_F(MainWindow, SpinFieldReadsTypedTextAndClampsOnLeavingIt) {
  main->show();
  main->RowInput->setFocus();
  main->RowInput->SetValue(0);
  EXPECT_EQ(main->RowInput->Value(), 0);  // read as typed while the field has the focus
  main->ColInput->setFocus();
  QApplication::processEvents();
  main->RowInput->clearFocus();
  QFocusEvent out(QEvent::FocusOut);
  QApplication::sendEvent(main->RowInput, &out);
  EXPECT_EQ(main->RowInput->Value(), 1);
  main->RowInput->SetValue(99);
  QApplication::sendEvent(main->RowInput, &out);
  EXPECT_EQ(main->RowInput->Value(), 30);
  QString text = "1a";
  int pos = 0;
  EXPECT_EQ(main->RowInput->validate(text, pos), QValidator::Invalid);
  text = "-3";
  EXPECT_EQ(main->RowInput->validate(text, pos), QValidator::Acceptable);
  main->RowInput->SetText("+");
  EXPECT_EQ(main->RowInput->Value(), 1);  // not an integer: the minimum
}

TEST_F(MainWindow, SplitterKeepsTheLeftPanelAsWideAsItsControlsNeed) {
  main->show();
  main->Splitter1->setSizes({100, 800});
  main->Splitter1CanResize();
  EXPECT_EQ(main->Splitter1->sizes()[0], std::max(173, main->Panel1->minimumSizeHint().width()));
  EXPECT_GE(main->Button3->width(), main->Button3->sizeHint().width());  // "Update" whole
}

TEST_F(MainWindow, PrintBeforeBuildOnlyExplains) {
  main->show();
  EXPECT_FALSE(main->PrintBtn->isEnabled());
  main->PrintBtnClick();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].rfind("Try again: You need to build the archive first!", 0), 0u);
  EXPECT_TRUE(printer.events.empty());
}

TEST_F(MainWindow, PrintRangesPrintTheRightPagesInOrder) {
  main->show();
  BuildTree(1, 1);
  auto printed = [&] {
    std::vector<std::string> pages;
    for (const auto& op : printer.canvas.OpsOf(Kind::TextOut)) {
      if (op.text.rfind("Page ", 0) == 0) pages.push_back(op.text);
    }
    printer.canvas.ops.clear();
    printer.events.clear();
    return pages;
  };
  dialog.choice = {true, prPageNums, 3, 5};
  main->PrintBtn->click();
  EXPECT_EQ(printed(), (std::vector<std::string>{"Page 3 of 7", "Page 4 of 7", "Page 5 of 7"}));
  main->SpeedButton4->click();
  dialog.choice = {true, prSelection, 0, 0};
  main->PrintBtn->click();
  EXPECT_EQ(printed(), (std::vector<std::string>{"Page 2 of 7"}));
  dialog.choice = {true, prAllPages, 0, 0};
  main->PrintBtn->click();
  EXPECT_EQ(printed().size(), 7u);
  EXPECT_EQ(dialog.lastMax, 7);
}

TEST_F(MainWindow, CancelDuringPrintAbortsOrEndsTheJob) {
  main->show();
  BuildTree(1, 1);
  int pumps = 0;
  pump.onPump = [&](int) {
    if (++pumps == 4) processing->Button1->click();  // Cancel while page 2 is drawn
  };
  main->PrintBtn->click();
  EXPECT_EQ(printer.events.back(), "Abort");
  EXPECT_EQ(std::count(printer.events.begin(), printer.events.end(), "EndDoc"), 0);

  printer.events.clear();
  pumps = 0;
  dialog.choice = {true, prPageNums, 7, 7};
  pump.onPump = [&](int) {
    if (++pumps == 2) processing->Button1->click();  // Cancel while the last page is drawn
  };
  main->PrintBtn->click();
  EXPECT_EQ(printer.events, (std::vector<std::string>{"BeginDoc", "EndDoc"}));
}

// The real window over real readers and canvases: page 1 of a folder of fixtures, saved as a
// picture of the whole window for a person to look at.
TEST(MainWindowScreenshot, BuildShowsTheFirstPage) {
  test::Application();
  test::TempTree tree;
  for (const char* name : {"pal8.bmp", "rgb24.bmp", "pal4.bmp", "pal1.bmp"}) {
    std::filesystem::copy_file(test::DataDir() / "bmp" / name, tree.Root() / name);
    std::filesystem::create_directories(tree.Root() / "Scans");
    std::filesystem::copy_file(test::DataDir() / "bmp" / name, tree.Root() / "Scans" / name);
  }
  std::filesystem::copy_file(test::DataDir() / "jpeg" / "colour.jpg", tree.Root() / "colour.jpg");
  test::FakePrinter printer;
  RealWindow window(printer);
  T_Main& main = window.Main();
  main.SelectFolder(QString::fromStdString(tree.Path()));
  main.BuildBtn->click();
  EXPECT_EQ(main.PreviewPageNumber->text(), "Page 1 of 1");
  const QImage picture = main.Preview->Picture();
  const TRect page = main.Sheet().PageRect;
  const int width = page.Right - page.Left;
  const int height = page.Bottom - page.Top;
  ASSERT_GT(width, 100);
  // Grey around, white page, and something drawn on the page where the first image box is.
  EXPECT_EQ(picture.pixel(page.Left > 2 ? 1 : 5, page.Top > 2 ? 1 : 5) & 0xFFFFFF, 0x808080u);
  EXPECT_EQ(picture.pixel(page.Left + 6, page.Top + 5) & 0xFFFFFF, 0xFFFFFFu);
  int drawn = 0;
  for (int y = page.Top + height * 123 / 1000; y < page.Top + height * 190 / 1000; ++y) {
    for (int x = page.Left + width * 66 / 1000; x < page.Left + width * 181 / 1000; ++x) {
      drawn += (picture.pixel(x, y) & 0xFFFFFF) != 0xFFFFFFu;
    }
  }
  EXPECT_GT(drawn, 100);
  main.grab().save(QString::fromStdString((test::BinaryDir() / "main_window.png").string()));
}

TEST(MainWindowPdf, PrintsAThreePageSheetToAPdfFileAndLeavesOutWhatWasLeftOut) {
  test::Application();
  if (std::system("command -v pdfinfo > /dev/null 2>&1") != 0) GTEST_SKIP() << "pdfinfo is absent";
  test::TempTree tree;
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
    std::filesystem::copy_file(test::DataDir() / "bmp" / "rgb24.bmp", tree.Root() / name);
  }
  const std::string pdf = tree.Path() + "/sheet.pdf";
  QtPrinterDevice printer(pdf);
  RealWindow window(printer);
  T_Main& main = window.Main();
  main.SelectFolder(QString::fromStdString(tree.Path()));
  main.RowInput->SetValue(1);
  main.ColInput->SetValue(1);
  main.BuildBtn->click();
  main.PrintBtn->click();
  ASSERT_TRUE(std::filesystem::exists(pdf));
  const auto info = test::RunCommand("/usr/bin/pdfinfo", {pdf});
  EXPECT_NE(info.out.find("Pages:           3"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Title:           tablora-test-"), std::string::npos) << info.out;

  // A picture left out in the window is absent from the PDF it prints.
  main.Picker->Pick({"/b.bmp"});
  main.Picker->LeaveOutPicked();
  main.PrintBtn->click();
  EXPECT_NE(test::RunCommand("/usr/bin/pdfinfo", {pdf}).out.find("Pages:           2"), std::string::npos);
  const auto text = test::RunCommand("/usr/bin/pdftotext", {pdf, "-"});
  EXPECT_NE(text.out.find("a.bmp"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("b.bmp"), std::string::npos) << text.out;
}

TEST(MainWindowPdf, PagesThePrintServerDidNotTakeCanBeSavedAsPdf) {
  test::Application();
  test::TempTree tree;
  for (const char* name : {"a.bmp", "b.bmp"}) std::filesystem::copy_file(test::DataDir() / "bmp" / "rgb24.bmp", tree.Root() / name);
  // A queue whose server is not running, as lp and lpstat stand-ins tell.
  for (const auto& [name, body] : {std::pair{"lp", "exit 1"}, std::pair{"lpstat", "echo scheduler is not running"}}) {
    tree.File(std::string("bin/") + name, std::string("#!/bin/sh\n") + body + "\n");
    std::filesystem::permissions(tree.Root() / "bin" / name, std::filesystem::perms::owner_all);
  }
  QtPrinterDevice::SetQueueProgram(tree.Path() + "/bin/lp");
  QtPrinterDevice printer{std::string()};
  printer.SetQueue("Office", {});
  RealWindow window(printer);
  T_Main& main = window.Main();
  const std::string saved = tree.Path() + "/kept.pdf";
  main.Services().choosePdfFile = [&] { return QString::fromStdString(saved); };
  QString offer;
  QTimer::singleShot(100, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    offer = box->text();
    box->button(QMessageBox::Save)->click();
  });
  main.SelectFolder(QString::fromStdString(tree.Path()));
  main.RowInput->SetValue(1);
  main.ColInput->SetValue(1);
  main.BuildBtn->click();
  main.PrintBtn->click();
  QtPrinterDevice::SetQueueProgram("lp");
  EXPECT_EQ(offer, "The print server is not running.\n\nSave the drawn pages as a PDF file instead?");
  ASSERT_TRUE(std::filesystem::exists(saved));
  EXPECT_NE(test::RunCommand("/usr/bin/pdfinfo", {saved}).out.find("Pages:           2"), std::string::npos);
}

TEST_F(MainWindow, ErrorTextGetsAFullStop) {
  EXPECT_EQ(ErrorText("Printer is offline"), "Printer is offline.");
  EXPECT_EQ(ErrorText("Done."), "Done.");
  EXPECT_EQ(ErrorText("What?!"), "What?!");  // '!' lies below '.'
  EXPECT_EQ(ErrorText("Error #5"), "Error #5.");
}

TEST(Splash, ClosesAtTheSecondOfItsTwoEvents) {
  test::Application();
  T_Splash splash;
  EXPECT_EQ(splash.size(), QSize(400, 300));
  EXPECT_EQ(splash.Timer1->interval(), 1500);
  EXPECT_TRUE(splash.Timer1->isActive());
  splash.show();
  EXPECT_FALSE(splash.ClosePending());
  splash.CloseWhenReady();  // the main window has been shown
  EXPECT_TRUE(splash.isVisible());
  splash.Timer1Timer();  // the first tick
  EXPECT_FALSE(splash.isVisible());

  T_Splash slow;
  slow.show();
  slow.Timer1Timer();
  slow.Timer1Timer();  // two ticks before the main window appears
  EXPECT_FALSE(slow.isVisible());
  slow.CloseWhenReady();
  EXPECT_FALSE(slow.isVisible());
}

TEST(Splash, PictureHasItsKeyColourAndAShapedMask) {
  test::Application();
  const QImage picture = SplashPicture();
  ASSERT_EQ(picture.size(), QSize(400, 300));
  EXPECT_EQ(picture.pixel(0, 0), T_Splash::kKeyColor);  // a see-through corner
  EXPECT_NE(picture.pixel(100, 150), T_Splash::kKeyColor);
  T_Splash splash;
  EXPECT_FALSE(splash.mask().isEmpty());
  EXPECT_FALSE(splash.mask().contains(QPoint(0, 0)));
  EXPECT_TRUE(splash.mask().contains(QPoint(100, 150)));
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// The Options window's layout choice takes effect at once, with the template's grid; the choice
// is remembered; a template that cannot be used is reported and the layout stays.
TEST_F(MainWindow, ALayoutChosenInOptionsRedrawsTheSheetAndIsRemembered) {
  test::TempTree config;
  const TemplateStore store(config.Path());
  config.File("Broken.json", R"({"version": 1, "name": "Broken", "grid": {"rows": 99}})");
  main->SetTemplateStore(&store);
  BuildTree(10, 6);
  EXPECT_EQ(Label(), "Page 1 of 1");
  main->OfferLayouts();
  ASSERT_EQ(options->TemplateBox->count(), 4);
  options->TemplateBox->setCurrentText("Archive index");
  main->TakeChosenLayout();
  EXPECT_EQ(main->Sheet().Layout.name, "Archive index");
  EXPECT_EQ(main->RowInput->Value(), 12);
  EXPECT_EQ(main->ColInput->Value(), 8);
  // A page for each of the two folders, shown without Update.
  EXPECT_EQ(Label(), "Page 1 of 2");
  EXPECT_EQ(store.LastUsed(), "Archive index");
  EXPECT_FALSE(main->UseTemplate("Broken", true));
  EXPECT_EQ(main->Sheet().Layout.name, "Archive index");
  ASSERT_FALSE(messages.shown.empty());
  EXPECT_NE(messages.shown.back().find("Broken.json: grid.rows: must be a whole number from 1 to 30"), std::string::npos)
      << messages.shown.back();
}

}  // namespace
}  // namespace tablora
