// What the pictures' metadata costs: a preview page of the photo set with a second caption line
// of date and exposure against the same page with names only (target: at most 5 % more), and
// listing 5,000 photographs (links to the 60) in date order against a preview of their first page
// (target: at most 0.2x). The photographs get their shooting data and ratings from exiftool in a
// copy of the set. Ratios come from one run.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/photo_set.h"
#include "bench/stopwatch.h"
#include "cli/commands.h"
#include "cli/sheet_session.h"
#include "platform/qt_printer_device.h"

namespace {

namespace fs = std::filesystem;
using namespace tablora;

using bench::Seconds;

// The process's processor time, all threads: the machine may be shared, and waiting for a core
// says nothing about the work.
double CpuSeconds(const std::function<void()>& work) {
  const auto now = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  const double start = now();
  work();
  return now() - start;
}

// The photo set with EXIF dates, exposures and XMP ratings, once per machine.
fs::path TaggedSet() {
  const fs::path dir = fs::temp_directory_path() / "tablora-meta-photos";
  if (fs::exists(dir / "done")) return dir;
  fs::remove_all(dir);
  fs::create_directories(dir);
  int n = 0;
  for (const auto& entry : fs::directory_iterator(bench::PhotoSetDir())) {
    if (entry.path().extension() != ".jpg") continue;
    fs::copy_file(entry.path(), dir / entry.path().filename());
    ++n;
  }
  const std::string command =
      "exiftool -q -overwrite_original '-DateTimeOriginal=2024:06:01 14:03:27' -ExposureTime=1/250 -FNumber=8 "
      "-ISO=100 -Model='EOS R5' -Make=Canon -XMP-xmp:Rating=3 '" + dir.string() + "' >&2";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "exiftool failed\n");
  std::FILE* done = std::fopen((dir / "done").c_str(), "w");
  if (done) std::fclose(done);
  return dir;
}

// 5,000 hard links to the tagged photographs in one folder.
fs::path ManyPhotos() {
  const fs::path dir = fs::temp_directory_path() / "tablora-meta-5000";
  if (fs::exists(dir / "img_5000.jpg")) return dir;
  fs::create_directories(dir);
  std::vector<fs::path> photos;
  for (const auto& entry : fs::directory_iterator(TaggedSet())) {
    if (entry.path().extension() == ".jpg") photos.push_back(entry.path());
  }
  std::sort(photos.begin(), photos.end());
  for (int i = 1; i <= 5000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "img_%04d.jpg", i);
    std::error_code error;
    fs::create_hard_link(photos[static_cast<std::size_t>(i) % photos.size()], dir / name, error);
    if (error) fs::copy_file(photos[static_cast<std::size_t>(i) % photos.size()], dir / name);
  }
  return dir;
}

struct Rig {
  cli::CliInputs inputs;
  QtPrinterDevice printer{std::string()};
  cli::ImagePreview preview{738, 563};
  std::unique_ptr<cli::SheetSession> session;
  Rig(const fs::path& folder, std::vector<CaptionField> fields, SortOrder order) {
    inputs.folder = folder.string();
    inputs.jobs = 2;
    inputs.captionFields = std::move(fields);
    inputs.order = order;
    session = std::make_unique<cli::SheetSession>(inputs, true, &printer, &preview);
  }
  void Build() { session->Build(); session->Sheet().CurrentPage = 1; }
  void Draw() { session->Sheet().RefreshPreview(); }
};

void BM_CaptionLine(benchmark::State& state) {
  cli::EnsureGuiApplication();
  const fs::path set = TaggedSet();
  double names = 0, captions = 0, namesCpu = 0, captionsCpu = 0;
  for (auto _ : state) {
    // Alternating which goes first, so neither always finds the caches warmer.
    const bool first = state.iterations() % 2 == 0;
    for (const bool withData : {first, !first}) {
      Rig rig(set, withData ? std::vector<CaptionField>{CaptionField::Date, CaptionField::Exposure}
                            : std::vector<CaptionField>{},
              SortOrder::Name);
      rig.Build();
      double wall = 0;
      const double cpu = CpuSeconds([&] { wall = Seconds([&] { rig.Draw(); }); });
      (withData ? captions : names) += wall;
      (withData ? captionsCpu : namesCpu) += cpu;
    }
  }
  state.counters["names_s"] = names / state.iterations();
  state.counters["captions_s"] = captions / state.iterations();
  state.counters["captions_vs_names"] = captions / names;  // target <= 1.05
  state.counters["cpu_captions_vs_names"] = captionsCpu / namesCpu;
}
BENCHMARK(BM_CaptionLine)->Unit(benchmark::kMillisecond)->Iterations(4);

void BM_ListByDate(benchmark::State& state) {
  cli::EnsureGuiApplication();
  const fs::path many = ManyPhotos();
  double list = 0, preview = 0, listCpu = 0, previewCpu = 0;
  for (auto _ : state) {
    listCpu += CpuSeconds([&] {
      list += Seconds([&] {
        Rig rig(many, {}, SortOrder::Date);
        rig.Build();
        rig.session->Sheet().Paginate();
        benchmark::DoNotOptimize(rig.session->Sheet().PageCount);
      });
    });
    previewCpu += CpuSeconds([&] {
      preview += Seconds([&] {
        Rig rig(many, {}, SortOrder::Name);
        rig.Build();
        rig.Draw();
      });
    });
  }
  state.counters["list_date_s"] = list / state.iterations();
  state.counters["preview_s"] = preview / state.iterations();
  state.counters["list_vs_preview"] = list / preview;  // target <= 0.2
  state.counters["cpu_list_vs_preview"] = listCpu / previewCpu;
}
BENCHMARK(BM_ListByDate)->Unit(benchmark::kMillisecond)->Iterations(4);

}  // namespace

BENCHMARK_MAIN();
