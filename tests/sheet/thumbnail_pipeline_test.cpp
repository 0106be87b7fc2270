#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <thread>

#include "imaging/image_format.h"
#include "imaging/image_probe.h"
#include "imaging/readers/jpeg_image.h"
#include "imaging/reduce.h"
#include "sheet/thumbnail_pipeline.h"
#include "support/reader_harness.h"
#include "support/engine_fakes.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

double Psnr(const TBitmap& bitmap, const test::RgbaImage& reference) {
  const test::RgbaImage got = test::ToRgba(bitmap);
  double squares = 0;
  for (std::size_t i = 0; i < got.rgba.size(); ++i) {
    if (i % 4 == 3) continue;
    const double d = double(got.rgba[i]) - reference.rgba[i];
    squares += d * d;
  }
  const double mse = squares / (got.rgba.size() / 4 * 3);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Against ImageMagick's Lanczos reduction of the same pixels to the same size; nearest-neighbour
// scaling of this photograph scores under 28 dB at these sizes.
TEST(ReduceImage, CloseToALanczosReduction) {
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick not installed";
  const fs::path source = test::DataDir() / "jpeg" / "colour.ppm";
  const auto pixels = test::ParsePnm(test::FileBytes(source));
  ASSERT_TRUE(pixels);
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(pixels->width, pixels->height);
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const uint8_t* p = pixels->At(x, y);
      bitmap.SetPixelColor(x, y, RGB(p[0], p[1], p[2]));
    }
  }
  for (const auto& [w, h] : {std::pair{pixels->width / 3, pixels->height / 3},
                             std::pair{pixels->width / 7, pixels->height / 5}}) {
    const auto lanczos = test::MagickDecode(
        source, "-filter Lanczos -resize " + std::to_string(w) + "x" + std::to_string(h) + "!");
    ASSERT_TRUE(lanczos);
    const TBitmap reduced = ReduceImage(bitmap, w, h);
    EXPECT_GE(Psnr(reduced, *lanczos), 30.0) << w << "x" << h;
  }
}

TEST(ReduceImage, TransparencyIsLaidOverWhiteAndFlatAreasStayFlat) {
  TBitmap rgba;
  rgba.SetPixelFormat(pf32bit);
  rgba.SetSize(4, 4);
  rgba.SetAlphaChannel(true);
  for (int y = 0; y < 4; ++y) {
    uint8_t* row = rgba.ScanLine(y);
    for (int x = 0; x < 4; ++x) row[x * 4 + 3] = x < 2 ? 0 : 255;  // black, left half transparent
  }
  const TBitmap half = ReduceImage(rgba, 2, 2);
  EXPECT_EQ(half.PixelColor(0, 0), clWhite);
  EXPECT_EQ(half.PixelColor(1, 1), clBlack);
  const TBitmap quarter = ReduceImage(rgba, 1, 1);
  EXPECT_EQ(GetRValue(quarter.PixelColor(0, 0)), 128);  // half white, half black

  TBitmap indexed;
  indexed.SetPixelFormat(pf8bit);
  indexed.SetSize(3, 3);
  indexed.SetPalette({{10, 20, 30, 0}, {0, 0, 0, 0}});
  indexed.SetPaletteAlpha({255, 0});
  EXPECT_EQ(ReduceImage(indexed, 2, 2).PixelColor(1, 1), RGB(10, 20, 30));
  EXPECT_EQ(ReduceImage(indexed, 7, 5).PixelColor(6, 4), RGB(10, 20, 30));  // enlarging too
}

TEST(Orientation, EightValuesShowUprightLikeImageMagick) {
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    // A named string, not a temporary: GCC 12 takes "o" + a temporary for an overlapping copy.
    const std::string n = std::to_string(o);
    const fs::path dir = test::DataDir() / "orientation";
    const std::vector<uint8_t> jpeg = test::FileBytes(dir / ("o" + n + ".jpg"));
    EXPECT_EQ(OrientationOf(jpeg, ".jpg"), o);
    EXPECT_EQ(OrientationOf(test::FileBytes(dir / ("o" + n + ".tif")), ".tif"), o);
    TJPEGImage image;
    image.LoadFromFile((dir / ("o" + n + ".jpg")).string());
    const TBitmap upright = ApplyOrientation(image.Bitmap(), o);
    const auto want = test::ParsePnm(test::FileBytes(dir / ("upright" + n + ".ppm")));
    ASSERT_TRUE(want);
    test::ExpectPixelsNear(upright, *want, 24, "orientation " + std::to_string(o));
  }
  // Damaged metadata: shown as stored.
  std::vector<uint8_t> cut = test::FileBytes(test::DataDir() / "orientation" / "o6.jpg");
  cut.resize(30);
  EXPECT_EQ(OrientationOf(cut, ".jpg"), 1);
  // PNG eXIf: signature, then an eXIf chunk holding a little-endian TIFF structure.
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 26, 'e', 'X', 'I', 'f',
                              'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0,
                              0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(OrientationOf(png, ".png"), 7);
}

// A loader whose images are as wide as their number and that can hold every load until released.
class GatedLoader : public ThumbnailLoader {
 public:
  std::unique_ptr<ThumbnailImage> Load(const std::string& path) override {
    {
      std::unique_lock lock(mutex);
      ++loads;
      maxConcurrent = std::max(maxConcurrent, ++concurrent);
      open.wait(lock, [&] { return released; });
      --concurrent;
    }
    const int n = std::stoi(path.substr(path.rfind('/') + 1));
    if (n == 3) return nullptr;  // one file that does not load
    return std::make_unique<test::FakeThumbnail>(n, 1, false);
  }
  void Release() {
    std::lock_guard lock(mutex);
    released = true;
    open.notify_all();
  }
  std::mutex mutex;
  std::condition_variable open;
  bool released = false;
  int loads = 0;
  int concurrent = 0;
  int maxConcurrent = 0;
};

