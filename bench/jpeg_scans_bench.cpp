// What a cell costs for progressive JPEGs of many scans, through the sheet's own load and
// reduction: the hostile files of tests/data/jpeg (16384 x 16384 grey in 2,001 empty scans, 16000 x
// 16000 in 499), which must be refused within 2 s of CPU each, against a 15-megapixel photograph
// of the photo set as it is; and the photo set saved progressive by jpegtran, with its default
// progression and with the 60-scan scripts of tests/data/jpeg (colour, and grey for the two grey
// photographs), every file of which must still be drawn (counter "refused" 0). CPU time is the figure: the machine is shared.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo_set.h"
#include "imaging/exceptions.h"
#include "imaging/readers/jpeg_image.h"
#include "sheet/thumbnail_image.h"
#include "sheet/thumbnail_pipeline.h"

namespace {

namespace fs = std::filesystem;
using namespace tablora;

const fs::path kSource = fs::path(__FILE__).parent_path().parent_path();
constexpr int32_t kBoxWidth = 120;  // a cell of a 10 x 6 preview page
constexpr int32_t kBoxHeight = 90;

std::vector<std::string> Photos() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(bench::PhotoSetDir())) {
    if (entry.path().extension() == ".jpg") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// The photo set rewritten by jpegtran with the given options (or, for grey photographs, the
// second ones), once, into /tmp.
std::vector<std::string> Rewritten(const std::string& tag, const std::string& options,
                                   const std::string& greyOptions) {
  const fs::path dir = fs::path("/tmp") / ("tablora-photos-" + tag);
  fs::create_directories(dir);
  std::vector<std::string> paths;
  for (const std::string& photo : Photos()) {
    const fs::path target = dir / fs::path(photo).filename();
    std::error_code ec;
    if (!fs::exists(target) || fs::file_size(target, ec) == 0) {
      const auto rewrite = [&](const std::string& with) {
        const std::string command = "jpegtran " + with + " -copy all -outfile '" + target.string() + "' '" + photo +
                                    "' 2>/dev/null";
        return std::system(command.c_str()) == 0;
      };
      if (!rewrite(options) && !rewrite(greyOptions)) continue;
    }
    paths.push_back(target.string());
  }
  return paths;
}

void Cells(benchmark::State& state, const std::vector<std::string>& paths) {
  if (paths.empty()) {
    state.SkipWithError("no files");
    return;
  }
  int refused = 0;
  for (auto _ : state) {
    refused = 0;
    ExtensionThumbnailLoader loader;
    for (const std::string& path : paths) {
      const CellPicture picture = ThumbnailPipeline::Produce(loader, {path, kBoxWidth, kBoxHeight});
      refused += picture.pixels == nullptr;
    }
  }
  state.counters["files"] = static_cast<double>(paths.size());
  state.counters["refused"] = refused;
}

void BM_Cell_Scans2000(benchmark::State& state) {
  Cells(state, {(kSource / "tests/data/jpeg/scans2000.jpg").string()});
}
void BM_Cell_Scans499(benchmark::State& state) {
  Cells(state, {(kSource / "tests/data/jpeg/scans499.jpg").string()});
}
// The baseline: the first 15-megapixel photograph.
void BM_Cell_Photo15MP(benchmark::State& state) {
  std::vector<std::string> large;
  for (const std::string& path : Photos()) {
    TJPEGImage image;
    try {
      image.LoadFromFile(path);
    } catch (const Exception&) {
      continue;
    }
    if (int64_t{image.Width()} * image.Height() >= 14'000'000) {
      large.push_back(path);
      break;
    }
  }
  Cells(state, large);
}
void BM_PhotoSet_Baseline(benchmark::State& state) { Cells(state, Photos()); }
void BM_PhotoSet_Progressive(benchmark::State& state) {
  Cells(state, Rewritten("progressive", "-progressive", "-progressive"));
}
void BM_PhotoSet_Scans60(benchmark::State& state) {
  const fs::path scripts = kSource / "tests/data/jpeg";
  Cells(state, Rewritten("scans60", "-scans '" + (scripts / "scans60.txt").string() + "'",
                         "-scans '" + (scripts / "scans60-grey.txt").string() + "'"));
}

BENCHMARK(BM_Cell_Photo15MP)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_Cell_Scans2000)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_Cell_Scans499)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_PhotoSet_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK(BM_PhotoSet_Progressive)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK(BM_PhotoSet_Scans60)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);

}  // namespace

int main(int argc, char** argv) {
  tablora::bench::InitializeInterleaved(argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
