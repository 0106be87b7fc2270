#pragma once

// What several benchmark programs do alike: interleaved repetitions, peak memory in a fresh process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <vector>

namespace tablora::bench {

// Google Benchmark's set-up with repetitions of baseline and product interleaved, so that drift of
// the machine touches both alike.
inline void InitializeInterleaved(int argc, char** argv) {
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static std::vector<char*> args;
  args.assign(argv, argv + argc);
  args.insert(args.begin() + 1, interleave);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
}

// Peak resident memory, in MiB, of a forked process doing `work`.
inline double PeakMiB(const std::function<void()>& work) {
  const pid_t child = ::fork();
  if (child == 0) {
    work();
    std::_Exit(0);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  return usage.ru_maxrss / 1024.0;
}

}  // namespace tablora::bench
