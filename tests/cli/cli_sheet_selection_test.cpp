#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "sheet/picture_selection.h"
#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using test::CliPath;

fs::path Sample(const std::string& name) { return test::DataDir().parent_path().parent_path() / "samples" / name; }

bool HavePdfToText() { return std::system("pdftotext -v >/dev/null 2>&1") == 0; }

// A run that reads no setting of the machine's user: templates, selections and thumbnails all
// under the test's own folder.
struct Cli {
  test::TempTree home;
  std::vector<std::string> Environment() const {
    return {"XDG_CONFIG_HOME=" + home.Path() + "/config", "XDG_DATA_HOME=" + home.Path() + "/data",
            "XDG_CACHE_HOME=" + home.Path() + "/cache"};
  }
  test::CommandResult Run(std::vector<std::string> args) const {
    return test::RunCommand(CliPath(), args, Environment());
  }
  std::string PdfText(const std::string& pdf) const {
    return test::RunCommand("/usr/bin/pdftotext", {pdf, "-"}).out;
  }
};

TEST(CliSelection, LeftOutPicturesAreNeitherListedNorPrinted) {
  Cli cli;
  test::TempTree photos;
  fs::copy_file(Sample("rose.jpg"), photos.Root() / "rose.jpg");
  fs::copy_file(Sample("netscape.png"), photos.Root() / "netscape.png");
  photos.Folder("Day");
  fs::copy_file(Sample("gradient.dib"), photos.Root() / "Day" / "gradient.dib");
  PictureSelection selection;
  selection.LeaveOut({"/rose.jpg"});
  const std::string file = cli.home.Path() + "/picks.json";
  std::ofstream(file) << selection.ToJson(photos.Path());

  const std::string all = "1\t/netscape.png\n1\t/rose.jpg\n1\t/Day/gradient.dib\n3 files, 1 pages\n";
  const std::string picked = "1\t/netscape.png\n1\t/Day/gradient.dib\n2 files, 1 pages\n";
  EXPECT_EQ(cli.Run({"list", photos.Path(), "--quiet"}).out, all);
  EXPECT_EQ(cli.Run({"list", photos.Path(), "--quiet", "--selection", file}).out, picked);
  // The window's selection of the folder, where the window keeps it.
  SelectionStore(cli.home.Path() + "/data/Tablora/selections").Save(photos.Path(), selection);
  EXPECT_EQ(cli.Run({"list", photos.Path() + "/", "--quiet"}).out, picked);

  if (!HavePdfToText()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  for (const std::vector<std::string>& choice : {std::vector<std::string>{}, {"--selection", file}}) {
    std::vector<std::string> args = {"sheet", photos.Path(), "-o", cli.home.Path() + "/s.pdf", "--dpi", "72",
                                     "--quiet", "--no-cache"};
    args.insert(args.end(), choice.begin(), choice.end());
    const auto result = cli.Run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string text = cli.PdfText(cli.home.Path() + "/s.pdf");
    EXPECT_EQ(text.find("rose.jpg"), std::string::npos) << text;
    EXPECT_NE(text.find("netscape.png"), std::string::npos) << text;
    EXPECT_NE(text.find("gradient.dib"), std::string::npos) << text;
  }

  std::ofstream(file) << "{\"version\": 1, \"leftOut\": \"rose.jpg\"}";
  const auto damaged = cli.Run({"list", photos.Path(), "--selection", file});
  EXPECT_EQ(damaged.status, 2);
  EXPECT_NE(damaged.err.find("option --selection: " + file + ": leftOut: must be a list of pictures"),
            std::string::npos)
      << damaged.err;
}

// A sheet with pictures that cannot be read is still made; stderr ends with their count, and
// with --verbose names each with its reader's words first.
TEST(CliSelection, UnreadablePicturesAreCountedAfterTheSheet) {
  Cli cli;
  test::TempTree photos;
  fs::copy_file(Sample("rose.jpg"), photos.Root() / "rose.jpg");
  std::string head(200, '\0');
  std::ifstream(Sample("rose.jpg"), std::ios::binary).read(head.data(), 200);
  photos.File("cut.jpg", head);
  photos.File("empty.jpg", "");
  const auto sheet = [&](bool verbose) {
    std::vector<std::string> args = {"sheet", photos.Path(), "-o", cli.home.Path() + "/s.pdf", "--dpi", "72",
                                     "--quiet", "--no-cache", "--jobs", "2"};
    if (verbose) args.push_back("--verbose");
    return cli.Run(args);
  };
  auto result = sheet(false);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "2 pictures could not be read\n");
  result = sheet(true);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "  " + photos.Path() + "/cut.jpg: JPEG error #59 (Invalid JPEG file structure: missing SOS marker)\n" +
                            "  " + photos.Path() + "/empty.jpg: the file is empty\n" + "2 pictures could not be read\n");
  EXPECT_TRUE(fs::exists(cli.home.Path() + "/s.pdf"));
  fs::remove(photos.Root() / "cut.jpg");
  EXPECT_EQ(sheet(false).err, "1 picture could not be read\n");
  fs::remove(photos.Root() / "empty.jpg");
  EXPECT_EQ(sheet(true).err, "");
}

}  // namespace
}  // namespace tablora
