// Decoding real PNGs through TPNGGraphic against libpng's png_read_image with the same 8-bit
// blue-green-red (and alpha) output, in the same run. The files are the large PNG wallpapers of
// Debian's plasma-workspace-wallpapers (those above 1 MiB, which make-photo-set draws from) of 2
// to 8.3 megapixels, RGB and RGBA, plus an interlaced and a 16-bit file made from them with
// ImageMagick in the build directory. TABLORA_WALLPAPERS names another folder to search.
//
// Before timing, each file is decoded once by each side to check that both give the same pixels
// and to measure the peak of heap memory (every malloc of the process is counted); the target is
// the bitmap + the largest chunk + 1 MiB. At the end the per-file and total time ratios are
// printed.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <png.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "imaging/byte_order.h"
#include "imaging/readers/png_reader.h"
#include "imaging/stream.h"

// ---- Heap accounting: the process's malloc family, counted --------------------------------

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
std::atomic<int64_t> heapNow{0};
std::atomic<int64_t> heapPeak{0};

void Count(void* p, int64_t sign) {
  if (p == nullptr) return;
  const int64_t now = heapNow += sign * static_cast<int64_t>(malloc_usable_size(p));
  int64_t peak = heapPeak.load();
  while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
  }
}
}  // namespace

extern "C" {
void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  Count(p, 1);
  return p;
}
void* calloc(size_t n, size_t size) {
  void* p = __libc_calloc(n, size);
  Count(p, 1);
  return p;
}
void* realloc(void* old, size_t n) {
  Count(old, -1);
  void* p = __libc_realloc(old, n);
  Count(p != nullptr ? p : (n == 0 ? nullptr : old), 1);
  return p;
}
void free(void* p) {
  Count(p, -1);
  __libc_free(p);
}
void* memalign(size_t alignment, size_t n) {
  void* p = __libc_memalign(alignment, n);
  Count(p, 1);
  return p;
}
void* aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }
int posix_memalign(void** out, size_t alignment, size_t n) {
  *out = memalign(alignment, n);
  return *out != nullptr ? 0 : ENOMEM;
}
}

namespace {

namespace fs = std::filesystem;

struct PngFile {
  std::string path;
  std::string name;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t largestChunk = 0;
};

// Size and largest chunk from the file's own chunk list; nothing when it is not a PNG.
std::optional<PngFile> Describe(const fs::path& path, const fs::path& root) {
  const std::vector<uint8_t> bytes = tablora::ReadFileBytes(path.string());
  if (bytes.size() < 33 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) return std::nullopt;
  std::string name = path.lexically_relative(root).string();
  if (const std::size_t at = name.find("/contents/"); at != std::string::npos) name.erase(at, 9);
  PngFile file{path.string(), name, tablora::LoadBE32(&bytes[16]), tablora::LoadBE32(&bytes[20]),
               0};
  for (std::size_t at = 8; at + 8 <= bytes.size();) {
    const uint32_t length = tablora::LoadBE32(&bytes[at]);
    file.largestChunk = std::max(file.largestChunk, length);
    at += uint64_t{length} + 12;
  }
  return file;
}

fs::path WorkDir() {
  std::error_code ec;
  const fs::path dir = fs::canonical("/proc/self/exe", ec).parent_path() / "png-bench-files";
  fs::create_directories(dir, ec);
  return dir;
}

// An ImageMagick conversion of source into the work folder, made once.
std::optional<PngFile> Derived(const PngFile& source, const std::string& name,
                               const std::string& options) {
  const fs::path out = WorkDir() / name;
  std::error_code ec;
  if (!fs::exists(out, ec)) {
    const std::string command =
        "convert '" + source.path + "' " + options + " -strip '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return std::nullopt;
  }
  return Describe(out, WorkDir());
}

const std::vector<PngFile>& Files() {
  static const std::vector<PngFile> files = [] {
    const char* env = std::getenv("TABLORA_WALLPAPERS");
    const fs::path root =
        env != nullptr && *env != '\0' ? fs::path(env) : fs::path("/usr/share/wallpapers");
    std::vector<PngFile> list;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      // The files make-photo-set takes: above 1 MiB, links to them once.
      if (ec || it->path().extension() != ".png" || it->is_symlink(ec) ||
          it->file_size(ec) <= (1u << 20)) {
        continue;
      }
      const std::optional<PngFile> file = Describe(it->path(), root);
      const uint64_t pixels = file ? uint64_t{file->width} * file->height : 0;
      if (pixels >= 2'000'000 && pixels <= 8'300'000) list.push_back(*file);
    }
    std::sort(list.begin(), list.end(),
              [](const PngFile& a, const PngFile& b) { return a.path < b.path; });
    if (list.empty()) return list;
    // The interlaced one from the first RGBA file, the 16-bit one from the first RGB file.
    const std::vector<PngFile> found = list;
    for (const PngFile& f : found) {
      if (tablora::ReadFileBytes(f.path)[25] == 6) {
        if (auto d = Derived(f, "interlaced-rgba.png", "-interlace PNG PNG32:")) list.push_back(*d);
        break;
      }
    }
    for (const PngFile& f : found) {
      if (tablora::ReadFileBytes(f.path)[25] == 2) {
        if (auto d = Derived(f, "rgb16.png", "-depth 16 PNG48:")) list.push_back(*d);
        break;
      }
    }
    return list;
  }();
  return files;
}

struct Decoded {
  std::vector<uint8_t> pixels;  // rows of 4-byte aligned 8-bit BGR or BGRA
  std::size_t rowBytes = 0;
  int channels = 0;
};

