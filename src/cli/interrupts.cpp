#include "cli/interrupts.h"

#include <csignal>
#include <iterator>

namespace tablora::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

TCancelToken g_token;
struct sigaction g_previous[std::size(kSignals)];

// The token's flag is a lock-free atomic: setting it is safe in a signal handler.
extern "C" void OnInterrupt(int) { g_token.Request(); }

}  // namespace

InterruptGuard::InterruptGuard() {
  g_token.Reset();
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

InterruptGuard::~InterruptGuard() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

bool InterruptGuard::Interrupted() { return g_token.Requested(); }

TCancelToken& InterruptGuard::Token() { return g_token; }

}  // namespace tablora::cli
