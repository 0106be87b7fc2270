#pragma once

#include <chrono>
#include <memory>

#include "sheet/preview_control.h"
#include "sheet/print_dialog.h"
#include "sheet/progress_window.h"

class QPrinter;
class QWidget;

namespace tablora {

// Handles pending window messages. The engine pumps once per directory entry; handling them at
// most every few milliseconds keeps a walk of a large tree fast while Cancel still answers at once.
class QtEventPump : public EventPump {
 public:
  void PumpMessages() override;

 private:
  std::chrono::steady_clock::time_point last_{};
};

// The platform's print dialog on a printer: all pages, a range, or the page shown ("Current
// page" stands for the selection); "Print to file" gives PDF.
class QtPrintDialog : public PrintDialog {
 public:
  QtPrintDialog(QPrinter& printer, QWidget* parent) : printer_(printer), parent_(parent) {}
  PrintChoice Execute(int minPage, int maxPage) override;

 private:
  QPrinter& printer_;
  QWidget* parent_;
};

}  // namespace tablora
