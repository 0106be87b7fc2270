// Reading an 8000 x 6000 24-bit BMP against reading the same file's bytes into memory, in one
// run so the ratio holds on a noisy machine. Target: the load takes at most 1.5 times the copy.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/stream.h"

namespace {

constexpr int kWidth = 8000;
constexpr int kHeight = 6000;

void PutLE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Written once per process; a gradient with noise so the pixels are not all alike.
const std::string& LargeBmpPath() {
  static const std::string path = [] {
    const std::string p = "/tmp/tablora_bmp_bench_8000x6000.bmp";
    const uint32_t rowSize = (kWidth * 3 + 3) & ~3u;
    const uint32_t dataSize = rowSize * kHeight;
    std::vector<uint8_t> header = {'B', 'M'};
    PutLE32(header, 54 + dataSize);
    PutLE32(header, 0);
    PutLE32(header, 54);
    PutLE32(header, 40);
    PutLE32(header, kWidth);
    PutLE32(header, kHeight);
    header.insert(header.end(), {1, 0, 24, 0});
    PutLE32(header, 0);
    PutLE32(header, dataSize);
    for (int i = 0; i < 4; ++i) PutLE32(header, 0);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    std::vector<uint8_t> row(rowSize, 0);
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        noise = noise * 1103515245u + 12345u;
        row[3 * x] = static_cast<uint8_t>(x);
        row[3 * x + 1] = static_cast<uint8_t>(y);
        row[3 * x + 2] = static_cast<uint8_t>(noise >> 24);
      }
      out.write(reinterpret_cast<const char*>(row.data()), rowSize);
    }
    return p;
  }();
  return path;
}

void BM_ReadBytesIntoMemory(benchmark::State& state) {
  const std::string& path = LargeBmpPath();
  for (auto _ : state) {
    std::vector<uint8_t> bytes = tablora::ReadFileBytes(path);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (int64_t{kWidth} * 3 * kHeight));
}

void BM_LoadBmp24(benchmark::State& state) {
  const std::string& path = LargeBmpPath();
  for (auto _ : state) {
    tablora::TBitmap bitmap;
    bitmap.LoadFromFile(path);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (int64_t{kWidth} * 3 * kHeight));
}

BENCHMARK(BM_ReadBytesIntoMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadBmp24)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
