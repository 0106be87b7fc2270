#pragma once

#include <string>

#include "cli/interrupts.h"
#include "sheet/progress_window.h"

namespace tablora::cli {

// The progress window of the command-line tool: a line on stderr that rewrites itself when stderr
// is a terminal, nothing otherwise. Ctrl-C (or SIGTERM, SIGHUP) closes it, which the engine sees
// as Cancel.
class ConsoleProgress : public ProgressWindow, public EventPump {
 public:
  explicit ConsoleProgress(bool quiet);
  ~ConsoleProgress() override;
  ConsoleProgress(const ConsoleProgress&) = delete;
  ConsoleProgress& operator=(const ConsoleProgress&) = delete;

  void Show() override;
  void Close() override;
  void ShowStatus(const std::string& text) override;
  void ShowProgress(int percent) override;
  void HideProgress() override;
  void BringToFront() override {}
  void Repaint() override { Draw(); }
  bool Working() const override { return working_; }

  void PumpMessages() override;

  // True once Ctrl-C was pressed during this run.
  bool Interrupted() const;
  // A prefix for the status line ("page 2 of 5"), shown before the engine's own status.
  void SetStage(const std::string& stage);

 private:
  void Draw();
  void Clear();

  InterruptGuard interrupts_;
  bool enabled_;
  bool visible_ = false;
  bool working_ = false;
  int percent_ = -1;
  std::string status_;
  std::string stage_;
  std::string lastLine_;
  long long lastDraw_ = 0;
  std::string drawnStatus_;
};

}  // namespace tablora::cli
