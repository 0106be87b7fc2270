#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/print_spool_widgets.h"
#include "platform/qt_printer_device.h"

namespace tablora {

namespace {

std::string& QueueProgramSetting() {
  static std::string program = "lp";
  return program;
}

}  // namespace

void QtPrinterDevice::SetQueueProgram(const std::string& program) { QueueProgramSetting() = program; }
std::string QtPrinterDevice::QueueProgram() { return QueueProgramSetting(); }

QtPrinterDevice::QtPrinterDevice() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  if (QPrinterInfo::availablePrinters().isEmpty()) {
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setPageSize(QPageSize(QPageSize::A4));
  }
  canvas_ = std::make_unique<QtDrawingSurface>(*printer_, PageRect());
}

QtPrinterDevice::QtPrinterDevice(const std::string& pdfPath)
    : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setPageSize(QPageSize(QPageSize::A4));
  printer_->setOutputFileName(QString::fromStdString(pdfPath));
  canvas_ = std::make_unique<QtDrawingSurface>(*printer_, PageRect());
}

QtPrinterDevice::~QtPrinterDevice() {
  if (Printing()) Abort();
}

TRect QtPrinterDevice::PageRect() const { return Rect(0, 0, printer_->width(), printer_->height()); }

int QtPrinterDevice::PageWidth() { return printer_->width(); }
int QtPrinterDevice::PageHeight() { return printer_->height(); }

DrawingSurface& QtPrinterDevice::Canvas() {
  // Paper and orientation may have changed in a dialog since the last call.
  if (!Printing()) canvas_->UseDeviceOnly(*printer_, PageRect());
  return *canvas_;
}

void QtPrinterDevice::SetTitle(const std::string& title) {
  title_ = title;
  printer_->setDocName(QString::fromStdString(title));
}

bool QtPrinterDevice::SpoolsJobs() const { return printer_->outputFormat() == QPrinter::NativeFormat; }

QPrinter& QtPrinterDevice::JobPrinter() { return spool_ ? spool_->Printer() : *printer_; }

void QtPrinterDevice::BeginDoc() {
  if (Printing()) throw EPrinter("Printing in progress");
  std::unique_ptr<PrintSpool> spool;
  if (SpoolsJobs()) spool = std::make_unique<PrintSpool>(*printer_);
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(spool ? &spool->Printer() : printer_.get())) {
    if (spool) throw EPrinter("Cannot write the print job's temporary file " + spool->FileName().toStdString());
    if (printer_->outputFormat() == QPrinter::PdfFormat) {
      throw EPrinter(printer_->outputFileName().isEmpty()
                         ? std::string("No file was chosen for the PDF output")
                         : "Cannot write the PDF file " + printer_->outputFileName().toStdString());
    }
    throw EPrinter("The printer " + printer_->printerName().toStdString() + " cannot start a print job");
  }
  spool_ = std::move(spool);
  painter_ = std::move(painter);
  canvas_->UsePainter(*painter_, PageRect());
  // A printer page starts white with a white solid brush.
  canvas_->SetBrushColor(clWhite);
  canvas_->SetBrushSolid();
}

void QtPrinterDevice::NewPage() {
  if (!Printing()) throw EPrinter("Printer is not currently printing");
  if (!JobPrinter().newPage()) throw EPrinter("The printer cannot start a new page");
}

bool QtPrinterDevice::Finish() {
  canvas_->UseDeviceOnly(*printer_, PageRect());
  const bool ended = painter_->end();
  painter_.reset();
  return ended;
}

void QtPrinterDevice::EndDoc() {
  if (!Printing()) throw EPrinter("Printer is not currently printing");
  // Taken first, so the spooled file goes on every path out of here.
  const std::unique_ptr<PrintSpool> spool = std::move(spool_);
  const bool ended = Finish();
  if (!spool) return;
  if (!ended) throw EPrinter("Cannot write the print job's temporary file " + spool->FileName().toStdString());
  spool->Submit(PrintQueueJob::Of(*printer_), QString::fromStdString(QueueProgram()));
}

void QtPrinterDevice::Abort() {
  // Cleanup paths call this without knowing whether a job runs.
  if (!Printing()) return;
  if (spool_) {
    // Nothing was queued yet: discarding the spooled file withdraws the whole job.
    const std::unique_ptr<PrintSpool> spool = std::move(spool_);
    Finish();
    return;
  }
  const bool withdrawn = printer_->abort();
  const QString file = printer_->outputFileName();
  Finish();
  // Qt's PDF engine cannot withdraw its output, so the partial file goes once it is closed.
  if (!withdrawn && !file.isEmpty()) QFile::remove(file);
}

}  // namespace tablora
