// RenderPage of one 10 x 6 page of 60 real photographs, on the preview and on a 600-dpi printer
// page, against loading and decoding the same files alone in the same run. Decoding at full size
// is the floor of any page: the renderer's own work (text, fitting, the two stretches) must stay a
// small part on top of it.
//
// The machine is shared, so the ratios are taken within each iteration rather than across cases:
// a /60/0 case decodes all 60 files alone (untimed by the framework) before each page it draws,
// and reports "x_decode" (page over decode, wall clock) and "x_decode_cpu" (the same in process
// CPU time, which other programs' load does not inflate). Every non-pre-decoded case also
// reports "own_pct": its time outside the loader's loading, decoding and releasing, as a
// percentage of that, measured within the same page.
//
// The photographs come from TABLORA_PHOTO_SET, else /tmp/tablora-photos, which is made with
// ../shared/tools/make-photo-set when absent.
//
// Peak memory is checked on one case at a time, for example:
//   heaptrack render_bench --benchmark_filter='BM_RenderPrinterPage/60/0/'
// The /12/0 cases draw the same page with fewer cells: their peak must match the /60/0 cases'.
// The /60/1 cases draw every cell from one photograph decoded beforehand, which leaves the
// renderer's and the surface's own time.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/photo_set.h"
#include "cli/commands.h"
#include "cli/console_progress.h"
#include "imaging/bitmap.h"
#include "platform/canvas_factory.h"
#include "platform/qt_drawing_surface.h"
#include "sheet/contact_sheet.h"
#include "sheet/thumbnail_image.h"

namespace tablora {
namespace {

constexpr int kPhotoCount = 60;

// The photographs' folder, made once when it does not exist yet.
const std::string& PhotoFolder() {
  static const std::string folder = bench::PhotoSetDir().string();
  return folder;
}

// Entries as the file list holds them: relative to the base folder, each beginning with "/".
std::vector<std::string> PhotoEntries() {
  std::vector<std::string> entries;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(PhotoFolder(), error)) {
    const std::string name = item.path().filename().string();
    if (item.is_regular_file() && name.size() > 4 && name.substr(name.size() - 4) == ".jpg") {
      entries.push_back("/" + name);
    }
  }
  std::sort(entries.begin(), entries.end());
  if (entries.size() > kPhotoCount) entries.resize(kPhotoCount);
  return entries;
}

// The program's loader, timing what it spends in loading, decoding and releasing images, so that
// a render case can tell its own work apart from the decoding within the same iterations. The
// JPEG image decodes on its first Pixels(), inside the renderer's draw.
class TimedLoader : public ThumbnailLoader {
 public:
  std::unique_ptr<ThumbnailImage> Load(const std::string& path) override {
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<ThumbnailImage> image = loader_.Load(path);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!image) return nullptr;
    ++loaded;
    return std::make_unique<TimedImage>(std::move(image), seconds);
  }
  double seconds = 0.0;
  int64_t loaded = 0;

 private:
  class TimedImage : public ThumbnailImage {
   public:
    TimedImage(std::unique_ptr<ThumbnailImage> image, double& seconds)
        : image_(std::move(image)), seconds_(seconds) {}
    TimedImage(const TimedImage&) = delete;
    TimedImage& operator=(const TimedImage&) = delete;
    // Giving back a decoded photograph's pages costs the kernel real time; the decode case pays
    // it too, when each of its images goes out of scope.
    ~TimedImage() override {
      const auto start = std::chrono::steady_clock::now();
      image_.reset();
      seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    void LoadFromFile(const std::string& path) override { image_->LoadFromFile(path); }
    int Width() override { return image_->Width(); }
    int Height() override { return image_->Height(); }
    const TBitmap& Pixels() override {
      const auto start = std::chrono::steady_clock::now();
      const TBitmap& pixels = image_->Pixels();
      seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      return pixels;
    }
    std::string ReaderName() const override { return image_->ReaderName(); }

   private:
    std::unique_ptr<ThumbnailImage> image_;
    double& seconds_;
  };
  ExtensionThumbnailLoader loader_;
};

// Hands out one photograph decoded once, for every cell: what is left of a render is the
// renderer's own work (text, fitting, clearing the cell and both stretches) and the surface's.
class PreDecodedLoader : public ThumbnailLoader {
 public:
  explicit PreDecodedLoader(const std::string& path) {
    ExtensionThumbnailLoader loader;
    image_ = loader.Load(path);
    if (image_) image_->Pixels();
  }
  bool Loaded() const { return image_ != nullptr; }
  std::unique_ptr<ThumbnailImage> Load(const std::string&) override {
    return std::make_unique<SharedImage>(*image_);
  }

 private:
  class SharedImage : public ThumbnailImage {
   public:
    explicit SharedImage(ThumbnailImage& image) : image_(image) {}
    void LoadFromFile(const std::string&) override {}
    int Width() override { return image_.Width(); }
    int Height() override { return image_.Height(); }
    const TBitmap& Pixels() override { return image_.Pixels(); }
    std::string ReaderName() const override { return image_.ReaderName(); }

