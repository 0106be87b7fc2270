#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "imaging/readers/png_reader.h"
#include "imaging/stream.h"
#include "platform/digest.h"
#include "platform/png_encoder.h"
#include "sheet/thumbnail_cache.h"
#include "sheet/thumbnail_pipeline.h"
#include "support/reader_harness.h"
#include "support/run_command.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

class CountingLoader : public ThumbnailLoader {
 public:
  std::unique_ptr<ThumbnailImage> Load(const std::string& path) override { return LoadMapped(path, nullptr); }
  std::unique_ptr<ThumbnailImage> LoadMapped(const std::string& path, std::shared_ptr<const TFileBytes> file) override {
    ++loads;
    return real.LoadMapped(path, std::move(file));
  }
  ExtensionThumbnailLoader real;
  std::atomic<int> loads{0};
};

TBitmap Gradient(int width, int height) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.SetPixelColor(x, y, RGB(x * 255 / width, y * 255 / height, 90));
  }
  return bitmap;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
}

std::unique_ptr<TPNGGraphic> ReadPng(const fs::path& path) {
  try {
    const std::vector<uint8_t> bytes = test::FileBytes(path);
    TBufferStream stream(bytes.data(), bytes.size());
    auto png = std::make_unique<TPNGGraphic>();
    png->LoadFromStream(stream);
    return png;
  } catch (...) {
    return nullptr;
  }
}

// A folder with a 640 × 480 picture and a thumbnails folder of its own, never the user's.
class DesktopCache : public ::testing::Test {
 public:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tablora-cache-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "photos");
    photo_ = (dir_ / "photos" / "frame 1.png").string();
    WriteFile(photo_, EncodePng(Gradient(640, 480)));
    root_ = (dir_ / "xdg" / "thumbnails").string();
  }
  void TearDown() override {
    ::chmod((dir_ / "xdg").c_str(), 0700);
    fs::remove_all(dir_);
  }
  // One page of one cell through a new pipeline and a new memory cache, as a later run would.
  CellPicture Draw(DesktopThumbnailCache& desktop, int32_t box, int jobs = 1) {
    ThumbnailCache memory;
    memory.SetDesktop(&desktop);
    ThumbnailPipeline pipeline(loader_, &memory, jobs, uint64_t{1} << 30, {{photo_, box, box}});
    std::optional<CellPicture> picture = pipeline.Take(0, [] { return true; });
    desktop.Flush();
    return picture.value_or(CellPicture{});
  }
  fs::path Thumbnail(const char* size) const {
    return fs::path(root_) / size / (Md5Hex(DesktopThumbnailCache::FileUri(photo_)) + ".png");
  }
  std::size_t FilesUnderRoot() const {
    std::size_t count = 0;
    if (fs::exists(root_)) {
      for (const auto& entry : fs::recursive_directory_iterator(root_)) count += entry.is_regular_file();
    }
    return count;
  }
  void Touch(int64_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, photo_.c_str(), times, 0), 0);
  }

  fs::path dir_;
  std::string photo_;
  std::string root_;
  CountingLoader loader_;
};

TEST(DesktopThumbnailNames, UriAndDigestAsTheDesktopMakesThem) {
  // The worked example of the freedesktop standard, and bytes GLib escapes.
  EXPECT_EQ(Md5Hex(DesktopThumbnailCache::FileUri("/home/jens/photos/me.png")), "c6ee772d9e49320e97ec29a7eb5b1697");
  EXPECT_EQ(DesktopThumbnailCache::FileUri("/a b/./c/../\xC3\xA4#%?;[x]{y}~!$&'()*+,=@:.jpg"),
            "file:///a%20b/%C3%A4%23%25%3F%3B%5Bx%5D%7By%7D~!$&'()*+,=@:.jpg");
  EXPECT_EQ(DesktopThumbnailCache::FileUri("rel/x.jpg"), "file://" + (fs::current_path() / "rel/x.jpg").string());
  const std::pair<int, int> sides[] = {{1, 128}, {128, 128}, {129, 256}, {300, 512}, {1024, 1024}, {1025, 0}};
  for (const auto& [side, expected] : sides) EXPECT_EQ(DesktopThumbnailCache::StoreSide(side, 1), expected) << side;
}

