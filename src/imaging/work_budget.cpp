#include "imaging/work_budget.h"

#include <time.h>

#include <algorithm>

#include "imaging/exceptions.h"
#include "imaging/format.h"

namespace tablora {

namespace {

thread_local TWorkBudget* t_current = nullptr;

std::chrono::nanoseconds ThreadTime() {
  timespec now {};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

[[noreturn]] void TooLong(std::chrono::nanoseconds limit) {
  const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(limit).count();
  throw EInvalidGraphic(Format("Image too large: it takes longer than the limit of %g s to decode", seconds));
}

}  // namespace

TWorkBudget::TWorkBudget(std::chrono::nanoseconds limit)
    : limit_(limit), cpuStart_(ThreadTime()), noCheckBefore_(std::chrono::steady_clock::now() + limit),
      previous_(t_current) {
  t_current = this;
}

TWorkBudget::~TWorkBudget() { t_current = previous_; }

std::chrono::nanoseconds TWorkBudget::Spent() const { return ThreadTime() - cpuStart_; }

std::chrono::nanoseconds TWorkBudget::Left() const {
  return std::max(limit_ - Spent(), std::chrono::nanoseconds::zero());
}

TWorkBudget* TWorkBudget::Current() { return t_current; }

void CheckWorkEstimate(double units, double nanosecondsPerUnit) {
  const TWorkBudget* budget = t_current;
  if (budget == nullptr) return;
  const double needed = units * nanosecondsPerUnit;
  if (needed > static_cast<double>(budget->Left().count())) TooLong(budget->Limit());
}

void CheckWorkSpent() {
  TWorkBudget* budget = t_current;
  if (budget == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < budget->noCheckBefore_) return;
  const std::chrono::nanoseconds left = budget->limit_ - budget->Spent();
  if (left <= std::chrono::nanoseconds::zero()) TooLong(budget->limit_);
  budget->noCheckBefore_ = now + left;
}

}  // namespace tablora
