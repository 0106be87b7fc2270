#include "imaging/cancel.h"

#include "imaging/exceptions.h"
#include "imaging/work_budget.h"

namespace tablora {

namespace {
thread_local TCancelScope* t_scope = nullptr;
}

TCancelScope::TCancelScope(TCancelToken& token, std::function<void()> poll)
    : token_(token), poll_(std::move(poll)), lastPoll_(std::chrono::steady_clock::now()), previous_(t_scope) {
  t_scope = this;
}

TCancelScope::~TCancelScope() { t_scope = previous_; }

void CheckCancel() {
  TCancelScope* scope = t_scope;
  if (scope == nullptr) {
    CheckWorkSpent();
    return;
  }
  if (scope->poll_ && !scope->token_.Requested()) {
    const auto now = std::chrono::steady_clock::now();
    if (now - scope->lastPoll_ >= TCancelScope::kPollInterval) {
      scope->lastPoll_ = now;
      // The poll may pump window events, which may start another load on this thread; that one
      // must not poll again from inside this one.
      t_scope = nullptr;
      try {
        scope->poll_();
      } catch (...) {
        t_scope = scope;
        throw;
      }
      t_scope = scope;
    }
  }
  if (scope->token_.Requested()) throw EAbort();
  CheckWorkSpent();
}

}  // namespace tablora
