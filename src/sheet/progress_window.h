#pragma once

#include <string>

namespace tablora {

// What the engine needs of the progress dialog. Show sets Working (only when the window was
// hidden); every close clears it. Long loops poll Working after pumping messages: it is the
// program's only cancellation signal.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;

  virtual void Show() = 0;
  virtual void Close() = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void ShowProgress(int percent) = 0;
  virtual void HideProgress() = 0;
  virtual void BringToFront() = 0;
  virtual void Repaint() = 0;
  virtual bool Working() const = 0;
};

// Handles every pending window message, then returns.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void PumpMessages() = 0;
};

}  // namespace tablora
