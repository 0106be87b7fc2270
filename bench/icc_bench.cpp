// One page of 60 photographs all tagged Adobe RGB (1998) against the same page of the same files
// without their profile, through the thumbnail pipeline as the renderer runs it (two worker threads, no
// cache): a screen preview page and a 600-dpi printed page (the target for both is at most 1.1).
//
// The tagged copies are made once in /tmp/tablora-photos-adobe with lcms2's jpgicc, which
// converts each photograph and embeds the profile (ImageMagick for the grey ones).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/photo_set.h"
#include "sheet/thumbnail_image.h"
#include "sheet/thumbnail_pipeline.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Photos(const fs::path& folder) {
  std::vector<std::string> paths;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(folder, error)) {
    if (item.path().extension() == ".jpg") paths.push_back(item.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

fs::path AdobeSet() {
  const fs::path dir = "/tmp/tablora-photos-adobe";
  fs::create_directories(dir);
  for (const std::string& photo : Photos(bench::PhotoSetDir())) {
    const fs::path out = dir / fs::path(photo).filename();
    if (fs::exists(out)) continue;
    const std::string command = "jpgicc -q92 -b -e -o/usr/share/color/icc/colord/AdobeRGB1998.icc '" + photo +
                                "' '" + out.string() + "' >/dev/null 2>&1";
    // jpgicc takes colour pictures only; ImageMagick tags the grey ones.
    const std::string grey = "convert '" + photo + "' -type TrueColor -profile /usr/share/color/icc/colord/sRGB.icc"
                             " -profile /usr/share/color/icc/colord/AdobeRGB1998.icc -quality 92 '" + out.string() + "'";
    if (std::system(command.c_str()) != 0 && std::system(grey.c_str()) != 0) fs::remove(out);
  }
  return dir;
}

// The same photographs with the profile taken out and nothing else changed (jpegtran copies the
// compressed data as it is): the untagged page decodes exactly the same data.
fs::path StrippedSet(const fs::path& tagged) {
  const fs::path dir = "/tmp/tablora-photos-adobe-untagged";
  fs::create_directories(dir);
  for (const std::string& photo : Photos(tagged)) {
    const fs::path out = dir / fs::path(photo).filename();
    if (fs::exists(out)) continue;
    const std::string command = "jpegtran -copy none '" + photo + "' > '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) fs::remove(out);
  }
  return dir;
}

double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Boxes of a 10 x 6 page: a preview on the screen, and A4 at 600 dpi.
constexpr int32_t kBoxes[2][2] = {{150, 110}, {780, 640}};

struct TPageTime {
  double wall = 0;
  double cpu = 0;
};

TPageTime RunPage(const std::vector<std::string>& paths, int size, benchmark::State& state) {
  ExtensionThumbnailLoader loader;
  std::vector<ThumbnailPipeline::Request> requests;
  for (const std::string& path : paths) requests.push_back({path, kBoxes[size][0], kBoxes[size][1]});
  const double cpu = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  ThumbnailPipeline pipeline(loader, nullptr, 2, uint64_t{512} << 20, requests);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    std::optional<CellPicture> picture = pipeline.Take(i, [] { return true; });
    if (!picture || !picture->pixels) state.SkipWithError("a photograph did not load");
    benchmark::DoNotOptimize(picture);
  }
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), ProcessCpuSeconds() - cpu};
}

// Each iteration draws the untagged page and then the tagged one, so that the other work of a
// shared machine weighs on both alike; the time shown is both pages'. x_untagged is the tagged
// pages' wall-clock time over the untagged ones', cpu_x_untagged the same in processor time.
void BM_AdobeRgbPage(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const fs::path taggedSet = AdobeSet();
  const std::vector<std::string> tagged = Photos(taggedSet);
  const std::vector<std::string> untagged = Photos(StrippedSet(taggedSet));
  if (tagged.size() < 60 || untagged.size() < 60) {
    state.SkipWithError("fewer than 60 photographs");
    return;
  }
  TPageTime plain, converted;
  for (auto _ : state) {
    const TPageTime a = RunPage(untagged, size, state);
    const TPageTime b = RunPage(tagged, size, state);
    plain.wall += a.wall;
    plain.cpu += a.cpu;
    converted.wall += b.wall;
    converted.cpu += b.cpu;
  }
  state.counters["x_untagged"] = converted.wall / plain.wall;
  state.counters["cpu_x_untagged"] = converted.cpu / plain.cpu;
}

// Arg 0: the preview page; arg 1: the 600-dpi page.
BENCHMARK(BM_AdobeRgbPage)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_AdobeRgbPage)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace tablora
BENCHMARK_MAIN();