// Each row: what lies in the cache before the second drawing, whether that drawing decodes, and
// where a thumbnail is found afterwards.
TEST_F(DesktopCache, ReusesOnlyFreshThumbnailsLargeEnough) {
  struct Case {
    const char* name;
    int32_t firstBox;  // 0: no first drawing
    std::function<void(DesktopCache&)> between;
    int32_t secondBox;
    int expectedLoads;  // over both drawings
    const char* foundIn;
  };
  const auto magick = [](DesktopCache& t) {
    struct stat info {};
    ASSERT_EQ(::stat(t.photo_.c_str(), &info), 0);
    fs::create_directories(fs::path(t.root_) / "large");
    // ImageMagick reads % in a property as an escape of its own.
    std::string uri;
    for (const char ch : DesktopThumbnailCache::FileUri(t.photo_)) uri += ch == '%' ? "%%" : std::string(1, ch);
    const test::CommandResult made = test::RunCommand(
        "/usr/bin/env", {"convert", t.photo_, "-resize", "256x256", "-set", "Thumb::URI", uri,
                    "-set", "Thumb::MTime", std::to_string(info.st_mtime), t.Thumbnail("large").string()});
    ASSERT_EQ(made.status, 0) << made.err;
  };
  const Case cases[] = {
      {"hit", 300, nullptr, 300, 1, "x-large"},
      {"smaller box, same thumbnail", 300, nullptr, 120, 1, "x-large"},
      {"stale by mtime", 300, [](DesktopCache& t) { t.Touch(1000000000); }, 300, 2, "x-large"},
      {"too small", 100, nullptr, 300, 2, "x-large"},
      {"too large to store", 1100, nullptr, 1100, 2, nullptr},
      {"another program's", 0, magick, 200, 0, "large"},
      {"damaged, rewritten", 0,
       [](DesktopCache& t) {
         fs::create_directories(fs::path(t.root_) / "x-large");
         WriteFile(t.Thumbnail("x-large"), {0x89, 'P', 'N', 'G', 1, 2, 3});
       },
       300, 1, "x-large"},
  };
  for (const Case& c : cases) {
    if (std::string(c.name) == "another program's" && !test::HaveImageMagick()) continue;
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    loader_.loads = 0;
    DesktopThumbnailCache desktop(root_, "tablora-test");
    CellPicture first;
    if (c.firstBox > 0) first = Draw(desktop, c.firstBox, 2);
    if (c.between) c.between(*this);
    const CellPicture second = Draw(desktop, c.secondBox);
    EXPECT_EQ(loader_.loads, c.expectedLoads);
    ASSERT_TRUE(second.pixels);
    const FittedImage fit = FitIntoBox(640, 480, c.secondBox, c.secondBox);
    EXPECT_EQ(second.pixels->Width(), fit.width);
    EXPECT_EQ(second.pixels->Height(), fit.height);
    // Not far from the decoded picture: its middle pixel within a few levels.
    const TColor middle = second.pixels->PixelColor(fit.width / 2, fit.height / 2);
    EXPECT_NEAR(GetRValue(middle), 127, 4);
    EXPECT_NEAR(GetGValue(middle), 127, 4);
    if (c.foundIn != nullptr) {
      const std::unique_ptr<TPNGGraphic> png = ReadPng(Thumbnail(c.foundIn));
      ASSERT_TRUE(png);
      EXPECT_EQ(png->Text("Thumb::URI"), DesktopThumbnailCache::FileUri(photo_));
    } else {
      EXPECT_FALSE(fs::exists(root_));
    }
  }
}

TEST_F(DesktopCache, WritesUprightPrivateThumbnailsWithTheStandardKeys) {
  photo_ = (dir_ / "photos" / "o6.jpg").string();
  fs::copy_file(test::DataDir() / "orientation" / "o6.jpg", photo_);
  struct stat info {};
  ASSERT_EQ(::stat(photo_.c_str(), &info), 0);
  {
    DesktopThumbnailCache desktop(root_, "tablora-test");
    Draw(desktop, 100);
  }  // the queue is written out when the cache goes
  const std::unique_ptr<TPNGGraphic> png = ReadPng(Thumbnail("normal"));
  ASSERT_TRUE(png);
  // Stored 48 × 32 and turned a quarter to view: kept whole, upright.
  EXPECT_EQ(png->Width(), 32);
  EXPECT_EQ(png->Height(), 48);
  const std::pair<const char*, std::string> keys[] = {{"Thumb::URI", DesktopThumbnailCache::FileUri(photo_)},
                                                      {"Thumb::MTime", std::to_string(info.st_mtime)},
                                                      {"Thumb::Size", std::to_string(info.st_size)},
                                                      {"Thumb::Image::Width", "32"},
                                                      {"Thumb::Image::Height", "48"}};
  for (const auto& [key, value] : keys) EXPECT_EQ(png->Text(key), value) << key;
  const std::pair<fs::path, unsigned> modes[] = {
      {dir_ / "xdg", 0700}, {root_, 0700}, {fs::path(root_) / "normal", 0700}, {Thumbnail("normal"), 0600}};
  for (const auto& [path, mode] : modes) {
    ASSERT_EQ(::stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mode & 0777, mode) << path;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(root_) / "normal"), fs::directory_iterator()), 1)
      << "no temporary left behind";
}

