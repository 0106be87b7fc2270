// A template's texts as they reach the PDF: a footer in plain text beyond ASCII, captions and the
// header filled from metadata keys, the header's logo among the page's pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using test::CliPath;
using test::RunCommand;

// Lines of `pdfimages -list` that name a picture (after its two header lines).
int ImagesIn(const std::string& pdf) {
  const auto listed = RunCommand("/usr/bin/pdfimages", {"-list", pdf});
  int lines = 0;
  for (const char c : listed.out) lines += c == '\n';
  return lines - 2;
}

TEST(TemplateText, FooterKeysAndLogoReachThePdf) {
  if (std::system("pdftotext -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  test::TempTree tree;
  fs::create_directories(tree.Root() / "photos");
  fs::copy_file(test::DataDir() / "meta" / "keys.jpg", tree.Root() / "photos" / "keys.jpg");
  tree.File("logo.svg",
            "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 20 10'>"
            "<rect width='20' height='10' fill='red'/></svg>");
  const auto layout = [&](const std::string& logo) {
    // The footer's sign in UTF-8 as an editor writes it, not as a JSON escape.
    return std::string(R"({"version": 1, "name": "Signed", "grid": {"rows": 2, "columns": 2},
      "text": {"captions": [{"text": "{name}"}, {"text": "{Exif.Image.Model} / {Xmp.dc.creator}"}],
               "header": {"left": "{title}", "centre": "{Iptc.Application2.City}"},
               "footer": {"left": ")")
        .append("\xC2\xA9 2026 Jane Doe")
        .append(R"(", "right": "{page}"})")
        .append(logo.empty() ? "" : R"(, "logo": {"file": ")" + logo + R"(", "height": "12mm"})")
        .append("}}");
  };
  tree.File("signed.json", layout(tree.Path() + "/logo.svg"));
  tree.File("plain.json", layout(""));
  const std::vector<std::string> config = {"XDG_CONFIG_HOME=" + tree.Path()};
  for (const char* name : {"signed", "plain"}) {
    const std::string pdf = tree.Path() + "/" + name + ".pdf";
    const auto result = RunCommand(CliPath(),
                                   {"sheet", tree.Path() + "/photos", "-o", pdf, "--template",
                                    tree.Path() + "/" + name + ".json", "--title", "Harbour", "--quiet"},
                                   config);
    ASSERT_EQ(result.status, 0) << result.err;
  }
  const auto text = RunCommand("/usr/bin/pdftotext", {"-layout", tree.Path() + "/signed.pdf", "-"});
  for (const std::string shown : {"\xC2\xA9 2026 Jane Doe", "Canon EOS R5 / Jane Doe, John Roe", "Genova", "Harbour"}) {
    EXPECT_NE(text.out.find(shown), std::string::npos) << shown << " in:\n" << text.out;
  }
  EXPECT_EQ(ImagesIn(tree.Path() + "/signed.pdf"), ImagesIn(tree.Path() + "/plain.pdf") + 1);
}

// A layout that cannot be drawn on the paper is a wrong argument naming the file and the setting,
// and nothing is written.
TEST(TemplateText, ALayoutThatCannotBeDrawnIsRefusedBeforeAnythingIsWritten) {
  test::TempTree tree;
  fs::create_directories(tree.Root() / "photos");
  fs::copy_file(test::DataDir() / "meta" / "keys.jpg", tree.Root() / "photos" / "keys.jpg");
  const struct {
    const char* file;
    const char* json;
    std::vector<std::string> options;
    std::string message;
  } cases[] = {
      {"logo.json", R"({"version": 1, "name": "Logo", "text": {"logo": {"file": "/nonexistent/studio.png"}}})", {},
       "logo.json: text.logo.file: cannot read /nonexistent/studio.png"},
      // 2 x 120 mm of margins fit across A3 but not across A4.
      {"wide.json", R"({"version": 1, "name": "Wide", "page": {"margins": {"top": "10mm", "bottom": "10mm", "inside": "120mm", "outside": "120mm"}}})",
       {}, "wide.json: page.margins:"},
  };
  for (const auto& c : cases) {
    tree.File(c.file, c.json);
    const std::string pdf = tree.Path() + "/sheet.pdf";
    std::vector<std::string> args = {"sheet",      tree.Path() + "/photos",
                                     "-o",         pdf,
                                     "--template", tree.Path() + "/" + c.file};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto result = RunCommand(CliPath(), args, {"XDG_CONFIG_HOME=" + tree.Path()});
    EXPECT_EQ(result.status, 2) << c.file;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(pdf)) << c.file;
  }
  const auto a3 = RunCommand(CliPath(), {"sheet", tree.Path() + "/photos", "-o", tree.Path() + "/a3.pdf", "--template",
                                         tree.Path() + "/wide.json", "--paper", "A3", "--landscape", "--quiet"},
                             {"XDG_CONFIG_HOME=" + tree.Path()});
  EXPECT_EQ(a3.status, 0) << a3.err;
}

}  // namespace
}  // namespace tablora
