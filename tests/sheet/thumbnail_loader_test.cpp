#include <gtest/gtest.h>

#include <filesystem>

#include "sheet/thumbnail_image.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

class ThumbnailLoading : public ::testing::Test {
 protected:
  void Copy(const std::string& fixture, const std::string& as) {
    fs::copy_file(test::DataDir() / fixture, tree.Root() / as);
  }
  std::unique_ptr<ThumbnailImage> Load(const std::string& name) {
    return loader.Load(tree.Path() + "/" + name);
  }
  test::TempTree tree;
  ExtensionThumbnailLoader loader;
};

TEST_F(ThumbnailLoading, ReaderIsChosenByTheLowerCasedExtension) {
  Copy("jpeg/colour.jpg", "PHOTO.JPG");
  Copy("jpeg/colour.jpg", "photo.jpeg");
  Copy("bmp/pal8.bmp", "scan.BMP");
  Copy("bmp/pal8.bmp", "scan.dib");
  Copy("bmp/pal8rle.bmp", "scan.rle");
  Copy("psd/rgb8.psd", "layers.PSD");
  Copy("psd/rgb8.psd", "art.pdd");
  for (const char* name : {"PHOTO.JPG", "photo.jpeg", "scan.BMP", "scan.dib", "scan.rle",
                           "layers.PSD", "art.pdd"}) {
    auto image = Load(name);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_GT(image->Width(), 0) << name;
    EXPECT_GT(image->Height(), 0) << name;
  }
}

TEST_F(ThumbnailLoading, ContentIsNeverSniffed) {
  Copy("jpeg/png-named.jpg", "really-a-png.jpg");
  Copy("jpeg/colour.jpg", "really-a-jpeg.bmp");
  EXPECT_EQ(Load("really-a-png.jpg"), nullptr);
  EXPECT_EQ(Load("really-a-jpeg.bmp"), nullptr);
}

TEST_F(ThumbnailLoading, EmptyFilesAndMissingFilesFail) {
  tree.File("empty.jpg");
  tree.File("empty.bmp");
  EXPECT_EQ(Load("empty.jpg"), nullptr);
  EXPECT_EQ(Load("empty.bmp"), nullptr);
  EXPECT_EQ(Load("missing.jpg"), nullptr);
  tree.Folder("folder.jpg");
  EXPECT_EQ(Load("folder.jpg"), nullptr);
}

TEST_F(ThumbnailLoading, ExtensionsWithoutAReaderFail) {
  Copy("bmp/pal8.bmp", "scan.bmp.bak");
  Copy("bmp/pal8.bmp", "noextension");
  EXPECT_EQ(Load("scan.bmp.bak"), nullptr);
  EXPECT_EQ(Load("noextension"), nullptr);
  EXPECT_EQ(CreateThumbnailReader(".BMP"), nullptr);  // the table holds lower-case keys only
  EXPECT_NE(CreateThumbnailReader(".bmp"), nullptr);
}

TEST_F(ThumbnailLoading, TruncatedJpegStillLoadsAndDraws) {
  Copy("jpeg/truncated.jpg", "cut.jpg");
  auto image = Load("cut.jpg");
  ASSERT_NE(image, nullptr);
  EXPECT_GT(image->Width(), 0);
}

}  // namespace
}  // namespace tablora
