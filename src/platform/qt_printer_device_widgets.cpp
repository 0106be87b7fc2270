#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

#include "platform/output_file.h"
#include "platform/print_spool_widgets.h"
#include "platform/qt_printer_device.h"
#include "platform/translated_text.h"

namespace tablora {

namespace {

// Qt asks CUPS for printers through libcups, which waits minutes for a server that accepts
// connections but does not answer. libcups keeps the server's address per thread once read, so
// pointing this thread at a socket that does not exist makes every lookup fail at once, and
// pointing it back (null: the user's settings again) restores them. Qt's CUPS support has loaded
// libcups, or will; without it there is no lookup to keep from blocking.
void PointCupsAt(const char* server) {
  using SetServer = void (*)(const char*);
  void* cups = ::dlopen("libcups.so.2", RTLD_LAZY);
  if (cups == nullptr) return;
  // Never closed: unloaded before Qt's CUPS support loads it, libcups would forget the address.
  if (auto set = reinterpret_cast<SetServer>(::dlsym(cups, "cupsSetServer"))) set(server);
}

constexpr const char* kNowhere = "/nonexistent/tablora-print-server-does-not-answer";
// This (the UI) thread's libcups points at nowhere for good: the server did not answer at the start.
bool g_serverSkipped = false;

// Qt's printer looks up the default printer even when it is made only to write PDF files; that
// lookup is kept from the print server, which may not answer.
std::unique_ptr<QPrinter> PdfPrinter() {
  PointCupsAt(kNowhere);
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  if (!g_serverSkipped) PointCupsAt(nullptr);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setPageSize(QPageSize(QPageSize::A4));
  return printer;
}

std::string& QueueProgramSetting() {
  static std::string program = "lp";
  return program;
}

// Asks the print server, through the lpstat beside the queue program, whether it answers.
ServerAnswer AskForPrinters(const PrintWaitHandler& wait, int timeoutMs) {
  return AskPrintServer(LpstatBeside(QString::fromStdString(QueueProgramSetting())), wait,
                        Translated("PrintSpool", kLookingForPrinters), timeoutMs);
}

}  // namespace

void QtPrinterDevice::SetQueueProgram(const std::string& program) { QueueProgramSetting() = program; }
std::string QtPrinterDevice::QueueProgram() { return QueueProgramSetting(); }

QtPrinterDevice::QtPrinterDevice() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  if (QPrinterInfo::availablePrinters().isEmpty()) {
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setPageSize(QPageSize(QPageSize::A4));
  } else {
    // Qt starts every printer on A4, whatever paper the printer is set up for: a Letter printer
    // would be previewed, set up and laid out on A4 and then print on Letter.
    const QPageSize paper = QPrinterInfo(*printer_).defaultPageSize();
    if (paper.isValid()) printer_->setPageSize(paper);
  }
  canvas_ = std::make_unique<QtDrawingSurface>(*printer_, PageRect());
}

QtPrinterDevice::QtPrinterDevice(const std::string& pdfPath) : printer_(PdfPrinter()) {
  // An empty name would turn Qt's printer back into the default printer, whose layout, colour
  // mode and options would then reach a job meant for another queue.
  if (!pdfPath.empty()) printer_->setOutputFileName(QString::fromStdString(pdfPath));
  pdfOnly_ = true;
  canvas_ = std::make_unique<QtDrawingSurface>(*printer_, PageRect());
}

QtPrinterDevice::QtPrinterDevice(WithoutPrintServer) {
  g_serverSkipped = true;
  printer_ = PdfPrinter();
  canvas_ = std::make_unique<QtDrawingSurface>(*printer_, PageRect());
}

