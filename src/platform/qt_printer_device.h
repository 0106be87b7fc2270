#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "imaging/exceptions.h"
#include "platform/printer_device.h"
#include "platform/qt_drawing_surface.h"

class QPainter;
class QPrinter;
class QWidget;

namespace tablora {

// A print job could not be started, continued or finished.
class EPrinter : public Exception {
 public:
  using Exception::Exception;
};

class PrintSpool;
class SpoolFolder;

// A finished job that the print server did not take (not running, no such printer, no answer). It
// keeps the job's pages while it lives, so that they can still be saved as a PDF file.
class EJobNotHandedOver : public EPrinter {
 public:
  EJobNotHandedOver(const std::string& message, std::shared_ptr<const SpoolFolder> pages)
      : EPrinter(message), pages_(std::move(pages)) {}
  // Writes the job's pages to the PDF file `path`, replacing it; false when it cannot be written.
  bool SavePagesAs(const QString& path) const;
  // The file name the pages had: the job's title.
  QString PagesName() const;

 private:
  std::shared_ptr<const SpoolFolder> pages_;
};

// Says why the job was not printed and offers to save its drawn pages as a PDF file instead.
// `choosePath` asks where (empty: nowhere); by default the platform's file dialog does.
void OfferToSavePages(const EJobNotHandedOver& failure, QWidget* parent,
                      const std::function<QString()>& choosePath = {});

// PrinterDevice over a QPrinter at high resolution. Without any installed printer it is Qt's PDF
// printer on A4, so the preview always has a page; the print dialog then asks for a file.
//
// A job for an installed printer is spooled to a temporary PDF file and queued with lp only at
// EndDoc, so that an aborted job prints nothing; PDF output is painted straight into its file.
class QtPrinterDevice : public PrinterDevice {
 public:
  // The system's default printer, or the PDF printer when there is none.
  QtPrinterDevice();
  // PDF output on A4 to `pdfPath` whatever printers are installed; with an empty path, the PDF
  // layout for a job that SetQueue sends to a named queue.
  explicit QtPrinterDevice(const std::string& pdfPath);
  // The PDF printer on A4 without asking the print server anything, for a server that does not
  // answer: Qt's own printer lookup would block the program until it gave up. LookUpPrinters
  // connects again once the server answers.
  struct WithoutPrintServer {};
  explicit QtPrinterDevice(WithoutPrintServer);
  // The system's default printer when the print server answers within `timeoutMs` (`wait` is
  // called meanwhile), or the device made without it.
  static std::unique_ptr<QtPrinterDevice> AskingServerFirst(const PrintWaitHandler& wait, int timeoutMs);
  // A job still running is aborted.
  ~QtPrinterDevice() override;

  // The program that queues spooled jobs, "lp" on PATH unless tests put a fake in its place.
  static void SetQueueProgram(const std::string& program);
  static std::string QueueProgram();

  QtPrinterDevice(const QtPrinterDevice&) = delete;
  QtPrinterDevice& operator=(const QtPrinterDevice&) = delete;

  // Sends every job to the CUPS queue `printer` with further CUPS options (name, value), whatever
  // the printer's output format: the command line lays its pages out as for PDF output.
  void SetQueue(const QString& printer, const QList<QPair<QString, QString>>& options);

  // For the print and page set-up dialogs, which configure the printer in place.
  QPrinter* Printer() { return printer_.get(); }
  bool Printing() const { return painter_ != nullptr; }

  int PageWidth() override;
  int PageHeight() override;
  DrawingSurface& Canvas() override;
  int Resolution() override;
  std::optional<PaperFrame> Frame() override;
  std::string SavedFile() const override { return savedFile_; }
  void SetTitle(const std::string& title) override;
  std::string Title() const override { return title_; }
  void BeginDoc() override;
  void NewPage() override;
  // For an installed printer or a queue, hands the job to lp without blocking; see PrintSpool.
  void EndDoc() override;
  void Abort() override;
  void SetWaitHandler(PrintWaitHandler handler) override { wait_ = std::move(handler); }
  // Asks the print server whether it runs before Qt's own lookup, which blocks the program while
  // the server does not answer. Raises EPrinter when it has not answered for a minute.
  bool LookUpPrinters() override;

 protected:
  // Whether jobs go through a spool file and lp rather than straight onto the printer: they do for
  // installed printers, whose started jobs cannot be withdrawn.
  virtual bool SpoolsJobs() const;

 private:
  TRect PageRect() const;
  QPrinter& JobPrinter();
  bool Finish();
  // Checks the file a print to file wrote and puts it in place of the chosen one; EPrinter when it
  // cannot be written whole.
  void FinishPdfFile();
  // Removes the temporary of a print to file that did not finish; the printer names the chosen
  // file again.
  void ForgetPdfTemporary();

  std::unique_ptr<QPrinter> printer_;
  // Declared before the painter, which must end before the spool's printer goes.
  std::unique_ptr<PrintSpool> spool_;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<QtDrawingSurface> canvas_;
  std::string title_;
  // PDF output only: no print server is ever asked.
  bool pdfOnly_ = false;
  // Print to a file from the window: the file the dialog chose, and the temporary the job is
  // written to until it has ended and been checked whole.
  QString pdfTarget_;
  std::string pdfTemporary_;
  std::string savedFile_;
  QString queue_;
  QList<QPair<QString, QString>> queueOptions_;
  PrintWaitHandler wait_;
};

}  // namespace tablora
