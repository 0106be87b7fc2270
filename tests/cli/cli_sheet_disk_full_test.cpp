#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

// A disk that fills while the second of three folders' sheets is written, as a limit on the size
// of any file the program writes (the signal such a write raises is ignored, so the write fails
// as on a full disk): the message names that folder, the first folder's sheet and manifest stay
// whole under their names, and nothing else is left, under a real name or a hidden one.
TEST(CliSheetDiskFull, FinishedSheetsStayAndNothingHalfWrittenIsLeft) {
  test::TempTree tree;
  const std::string root = tree.Path() + "/in";
  const fs::path photo = test::DataDir() / "jpeg/colour.jpg";
  for (const char* folder : {"a", "b", "c"}) fs::create_directories(root + "/" + folder);
  fs::copy_file(photo, root + "/a/1.jpg");
  fs::copy_file(photo, root + "/c/1.jpg");
  // The middle folder's sheet is several times the size of the others'.
  for (int i = 0; i < 24; ++i) fs::copy_file(photo, root + "/b/" + std::to_string(i) + ".jpg");
  const auto run = [&](const std::string& out, const std::string& limit) {
    const std::string command = "trap '' XFSZ; exec " + (limit.empty() ? std::string() : "prlimit --fsize=" + limit + " ") +
                                "\"$0\" sheet \"$1\" --per-folder -o \"$2/{path}.pdf\" --manifest \"$2/{path}.csv\" "
                                "--dpi 300 --no-cache --quiet";
    return test::RunCommand("/bin/sh", {"-c", command, test::CliPath(), root, out});
  };
  const std::string whole = tree.Path() + "/whole";
  ASSERT_EQ(run(whole, "").status, 0);
  const auto size = [&](const char* name) { return fs::file_size(whole + "/" + name); };
  const uintmax_t small = std::max({size("a.pdf"), size("c.pdf"), size("b.csv")});
  ASSERT_LT(small * 2, size("b.pdf"));

  const std::string out = tree.Path() + "/full";
  const test::CommandResult full = run(out, std::to_string((small + size("b.pdf")) / 2));
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("the sheet of '" + root + "/b': cannot write '" + out + "/b.pdf'"), std::string::npos)
      << full.err;
  std::vector<std::string> left;
  for (const fs::directory_entry& entry : fs::directory_iterator(out)) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.csv", "a.pdf"}));
  EXPECT_EQ(fs::file_size(out + "/a.pdf"), size("a.pdf"));
  EXPECT_EQ(fs::file_size(out + "/a.csv"), size("a.csv"));
}

}  // namespace
}  // namespace tablora
