#pragma once

#include <QCoreApplication>
#include <QLabel>
#include <QString>
#include <functional>

#include "sheet/progress_window.h"

namespace tablora {

// The preview's progress as a line beside the page buttons instead of a window: a page fills
// while the user goes on working. A notice ("Build cancelled", where a file was saved) stays on the
// line between the fillings until another replaces it. The drawing goes on while `goOn` says so:
// the window stops it when the user asks for something else.
class PreviewStatus : public ProgressWindow {
 public:
  PreviewStatus(QLabel& line, std::function<bool()> goOn) : line_(line), goOn_(std::move(goOn)) {}

  void SetNotice(const QString& text) {
    notice_ = text;
    line_.setText(notice_);
  }
  const QString& Notice() const { return notice_; }

  void Show() override {}
  void Close() override { line_.setText(notice_); }
  void ShowStatus(const std::string&) override {}
  void ShowProgress(int percent) override {
    line_.setText(QCoreApplication::translate("tablora::PreviewStatus", "Loading pictures… %1%").arg(percent));
  }
  void HideProgress() override { line_.setText(notice_); }
  void BringToFront() override {}
  void Repaint() override {}
  bool Working() const override { return goOn_(); }

 private:
  QLabel& line_;
  std::function<bool()> goOn_;
  QString notice_;
};

}  // namespace tablora
