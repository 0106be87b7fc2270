// Tiny files that claim a lot (tests/data/hostile/make.sh), each alone in a folder, through
// `tablora-cli sheet FOLDER -o OUT.pdf --jobs 1` as a user runs it: the seconds the run takes, the
// peak memory of the process, and the seconds it takes to end after a SIGTERM sent half a second
// into a second run. Targets for each: at most the image-size limit + 64 MiB (1088 MiB), 10 s,
// and a SIGTERM answered within 1 s. The process's own start-up (Qt, fonts, the PDF engine) is
// in every figure; the "empty" case is a folder with one small picture, for comparison.
//
// TABLORA_CLI names another tablora-cli to measure (an earlier build, say).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string CliPath() {
  if (const char* cli = std::getenv("TABLORA_CLI"); cli != nullptr && *cli != '\0') return cli;
  return (fs::canonical("/proc/self/exe").parent_path().parent_path() / "src" / "cli" / "tablora-cli").string();
}

// The fixtures, made once into a scratch folder (the large ones sparse).
const fs::path& Fixtures() {
  static const fs::path dir = [] {
    const fs::path made = fs::temp_directory_path() / "tablora-hostile";
    const fs::path script = fs::path(__FILE__).parent_path().parent_path() / "tests/data/hostile/make.sh";
    const std::string command = "bash '" + script.string() + "' '" + made.string() + "' >&2";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "make.sh failed\n");
    return made;
  }();
  return dir;
}

// A folder holding only `name` (linked); "empty" holds one small photograph of the samples.
fs::path FolderOf(const std::string& name) {
  const fs::path folder = Fixtures() / ("case-" + name);
  fs::create_directories(folder);
  const fs::path file = name == "empty" ? fs::path(__FILE__).parent_path().parent_path() / "samples" / "rose.jpg"
                                        : Fixtures() / name;
  const fs::path link = folder / file.filename();
  if (!fs::exists(fs::symlink_status(link))) fs::create_symlink(file, link);
  return folder;
}

struct Run {
  double seconds = 0;
  double peakMiB = 0;
  int status = -1;
};

pid_t Start(const fs::path& folder) {
  const std::string cli = CliPath();
  const std::string in = folder.string();
  const std::string out = (folder.parent_path() / (folder.filename().string() + ".pdf")).string();
  std::vector<std::string> args = {cli, "sheet", in, "-o", out, "--jobs", "1", "--quiet"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (::posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

Run Wait(pid_t pid, Clock::time_point since) {
  Run run;
  struct rusage usage {};
  int status = 0;
  ::wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(Clock::now() - since).count();
  run.peakMiB = usage.ru_maxrss / 1024.0;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

void BM_Hostile(benchmark::State& state, const std::string& name) {
  // Measured without the desktop's thumbnail cache, as the figures were before it: no folder can be
  // made under /dev/null, so the program neither reads nor writes one, whichever build it is.
  ::setenv("XDG_CACHE_HOME", "/dev/null", 1);
  const fs::path run = FolderOf(name);
  Run whole, stopped;
  double answer = 0;
  for (auto _ : state) {
    const pid_t pid = Start(run);
    if (pid < 0) {
      state.SkipWithError("cannot start tablora-cli");
      return;
    }
    whole = Wait(pid, Clock::now());
    const pid_t second = Start(run);
    const auto begun = Clock::now();
    // Half a second in: start-up is over and the picture is being loaded.
    while (Clock::now() - begun < std::chrono::milliseconds(500)) {
      int status = 0;
      if (::waitpid(second, &status, WNOHANG) == second) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto signalled = Clock::now();
    if (::kill(second, SIGTERM) == 0) {
      stopped = Wait(second, signalled);
      answer = stopped.seconds;
    }
  }
  state.counters["seconds"] = whole.seconds;              // target <= 10
  state.counters["peak_MiB"] = whole.peakMiB;             // target <= 1088
  state.counters["sigterm_s"] = answer;                   // target <= 1
  state.counters["exit"] = whole.status;
  state.SetLabel(whole.seconds <= 10 && whole.peakMiB <= 1088 && answer <= 1 ? "within" : "OVER");
}

BENCHMARK_CAPTURE(BM_Hostile, empty, std::string("empty"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Hostile, bmp_2147483647x1, std::string("wide-1bit.bmp"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Hostile, png_1000000000x1, std::string("wide-1bit.png"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Hostile, tiff_1x268m, std::string("tall-1x268m.tif"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Hostile, tiff_strips_128m, std::string("strips-128m.tif"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Hostile, tiff_tiles_1x1, std::string("tiles-1x1.tif"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Hostile, fax_g3_65535, std::string("fax-g3-65535.tif"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Hostile, fax_g4_65535, std::string("fax-g4-65535.tif"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Hostile, jpeg_progressive_499, std::string("progressive-499.jpg"))->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
