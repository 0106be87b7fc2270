#include "cli/console_progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace tablora::cli {

namespace {

long long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ConsoleProgress::ConsoleProgress(bool quiet) : enabled_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

ConsoleProgress::~ConsoleProgress() { Clear(); }

void ConsoleProgress::Show() {
  if (!visible_) working_ = !InterruptGuard::Interrupted();
  visible_ = true;
}

void ConsoleProgress::Close() {
  visible_ = false;
  working_ = false;
  Clear();
}

void ConsoleProgress::ShowStatus(const std::string& text) {
  // The dialog's second line (LF CR) becomes the rest of the one console line.
  status_.clear();
  for (char c : text) {
    if (c == '\r') continue;
    status_ += c == '\n' ? ' ' : c;
  }
  Draw();
}

void ConsoleProgress::ShowProgress(int percent) {
  percent_ = percent;
  Draw();
}

void ConsoleProgress::HideProgress() { percent_ = -1; }

void ConsoleProgress::PumpMessages() {
  if (InterruptGuard::Interrupted() && visible_) Close();
}

bool ConsoleProgress::Interrupted() const { return InterruptGuard::Interrupted(); }

void ConsoleProgress::SetStage(const std::string& stage) { stage_ = stage; }

void ConsoleProgress::Draw() {
  if (!enabled_ || !visible_) return;
  const long long now = NowMs();
  // A new status (the next page) always shows; the percentage under it at most every 50 ms.
  if (now - lastDraw_ < 50 && percent_ != 100 && status_ == drawnStatus_) return;
  lastDraw_ = now;
  drawnStatus_ = status_;
  // Built by appending: GCC 12 at -O3 mistakes the temporaries of operator+ for overlapping copies.
  std::string line = stage_;
  if (!line.empty()) line.append(": ");
  line.append(status_);
  if (percent_ >= 0) line.append(" ").append(std::to_string(percent_)).append("%");
  if (line.size() > 78) {
    line.resize(75);
    line.append("...");
  }
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  lastLine_ = line;
}

void ConsoleProgress::Clear() {
  if (!enabled_ || lastLine_.empty()) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  lastLine_.clear();
}

}  // namespace tablora::cli
