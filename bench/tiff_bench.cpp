// Decoding TIFFs made from the shared photographs through TTIFFGraphic against libtiff's
// TIFFReadRGBAImage of the same files, in the same run: uncompressed, LZW with predictor, Deflate,
// PackBits, JPEG YCbCr, one tiled and one 16-bit, made once with ImageMagick and tiffcp in the
// build directory. libtiff is loaded at run time, so the benchmark needs no link to it.

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/readers/tiff_reader.h"
#include "imaging/stream.h"
#include "photo_set.h"

namespace {

namespace fs = std::filesystem;

struct Libtiff {
  void* (*open)(const char*, const char*) = nullptr;
  int (*getField)(void*, uint32_t, ...) = nullptr;
  int (*readRgba)(void*, uint32_t, uint32_t, uint32_t*, int, int) = nullptr;
  void (*close)(void*) = nullptr;
  bool Loaded() const { return open && getField && readRgba && close; }
};

const Libtiff& LibtiffApi() {
  static const Libtiff api = [] {
    Libtiff l;
    if (void* so = dlopen("libtiff.so.6", RTLD_NOW)) {
      l.open = reinterpret_cast<decltype(l.open)>(dlsym(so, "TIFFOpen"));
      l.getField = reinterpret_cast<decltype(l.getField)>(dlsym(so, "TIFFGetField"));
      l.readRgba = reinterpret_cast<decltype(l.readRgba)>(dlsym(so, "TIFFReadRGBAImageOriented"));
      l.close = reinterpret_cast<decltype(l.close)>(dlsym(so, "TIFFClose"));
    }
    return l;
  }();
  return api;
}

// The files, made on first use from the first photograph.
std::vector<std::pair<std::string, fs::path>> Files() {
  const fs::path dir = fs::canonical("/proc/self/exe").parent_path() / "tiff-bench-files";
  const fs::path photo = tablora::bench::PhotoSetDir() / "img_001.jpg";
  const std::vector<std::pair<std::string, std::string>> kinds = {
      {"none", "-c none"},         {"lzw-pred", "-c lzw:2"},       {"deflate", "-c zip"},
      {"packbits", "-c packbits"}, {"jpeg-ycbcr", "-c jpeg:90"},   {"tiled-lzw", "-t -c lzw:2"},
      {"rgb16-lzw", "16"}};
  fs::create_directories(dir);
  const fs::path base = dir / "base.tif";
  const fs::path base16 = dir / "base16.tif";
  std::vector<std::pair<std::string, fs::path>> files;
  auto run = [](const std::string& command) { return std::system(command.c_str()) == 0; };
  if (!fs::exists(base)) run("convert '" + photo.string() + "' -depth 8 -compress none '" + base.string() + "'");
  if (!fs::exists(base16)) run("convert '" + photo.string() + "' -depth 16 -compress none '" + base16.string() + "'");
  for (const auto& [name, options] : kinds) {
    const fs::path out = dir / (name + ".tif");
    const bool wide = options == "16";
    if (!fs::exists(out)) {
      run("tiffcp " + std::string(wide ? "-c lzw:2" : options) + " '" + (wide ? base16 : base).string() +
          "' '" + out.string() + "'");
    }
    if (fs::exists(out)) files.emplace_back(name, out);
  }
  return files;
}

void Ours(benchmark::State& state, fs::path path) {
  const std::vector<uint8_t> bytes = tablora::ReadFileBytes(path.string());
  for (auto _ : state) {
    tablora::TTIFFGraphic tiff;
    tablora::TBufferStream stream(bytes.data(), bytes.size());
    tiff.LoadFromStream(stream);
    benchmark::DoNotOptimize(tiff.ScanLine(0));
  }
}

void Baseline(benchmark::State& state, fs::path path) {
  const Libtiff& api = LibtiffApi();
  if (!api.Loaded()) {
    state.SkipWithError("libtiff.so.6 not found");
    return;
  }
  for (auto _ : state) {
    void* tif = api.open(path.c_str(), "r");
    uint32_t w = 0, h = 0;
    api.getField(tif, 256, &w);
    api.getField(tif, 257, &h);
    std::vector<uint32_t> raster(std::size_t{w} * h);
    api.readRgba(tif, w, h, raster.data(), 1, 0);
    benchmark::DoNotOptimize(raster.data());
    api.close(tif);
  }
}

const bool registered = [] {
  for (const auto& [name, path] : Files()) {
    benchmark::RegisterBenchmark(("tiff/" + name + "/ours").c_str(), Ours, path)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("tiff/" + name + "/libtiff").c_str(), Baseline, path)->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
