#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "sheet/thumbnail_image.h"
#include "sheet/thumbnail_pipeline.h"
#include "support/reader_harness.h"
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

TEST_F(ThumbnailLoading, AFileWhoseExtensionLiesLoadsByItsContent) {
  Copy("jpeg/png-named.jpg", "really-a-png.jpg");
  Copy("jpeg/colour.jpg", "really-a-jpeg.bmp");
  Copy("bmp/pal8.bmp", "really-a-bmp.tif");
  const struct {
    const char* name;
    const char* reader;
  } kCases[] = {{"really-a-png.jpg", "PNG"}, {"really-a-jpeg.bmp", "JPEG"}, {"really-a-bmp.tif", "BMP"}};
  for (const auto& c : kCases) {
    auto image = Load(c.name);
    ASSERT_NE(image, nullptr) << c.name;
    EXPECT_EQ(image->ReaderName(), c.reader) << c.name;
    EXPECT_GT(image->Width(), 0) << c.name;
  }
  // Neither the extension's format nor any other: the cell stays empty.
  tree.File("noise.png", "this is not an image at all");
  EXPECT_EQ(Load("noise.png"), nullptr);
  // An extension none of the formats has is not looked into.
  Copy("jpeg/colour.jpg", "photo.jpe");
  EXPECT_EQ(Load("photo.jpe"), nullptr);
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

// Phone and camera files of today, and two JPEGs whose extensions lie.
TEST_F(ThumbnailLoading, ModernFormatsAndLyingExtensionsLoadFromTheCorpus) {
  const fs::path corpus = test::CorpusDir() / "modern" / "photoprism";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus";
  const struct {
    const char* file;
    const char* reader;
    int width, height;
  } kFiles[] = {
      {"wrong.heic", "JPEG", 0, 0},           {"this-is-a-jpeg.png", "JPEG", 0, 0},
      {"iphone_7.heic", "HEIF", 4032, 3024},  {"iphone_15_pro.heic", "HEIF", 3024, 4032},
      {"norway-kjetil-moe.webp", "WebP", 550, 368}, {"fox.profile0.8bpc.yuv420.avif", "AVIF", 1204, 800},
      {"canon_eos_6d.dng", "RAW", 1024, 683},       {"../more/cr3/exiv2_Canon-R6-pruned.CR3", "RAW", 1620, 1080},
      {"../more/nef/mei_Issue247-1_actually-JPEG.nef", "JPEG", 2000, 3008},
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.file);
    auto image = loader.Load((corpus / f.file).string());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->ReaderName(), f.reader);
    if (f.width > 0) {
      EXPECT_EQ(image->Width(), f.width);
      EXPECT_EQ(image->Height(), f.height);
    }
  }
}

TEST_F(ThumbnailLoading, TheProbeTheLoadAndTheOrientationReadTheOneMapping) {
  // The file is gone once mapped: all a load needs comes from the mapping.
  fs::copy_file(test::DataDir() / "orientation/o6.jpg", tree.Root() / "turned.jpg");
  const std::string path = tree.Path() + "/turned.jpg";
  auto mapped = std::make_shared<const TFileBytes>(path);
  fs::remove(path);
  std::unique_ptr<ThumbnailImage> image = LoadThumbnail(path, mapped);
  EXPECT_EQ(image->Orientation(), 6);
  EXPECT_GT(image->Pixels().Width(), 0);
  EXPECT_NE(loader.LoadMapped(path, mapped), nullptr);
  EXPECT_EQ(loader.Load(path), nullptr);
}

TEST_F(ThumbnailLoading, ThePipelineMapsEachCellsFileOnceAndHandsItOn) {
  Copy("jpeg/colour.jpg", "a.jpg");
  struct Recording : ExtensionThumbnailLoader {
    std::unique_ptr<ThumbnailImage> LoadExplained(const std::string& p, std::shared_ptr<const TFileBytes> file,
                                                  std::string& problem) override {
      if (file) ++mapped;
      return ExtensionThumbnailLoader::LoadExplained(p, std::move(file), problem);
    }
    std::atomic<int> mapped{0};
  };
  for (int jobs : {1, 2}) {
    Recording recording;
    ThumbnailPipeline pipeline(recording, nullptr, jobs, uint64_t{1} << 30, {{tree.Path() + "/a.jpg", 40, 30}});
    const auto picture = pipeline.Take(0, [] { return true; });
    ASSERT_TRUE(picture && picture->pixels) << jobs;
    EXPECT_EQ(recording.mapped, 1) << jobs;
  }
}

// A cell not cached resolves its format and probes its header once, on every path: the budget's
// estimate, the desktop cache's choice of size, the load and the orientation read that answer.
// A cached cell probes nothing.
TEST_F(ThumbnailLoading, AnUncachedCellIsProbedOnceAndACachedOneNever) {
  Copy("orientation/o6.jpg", "a.jpg");
  const std::string path = tree.Path() + "/a.jpg";
  int run = 0;
  for (int jobs : {1, 2}) {
    for (bool desktop : {false, true}) {
      SCOPED_TRACE(testing::Message() << jobs << " jobs, desktop cache " << desktop);
      DesktopThumbnailCache thumbnails(tree.Path() + "/thumbnails" + std::to_string(run++), "tablora-test");
      ThumbnailCache memory;
      if (desktop) memory.SetDesktop(&thumbnails);
      for (uint64_t probes : {1, 0}) {
        const uint64_t before = HeaderProbeCount();
        ThumbnailPipeline pipeline(loader, &memory, jobs, uint64_t{1} << 30, {{path, 40, 30}});
        const auto picture = pipeline.Take(0, [] { return true; });
        ASSERT_TRUE(picture && picture->pixels);
        EXPECT_EQ(picture->pixels->Width(), 20);  // turned upright: 48 x 32 stored, 20 x 30 drawn
        EXPECT_EQ(HeaderProbeCount() - before, probes);
      }
    }
  }
}

// A cell that stays empty carries the reader's words why; one that draws carries none.
TEST_F(ThumbnailLoading, AFailedCellSaysWhyInTheReadersWords) {
  const std::string whole = (test::DataDir() / "jpeg/colour.jpg").string();
  std::string head;
  {
    std::ifstream in(whole, std::ios::binary);
    head.resize(200);
    in.read(head.data(), 200);
  }
  tree.File("empty.jpg", "");
  tree.File("cut.jpg", head);
  tree.File("text.png", "not a picture at all");
  Copy("jpeg/colour.jpg", "fine.jpg");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"empty.jpg", "the file is empty"},
      {"cut.jpg", "JPEG error #59 (Invalid JPEG file structure: missing SOS marker)"},
      {"missing.jpg", "Cannot open file \"" + tree.Path() + "/missing.jpg\". No such file or directory"},
      {"fine.jpg", ""},
  };
  for (const auto& [name, message] : cases) {
    const CellPicture picture = ThumbnailPipeline::Produce(loader, {tree.Path() + "/" + name, 40, 30});
    EXPECT_EQ(picture.problem, message) << name;
    EXPECT_EQ(picture.pixels == nullptr, !message.empty()) << name;
  }
  EXPECT_NE(ThumbnailPipeline::Produce(loader, {tree.Path() + "/text.png", 40, 30}).problem, "");
}

}  // namespace
}  // namespace tablora
