#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>

#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/template_editor.h"
#include "platform/directory_search.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/sheet_fakes.h"
#include "support/window_rig.h"

namespace tablora {
namespace {

using Kind = test::RecordingSurface::Kind;

// The program's main window over fakes, its layouts kept in `templates`.
// The program as it starts: its layouts in `templates`, the last used one in use, `folder` built.
struct Program : test::WindowRig {
  Program(const TemplateStore& templates, const std::string& folder) {
    Open();
    main->SetTemplateStore(&templates);
    main->UseTemplate(templates.LastUsed(), false);
    main->show();
    main->SelectFolder(QString::fromStdString(folder));
    main->BuildBtn->click();
  }
};

// A photographer's own layout made in the window: margins, fill, a three-line caption and a
// footer changed, saved, and there again after the program starts anew.
TEST(LayoutWalk, ALayoutMadeInTheWindowIsThereAfterARestart) {
  test::Application();
  test::TempTree tree;
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) tree.File(name);
  test::TempTree config;
  const std::string folder = config.Path() + "/templates";
  {
    const TemplateStore templates(folder);
    Program first(templates, tree.Path());
    LayoutQuestions questions;
    questions.name = [](const QString&, const QString&) { return std::optional<QString>("Rome proofs"); };
    questions.confirm = [](const QString&) { return true; };
    TemplateEditor editor(templates, first.main->Sheet(), first.main.get(), questions);
    editor.MarginsBox->setChecked(true);
    for (QDoubleSpinBox* margin : editor.MarginEdits) margin->setValue(15);
    editor.FitBox->setCurrentIndex(static_cast<int>(PictureFit::Fill));
    while (editor.CaptionRows.size() < 3) editor.AddLineButton->click();
    editor.CaptionRows[0].text->setText("{frame}. {name}");
    editor.CaptionRows[1].text->setText("{date:%d.%m.%Y}  {exposure}");
    editor.CaptionRows[2].text->setText("{camera}");
    editor.FooterEdits[1]->setText("© 2026 Jane Doe");
    ASSERT_TRUE(editor.Problems().empty()) << editor.Problems().front();
    editor.SaveAs();
    editor.accept();
    EXPECT_EQ(first.main->Sheet().Layout.name, "Rome proofs");
    EXPECT_EQ(templates.LastUsed(), "Rome proofs");
  }
  const TemplateStore templates(folder);
  Program second(templates, tree.Path());
  const SheetTemplate& layout = second.main->Sheet().Layout;
  EXPECT_EQ(layout.name, "Rome proofs");
  EXPECT_EQ(layout.fit, PictureFit::Fill);
  ASSERT_EQ(layout.captions.size(), 3u);
  EXPECT_EQ(layout.captions[1].text, "{date:%d.%m.%Y}  {exposure}");
  // What the window shows is what prints: the footer and the frame numbers are on paper.
  second.main->PrintBtnClick();
  std::vector<std::string> printed;
  for (const auto& op : second.printer.canvas.OpsOf(Kind::TextOut)) printed.push_back(op.text);
  EXPECT_NE(std::find(printed.begin(), printed.end(), "© 2026 Jane Doe"), printed.end());
  EXPECT_NE(std::find(printed.begin(), printed.end(), "1. a.bmp"), printed.end());
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// A saved layout whose logo is gone is reported by file and setting when chosen, and the sheet
// keeps the layout it had.
TEST(LayoutWalk, ALayoutThatCannotBeDrawnIsReportedAndTheLastGoodOneKept) {
  test::Application();
  test::TempTree tree;
  tree.File("a.bmp");
  test::TempTree config;
  const TemplateStore templates(config.Path());
  SheetTemplate broken = BuiltInTemplates()[0];
  broken.name = "Studio";
  broken.logoFile = config.Path() + "/gone.png";
  templates.Save(broken);
  Program program(templates, tree.Path());
  ASSERT_TRUE(program.main->UseTemplate("Proof sheet", false));
  EXPECT_FALSE(program.main->UseTemplate("Studio", false));
  EXPECT_EQ(program.main->Sheet().Layout.name, "Proof sheet");
  ASSERT_EQ(program.messages.shown.size(), 1u);
  EXPECT_EQ(program.messages.shown[0], "Studio: text.logo.file: cannot read " + config.Path() + "/gone.png.");
  EXPECT_EQ(templates.LastUsed(), "Proof sheet");
}

}  // namespace
}  // namespace tablora
