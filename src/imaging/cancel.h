#pragma once

#include <atomic>
#include <chrono>
#include <functional>

namespace tablora {

// A request to stop loading. Any thread may make it, and so may a signal handler (the flag is a
// lock-free atomic); the loads that honour it see it at their next row.
class TCancelToken {
 public:
  void Request() noexcept { requested_.store(true, std::memory_order_relaxed); }
  void Reset() noexcept { requested_.store(false, std::memory_order_relaxed); }
  bool Requested() const noexcept { return requested_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> requested_{false};
};

// While in scope, loads on this thread honour `token`. A thread that can learn of a cancel only by
// handling its own events (a window's Cancel button on the thread that also decodes) gives `poll`,
// which runs at most every kPollInterval during a load and may request the cancel itself. Scopes
// nest; the inner one is in force.
class TCancelScope {
 public:
  static constexpr std::chrono::milliseconds kPollInterval{25};

  explicit TCancelScope(TCancelToken& token, std::function<void()> poll = {});
  ~TCancelScope();
  TCancelScope(const TCancelScope&) = delete;
  TCancelScope& operator=(const TCancelScope&) = delete;

 private:
  friend void CheckCancel();
  TCancelToken& token_;
  std::function<void()> poll_;
  std::chrono::steady_clock::time_point lastPoll_;
  TCancelScope* previous_;
};

// Raises EAbort when the load on this thread is to stop. Every reader's row loop reaches it through
// TRasterGraphic::RowProgress; the JPEG decoder's progress monitor and the BMP reader call it too.
// It also raises once the work budget open on this thread is spent (imaging/work_budget.h).
void CheckCancel();

}  // namespace tablora