// A JPEG decodes at an eighth, a quarter, a half of its size: a thumbnail that needs a larger step
// than the cell is not made for a print cell, where it would cost megabytes more of decoding.
TEST_F(DesktopCache, NoThumbnailWhereItWouldCostALargerDecode) {
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick not installed";
  photo_ = (dir_ / "photos" / "large.jpg").string();
  ASSERT_EQ(test::RunCommand("/usr/bin/env", {"convert", "-size", "4000x3000", "gradient:red-blue", photo_}).status, 0);
  const std::pair<int32_t, const char*> boxes[] = {{47, "normal"}, {540, nullptr}};
  for (const auto& [box, written] : boxes) {
    DesktopThumbnailCache desktop(root_, "tablora-test");
    EXPECT_TRUE(Draw(desktop, box).pixels);
    EXPECT_EQ(FilesUnderRoot(), written ? 1u : 0u) << box;
    if (written) {
      EXPECT_TRUE(fs::exists(Thumbnail(written)));
    }
    fs::remove_all(root_);
  }
}

TEST_F(DesktopCache, RecordsAFailureAndSkipsTheFileWhileItIsUnchanged) {
  WriteFile(photo_, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'});
  DesktopThumbnailCache desktop(root_, "tablora-test");
  EXPECT_FALSE(Draw(desktop, 200).pixels);
  const fs::path record = fs::path(root_) / "fail" / "tablora-test" / Thumbnail("normal").filename();
  const std::unique_ptr<TPNGGraphic> png = ReadPng(record);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->Text("Thumb::URI"), DesktopThumbnailCache::FileUri(photo_));
  // The reader's words are kept with the record and told again without reading the file.
  const std::string problem = png->Text("X-Tablora::Problem").value_or("");
  EXPECT_FALSE(problem.empty());
  const CellPicture again = Draw(desktop, 200);
  EXPECT_FALSE(again.pixels);
  EXPECT_EQ(again.problem, problem);
  EXPECT_EQ(loader_.loads, 1);
  Touch(1000000000);
  EXPECT_FALSE(Draw(desktop, 200).pixels);
  EXPECT_EQ(loader_.loads, 2);
}

TEST_F(DesktopCache, AFolderThatCannotBeWrittenIsNoCacheAndNoFailure) {
  // Root writes anywhere it may; /proc takes no new folders from anyone.
  if (::geteuid() == 0) {
    root_ = "/proc/tablora-none/thumbnails";
  } else {
    fs::create_directories(dir_ / "xdg");
    ::chmod((dir_ / "xdg").c_str(), 0500);
  }
  DesktopThumbnailCache desktop(root_, "tablora-test");
  for (int run = 1; run <= 2; ++run) {
    EXPECT_TRUE(Draw(desktop, 300).pixels);
    EXPECT_EQ(loader_.loads, run);
  }
  EXPECT_FALSE(fs::exists(root_));
}

TEST_F(DesktopCache, PastItsLimitTheOldestThumbnailsGo) {
  fs::create_directories(fs::path(root_) / "normal");
  const std::vector<uint8_t> filler(1000, 7);
  for (int i = 0; i < 4; ++i) {
    const fs::path old = fs::path(root_) / "normal" / ("old" + std::to_string(i) + ".png");
    WriteFile(old, filler);
    const timespec times[2] = {{1000 + i, 0}, {1000 + i, 0}};
    ::utimensat(AT_FDCWD, old.c_str(), times, 0);
  }
  DesktopThumbnailCache desktop(root_, "tablora-test", 0);
  const uint64_t thumbnailBytes = [&] {
    DesktopThumbnailCache probe((dir_ / "probe" / "thumbnails").string(), "tablora-test");
    Draw(probe, 100);
    return fs::file_size(dir_ / "probe" / "thumbnails" / "normal" / Thumbnail("normal").filename());
  }();
  // Room for the new thumbnail and one and a half old ones: the three oldest go.
  desktop.SetLimit((thumbnailBytes + 1500) * 16 / 15);
  Draw(desktop, 100);
  const bool expected[] = {false, false, false, true};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(fs::exists(fs::path(root_) / "normal" / ("old" + std::to_string(i) + ".png")), expected[i]) << i;
  }
  EXPECT_TRUE(fs::exists(Thumbnail("normal")));
}

}  // namespace
}  // namespace tablora
