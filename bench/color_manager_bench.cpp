// Row conversion throughput over 4096-pixel rows. Absolute figures depend on the machine, so every
// conversion also reports its throughput relative to a plain memcpy of the same source bytes,
// measured in the same process ("vs_memcpy"; 0.25 means a quarter of memcpy's bytes per second).
// items_per_second counts pixels.

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/color_manager.h"

namespace tablora {
namespace {

constexpr uint32_t kPixels = 4096;

std::vector<uint8_t> RandomRow(std::size_t bytes) {
  std::mt19937 random(1234);
  std::vector<uint8_t> row(bytes);
  for (auto& b : row) b = static_cast<uint8_t>(random());
  return row;
}

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Bytes per CPU second of memcpy for rows of the given size, measured once per size. CPU time,
// as the benchmark's own rates use it, so that other load on the machine cancels out.
double MemcpyBytesPerSecond(std::size_t bytes) {
  static std::vector<std::pair<std::size_t, double>> measured;
  for (const auto& [size, rate] : measured) {
    if (size == bytes) return rate;
  }
  std::vector<uint8_t> source = RandomRow(bytes);
  std::vector<uint8_t> target(bytes);
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    const double start = ThreadSeconds();
    std::size_t copies = 0;
    double elapsed = 0;
    while (elapsed < 0.02) {
      for (int i = 0; i < 64; ++i) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
      }
      copies += 64;
      elapsed = ThreadSeconds() - start;
    }
    best = std::max(best, static_cast<double>(copies * bytes) / elapsed);
  }
  measured.emplace_back(bytes, best);
  return best;
}

void RunConversion(benchmark::State& state, TColorManager& manager, std::size_t sourcePixelBytes,
                   std::size_t targetPixelBytes) {
  const std::size_t sourceBytes = kPixels * sourcePixelBytes;
  const std::vector<uint8_t> source = RandomRow(sourceBytes);
  std::vector<uint8_t> target(kPixels * targetPixelBytes);
  for (auto _ : state) {
    manager.ConvertRow({source.data()}, target.data(), kPixels, 0xFF);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPixels);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sourceBytes));
  state.counters["vs_memcpy"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * sourceBytes / MemcpyBytesPerSecond(sourceBytes),
      benchmark::Counter::kIsRate);
}

void BM_Memcpy(benchmark::State& state) {
  const std::size_t bytes = kPixels * 3;
  const std::vector<uint8_t> source = RandomRow(bytes);
  std::vector<uint8_t> target(bytes);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), bytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Memcpy);

void BM_RGB8ToBGR8(benchmark::State& state) {
  TColorManager manager;
  RunConversion(state, manager, 3, 3);
}
BENCHMARK(BM_RGB8ToBGR8);

void BM_RGBA8ToBGRA8(benchmark::State& state) {
  TColorManager manager;
  manager.SetSourceColorScheme(csRGBA);
  manager.SetTargetColorScheme(csBGRA);
  RunConversion(state, manager, 4, 4);
}
BENCHMARK(BM_RGBA8ToBGRA8);

void BM_RGB8GammaToBGR8(benchmark::State& state) {
  TColorManager manager;
  manager.SetTargetOptions(coGammaCorrect);
  RunConversion(state, manager, 3, 3);
}
BENCHMARK(BM_RGB8GammaToBGR8);

void BM_RGB16SwapToBGR8(benchmark::State& state) {
  TColorManager manager;
  manager.SetSourceOptions(coByteSwap);
  manager.SetSourceBitsPerSample(16);
  RunConversion(state, manager, 6, 3);
}
BENCHMARK(BM_RGB16SwapToBGR8);

void BM_YCbCrToBGR(benchmark::State& state) {
  TColorManager manager;
  manager.SetSourceColorScheme(csYCbCr);
  RunConversion(state, manager, 3, 3);
}
BENCHMARK(BM_YCbCrToBGR);

void BM_CMYKToBGR(benchmark::State& state) {
  TColorManager manager;
  manager.SetSourceColorScheme(csCMYK);
  manager.SetSourceSamplesPerPixel(4);
  RunConversion(state, manager, 4, 3);
}
BENCHMARK(BM_CMYKToBGR);

void BM_LabToBGR(benchmark::State& state) {
  TColorManager manager;
  manager.SetSourceColorScheme(csCIELab);
  manager.SetSourceOptions(coLabScaledL + coLabOffsetAB);
  RunConversion(state, manager, 3, 3);
}
BENCHMARK(BM_LabToBGR);

}  // namespace
}  // namespace tablora

BENCHMARK_MAIN();
