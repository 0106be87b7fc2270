#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/stream.h"
#include "sheet/thumbnail_image.h"
#include "support/hostile_files.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

// The reader the thumbnail table picks for a name, loaded and decoded in full.
void Load(const std::string& path) {
  std::unique_ptr<ThumbnailImage> image = CreateThumbnailReader(fs::path(path).extension().string());
  ASSERT_NE(image, nullptr) << path;
  image->LoadFromFile(path);
  image->Pixels();
}

std::string Message(const std::string& path) {
  try {
    Load(path);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

TEST(FileStream, AnythingButARegularFileFailsWithoutWaiting) {
  test::TempTree tree;
  // A FIFO would block open() (and read()) forever; devices must not be read at all.
  ASSERT_EQ(::mkfifo((tree.Path() + "/x.jpg").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", tree.Root() / "zero.bmp");
  fs::create_symlink(tree.Root() / "x.jpg", tree.Root() / "fifo-link.psd");
  tree.Folder("folder.png");
  for (const char* name : {"x.jpg", "zero.bmp", "fifo-link.psd"}) {
    EXPECT_EQ(Message(tree.Path() + "/" + name),
              "Cannot open file \"" + tree.Path() + "/" + name + "\". Not a regular file");
  }
  EXPECT_NE(Message(tree.Path() + "/folder.png").find("Is a directory"), std::string::npos);
  EXPECT_THROW(TFileStream(tree.Path() + "/missing.jpg"), EFOpenError);
}

TEST(FileStream, PathsLongerThanTheSystemTakesStillOpen) {
  test::TempTree tree;
  const std::vector<uint8_t> bytes = ReadFileBytes((test::DataDir() / "bmp/pal8.bmp").string());
  const std::string bmp(bytes.begin(), bytes.end());
  test::MakeFolderChain(tree.Path(), 2100, {2100}, "deep.bmp", bmp);
  const std::string path = test::ChainFolder(tree.Path(), 2100) + "/deep.bmp";
  ASSERT_GT(path.size(), 4096u);
  EXPECT_EQ(Message(path), "");
}

// A file longer than the limit allows compressed data to be is refused before it is read.
TEST(FileStream, FilesLargerThanTheLimitFailAtOnce) {
  test::TempTree tree;
  const uint64_t limit = FileDataLimit();
  SetFileDataLimit(uint64_t{1} << 20);
  for (const char* fixture : {"jpeg/colour.jpg", "bmp/pal8rle.bmp", "bmp/rgb24.bmp", "psd/rgb8.psd"}) {
    const std::string path = tree.Path() + "/big" + fs::path(fixture).extension().string();
    fs::copy_file(test::DataDir() / fixture, path, fs::copy_options::overwrite_existing);
    fs::resize_file(path, (uint64_t{1} << 20) + 1);
    EXPECT_EQ(Message(path), "File too large: 2 MiB of data exceed the limit of 1 MiB") << fixture;
  }
  SetFileDataLimit(limit);
}

}  // namespace
}  // namespace tablora