std::vector<ThumbnailPipeline::Request> Requests(int count) {
  std::vector<ThumbnailPipeline::Request> requests;
  for (int i = 1; i <= count; ++i) requests.push_back({"/x/" + std::to_string(i), 100, 100});
  return requests;
}

TEST(ThumbnailPipeline, WorkersDeliverInPageOrder) {
  GatedLoader loader;
  loader.Release();
  ThumbnailPipeline pipeline(loader, nullptr, 3, uint64_t{1} << 30, Requests(9));
  for (std::size_t i = 0; i < 9; ++i) {
    const auto picture = pipeline.Take(i, [] { return true; });
    ASSERT_TRUE(picture);
    if (i == 2) {
      EXPECT_EQ(picture->pixels, nullptr);
      continue;
    }
    ASSERT_NE(picture->pixels, nullptr) << i;
    // Image i+1 pixels wide, one high, fitted into a 100 x 100 box: width 100 * (i+1) / 1.
    EXPECT_EQ(picture->place.width, 100) << i;
    EXPECT_EQ(picture->place.height, std::max(1, 100 / int(i + 1))) << i;
  }
}

TEST(ThumbnailPipeline, CancelStopsWaitingAndNewLoads) {
  GatedLoader loader;
  auto pipeline = std::make_unique<ThumbnailPipeline>(loader, nullptr, 2, uint64_t{1} << 30, Requests(20));
  int waits = 0;
  const auto picture = pipeline->Take(0, [&] { return ++waits < 3; });
  EXPECT_FALSE(picture);
  EXPECT_EQ(waits, 3);
  loader.Release();
  pipeline.reset();  // joins the workers: the two loads under way end, no new one starts
  EXPECT_LE(loader.loads, 2);
}

TEST(ThumbnailPipeline, DecodesInFlightStayWithinTheBudget) {
  test::TempTree tree;
  std::vector<ThumbnailPipeline::Request> requests;
  for (int i = 1; i <= 4; ++i) {
    fs::copy_file(test::DataDir() / "jpeg" / "colour.jpg", tree.Root() / std::to_string(i));
    requests.push_back({tree.Path() + "/" + std::to_string(i), 50, 50});
  }
  for (const auto& [budget, concurrent] : {std::pair{uint64_t{1}, 1}, std::pair{uint64_t{1} << 30, 2}}) {
    GatedLoader loader;
    // Released once as many loads wait as the budget allows, or after a while when it allows
    // fewer: a loaded machine may start the second worker late, but never lets it past the budget.
    std::thread release([&, concurrent = concurrent] {
      for (int waited = 0; waited < 100; ++waited) {
        {
          std::lock_guard lock(loader.mutex);
          if (loader.concurrent >= concurrent && concurrent > 1) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(concurrent > 1 ? 20 : 1));
      }
      loader.Release();
    });
    ThumbnailPipeline pipeline(loader, nullptr, 2, budget, requests);
    for (std::size_t i = 0; i < 4; ++i) ASSERT_TRUE(pipeline.Take(i, [] { return true; }));
    release.join();
    EXPECT_EQ(loader.maxConcurrent, concurrent) << budget;
  }
}

TEST(ThumbnailPipeline, CacheServesAPageAgainUntilTheFileChanges) {
  test::TempTree tree;
  fs::copy_file(test::DataDir() / "jpeg" / "colour.jpg", tree.Root() / "a.jpg");
  const std::string path = tree.Path() + "/a.jpg";
  struct CountingLoader : ExtensionThumbnailLoader {
    std::unique_ptr<ThumbnailImage> LoadExplained(const std::string& p, std::shared_ptr<const TFileBytes> file,
                                                  std::string& problem) override {
      ++loads;
      return ExtensionThumbnailLoader::LoadExplained(p, std::move(file), problem);
    }
    std::atomic<int> loads{0};
  } loader;
  ThumbnailCache cache;
  auto draw = [&](int jobs) {
    ThumbnailPipeline pipeline(loader, &cache, jobs, uint64_t{1} << 30, {{path, 40, 30}});
    return pipeline.Take(0, [] { return true; });
  };
  const auto first = draw(1);
  ASSERT_TRUE(first && first->pixels);
  EXPECT_EQ(draw(2)->pixels, first->pixels);
  EXPECT_EQ(loader.loads, 1);
  EXPECT_GT(cache.Bytes(), 0u);
  fs::last_write_time(tree.Root() / "a.jpg", fs::last_write_time(tree.Root() / "a.jpg") + std::chrono::seconds(5));
  draw(1);
  EXPECT_EQ(loader.loads, 2);
  cache.SetCapacity(0);
  EXPECT_EQ(cache.Bytes(), 0u);
}

TEST(ThumbnailPipeline, JpegDecodesAtTheSmallestScaleThatCoversTheBox) {
  ExtensionThumbnailLoader loader;
  const std::string path = (test::DataDir() / "orientation" / "o6.jpg").string();
  // 48 x 32 stored, shown 32 x 48: into a 16 x 24 box it is reduced to 16 x 24 from an eighth
  // (6 x 4 would be too small), so from a half: 24 x 16 stored.
  const CellPicture picture = ThumbnailPipeline::Produce(loader, {path, 16, 24});
  ASSERT_NE(picture.pixels, nullptr);
  EXPECT_EQ(picture.pixels->Width(), 16);
  EXPECT_EQ(picture.pixels->Height(), 24);
  auto image = loader.Load(path);
  image->PrepareFor(24, 16);
  EXPECT_EQ(image->Pixels().Width(), 24);
}

}  // namespace
}  // namespace tablora
