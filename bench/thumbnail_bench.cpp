// Thumbnails of the 60 photographs of the photo set on one 10 x 6 page, against what drawing the
// page cost before pictures were reduced at load (each photograph decoded at full size on one
// core, which the page's drawing then followed within 3 %), against vipsthumbnail making the
// same 60 thumbnails, and a page drawn again at the same size against its first drawing.
// Quality: each thumbnail against ImageMagick's Lanczos reduction of the upright photograph to
// the same size, on the preview and on a 600-dpi page. Peak memory of a preview page in a fresh
// process against decoding the photographs alone. Ratios come from one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo_set.h"
#include "bench/stopwatch.h"
#include "cli/commands.h"
#include "cli/sheet_session.h"
#include "imaging/image_probe.h"
#include "imaging/reduce.h"
#include "platform/qt_printer_device.h"
#include "sheet/thumbnail_pipeline.h"

namespace {

namespace fs = std::filesystem;
using namespace tablora;

std::vector<std::string> Photos() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(bench::PhotoSetDir())) {
    if (entry.path().extension() == ".jpg") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  if (paths.size() > 60) paths.resize(60);
  return paths;
}

using bench::Seconds;

// What every photograph cost before: a full decode, one after the other.
void DecodeAllAtFullSize() {
  ExtensionThumbnailLoader loader;
  for (const std::string& path : Photos()) {
    auto image = loader.Load(path);
    if (image) benchmark::DoNotOptimize(image->Pixels().Bits());
  }
}

// The preview page (738 x 563, A4 frame) of the photo set through the command line's engine.
struct PreviewRig {
  cli::CliInputs inputs;
  QtPrinterDevice printer;
  cli::ImagePreview preview{738, 563};
  std::unique_ptr<cli::SheetSession> session;
  explicit PreviewRig(int jobs) {
    inputs.folder = bench::PhotoSetDir().string();
    inputs.jobs = jobs;
    session = std::make_unique<cli::SheetSession>(inputs, true, &printer, &preview);
    session->Build();
    session->Sheet().CurrentPage = 1;
  }
  void Draw() { session->Sheet().RefreshPreview(); }
};

int Cores() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

void BM_Preview(benchmark::State& state) {
  cli::EnsureGuiApplication();
  double before = 0, first = 0, again = 0, vips = 0;
  const std::string out = (fs::temp_directory_path() / "tablora-vips").string();
  fs::create_directories(out);
  std::string files;
  for (const std::string& path : Photos()) files += " '" + path + "'";
  for (auto _ : state) {
    before += Seconds(DecodeAllAtFullSize);
    PreviewRig rig(Cores());
    first += Seconds([&] { rig.Draw(); });
    again += Seconds([&] { rig.Draw(); });
    vips += Seconds([&] {
      const std::string command = "vipsthumbnail --size 47x38 -o '" + out + "/%s.jpg'" + files + " 2>/dev/null";
      if (std::system(command.c_str()) != 0) state.SkipWithError("vipsthumbnail failed (libvips-tools)");
    });
  }
  state.counters["before_s"] = before / state.iterations();
  state.counters["page_s"] = first / state.iterations();
  state.counters["page_vs_before"] = first / before;         // target <= 0.3 (before x 1.03)
  state.counters["page_vs_vips"] = first / vips;             // target <= 0.7
  state.counters["again_vs_page"] = again / first;           // target <= 0.05
}

// The whole 600-dpi PDF page through tablora-cli, against the decodes it took before (the
// page followed them within 13 %).
void BM_SheetPdf600(benchmark::State& state) {
  // Measured without the desktop's thumbnail cache, as the figures were before it: no folder can be
  // made under /dev/null, so the program neither reads nor writes one, whichever build it is.
  ::setenv("XDG_CACHE_HOME", "/dev/null", 1);
  const fs::path cli = fs::path(BENCH_BINARY_DIR) / "src/cli/tablora-cli";
  const std::string pdf = (fs::temp_directory_path() / "tablora-bench-sheet.pdf").string();
  double before = 0, page = 0;
  for (auto _ : state) {
    before += Seconds(DecodeAllAtFullSize);
    page += Seconds([&] {
      const std::string command = std::string("'").append(cli.string()) + "' sheet '" +
                                  bench::PhotoSetDir().string() + "' -o '" + pdf + "' --quiet";
      if (std::system(command.c_str()) != 0) state.SkipWithError("tablora-cli sheet failed");
    });
  }
  state.counters["page_vs_before"] = page / before;  // target <= 0.5 (before x 1.13)
}

double Psnr(const TBitmap& got, const std::vector<uint8_t>& rgb) {
  double squares = 0;
  for (int y = 0; y < got.Height(); ++y) {
    for (int x = 0; x < got.Width(); ++x) {
      const TColor c = got.PixelColor(x, y);
      const uint8_t* r = rgb.data() + (static_cast<std::size_t>(y) * got.Width() + x) * 3;
      for (int k = 0; k < 3; ++k) {
        const double d = double(k == 0 ? GetRValue(c) : k == 1 ? GetGValue(c) : GetBValue(c)) - r[k];
        squares += d * d;
      }
    }
  }
  const double mse = squares / (3.0 * got.Width() * got.Height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// PSNR of every thumbnail at a box size; counters: median and minimum.
void Quality(benchmark::State& state, int boxWidth, int boxHeight) {
  std::vector<double> scores;
  for (auto _ : state) {
    scores.clear();
    ExtensionThumbnailLoader loader;
    for (const std::string& path : Photos()) {
      const CellPicture picture = ThumbnailPipeline::Produce(loader, {path, boxWidth, boxHeight});
      if (!picture.pixels) continue;
      const int w = picture.pixels->Width();
      const int h = picture.pixels->Height();
      const std::string command = "convert '" + path + "' -auto-orient -filter Lanczos -resize " +
                                  std::to_string(w) + "x" + std::to_string(h) + "! -depth 8 rgb:-";
      FILE* pipe = ::popen(command.c_str(), "r");
      std::vector<uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
      const std::size_t got = std::fread(rgb.data(), 1, rgb.size(), pipe);
      ::pclose(pipe);
      if (got == rgb.size()) scores.push_back(Psnr(*picture.pixels, rgb));
    }
  }
  std::sort(scores.begin(), scores.end());
  state.counters["photos"] = static_cast<double>(scores.size());
  if (!scores.empty()) {
    state.counters["median_dB"] = scores[scores.size() / 2];  // target >= 36
    state.counters["min_dB"] = scores.front();                // target >= 28
  }
}

void BM_QualityPreview(benchmark::State& state) { Quality(state, 47, 38); }
void BM_QualityPrint600(benchmark::State& state) { Quality(state, 540, 430); }

void BM_PeakMemory(benchmark::State& state) {
  cli::EnsureGuiApplication();
  double page = 0, before = 0, idle = 0;
  for (auto _ : state) {
    idle = bench::PeakMiB([] {});
    before = bench::PeakMiB(DecodeAllAtFullSize);
    page = bench::PeakMiB([] {
      PreviewRig rig(Cores());
      rig.Draw();
    });
  }
  state.counters["idle_MiB"] = idle;  // the process before the work
  state.counters["before_MiB"] = before;
  state.counters["page_MiB"] = page;
  state.counters["page_vs_before"] = page / before;  // target <= 0.5
}

BENCHMARK(BM_Preview)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SheetPdf600)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_QualityPreview)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_QualityPrint600)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
