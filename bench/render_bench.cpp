// RenderPage of one 10 x 6 page of 60 real photographs, on the preview and on a 600-dpi printer
// page, against loading and decoding the same files alone in the same run. Decoding at full size
// is the floor of any page: the renderer's own work (text, fitting, the two stretches) must stay a
// small part on top of it. Each render case reports "x_decode", its time over the decode case's,
// when the decode case ran first in the same process (it does unless a filter leaves it out).
//
// The photographs come from TABLORA_PHOTO_SET, else /tmp/tablora-photos, which is made with
// /work/shared/tools/make-photo-set when absent.
//
// Peak memory is checked on one case at a time, for example:
//   /usr/bin/time -v render_bench --benchmark_filter='BM_RenderPrinterPage/60$'
// The /12 cases draw the same page with fewer cells: their peak must match the /60 cases'.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
  static const std::string folder = [] {
    const char* configured = std::getenv("TABLORA_PHOTO_SET");
    std::string path = configured && *configured ? configured : "/tmp/tablora-photos";
    if (!std::filesystem::is_directory(path)) {
      const std::string command = "/work/shared/tools/make-photo-set '" + path + "' >&2";
      if (std::system(command.c_str()) != 0) std::fprintf(stderr, "make-photo-set failed\n");
    }
    return path;
  }();
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

// Settings of a default window with a title; a progress window nobody cancels; a pump with
// nothing to pump. Their cost is not the renderer's.
class Settings : public SheetInputs, public SheetOptions {
 public:
  int Rows() const override { return kDefaultRows; }
  int Columns() const override { return kDefaultColumns; }
  std::string Title() const override { return "Holiday photographs"; }
  std::string FontName() const override { return "Tahoma"; }
  std::string SelectedFolder() const override { return PhotoFolder(); }
  bool PrintFacing() const override { return false; }
  bool PrintPageNum() const override { return true; }
};

class Progress : public ProgressWindow {
 public:
  void Show() override {}
  void Close() override {}
  void ShowStatus(const std::string&) override {}
  void ShowProgress(int) override {}
  void HideProgress() override {}
  void BringToFront() override {}
  void Repaint() override {}
  bool Working() const override { return true; }
};

class Pump : public EventPump {
 public:
  void PumpMessages() override {}
};

// The program's loader, timing what it spends in loading and decoding, so that a render case can
// tell its own work apart from the decoding within the same iterations. The JPEG image decodes
// on its first Pixels(), inside the renderer's draw.
class TimedLoader : public ThumbnailLoader {
 public:
  std::unique_ptr<ThumbnailImage> Load(const std::string& path) override {
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<ThumbnailImage> image = loader_.Load(path);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!image) return nullptr;
    return std::make_unique<TimedImage>(std::move(image), seconds);
  }
  double seconds = 0.0;

 private:
  class TimedImage : public ThumbnailImage {
   public:
    TimedImage(std::unique_ptr<ThumbnailImage> image, double& seconds)
        : image_(std::move(image)), seconds_(seconds) {}
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

// Seconds per iteration of the decode case, once it has run.
double g_decodeSeconds = 0.0;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_DecodePhotos(benchmark::State& state) {
  const std::vector<std::string> entries = PhotoEntries();
  if (entries.size() < kPhotoCount) {
    state.SkipWithError("the photo set has fewer than 60 photographs");
    return;
  }
  ExtensionThumbnailLoader loader;
  int64_t pixels = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    pixels = 0;
    for (const std::string& entry : entries) {
      std::unique_ptr<ThumbnailImage> image = loader.Load(PhotoFolder() + entry);
      if (!image) {
        state.SkipWithError(("cannot load " + entry).c_str());
        return;
      }
      const TBitmap& decoded = image->Pixels();
      benchmark::DoNotOptimize(decoded.Bits());
      pixels += static_cast<int64_t>(decoded.Width()) * decoded.Height();
    }
  }
  g_decodeSeconds = SecondsSince(start) / static_cast<double>(state.iterations());
  state.counters["megapixels"] = static_cast<double>(pixels) / 1e6;
}

// Draws page 1 with the first `cells` photographs onto `surface` at `page`, as the preview or the
// printer sets it up.
void RenderCase(benchmark::State& state, DrawingSurface& surface, TRect page) {
  std::vector<std::string> entries = PhotoEntries();
  if (entries.size() < kPhotoCount) {
    state.SkipWithError("the photo set has fewer than 60 photographs");
    return;
  }
  entries.resize(static_cast<std::size_t>(state.range(0)));
  Settings settings;
  Progress progress;
  Pump pump;
  QtCanvasFactory canvases;
  TimedLoader loader;
  TContactSheet sheet(SheetServices{.progress = &progress, .pump = &pump, .inputs = &settings,
                                    .options = &settings, .canvases = &canvases,
                                    .thumbnails = &loader});
  sheet.FileList = entries;
  sheet.BaseFolder = PhotoFolder();
  // One folder's heading takes half a row, so 60 cells spill past a 10-row page; the page is
  // drawn with all of them anyway, as the case is about the cost per cell.
  sheet.PageEnds = {static_cast<int32_t>(entries.size()) - 1};
  sheet.PageCount = 1;
  sheet.PageRect = page;

  const auto start = std::chrono::steady_clock::now();
  // Every iteration draws over the last one: the drawing is opaque, so the cost is the same as on
  // a fresh page, and clearing a printer page is the printer's work, not the renderer's.
  for (auto _ : state) {
    sheet.OriginX = page.Left;
    sheet.OriginY = page.Top;
    sheet.RenderPage(surface, 1);
  }
  const double iterations = static_cast<double>(state.iterations());
  const double seconds = SecondsSince(start) / iterations;
  const double decoding = loader.seconds / iterations;
  // Time spent outside loading and decoding, as a share of the decoding in the same iterations.
  state.counters["decode_ms"] = decoding * 1e3;
  state.counters["own_ms"] = (seconds - decoding) * 1e3;
  state.counters["own_pct"] = (seconds - decoding) / decoding * 100.0;
  if (g_decodeSeconds > 0.0 && state.range(0) == kPhotoCount) {
    state.counters["x_decode"] = seconds / g_decodeSeconds;
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
BENCHMARK(BM_RenderPreviewPage)->Arg(kPhotoCount)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_RenderPrinterPage)->Arg(kPhotoCount)->Arg(12)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

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
