#pragma once

#include <cstdint>
#include <memory>

namespace tablora {

// The image-size limit checks the decoded bitmap; the budget sees everything else one image costs
// on its way to the screen: expanded copies, libjpeg's whole-image buffers, planes, strips. Whoever
// loads and draws one image opens a TMemoryBudget for it on its thread; every large buffer made
// meanwhile holds a TMemoryCharge for its bytes, taken before the buffer is allocated, so a piece
// of work whose whole cost passes the ceiling fails cleanly instead of exhausting the machine.
//
// Budgets are per thread: several threads may each load their own image under their own budget.
// A charge remembers the budget it was taken from and may be released on any thread, also after
// the budget's scope has ended. Without an open budget charges count nothing.
class TMemoryBudget {
 public:
  explicit TMemoryBudget(uint64_t ceiling);
  // Restores the budget that was open on this thread before.
  ~TMemoryBudget();
  TMemoryBudget(const TMemoryBudget&) = delete;
  TMemoryBudget& operator=(const TMemoryBudget&) = delete;

  uint64_t Ceiling() const;
  uint64_t Used() const;
  // The most that was charged at once.
  uint64_t Peak() const;
  uint64_t Available() const;

  // The budget open on this thread, or nullptr.
  static TMemoryBudget* Current();

  struct State;

 private:
  std::shared_ptr<State> state_;
  TMemoryBudget* previous_;

  friend class TMemoryCharge;
};

// Bytes of one buffer held against the budget open on this thread when the charge was made.
class TMemoryCharge {
 public:
  TMemoryCharge() = default;
  // Raises EInvalidGraphic ("Image too large: ...") when the bytes do not fit the budget.
  explicit TMemoryCharge(uint64_t bytes) { Set(bytes); }
  ~TMemoryCharge() { Set(0); }
  TMemoryCharge(TMemoryCharge&& other) noexcept;
  TMemoryCharge& operator=(TMemoryCharge&& other) noexcept;
  TMemoryCharge(const TMemoryCharge&) = delete;
  TMemoryCharge& operator=(const TMemoryCharge&) = delete;

  // Changes the charged amount: a growth is charged first and may raise (the old amount stays
  // charged then); a shrink releases at once. A charge with nothing charged attaches to the budget
  // open now.
  void Set(uint64_t bytes);
  uint64_t Bytes() const { return bytes_; }

 private:
  std::shared_ptr<TMemoryBudget::State> state_;
  uint64_t bytes_ = 0;
};

}  // namespace tablora
