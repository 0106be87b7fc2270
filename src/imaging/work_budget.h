#pragma once

#include <chrono>
#include <cstdint>

namespace tablora {

// Beside its memory, one image on its way to a cell has a ceiling of work: a tiny file can claim
// pixels, tiles or scans that take minutes to decode and reduce. Whoever loads one image opens a
// TWorkBudget for it on its thread. A reader that can tell from the header what the pixels will
// cost refuses them up front (CheckWorkEstimate); whatever is not refused is stopped when the
// thread has spent the budget's time on the processor, seen at the next CheckCancel. Without an
// open budget nothing is refused.
class TWorkBudget {
 public:
  // What one cell may cost: a thumbnail is not worth more than a few seconds of one core.
  static constexpr std::chrono::milliseconds kCellLimit{8000};

  explicit TWorkBudget(std::chrono::nanoseconds limit);
  // Restores the budget that was open on this thread before.
  ~TWorkBudget();
  TWorkBudget(const TWorkBudget&) = delete;
  TWorkBudget& operator=(const TWorkBudget&) = delete;

  std::chrono::nanoseconds Limit() const { return limit_; }
  // Processor time this thread has spent since the budget was opened, and what is left of it.
  std::chrono::nanoseconds Spent() const;
  std::chrono::nanoseconds Left() const;

  // The budget open on this thread, or nullptr.
  static TWorkBudget* Current();

 private:
  friend void CheckWorkSpent();
  std::chrono::nanoseconds limit_;
  std::chrono::nanoseconds cpuStart_;
  // Before this moment the thread cannot have spent the limit (processor time never runs ahead
  // of the clock), so most checks need no look at the processor time.
  std::chrono::steady_clock::time_point noCheckBefore_;
  TWorkBudget* previous_;
};

// Nanoseconds per unit of work measured on the reference machine (2 cores of the build server),
// for the estimates. Readers add their own beside these.
namespace work_cost {
// ReduceImage, per source pixel: 24-bit, other expanded formats, 4- and 8-bit, 1-bit.
constexpr double kReduceDirect = 1.0;
constexpr double kReduceExpanded = 6.0;
constexpr double kReduceIndexed = 1.5;
constexpr double kReduceBilevel = 0.1;
}  // namespace work_cost

// Raises EInvalidGraphic ("Image too large: ...") when `units` of work at `nanosecondsPerUnit`
// would take longer than the budget open on this thread has left.
void CheckWorkEstimate(double units, double nanosecondsPerUnit);

// Raises EInvalidGraphic ("Image too large: ...") once the budget open on this thread is spent.
// CheckCancel calls it, so every loop that looks at Cancel is bounded too.
void CheckWorkSpent();

}  // namespace tablora