std::unique_ptr<QtPrinterDevice> QtPrinterDevice::AskingServerFirst(const PrintWaitHandler& wait, int timeoutMs) {
  switch (AskForPrinters(wait, timeoutMs)) {
    case ServerAnswer::Silent:
    case ServerAnswer::GaveUp:
      return std::make_unique<QtPrinterDevice>(WithoutPrintServer{});
    case ServerAnswer::Running:
    case ServerAnswer::NotRunning:
    case ServerAnswer::Unknown:
      break;
  }
  return std::make_unique<QtPrinterDevice>();
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

int QtPrinterDevice::Resolution() { return printer_->resolution(); }

std::optional<PaperFrame> QtPrinterDevice::Frame() {
  if (printer_->outputFormat() != QPrinter::PdfFormat) return std::nullopt;
  // As Qt's PDF engine places the surface: flipped on the paper's height in points, shifted by the
  // margins rounded to whole pixels.
  const QPageLayout layout = printer_->pageLayout();
  const QRectF paper = layout.fullRectPoints();
  const QRect paint = layout.mode() == QPageLayout::FullPageMode ? QRect() : layout.paintRectPixels(printer_->resolution());
  return PaperFrame{paper.width(), paper.height(), paint.left(), paint.top(), printer_->resolution()};
}

void QtPrinterDevice::SetTitle(const std::string& title) {
  title_ = title;
  printer_->setDocName(QString::fromStdString(title));
}

void QtPrinterDevice::SetQueue(const QString& printer, const QList<QPair<QString, QString>>& options) {
  queue_ = printer;
  queueOptions_ = options;
}

bool QtPrinterDevice::SpoolsJobs() const {
  return !queue_.isEmpty() || printer_->outputFormat() == QPrinter::NativeFormat;
}

bool QtPrinterDevice::LookUpPrinters() {
  if (pdfOnly_ && queue_.isEmpty()) return true;
  switch (AskForPrinters(wait_, PrintSpool::kDefaultSubmitTimeoutMs)) {
    case ServerAnswer::GaveUp:
      return false;
    case ServerAnswer::Silent:
      throw EPrinter(Translated("PrintSpool", kServerSilent));
    case ServerAnswer::Running:
    case ServerAnswer::NotRunning:
    case ServerAnswer::Unknown:
      break;
  }
  if (g_serverSkipped) {
    // It answers now: the print dialog may list its printers.
    g_serverSkipped = false;
    PointCupsAt(nullptr);
  }
  return true;
}

QPrinter& QtPrinterDevice::JobPrinter() { return spool_ ? spool_->Printer() : *printer_; }

void QtPrinterDevice::BeginDoc() {
  if (Printing()) throw EPrinter(Translated("QtPrinterDevice", "Printing in progress"));
  savedFile_.clear();
  std::unique_ptr<PrintSpool> spool;
  if (SpoolsJobs()) spool = std::make_unique<PrintSpool>(*printer_);
  // Print to a file: the job goes to a temporary beside the chosen file, which replaces that file
  // only once the job has ended and the result is on the disk and whole, since Qt's PDF engine
  // reports no write error (a full disk would leave a truncated file in place of a good one).
  pdfTemporary_.clear();
  if (!spool && !pdfOnly_ && printer_->outputFormat() == QPrinter::PdfFormat &&
      !printer_->outputFileName().isEmpty()) {
    pdfTarget_ = printer_->outputFileName();
    try {
      pdfTemporary_ = CreateTemporaryBeside(QFile::encodeName(pdfTarget_).toStdString());
    } catch (const std::runtime_error& e) {
      throw EPrinter(e.what());
    }
    printer_->setOutputFileName(QFile::decodeName(QByteArray::fromStdString(pdfTemporary_)));
  }
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(spool ? &spool->Printer() : printer_.get())) {
    ForgetPdfTemporary();
    if (spool) {
      throw EPrinter(Filled(Translated("QtPrinterDevice", "Cannot write the print job's temporary file %1"),
                            {spool->FileName().toStdString()}));
    }
    if (printer_->outputFormat() == QPrinter::PdfFormat) {
      throw EPrinter(printer_->outputFileName().isEmpty()
                         ? Translated("QtPrinterDevice", "No file was chosen for the PDF output")
                         : Filled(Translated("QtPrinterDevice", "Cannot write the PDF file %1"),
                                  {printer_->outputFileName().toStdString()}));
    }
    throw EPrinter(Filled(Translated("QtPrinterDevice", "The printer %1 cannot start a print job"),
                          {printer_->printerName().toStdString()}));
  }
  spool_ = std::move(spool);
  painter_ = std::move(painter);
  canvas_->UsePainter(*painter_, PageRect());
  // A printer page starts white with a white solid brush.
  canvas_->SetBrushColor(clWhite);
  canvas_->SetBrushSolid();
}

void QtPrinterDevice::NewPage() {
  if (!Printing()) throw EPrinter(Translated("QtPrinterDevice", "Printer is not currently printing"));
  if (!JobPrinter().newPage()) throw EPrinter(Translated("QtPrinterDevice", "The printer cannot start a new page"));
}

bool QtPrinterDevice::Finish() {
  canvas_->UseDeviceOnly(*printer_, PageRect());
  const bool ended = painter_->end();
  painter_.reset();
  return ended;
}

void QtPrinterDevice::EndDoc() {
  if (!Printing()) throw EPrinter(Translated("QtPrinterDevice", "Printer is not currently printing"));
  // Taken first, so the spooled file goes on every path out of here.
  const std::unique_ptr<PrintSpool> spool = std::move(spool_);
  const bool ended = Finish();
  if (!spool) {
    FinishPdfFile();
    if (printer_->outputFormat() == QPrinter::PdfFormat) {
      savedFile_ = QFile::encodeName(printer_->outputFileName()).toStdString();
    }
    return;
  }
  if (!ended) {
    throw EPrinter(Filled(Translated("QtPrinterDevice", "Cannot write the print job's temporary file %1"),
                          {spool->FileName().toStdString()}));
  }
  PrintQueueJob job = PrintQueueJob::Of(*printer_);
  if (!queue_.isEmpty()) {
    job.printer = queue_;
    job.options += queueOptions_;
  }
  spool->Submit(job, QString::fromStdString(QueueProgram()), wait_);
}

void QtPrinterDevice::ForgetPdfTemporary() {
  if (pdfTemporary_.empty()) return;
  DiscardTemporary(pdfTemporary_);
  pdfTemporary_.clear();
  printer_->setOutputFileName(pdfTarget_);
}

void QtPrinterDevice::FinishPdfFile() {
  if (pdfTemporary_.empty()) return;
  const std::string temporary = std::exchange(pdfTemporary_, std::string());
  printer_->setOutputFileName(pdfTarget_);
  try {
    CheckOutput(temporary);
    CommitOutput(temporary);
  } catch (const std::runtime_error& e) {
    DiscardTemporary(temporary);
    throw EPrinter(e.what());
  }
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
  if (!pdfTemporary_.empty()) {
    // The chosen file was never touched; only the temporary goes.
    ForgetPdfTemporary();
    return;
  }
  // Qt's PDF engine cannot withdraw its output, so the partial file goes once it is closed.
  if (!withdrawn && !file.isEmpty()) QFile::remove(file);
}

}  // namespace tablora
