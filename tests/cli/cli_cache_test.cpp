#include <gtest/gtest.h>

#include <filesystem>

#include "support/reader_harness.h"
#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

std::size_t FilesUnder(const fs::path& folder) {
  if (!fs::exists(folder)) return 0;
  std::size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) count += entry.is_regular_file();
  return count;
}

// A preview fills the cache with one thumbnail a picture; with --no-cache the cache stays as it was.
TEST(CliCache, PreviewWritesTheCacheUnlessTold) {
  test::TempTree tree;
  for (const char* name : {"a.jpg", "b.jpg"}) {
    tree.File(name, "");
    fs::copy_file(test::DataDir() / "jpeg" / "colour.jpg", tree.Root() / name, fs::copy_options::overwrite_existing);
  }
  test::TempTree elsewhere;  // the page and the caches, out of the pictures' folder
  const std::pair<std::vector<std::string>, std::size_t> runs[] = {{{"--no-cache"}, 0}, {{}, 2}};
  for (const auto& [extra, expected] : runs) {
    const fs::path home = elsewhere.Root() / ("home" + std::to_string(expected));
    std::vector<std::string> args = {"preview", tree.Path(), "-o", (elsewhere.Root() / "page.png").string(),
                                     "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto result = test::RunCommand(test::CliPath(), args, {"XDG_CACHE_HOME=" + home.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(FilesUnder(home / "thumbnails"), expected);
  }
}

}  // namespace
}  // namespace tablora
