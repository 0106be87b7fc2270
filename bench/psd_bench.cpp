// A 6000 x 4000 run-length coded RGB document made from a photograph: loading it against the
// floor of the format (reading its bytes and unpacking every channel into planes with the same
// decoder), its peak memory against bitmap + planes + file + 16 MiB, and PackBits throughput on
// photograph data. Ratios come from one run, so they hold on a busy machine.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo_set.h"
#include "imaging/byte_order.h"
#include "imaging/decoders/decoder.h"
#include "imaging/readers/psd_reader.h"
#include "imaging/stream.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

const std::string& DocumentPath() {
  static const std::string path = [] {
    const std::string p = "/tmp/tablora_psd_bench_6000x4000.psd";
    if (!fs::exists(p)) {
      const fs::path photo = tablora::bench::PhotoSetDir() / "img_001.jpg";
      const std::string command = "convert '" + photo.string() + "' -resize 6000x4000! -depth 8 " +
                                  "-type TrueColor -compress RLE '" + p + "'";
      if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not make %s\n", p.c_str());
    }
    return p;
  }();
  return path;
}

// The packed image data: where the row table starts, after the skipped sections.
std::size_t ImageDataOffset(const std::vector<uint8_t>& file) {
  std::size_t at = 26;
  for (int section = 0; section < 3; ++section) at += 4 + tablora::LoadBE32(&file[at]);
  return at + 2;
}

// Reading the file and unpacking all channels into planes: what any reader must do at least.
std::vector<uint8_t> UnpackPlanes(const std::vector<uint8_t>& file) {
  const std::size_t channels = tablora::LoadBE16(&file[12]);
  const std::size_t rows = channels * kHeight;
  std::size_t table = ImageDataOffset(file);
  std::size_t packed = table + rows * 2;
  std::vector<uint8_t> planes(channels * kWidth * kHeight);
  tablora::TPackbitsRLEDecoder decoder;
  for (std::size_t r = 0; r < rows; ++r) {
    const std::size_t count = tablora::LoadBE16(&file[table + r * 2]);
    decoder.Decode(std::span(file).subspan(packed, count), std::span(planes).subspan(r * kWidth, kWidth));
    packed += count;
  }
  return planes;
}

void BM_PsdFloor_ReadAndUnpack(benchmark::State& state) {
  const std::string& path = DocumentPath();
  for (auto _ : state) {
    const std::vector<uint8_t> file = tablora::ReadFileBytes(path);
    std::vector<uint8_t> planes = UnpackPlanes(file);
    benchmark::DoNotOptimize(planes.data());
  }
}

void BM_PsdLoad(benchmark::State& state) {
  const std::string& path = DocumentPath();
  for (auto _ : state) {
    tablora::TPSDGraphic psd;
    psd.LoadFromFile(path);
    benchmark::DoNotOptimize(psd.Bits());
  }
}

// Peak resident memory of one load in a fresh process, against what the load may hold at most.
void BM_PsdPeakMemory(benchmark::State& state) {
  const std::string& path = DocumentPath();
  double peakMiB = 0;
  for (auto _ : state) {
    peakMiB = tablora::bench::PeakMiB([&] {
      tablora::TPSDGraphic psd;
      psd.LoadFromFile(path);
    });
  }
  const double bitmap = 3.0 * kWidth * kHeight / (1 << 20);
  const double planes = bitmap;
  const double file = static_cast<double>(fs::file_size(path)) / (1 << 20);
  state.counters["peak_MiB"] = peakMiB;
  state.counters["allowed_MiB"] = bitmap + planes + file + 16;
}

std::vector<uint8_t> PackBitsEncode(const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out;
  std::size_t i = 0;
  while (i < in.size()) {
    std::size_t run = 1;
    while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<uint8_t>(257 - run));
      out.push_back(in[i]);
      i += run;
      continue;
    }
    std::size_t literal = 0;
    while (i + literal < in.size() && literal < 128 &&
           !(i + literal + 2 < in.size() && in[i + literal] == in[i + literal + 1] &&
             in[i + literal] == in[i + literal + 2])) {
      ++literal;
    }
    out.push_back(static_cast<uint8_t>(literal - 1));
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i),
               in.begin() + static_cast<std::ptrdiff_t>(i + literal));
    i += literal;
  }
  return out;
}

// Photograph data in the mix real documents have: long runs in skies and flat areas, literals in
// texture. Target: at least 1 GB/s of output.
void BM_PackBitsThroughput(benchmark::State& state) {
  static const std::vector<uint8_t> planes = UnpackPlanes(tablora::ReadFileBytes(DocumentPath()));
  static const std::vector<uint8_t> packed = PackBitsEncode(planes);
  std::vector<uint8_t> out(planes.size());
  tablora::TPackbitsRLEDecoder decoder;
  for (auto _ : state) {
    decoder.Decode(packed, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
  state.counters["packed_ratio"] = static_cast<double>(packed.size()) / static_cast<double>(planes.size());
}

BENCHMARK(BM_PsdFloor_ReadAndUnpack)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_PsdLoad)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_PsdPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PackBitsThroughput)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
BENCHMARK_MAIN();
