#pragma once

#include <QString>
#include <memory>
#include <string>

#include "imaging/exceptions.h"
#include "platform/printer_device.h"
#include "platform/qt_drawing_surface.h"

class QPainter;
class QPrinter;

namespace tablora {

// A print job could not be started, continued or finished.
class EPrinter : public Exception {
 public:
  using Exception::Exception;
};

class PrintSpool;

// PrinterDevice over a QPrinter at high resolution. Without any installed printer it is Qt's PDF
// printer on A4, so the preview always has a page; the print dialog then asks for a file.
//
// A job for an installed printer is spooled to a temporary PDF file and queued with lp only at
// EndDoc, so that an aborted job prints nothing; PDF output is painted straight into its file.
class QtPrinterDevice : public PrinterDevice {
 public:
  // The system's default printer, or the PDF printer when there is none.
  QtPrinterDevice();
  // PDF output on A4 to `pdfPath` whatever printers are installed.
  explicit QtPrinterDevice(const std::string& pdfPath);
  // A job still running is aborted.
  ~QtPrinterDevice() override;

  // The program that queues spooled jobs, "lp" on PATH unless tests put a fake in its place.
  static void SetQueueProgram(const std::string& program);
  static std::string QueueProgram();

  QtPrinterDevice(const QtPrinterDevice&) = delete;
  QtPrinterDevice& operator=(const QtPrinterDevice&) = delete;

  // For the print and page set-up dialogs, which configure the printer in place.
  QPrinter* Printer() { return printer_.get(); }
  bool Printing() const { return painter_ != nullptr; }

  int PageWidth() override;
  int PageHeight() override;
  DrawingSurface& Canvas() override;
  void SetTitle(const std::string& title) override;
  std::string Title() const override { return title_; }
  void BeginDoc() override;
  void NewPage() override;
  void EndDoc() override;
  void Abort() override;

 protected:
  // Whether jobs go through a spool file and lp rather than straight onto the printer: they do for
  // installed printers, whose started jobs cannot be withdrawn.
  virtual bool SpoolsJobs() const;

 private:
  TRect PageRect() const;
  QPrinter& JobPrinter();
  bool Finish();

  std::unique_ptr<QPrinter> printer_;
  // Declared before the painter, which must end before the spool's printer goes.
  std::unique_ptr<PrintSpool> spool_;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<QtDrawingSurface> canvas_;
  std::string title_;
};

}  // namespace tablora