   private:
    ThumbnailImage& image_;
  };
  std::unique_ptr<ThumbnailImage> image_;
};

// Seconds spent in each kind of drawing operation.
struct DrawingTimes {
  double text = 0.0;
  double fill = 0.0;
  double intoCell = 0.0;
  double ontoPage = 0.0;
};

// Times a surface's operations into one of the buckets; the page's stretches and the cell
// canvas's stretches go to different ones.
class TimedSurface : public ForwardingDrawingSurface {
 public:
  TimedSurface(DrawingSurface& surface, DrawingTimes& times, double DrawingTimes::*stretches)
      : ForwardingDrawingSurface(surface), times_(times), stretches_(stretches) {}
  TimedSurface(std::unique_ptr<DrawingSurface> owned, DrawingTimes& times, double DrawingTimes::*stretches)
      : ForwardingDrawingSurface(*owned), owned_(std::move(owned)), times_(times), stretches_(stretches) {}

  int TextWidth(const std::string& text) override {
    return Timed(&DrawingTimes::text, [&] { return Target().TextWidth(text); });
  }
  void TextOut(int x, int y, const std::string& text) override {
    Timed(&DrawingTimes::text, [&] { Target().TextOut(x, y, text); return 0; });
  }
  void FillRect(const TRect& rect) override {
    Timed(&DrawingTimes::fill, [&] { Target().FillRect(rect); return 0; });
  }
  void StretchDraw(const TRect& rect, const TBitmap& bitmap) override {
    Timed(stretches_, [&] { Target().StretchDraw(rect, bitmap); return 0; });
  }
  void Draw(int x, int y, const TBitmap& bitmap) override {
    Timed(stretches_, [&] { Target().Draw(x, y, bitmap); return 0; });
  }

 private:
  template <typename Operation>
  int Timed(double DrawingTimes::*bucket, Operation operation) {
    const auto start = std::chrono::steady_clock::now();
    const int result = operation();
    times_.*bucket += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
  }

  std::unique_ptr<DrawingSurface> owned_;
  DrawingTimes& times_;
  double DrawingTimes::*stretches_;
};

// The program's cell canvases, timed.
class TimedCanvases : public CanvasFactory {
 public:
  explicit TimedCanvases(DrawingTimes& times) : times_(times) {}
  std::unique_ptr<DrawingSurface> CanvasFor(TBitmap& bitmap) override {
    return std::make_unique<TimedSurface>(canvases_.CanvasFor(bitmap), times_, &DrawingTimes::intoCell);
  }

 private:
  QtCanvasFactory canvases_;
  DrawingTimes& times_;
};

// Wall-clock and process CPU seconds.
struct Seconds {
  double real = 0.0;
  double cpu = 0.0;
  Seconds& operator+=(const Seconds& other) {
    real += other.real;
    cpu += other.cpu;
    return *this;
  }
};

double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class Stopwatch {
 public:
  Seconds Elapsed() const {
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - real_).count(),
            ProcessCpuSeconds() - cpu_};
  }

 private:
  std::chrono::steady_clock::time_point real_ = std::chrono::steady_clock::now();
  double cpu_ = ProcessCpuSeconds();
};

// Loads and decodes every file at full size, as the page does, and releases each image before
// the next; false when one cannot be loaded.
bool DecodeAll(const std::vector<std::string>& entries, int64_t& pixels) {
  ExtensionThumbnailLoader loader;
  pixels = 0;
  for (const std::string& entry : entries) {
    std::unique_ptr<ThumbnailImage> image = loader.Load(PhotoFolder() + entry);
    if (!image) return false;
    const TBitmap& decoded = image->Pixels();
    benchmark::DoNotOptimize(decoded.Bits());
    pixels += static_cast<int64_t>(decoded.Width()) * decoded.Height();
  }
  return true;
}

void BM_DecodePhotos(benchmark::State& state) {
  const std::vector<std::string> entries = PhotoEntries();
  if (entries.size() < kPhotoCount) {
    state.SkipWithError("the photo set has fewer than 60 photographs");
    return;
  }
  int64_t pixels = 0;
  for (auto _ : state) {
    if (!DecodeAll(entries, pixels)) {
      state.SkipWithError("a photograph cannot be loaded");
      return;
    }
  }
  state.counters["megapixels"] = static_cast<double>(pixels) / 1e6;
}

