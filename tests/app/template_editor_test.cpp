#include "app/template_editor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/translations.h"
#include "platform/canvas_factory.h"
#include "platform/directory_search.h"
#include "support/engine_fakes.h"
#include "support/qt_application.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

// A sheet with nothing built that draws through Qt, and a template store in a configuration
// folder of the test's own.
struct Editing : ::testing::Test {
  Editing() {
    test::Application();
    questions.name = [this](const QString& label, const QString& start) -> std::optional<QString> {
      asked << label + " [" + start + "]";
      return names.isEmpty() ? std::nullopt : std::optional<QString>(names.takeFirst());
    };
    questions.confirm = [this](const QString& question) {
      asked << question;
      return yes;
    };
  }
  ~Editing() override { ::unsetenv("XDG_CONFIG_HOME"); }

  fs::path File(const std::string& name) const { return config.Root() / "Tablora" / "templates" / (name + ".json"); }
  static void Select(TemplateEditor& editor, const QString& name) {
    editor.Layouts->setCurrentItem(editor.Layouts->findItems(name, Qt::MatchExactly).value(0));
  }

  test::TempTree config;
  const bool configured = ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1) == 0;
  TemplateStore store;
  test::FakeProgress progress;
  test::FakePump pump;
  test::FakeInputs inputs;
  test::FakeOptions options;
  PosixDirectorySearch directories;
  test::FakePrinter printer;
  QtCanvasFactory canvases;
  test::FakeLoader loader;
  TContactSheet sheet{SheetServices{.progress = &progress, .pump = &pump, .inputs = &inputs, .options = &options,
                                    .directories = &directories, .printer = &printer, .canvases = &canvases,
                                    .thumbnails = &loader}};
  LayoutQuestions questions;
  QStringList names;  // the names typed, in turn
  QStringList asked;
  bool yes = true;
};

TEST_F(Editing, AMarginRedrawsThePreviewOfStandIns) {
  TemplateEditor editor(store, sheet, nullptr, questions);
  EXPECT_EQ(editor.windowTitle(), "Layouts");
  const QImage before = editor.PreviewPicture();
  ASSERT_EQ(before.size(), QSize(300, 424));
  // Nothing is built: grey stand-ins fill the cells.
  int grey = 0;
  for (int y = 0; y < before.height(); ++y) {
    for (int x = 0; x < before.width(); ++x) grey += before.pixel(x, y) == qRgb(0xC8, 0xC8, 0xC8);
  }
  EXPECT_GT(grey, 60 * 300);
  EXPECT_EQ(editor.PageLabel->text(), "Page 1 of 1");
  editor.MarginsBox->setChecked(true);
  editor.MarginEdits[0]->setValue(60);
  editor.RedrawPreview();
  EXPECT_NE(editor.PreviewPicture(), before);
  EXPECT_EQ(editor.Edited().margins->top, Mm(60));
  // Inches tell the same length.
  editor.UnitBox->setCurrentIndex(1);
  EXPECT_NEAR(editor.MarginEdits[0]->value(), 60 / 25.4, 0.001);
  EXPECT_NEAR(editor.Edited().margins->top.Millimetres(), 60, 0.02);
  EXPECT_EQ(sheet.Layout, ClassicTemplate());
  EXPECT_EQ(sheet.PageCount, 0);
}

