#pragma once

// Wall-clock seconds of one piece of work, for benchmarks that compare two runs in one process.
#include <chrono>
#include <functional>

namespace tablora::bench {

inline double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace tablora::bench
