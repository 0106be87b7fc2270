#pragma once

#include <QPageLayout>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <memory>

namespace tablora {

// What the print queue needs to know of a job besides its pages.
struct PrintQueueJob {
  QString printer;
  QString title;
  int copies = 1;
  bool collate = false;
  QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
  QPageLayout::Orientation orientation = QPageLayout::Portrait;
  // The paper's name as the queue knows it ("A4", "Letter"); empty leaves the queue's default.
  QString media;

  // The queue, copies, sides and paper chosen on `printer` in the print and page set-up dialogs.
  static PrintQueueJob Of(const QPrinter& printer);
};

// The arguments of the CUPS `lp` command that queues `file` as `job`.
QStringList LpArguments(const PrintQueueJob& job, const QString& file);

// A print job held in a temporary PDF file until it is complete, because a job painted straight
// onto a CUPS printer cannot be withdrawn: ending or destroying its painter queues whatever was
// drawn. Submit queues the finished file; destroying the spool without it discards the job, so
// nothing of it reaches the printer. The file is removed in either case.
class PrintSpool {
 public:
  static constexpr int kDefaultSubmitTimeoutMs = 120000;

  // A PDF printer with the page layout, full-page mode, resolution, colour mode and document name
  // of `target`, so that its pages measure and draw exactly as the target's would.
  explicit PrintSpool(const QPrinter& target);
  ~PrintSpool();

  PrintSpool(const PrintSpool&) = delete;
  PrintSpool& operator=(const PrintSpool&) = delete;

  QPrinter& Printer() { return *printer_; }
  QString FileName() const { return file_.fileName(); }

  // Queues the spooled file, whose painter must have ended, with `lpProgram` (a name looked up on
  // PATH or a path), waiting for it to finish. Raises EPrinter with lp's complaint when it cannot
  // be started, fails or does not finish in time.
  void Submit(const PrintQueueJob& job, const QString& lpProgram,
              int timeoutMs = kDefaultSubmitTimeoutMs);

 private:
  QTemporaryFile file_;
  std::unique_ptr<QPrinter> printer_;
};

}  // namespace tablora