// libpng with the output TPNGGraphic gives: 8 bits, blue first, alpha kept, the same row layout.
Decoded DecodeWithLibpng(const PngFile& file) {
  Decoded out;
  FILE* f = std::fopen(file.path.c_str(), "rb");
  png_structp read = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(read);
  if (setjmp(png_jmpbuf(read))) {
    png_destroy_read_struct(&read, &info, nullptr);
    std::fclose(f);
    std::abort();
  }
  png_init_io(read, f);
  png_read_info(read, info);
  png_set_scale_16(read);
  png_set_bgr(read);
  png_set_interlace_handling(read);
  png_read_update_info(read, info);
  out.channels = png_get_channels(read, info);
  const uint32_t height = png_get_image_height(read, info);
  out.rowBytes =
      (std::size_t{png_get_image_width(read, info)} * out.channels + 3) & ~std::size_t{3};
  out.pixels.resize(out.rowBytes * height);
  std::vector<png_bytep> rows(height);
  for (uint32_t y = 0; y < height; ++y) rows[y] = out.pixels.data() + out.rowBytes * y;
  png_read_image(read, rows.data());
  png_read_end(read, nullptr);
  png_destroy_read_struct(&read, &info, nullptr);
  std::fclose(f);
  return out;
}

void DecodeWithTPNGGraphic(const PngFile& file, tablora::TPNGGraphic& png) {
  png.LoadFromFile(file.path);
}

void BM_Libpng(benchmark::State& state, const PngFile* file) {
  for (auto _ : state) {
    Decoded d = DecodeWithLibpng(*file);
    benchmark::DoNotOptimize(d.pixels.data());
  }
}

void BM_TPNGGraphic(benchmark::State& state, const PngFile* file) {
  for (auto _ : state) {
    tablora::TPNGGraphic png;
    DecodeWithTPNGGraphic(*file, png);
    benchmark::DoNotOptimize(png.Bits());
  }
}

// Heap peak of one decode above what was in use before it.
template <typename F>
int64_t HeapPeakOf(F&& decode) {
  heapPeak = heapNow.load();
  const int64_t before = heapNow.load();
  decode();
  return heapPeak.load() - before;
}

void CheckAndMeasure() {
  std::printf("%-44s %9s %5s %10s %10s %10s %10s %6s\n", "file", "size", "bpp", "bitmap", "chunk",
              "TPNG heap", "libpng", "diff");
  for (const PngFile& file : Files()) {
    Decoded reference;
    const int64_t libpngPeak = HeapPeakOf([&] { reference = DecodeWithLibpng(file); });
    int64_t bitmapBytes = 0;
    int maxDiff = 0;
    const int64_t ownPeak = HeapPeakOf([&] {
      tablora::TPNGGraphic png;
      DecodeWithTPNGGraphic(file, png);
      bitmapBytes = static_cast<int64_t>(png.RowSize()) * png.Height();
      const std::size_t used = std::size_t(png.Width()) * reference.channels;
      for (int y = 0; y < png.Height(); ++y) {
        const uint8_t* a = png.ScanLine(y);
        const uint8_t* b = reference.pixels.data() + reference.rowBytes * y;
        for (std::size_t i = 0; i < used; ++i) maxDiff = std::max(maxDiff, std::abs(a[i] - b[i]));
      }
    });
    const int64_t allowed = bitmapBytes + file.largestChunk + (1 << 20);
    std::printf("%-44s %4ux%-4u %5d %10lld %10u %10lld %10lld %6d%s\n", file.name.c_str(),
                file.width, file.height, reference.channels * 8,
                static_cast<long long>(bitmapBytes), file.largestChunk,
                static_cast<long long>(ownPeak), static_cast<long long>(libpngPeak), maxDiff,
                ownPeak <= allowed ? "" : "  OVER the memory target");
  }
}

// Keeps the median of every benchmark for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.aggregate_name == "median") {
        medians[run.run_name.function_name] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
      }
    }
  }
  // Processor and wall time of each benchmark's median repetition.
  std::map<std::string, std::pair<double, double>> medians;
};

}  // namespace

int main(int argc, char** argv) {
  tablora::bench::InitializeInterleaved(argc, argv);
  if (Files().empty()) {
    std::fprintf(stderr, "no PNG wallpapers of 2 to 8.3 megapixels found\n");
    return 1;
  }
  CheckAndMeasure();
  for (const PngFile& file : Files()) {
    benchmark::RegisterBenchmark((file.name + "/libpng").c_str(), BM_Libpng, &file)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark((file.name + "/TPNGGraphic").c_str(), BM_TPNGGraphic, &file)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Processor time is the measure on a shared machine; wall time is shown beside it.
  double own = 0, base = 0, ownWall = 0, baseWall = 0;
  std::printf("\n%-38s %10s %10s %7s %12s\n", "file (processor ms)", "libpng", "TPNG", "ratio",
              "wall ratio");
  for (const PngFile& file : Files()) {
    const auto a = reporter.medians.find(file.name + "/libpng");
    const auto b = reporter.medians.find(file.name + "/TPNGGraphic");
    if (a == reporter.medians.end() || b == reporter.medians.end()) continue;
    const auto [baseCpu, baseReal] = a->second;
    const auto [ownCpu, ownReal] = b->second;
    std::printf("%-38s %10.1f %10.1f %7.3f %12.3f\n", file.name.c_str(), baseCpu, ownCpu,
                ownCpu / baseCpu, ownReal / baseReal);
    base += baseCpu;
    own += ownCpu;
    baseWall += baseReal;
    ownWall += ownReal;
  }
  if (base > 0) {
    std::printf("%-38s %10.1f %10.1f %7.3f %12.3f\n", "total", base, own, own / base,
                ownWall / baseWall);
  }
  benchmark::Shutdown();
  return 0;
}
