#include "imaging/memory_budget.h"

#include <atomic>
#include <utility>

#include "imaging/exceptions.h"
#include "imaging/format.h"

namespace tablora {

struct TMemoryBudget::State {
  explicit State(uint64_t limit) : ceiling(limit) {}
  const uint64_t ceiling;
  std::atomic<uint64_t> used{0};
  std::atomic<uint64_t> peak{0};
};

namespace {

thread_local TMemoryBudget* t_current = nullptr;

uint64_t MiB(uint64_t bytes) { return (bytes + (uint64_t{1} << 20) - 1) >> 20; }

}  // namespace

TMemoryBudget::TMemoryBudget(uint64_t ceiling)
    : state_(std::make_shared<State>(ceiling)), previous_(t_current) {
  t_current = this;
}

TMemoryBudget::~TMemoryBudget() { t_current = previous_; }

uint64_t TMemoryBudget::Ceiling() const { return state_->ceiling; }
uint64_t TMemoryBudget::Used() const { return state_->used.load(); }
uint64_t TMemoryBudget::Peak() const { return state_->peak.load(); }
uint64_t TMemoryBudget::Available() const {
  const uint64_t used = Used();
  return used < state_->ceiling ? state_->ceiling - used : 0;
}

TMemoryBudget* TMemoryBudget::Current() { return t_current; }

TMemoryCharge::TMemoryCharge(TMemoryCharge&& other) noexcept
    : state_(std::move(other.state_)), bytes_(std::exchange(other.bytes_, 0)) {}

TMemoryCharge& TMemoryCharge::operator=(TMemoryCharge&& other) noexcept {
  if (this != &other) {
    Set(0);
    state_ = std::move(other.state_);
    bytes_ = std::exchange(other.bytes_, 0);
  }
  return *this;
}

void TMemoryCharge::Set(uint64_t bytes) {
  if (bytes_ == 0) {
    state_.reset();
    if (bytes == 0 || t_current == nullptr) return;
    state_ = t_current->state_;
  }
  TMemoryBudget::State& state = *state_;
  if (bytes <= bytes_) {
    state.used.fetch_sub(bytes_ - bytes);
  } else {
    const uint64_t growth = bytes - bytes_;
    uint64_t used = state.used.load();
    do {
      if (growth > state.ceiling || used > state.ceiling - growth) {
        const uint64_t ceiling = state.ceiling;
        if (bytes_ == 0) state_.reset();
        throw EInvalidGraphic(Format("Image too large: it needs more than the limit of %llu MiB",
                                     static_cast<unsigned long long>(MiB(ceiling))));
      }
    } while (!state.used.compare_exchange_weak(used, used + growth));
    uint64_t peak = state.peak.load();
    while (peak < used + growth && !state.peak.compare_exchange_weak(peak, used + growth)) {
    }
  }
  bytes_ = bytes;
  if (bytes_ == 0) state_.reset();
}

}  // namespace tablora
