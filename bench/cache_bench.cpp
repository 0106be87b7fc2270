// The preview page (738 x 563, A4 frame) of the 60 photographs of the photo set opened a second
// time, by a new session that finds the desktop's thumbnail cache the first one filled, against
// its first opening with the cache empty; and that first opening against one without any cache.
// Each repetition starts from an empty cache folder of its own; the thumbnails the first session
// queued are written before the second starts (flush_s), outside both drawings.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "bench/photo_set.h"
#include "bench/stopwatch.h"
#include "cli/commands.h"
#include "cli/sheet_session.h"
#include "platform/qt_printer_device.h"

namespace {

namespace fs = std::filesystem;
using namespace tablora;

using bench::Seconds;

struct PreviewRig {
  cli::CliInputs inputs;
  QtPrinterDevice printer;
  cli::ImagePreview preview{738, 563};
  std::unique_ptr<cli::SheetSession> session;
  explicit PreviewRig(bool cache) {
    inputs.folder = bench::PhotoSetDir().string();
    inputs.jobs = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    inputs.cache = cache;
    session = std::make_unique<cli::SheetSession>(inputs, true, &printer, &preview);
    session->Build();
    session->Sheet().CurrentPage = 1;
  }
  void Draw() { session->Sheet().RefreshPreview(); }
};

void BM_PreviewAgainWithCache(benchmark::State& state) {
  cli::EnsureGuiApplication();
  const fs::path home = fs::temp_directory_path() / "tablora-cache-bench";
  ::setenv("XDG_CACHE_HOME", home.c_str(), 1);
  double none = 0, first = 0, again = 0, flush = 0;
  for (auto _ : state) {
    fs::remove_all(home);
    {
      PreviewRig rig(false);
      none += Seconds([&] { rig.Draw(); });
    }
    auto rig = std::make_unique<PreviewRig>(true);
    first += Seconds([&] { rig->Draw(); });
    flush += Seconds([&] { rig.reset(); });
    PreviewRig second(true);
    again += Seconds([&] { second.Draw(); });
  }
  fs::remove_all(home);
  const double n = static_cast<double>(state.iterations());
  state.counters["no_cache_s"] = none / n;
  state.counters["first_s"] = first / n;
  state.counters["again_s"] = again / n;
  state.counters["flush_s"] = flush / n;
  state.counters["first_vs_no_cache"] = first / none;
  state.counters["again_vs_first"] = again / first;  // target <= 0.15
}

BENCHMARK(BM_PreviewAgainWithCache)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
