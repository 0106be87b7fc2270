// Hostile TIFFs (huge claims from a few bytes, or sparse tables) through TTIFFGraphic under one
// cell's budget: how long each load takes, its peak charge, and how soon a cancel asked for
// 50 ms into the load (or at once, for loads shorter than that) is answered. Against the
// baseline of a plain 1024 x 1024 grey picture in the same run.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/readers/tiff_reader.h"
#include "tests/imaging/tiff_hostile_files.h"

namespace {

namespace fs = std::filesystem;
using namespace tablora;

const fs::path& Dir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("tiff-hostile-bench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    test::WriteTiff((d / "plain.tif").string(), {{256, 3, 1, 1024}, {257, 3, 1, 1024}, {258, 3, 1, 8},
                                                 {259, 3, 1, 1}, {262, 3, 1, 1}, {273, 4, 1, 8}, {278, 3, 1, 1024},
                                                 {279, 4, 1, 1 << 20}},
                    {}, (1 << 20) + 8);
    test::TallTiff((d / "tall.tif").string(), 268435455);
    test::TallTiff((d / "tall-60m.tif").string(), 60u << 20);
    test::StripTableTiff((d / "tables.tif").string(), 1000, 128u << 20);
    test::StripTableTiff((d / "tables-60m.tif").string(), 60u << 20, 60u << 20);
    test::TinyTileTiff((d / "tiny-tiles.tif").string(), 32768, 32767, 1, 1);
    test::FaxTiff((d / "g4.tif").string(), 4, 65535, 65535);
    test::FaxTiff((d / "g3.tif").string(), 3, 65535, 65535);
    return d;
  }();
  return dir;
}

void Load(const std::string& path, TCancelToken& token, uint64_t& peak) {
  TMemoryBudget budget(ImageSizeLimit() + (uint64_t{64} << 20));
  TCancelScope scope(token);
  try {
    TTIFFGraphic reader;
    reader.LoadFromFile(path);
  } catch (const Exception&) {
  }
  peak = budget.Peak();
}

void BM_Load(benchmark::State& state, const char* name) {
  const std::string path = (Dir() / name).string();
  uint64_t peak = 0;
  for (auto _ : state) {
    TCancelToken token;
    Load(path, token, peak);
  }
  state.counters["peak_MiB"] = static_cast<double>(peak >> 20);
  // Cancel answer: from the request to the end of the load.
  TCancelToken token;
  std::chrono::steady_clock::time_point asked;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    asked = std::chrono::steady_clock::now();
    token.Request();
  });
  Load(path, token, peak);
  const auto done = std::chrono::steady_clock::now();
  canceller.join();
  state.counters["cancel_ms"] = done > asked ? std::chrono::duration<double, std::milli>(done - asked).count() : 0;
}

BENCHMARK_CAPTURE(BM_Load, plain_1024x1024, "plain.tif")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Load, tall_1x268M, "tall.tif")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Load, tall_1x60M, "tall-60m.tif")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Load, tables_128M_entries, "tables.tif")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Load, tables_60M_strips, "tables-60m.tif")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Load, tiles_1x1_32768x32767, "tiny-tiles.tif")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Load, g4_65535x65535, "g4.tif")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_Load, g3_65535x65535, "g3.tif")->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::error_code ignored;
  fs::remove_all(Dir(), ignored);
  return 0;
}
