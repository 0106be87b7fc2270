// `tablora-cli sheet` making the 600-dpi PDF of one 10 x 6 page of 60 photographs, as a user runs
// it (a new process: Qt start-up, folder walk, print job, PDF written and renamed), against
// decoding the same 60 files alone through the program's readers in this process, and against
// ImageMagick's montage making the same 6 x 10 grid with file names at 600 dpi. The
// command and montage cases report "x_decode", their time over the decode case's, when the
// decode case ran first in the same process (it does unless a filter leaves it out); the target
// for the command is at most 1.25.
//
// montage stops at Debian's ImageMagick resource policy long before this grid is done, so it runs
// with a policy of raised limits (MAGICK_CONFIGURE_PATH, written to /tmp). That policy cannot lift
// the system's ban on writing PDF, so montage writes its page as a PNG picture.
//
// The photographs come from TABLORA_PHOTO_SET, else /tmp/tablora-photos, which is made with
// ../shared/tools/make-photo-set when absent.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/photo_set.h"
#include "sheet/thumbnail_image.h"

extern char** environ;

namespace tablora {
namespace {

namespace fs = std::filesystem;

constexpr int kPhotoCount = 60;

const std::string& PhotoFolder() {
  static const std::string folder = bench::PhotoSetDir().string();
  return folder;
}

std::vector<std::string> PhotoPaths() {
  std::vector<std::string> paths;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(PhotoFolder(), error)) {
    if (item.is_regular_file() && item.path().extension() == ".jpg") paths.push_back(item.path().string());
  }
  std::sort(paths.begin(), paths.end());
  if (paths.size() > kPhotoCount) paths.resize(kPhotoCount);
  return paths;
}

// The tablora-cli built beside this benchmark (build/bench/.. -> build/src/cli).
std::string CliPath() {
  return (fs::canonical("/proc/self/exe").parent_path().parent_path() / "src" / "cli" / "tablora-cli").string();
}

fs::path OutputFolder() {
  const fs::path folder = fs::temp_directory_path() / "tablora-cli-sheet-bench";
  fs::create_directories(folder);
  return folder;
}

double g_childCpuSeconds = 0.0;

// Runs a program to its end with stdout and stderr discarded, with extra environment variables
// ("NAME=value"); its exit status, -1 if it did not exit normally. Adds the processor time it
// used to g_childCpuSeconds.
int Run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment = {}) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> environment;
  for (char** e = environ; *e != nullptr; ++e) environment.push_back(*e);
  for (const std::string& e : extraEnvironment) environment.push_back(const_cast<char*>(e.c_str()));
  environment.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  g_childCpuSeconds += seconds(usage.ru_utime) + seconds(usage.ru_stime);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double g_decodeSeconds = 0.0;
double g_decodeCpuSeconds = 0.0;

double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// On a machine shared with other work the wall-clock ratio "x_decode" wanders; the processor
// time ratio "cpu_x_decode" (the child's user and system time over the decode's) holds steadier.
void ReportAgainstDecode(benchmark::State& state, double seconds, double cpuSeconds) {
  const double iterations = static_cast<double>(state.iterations());
  if (g_decodeSeconds > 0.0) state.counters["x_decode"] = seconds / iterations / g_decodeSeconds;
  if (g_decodeCpuSeconds > 0.0) state.counters["cpu_x_decode"] = cpuSeconds / iterations / g_decodeCpuSeconds;
}

// The floor: every photograph loaded and decoded at full size, as the renderer's loader does.
void BM_DecodeSixtyPhotos(benchmark::State& state) {
  const std::vector<std::string> paths = PhotoPaths();
  if (paths.size() < kPhotoCount) {
    state.SkipWithError("fewer than 60 photographs");
    return;
  }
  ExtensionThumbnailLoader loader;
  double seconds = 0.0;
  const double cpuStart = ProcessCpuSeconds();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& path : paths) {
      std::unique_ptr<ThumbnailImage> image = loader.Load(path);
      if (image) benchmark::DoNotOptimize(image->Pixels().Bits());
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  g_decodeSeconds = seconds / static_cast<double>(state.iterations());
  g_decodeCpuSeconds = (ProcessCpuSeconds() - cpuStart) / static_cast<double>(state.iterations());
}

void BM_CliSheetPdf(benchmark::State& state) {
  // Measured without the desktop's thumbnail cache, as the figures were before it: no folder can be
  // made under /dev/null, so the program neither reads nor writes one, whichever build it is.
  ::setenv("XDG_CACHE_HOME", "/dev/null", 1);
  const std::string out = (OutputFolder() / "sheet.pdf").string();
  const std::vector<std::string> args = {CliPath(), "sheet", PhotoFolder(), "-o", out, "--quiet"};
  double seconds = 0.0;
  g_childCpuSeconds = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (Run(args) != 0) {
      state.SkipWithError("tablora-cli sheet failed");
      return;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  ReportAgainstDecode(state, seconds, g_childCpuSeconds);
  state.counters["pdf_MB"] = static_cast<double>(fs::file_size(out)) / 1e6;
}

// A resource policy under which montage can hold 60 decoded photographs and a 600-dpi page.
std::string RaisedMagickPolicy() {
  const fs::path folder = OutputFolder() / "magick";
  fs::create_directories(folder);
  std::FILE* file = std::fopen((folder / "policy.xml").c_str(), "w");
  if (file != nullptr) {
    std::fputs(
        "<policymap>\n"
        "  <policy domain=\"resource\" name=\"memory\" value=\"4GiB\"/>\n"
        "  <policy domain=\"resource\" name=\"map\" value=\"8GiB\"/>\n"
        "  <policy domain=\"resource\" name=\"width\" value=\"64KP\"/>\n"
        "  <policy domain=\"resource\" name=\"height\" value=\"64KP\"/>\n"
        "  <policy domain=\"resource\" name=\"area\" value=\"4GP\"/>\n"
        "  <policy domain=\"resource\" name=\"disk\" value=\"16GiB\"/>\n"
        "</policymap>\n",
        file);
    std::fclose(file);
  }
  return "MAGICK_CONFIGURE_PATH=" + folder.string();
}

// The same grid by montage: 6 columns and 10 rows of 760 x 560 tiles with the file name under
// each, on a page of 4960 pixels across at 600 dpi, the size of the command's A4 page.
void BM_MontagePage(benchmark::State& state) {
  if (Run({"montage", "-version"}) != 0) {
    state.SkipWithError("ImageMagick montage is not installed");
    return;
  }
  const std::string policy = RaisedMagickPolicy();
  std::vector<std::string> args = {"montage"};
  for (const std::string& path : PhotoPaths()) args.push_back(path);
  const std::string out = (OutputFolder() / "montage.png").string();
  for (const char* a : {"-label", "%f", "-pointsize", "60", "-tile", "6x10", "-geometry", "760x560+23+60",
                        "-units", "PixelsPerInch", "-density", "600"}) {
    args.push_back(a);
  }
  args.push_back(out);
  double seconds = 0.0;
  g_childCpuSeconds = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (Run(args, {policy}) != 0) {
      state.SkipWithError("montage failed");
      return;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  ReportAgainstDecode(state, seconds, g_childCpuSeconds);
}

BENCHMARK(BM_DecodeSixtyPhotos)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CliSheetPdf)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_MontagePage)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace tablora

BENCHMARK_MAIN();
