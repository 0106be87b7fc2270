#include <gtest/gtest.h>

#include "cli/args.h"
#include "cli/commands.h"
#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using test::CliPath;
using test::RunCommand;

TEST(CliList, PrintsTheWorkedExamplePages) {
  test::TempTree tree;
  for (const char* f : {"a", "b", "c", "d"}) tree.File(std::string(f) + ".jpg");
  for (char c = 'e'; c <= 'm'; ++c) tree.File(std::string("S/") + c + ".jpg");
  tree.File("T/n.jpg");
  tree.File("T/readme.txt");
  const auto result = RunCommand(CliPath(), {"list", tree.Path() + "/", "--rows", "4", "--cols", "3"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "1\t/a.jpg\n1\t/b.jpg\n1\t/c.jpg\n1\t/d.jpg\n1\t/S/e.jpg\n1\t/S/f.jpg\n1\t/S/g.jpg\n"
            "2\t/S/h.jpg\n2\t/S/i.jpg\n2\t/S/j.jpg\n2\t/S/k.jpg\n2\t/S/l.jpg\n2\t/S/m.jpg\n"
            "2\t/T/n.jpg\n14 files, 2 pages\n");
  // Not a terminal: no progress line.
  EXPECT_EQ(result.err, "");
}

TEST(CliList, EntriesArePrintedAsStoredBytes) {
  test::TempTree tree;
  tree.File("caf\xE9.jpg");
  const auto result = RunCommand(CliPath(), {"list", tree.Path()});
  EXPECT_EQ(result.out, "1\t/caf\xE9.jpg\n1 files, 1 pages\n");
}

TEST(CliList, EmptyFolderHasNoPages) {
  test::TempTree tree;
  const auto result = RunCommand(CliPath(), {"list", tree.Path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "0 files, 0 pages\n");
}

TEST(CliList, UserErrorsExitWithStatusTwoAndOneLine) {
  test::TempTree tree;
  tree.File("file.jpg");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list", tree.Path() + "/missing"},
        std::vector<std::string>{"list", tree.Path() + "/file.jpg"},
        std::vector<std::string>{"list"},
        std::vector<std::string>{"list", tree.Path(), "--rows", "31"},
        std::vector<std::string>{"list", tree.Path(), "--cols", "x"},
        std::vector<std::string>{"list", tree.Path(), "--bogus"},
        std::vector<std::string>{"list", tree.Path(), "--sort", "size"},
        std::vector<std::string>{"list", tree.Path(), "--min-rating", "6"},
        std::vector<std::string>{"list", tree.Path(), "--pairs", "twice"},
        std::vector<std::string>{"preview", tree.Path(), "-o", tree.Path() + "/p.png", "--caption", "date,shutter"},
        std::vector<std::string>{"frobnicate"}}) {
    const auto result = RunCommand(CliPath(), args);
    EXPECT_EQ(result.status, 2) << args.back();
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_NE(RunCommand(CliPath(), {"list", tree.Path() + "/missing"}).err.find("does not exist"),
            std::string::npos);
}

TEST(CliList, HelpDescribesEveryOption) {
  const auto result = RunCommand(CliPath(), {"list", "--help"});
  EXPECT_EQ(result.status, 0);
  for (const char* option : {"--rows", "--cols", "--sort", "--min-rating", "--pairs", "--quiet", "--help"}) {
    EXPECT_NE(result.out.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(RunCommand(CliPath(), {"--version"}).status, 0);
}

// The shooting data of the fixtures orders the list and filters it; the count follows.
TEST(CliList, SortsByDateAndFiltersByRating) {
  const std::string folder = (test::DataDir() / "meta").string();
  const struct {
    std::vector<std::string> options;
    const char* out;
  } cases[] = {
      {{"--sort", "date"},
       "1\t/iptc.jpg\n1\t/full.heic\n1\t/full.jpg\n1\t/full.png\n1\t/full.tif\n1\t/bare.jpg\n"
       "1\t/keys.jpg\n1\t/rating-acdsee.jpg\n1\t/rating-all.jpg\n1\t/rating-windows.jpg\n10 files, 1 pages\n"},
      // ACDSee's 4 and Windows' 50 % (3 stars) count; xmp:Rating's 2 beside a 5 and 99 % wins.
      {{"--min-rating", "3"},
       "1\t/full.jpg\n1\t/full.tif\n1\t/rating-acdsee.jpg\n1\t/rating-windows.jpg\n4 files, 1 pages\n"},
      {{"--min-rating=4", "--sort=natural"}, "1\t/full.tif\n1\t/rating-acdsee.jpg\n2 files, 1 pages\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"list", folder};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const auto result = RunCommand(CliPath(), args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, c.out) << c.options[0];
  }
}

// A frame written as RAW and JPEG is listed once, as the JPEG, the RAW named after it; each mode.
TEST(CliList, PairsAreListedOnce) {
  test::TempTree tree;
  for (const char* f : {"IMG_1.CR2", "IMG_1.JPG", "IMG_2.jpg", "sub/IMG_2.nef"}) tree.File(f);
  const struct {
    const char* mode;
    const char* out;
  } cases[] = {
      {"once", "1\t/IMG_1.JPG\t+ IMG_1.CR2\n1\t/IMG_2.jpg\n1\t/sub/IMG_2.nef\n3 files, 1 pages\n"},
      {"raw", "1\t/IMG_1.CR2\t+ IMG_1.JPG\n1\t/IMG_2.jpg\n1\t/sub/IMG_2.nef\n3 files, 1 pages\n"},
      {"both", "1\t/IMG_1.CR2\n1\t/IMG_1.JPG\n1\t/IMG_2.jpg\n1\t/sub/IMG_2.nef\n4 files, 1 pages\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunCommand(CliPath(), {"list", tree.Path(), "--pairs", c.mode}).out, c.out) << c.mode;
  }
  EXPECT_EQ(RunCommand(CliPath(), {"list", tree.Path()}).out, cases[0].out);
}

// A name can neither fake entries nor send the terminal commands: control characters (C1 ones
// too, lone or UTF-8 encoded) and the backslash are escaped; other bytes are printed as stored.
TEST(CliList, NamesAreEscapedOrNulSeparated) {
  const std::pair<std::string, std::string> names[] = {
      {"a\nb.jpg", "a\\nb.jpg"},         {"\x1b[31mred.jpg", "\\033[31mred.jpg"},
      {"back\\slash", "back\\\\slash"}, {"c1\xC2\x9B.gif", "c1\\302\\233.gif"},
      {"lone\x9B\x7F", "lone\\233\\177"}, {"tab\t\r\a\b\v\f", "tab\\t\\r\\a\\b\\v\\f"},
      {"caf\xC3\xA9 \xE9", "caf\xC3\xA9 \xE9"}, {std::string("nul\0", 4), "nul\\000"}};
  for (const auto& [name, shown] : names) EXPECT_EQ(cli::EscapedName(name), shown) << shown;

  test::TempTree tree;
  tree.File("a\nb.jpg");
  tree.File("c.jpg");
  EXPECT_EQ(RunCommand(CliPath(), {"list", tree.Path()}).out, "1\t/a\\nb.jpg\n1\t/c.jpg\n2 files, 1 pages\n");
  EXPECT_EQ(RunCommand(CliPath(), {"list", tree.Path(), "-0"}).out, std::string("1\t/a\nb.jpg\0" "1\t/c.jpg\0", 20));
}

TEST(CliArgs, ValuesFlagsAndPositionals) {
  const char* argv[] = {"tablora-cli", "list", "dir", "--rows=4", "--cols", "3", "--quiet"};
  const cli::Args args(7, const_cast<char**>(argv), 2, {"--rows", "--cols"}, {"--quiet"});
  EXPECT_EQ(args.Positional(), std::vector<std::string>{"dir"});
  EXPECT_EQ(args.IntOr("--rows", 10, 1, 30), 4);
  EXPECT_EQ(args.IntOr("--cols", 6, 1, 30), 3);
  EXPECT_TRUE(args.Has("--quiet"));
  EXPECT_EQ(args.IntOr("--missing", 7, 1, 30), 7);
}

}  // namespace
}  // namespace tablora
