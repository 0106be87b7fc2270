#pragma once

#include "imaging/cancel.h"

namespace tablora::cli {

// While it lives, Ctrl-C (SIGINT), SIGTERM and SIGHUP only note that the user wants the run to
// stop, so that the run ends at its next look and removes its temporary files on the way out;
// afterwards they act as they did before. Loads see the note through Token() as a cancel request,
// so a long decode stops within a row.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // True once one of the signals arrived since the guard was made.
  static bool Interrupted();
  static TCancelToken& Token();
};

}  // namespace tablora::cli