TEST_F(Editing, SaveAsRenameAndDelete) {
  TemplateEditor editor(store, sheet, nullptr, questions);
  Select(editor, "Proof sheet");
  EXPECT_FALSE(editor.RenameButton->isEnabled());
  EXPECT_FALSE(editor.DeleteButton->isEnabled());
  editor.RowsEdit->setValue(3);
  names << "Rome";
  editor.SaveAsButton->click();
  ASSERT_TRUE(fs::exists(File("Rome")));
  EXPECT_EQ(store.Find("Rome").rows, 3);
  EXPECT_EQ(store.Find("Rome").captions, BuiltInTemplates()[1].captions);
  EXPECT_EQ(editor.Layouts->currentItem()->text(), "Rome");
  EXPECT_EQ(editor.Layouts->count(), 5);
  EXPECT_TRUE(editor.DeleteButton->isEnabled());

  // Saving over a saved layout asks first.
  yes = false;
  editor.RowsEdit->setValue(4);
  names << "Rome";
  editor.SaveAsButton->click();
  EXPECT_EQ(asked.last(), "A layout named \"Rome\" exists. Replace it?");
  EXPECT_EQ(store.Find("Rome").rows, 3);

  names << "Paris";
  editor.RenameButton->click();
  EXPECT_FALSE(fs::exists(File("Rome")));
  EXPECT_EQ(store.Find("Paris").rows, 3);
  EXPECT_EQ(editor.Layouts->currentItem()->text(), "Paris");

  editor.DeleteButton->click();  // not confirmed
  EXPECT_TRUE(fs::exists(File("Paris")));
  yes = true;
  editor.DeleteButton->click();
  EXPECT_EQ(asked.last(), "Delete the layout \"Paris\"?");
  EXPECT_FALSE(fs::exists(File("Paris")));
  EXPECT_EQ(store.List().size(), BuiltInTemplates().size());
  EXPECT_EQ(editor.Layouts->currentItem()->text(), "Classic");
}

TEST_F(Editing, BuiltInLayoutsStayAsTheyAre) {
  TemplateEditor editor(store, sheet, nullptr, questions);
  Select(editor, "Film strip");
  editor.Delete();
  editor.Rename();
  EXPECT_TRUE(asked.isEmpty());
  names << "Classic";
  editor.SaveAs();
  EXPECT_EQ(editor.ProblemLine->text(), "\"Classic\" is a built-in layout; choose another name");
  EXPECT_FALSE(fs::exists(config.Root() / "Tablora" / "templates"));
  EXPECT_EQ(store.List().size(), BuiltInTemplates().size());
}

TEST_F(Editing, AnUnknownFieldIsNamedAndBlocksSaving) {
  TemplateEditor editor(store, sheet, nullptr, questions);
  QPushButton* ok = editor.Buttons->button(QDialogButtonBox::Ok);
  editor.CaptionRows[0].text->setText("{frame} {nme}");
  EXPECT_EQ(editor.ProblemLine->text(), "text.captions[0].text: unknown field {nme}");
  EXPECT_FALSE(editor.SaveAsButton->isEnabled());
  EXPECT_FALSE(ok->isEnabled());
  editor.accept();
  EXPECT_EQ(sheet.Layout, ClassicTemplate());
  editor.CaptionRows[0].text->setText("{frame} {name}");
  EXPECT_TRUE(editor.ProblemLine->text().isEmpty());
  EXPECT_TRUE(ok->isEnabled());
  // OK lays the sheet out with the edited layout and records its name.
  editor.AddLineButton->click();
  editor.CaptionRows[1].text->setText("{exposure}");
  editor.CaptionRows[1].align->setCurrentIndex(2);
  editor.accept();
  EXPECT_EQ(sheet.Layout.captions,
            (std::vector<CaptionTemplate>{{"{frame} {name}"}, {"{exposure}", TextAlign::Right}}));
  EXPECT_EQ(store.LastUsed(), "Classic");
  EXPECT_EQ(editor.result(), QDialog::Accepted);
}

// The window in both languages, for a look: the buttons, the form and the page side by side, the
// form scrolled rather than cut.
TEST_F(Editing, Screenshots) {
  for (const char* language : {"en", "de"}) {
    Translations translations;
    if (std::string(language) == "de") {
      translations.Install(QLocale("de_DE"),
                           {QString::fromStdString((test::BinaryDir() / "src" / "app" / "translations").string())});
    }
    TemplateEditor editor(store, sheet, nullptr, questions);
    editor.show();
    editor.grab().save(QString::fromStdString((test::BinaryDir() / "layouts_" ).string() + language + ".png"));
    for (QWidget* widget : std::initializer_list<QWidget*>{editor.SaveAsButton, editor.DeleteButton, editor.Preview,
                                                           editor.Buttons}) {
      EXPECT_TRUE(editor.rect().contains(QRect(widget->mapTo(&editor, QPoint(0, 0)), widget->size()))) << language;
    }
    EXPECT_GE(editor.SaveAsButton->width(), editor.SaveAsButton->sizeHint().width()) << language;
  }
}

}  // namespace
}  // namespace tablora