// Draws page 1 with the first range(0) photographs onto `surface` at `page`, as the preview or
// the printer sets it up. With range(1) = 1 every cell shows the largest photograph decoded once
// before the timing starts.
void RenderCase(benchmark::State& state, DrawingSurface& surface, TRect page) {
  std::vector<std::string> entries = PhotoEntries();
  if (entries.size() < kPhotoCount) {
    state.SkipWithError("the photo set has fewer than 60 photographs");
    return;
  }
  entries.resize(static_cast<std::size_t>(state.range(0)));
  const bool preDecoded = state.range(1) == 1;
  // The window's default settings with a title; a quiet progress window nobody cancels, which is
  // also the pump, with nothing to pump. Their cost is not the renderer's.
  cli::CliInputs settings;
  settings.title = "Holiday photographs";
  settings.folder = PhotoFolder();
  cli::ConsoleProgress progress(true);
  progress.Show();
  DrawingTimes times;
  TimedCanvases canvases(times);
  TimedSurface timedSurface(surface, times, &DrawingTimes::ontoPage);
  TimedLoader timedLoader;
  std::unique_ptr<PreDecodedLoader> preDecodedLoader;
  if (preDecoded) {
    std::string largest;
    std::uintmax_t largestSize = 0;
    for (const std::string& entry : entries) {
      const std::uintmax_t size = std::filesystem::file_size(PhotoFolder() + entry);
      if (size > largestSize) {
        largestSize = size;
        largest = entry;
      }
    }
    preDecodedLoader = std::make_unique<PreDecodedLoader>(PhotoFolder() + largest);
    if (!preDecodedLoader->Loaded()) {
      state.SkipWithError(("cannot load " + largest).c_str());
      return;
    }
  }
  ThumbnailLoader& loader = preDecoded ? static_cast<ThumbnailLoader&>(*preDecodedLoader) : timedLoader;
  TContactSheet sheet(SheetServices{.progress = &progress, .pump = &progress, .inputs = &settings,
                                    .options = &settings, .canvases = &canvases,
                                    .thumbnails = &loader});
  sheet.FileList = entries;
  sheet.BaseFolder = PhotoFolder();
  sheet.Paginate();
  // One folder under one heading: all 60 cells make exactly one 10 x 6 page.
  if (sheet.PageEnds.empty() || sheet.PageEnds[0] != static_cast<int32_t>(entries.size()) - 1) {
    state.SkipWithError("the photographs do not make one page");
    return;
  }
  sheet.PageRect = page;

  // Every iteration draws over the last one: the drawing is opaque, so the cost is the same as on
  // a fresh page, and clearing a printer page is the printer's work, not the renderer's.
  const bool againstDecode = !preDecoded && state.range(0) == kPhotoCount;
  Seconds decodeAlone;
  Seconds rendering;
  for (auto _ : state) {
    if (againstDecode) {
      state.PauseTiming();
      const Stopwatch decodeWatch;
      int64_t pixels = 0;
      if (!DecodeAll(entries, pixels)) {
        state.SkipWithError("a photograph cannot be loaded");
        return;
      }
      decodeAlone += decodeWatch.Elapsed();
      state.ResumeTiming();
    }
    const Stopwatch renderWatch;
    sheet.OriginX = page.Left;
    sheet.OriginY = page.Top;
    sheet.RenderPage(timedSurface, 1);
    rendering += renderWatch.Elapsed();
  }
  const double iterations = static_cast<double>(state.iterations());
  // Where the drawing time goes, per page.
  state.counters["text_ms"] = times.text / iterations * 1e3;
  state.counters["fill_ms"] = times.fill / iterations * 1e3;
  state.counters["cell_ms"] = times.intoCell / iterations * 1e3;
  state.counters["page_ms"] = times.ontoPage / iterations * 1e3;
  if (preDecoded) return;
  // A photograph that fails to load would leave its cell empty and flatter the page.
  if (timedLoader.loaded != state.range(0) * state.iterations()) {
    state.SkipWithError("not every photograph loaded");
    return;
  }
  const double decoding = timedLoader.seconds;
  state.counters["decode_ms"] = decoding / iterations * 1e3;
  state.counters["own_ms"] = (rendering.real - decoding) / iterations * 1e3;
  state.counters["own_pct"] = (rendering.real - decoding) / decoding * 100.0;
  if (againstDecode) {
    state.counters["x_decode"] = rendering.real / decodeAlone.real;
    state.counters["x_decode_cpu"] = rendering.cpu / decodeAlone.cpu;
  }
}

// The 738 x 563 preview bitmap of a portrait printer page, framed at (164, 0, 574, 563).
void BM_RenderPreviewPage(benchmark::State& state) {
  TBitmap preview;
  preview.SetPixelFormat(pf32bit);
  preview.SetSize(738, 563);
  QtDrawingSurface surface(preview);
  RenderCase(state, surface, Rect(164, 0, 574, 563));
}

// A letter page at 600 dpi.
void BM_RenderPrinterPage(benchmark::State& state) {
  QImage page(4800, 6600, QImage::Format_RGB32);
  if (page.isNull()) {
    state.SkipWithError("no memory for the printer page");
    return;
  }
  QtDrawingSurface surface(page);
  RenderCase(state, surface, Rect(0, 0, 4800, 6600));
}

// Decoding dominates and each iteration takes seconds: a few iterations are enough, in real time
// since Qt may spread large image operations over its thread pool.
BENCHMARK(BM_DecodePhotos)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_RenderPreviewPage)
    ->Args({kPhotoCount, 0})->Args({12, 0})->Args({kPhotoCount, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_RenderPrinterPage)
    ->Args({kPhotoCount, 0})->Args({12, 0})->Args({kPhotoCount, 1})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace
}  // namespace tablora

int main(int argc, char** argv) {
  // Text is measured and drawn through Qt's fonts, which need a GUI application, not a display.
  if (std::getenv("DISPLAY") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
