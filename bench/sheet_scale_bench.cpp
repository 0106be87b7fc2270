// `tablora-cli sheet` over a tree of 1,020 photographs (17 folders of the 60-photo set, 19 pages)
// and over one of 5,100 (85 folders, 94 pages), 600 dpi, A4, 10 x 6, without the desktop's cache,
// each a new process; then --per-folder over the 5,100. Each case reports its wall time, the
// child's processor time and its peak resident memory (from wait4), and the later cases their
// ratios to the earlier ones in the same run, so that a loaded machine moves both sides alike:
//   x_time_1020, x_cpu_1020   5,100 against 1,020: at most 5.2 (the work grows 5x, no more)
//   x_memory_1020             5,100 against 1,020: at most 1.1 (memory flat in the page count)
//   x_time_sheet              --per-folder against the one sheet of the same 5,100: at most 1.0
// The trees are hard links to TABLORA_PHOTO_SET (else /tmp/tablora-photos), made once in /tmp.
// Run by hand: build/bench/sheet_scale_bench (several minutes).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/photo_set.h"

extern char** environ;

namespace tablora {
namespace {

namespace fs = std::filesystem;

// A tree of `folders` copies of the photo set as hard links: f01/img_001.jpg and on.
std::string PhotoTree(int folders) {
  const fs::path root = fs::temp_directory_path() / "tablora-sheet-scale-bench" / ("tree-" + std::to_string(folders));
  const fs::path done = root.parent_path() / ("tree-" + std::to_string(folders) + ".done");
  if (fs::exists(done)) return root.string();
  fs::remove_all(root);
  std::vector<fs::path> photos;
  for (const auto& item : fs::directory_iterator(bench::PhotoSetDir())) {
    if (item.is_regular_file() && item.path().extension() == ".jpg") photos.push_back(item.path());
  }
  std::sort(photos.begin(), photos.end());
  for (int k = 1; k <= folders; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "f%02d", k);
    fs::create_directories(root / name);
    for (const fs::path& photo : photos) fs::create_hard_link(photo, root / name / photo.filename());
  }
  std::FILE* mark = std::fopen(done.c_str(), "w");
  if (mark != nullptr) std::fclose(mark);
  return root.string();
}

std::string CliPath() {
  return (fs::canonical("/proc/self/exe").parent_path().parent_path() / "src" / "cli" / "tablora-cli").string();
}

fs::path OutputFolder() {
  const fs::path folder = fs::temp_directory_path() / "tablora-sheet-scale-bench" / "out";
  fs::create_directories(folder);
  return folder;
}

struct Usage {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double peakMegabytes = 0;
  bool ok = false;
};

// One run of the program with stdout and stderr discarded.
Usage Run(const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  Usage usage;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return usage;
  int status = 0;
  rusage resources{};
  ::wait4(pid, &status, 0, &resources);
  usage.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  usage.cpuSeconds = seconds(resources.ru_utime) + seconds(resources.ru_stime);
  usage.peakMegabytes = static_cast<double>(resources.ru_maxrss) / 1024.0;  // kilobytes on Linux
  usage.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return usage;
}

Usage g_small;
Usage g_large;

void Report(benchmark::State& state, const Usage& usage) {
  state.SetIterationTime(usage.wallSeconds);
  state.counters["wall_s"] = usage.wallSeconds;
  state.counters["cpu_s"] = usage.cpuSeconds;
  state.counters["peak_MB"] = usage.peakMegabytes;
}

Usage Sheet(benchmark::State& state, int folders, bool perFolder) {
  // Neither read nor write the desktop's cache: the figures are of decoding every picture.
  ::setenv("XDG_CACHE_HOME", "/dev/null", 1);
  const std::string tree = PhotoTree(folders);
  const fs::path out = OutputFolder() / (perFolder ? "per-folder" : "sheet-" + std::to_string(folders));
  fs::remove_all(out);
  fs::create_directories(out);
  std::vector<std::string> args = {CliPath(), "sheet", tree, "--no-cache", "--quiet", "--dpi", "600", "--paper", "A4",
                                   "--rows", "10", "--cols", "6"};
  if (perFolder) {
    args.insert(args.end(), {"--per-folder", "-o", (out / "{path}.pdf").string()});
  } else {
    args.insert(args.end(), {"-o", (out / "sheet.pdf").string()});
  }
  Usage usage;
  for (auto _ : state) {
    usage = Run(args);
    if (!usage.ok) {
      state.SkipWithError("tablora-cli sheet failed");
      return usage;
    }
    Report(state, usage);
  }
  fs::remove_all(out);
  return usage;
}

void BM_Sheet1020(benchmark::State& state) { g_small = Sheet(state, 17, false); }

void BM_Sheet5100(benchmark::State& state) {
  g_large = Sheet(state, 85, false);
  if (g_small.ok && g_large.ok) {
    state.counters["x_time_1020"] = g_large.wallSeconds / g_small.wallSeconds;
    state.counters["x_cpu_1020"] = g_large.cpuSeconds / g_small.cpuSeconds;
    state.counters["x_memory_1020"] = g_large.peakMegabytes / g_small.peakMegabytes;
  }
}

void BM_PerFolder5100(benchmark::State& state) {
  const Usage usage = Sheet(state, 85, true);
  if (usage.ok && g_large.ok) {
    state.counters["x_time_sheet"] = usage.wallSeconds / g_large.wallSeconds;
    state.counters["x_cpu_sheet"] = usage.cpuSeconds / g_large.cpuSeconds;
    state.counters["x_memory_sheet"] = usage.peakMegabytes / g_large.peakMegabytes;
  }
}

BENCHMARK(BM_Sheet1020)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_Sheet5100)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_PerFolder5100)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

}  // namespace
}  // namespace tablora

BENCHMARK_MAIN();
