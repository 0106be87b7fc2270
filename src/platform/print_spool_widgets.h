#pragma once

#include <QList>
#include <QPageLayout>
#include <QPair>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "platform/printer_device.h"

class QProcess;

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
  // "color" or "monochrome"; empty leaves the queue's default.
  QString colorMode;
  // Further CUPS options, name and value: those the print dialog set (page set, order, pages per
  // sheet, priority, banners, the driver's choices) and those given on the command line. They
  // come after the options above, so they win where both name the same.
  QList<QPair<QString, QString>> options;

  // The queue, copies, sides, paper, colour and CUPS options chosen on `printer` in the print and
  // page set-up dialogs.
  static PrintQueueJob Of(const QPrinter& printer);
};

// The arguments of the CUPS `lp` command that queues `file` as `job`.
QStringList LpArguments(const PrintQueueJob& job, const QString& file);

// The user's words for what stops a print server from taking jobs.
extern const char* const kServerNotRunning;
extern const char* const kServerSilent;
// What the progress window says while the print server is asked.
extern const char* const kLookingForPrinters;
std::string NoSuchPrinter(const QString& printer);

// The answer of `lpstat -r -d`, CUPS's "is the scheduler running?" and a request it must answer.
enum class ServerAnswer { Running, NotRunning, Silent, GaveUp, Unknown };

// Asks the print server whether it runs with `lpstatProgram`, without blocking: `wait` is called
// with `status` while the answer is awaited. Silent after `timeoutMs` without an answer.
ServerAnswer AskPrintServer(const QString& lpstatProgram, const PrintWaitHandler& wait, const std::string& status,
                            int timeoutMs);

// Why the queue `printer` cannot take a job (the server is not running or does not answer, no such
// printer, no default printer), or empty when it can. "default" names the server's default queue,
// whose real name is written back. Raises EAbort when the user gives up waiting.
std::string QueueProblem(QString& printer, const QString& lpstatProgram, const PrintWaitHandler& wait);

// lpstat beside `lpProgram`: the same folder for a path, the PATH's otherwise.
QString LpstatBeside(const QString& lpProgram);

class SpoolFolder;

// A print job held in a temporary PDF file until it is complete, because a job painted straight
// onto a CUPS printer cannot be withdrawn: ending or destroying its painter queues whatever was
// drawn. Submit queues the finished file; destroying the spool without it discards the job, so
// nothing of it reaches the printer. The file, named after the job's title so that the queue shows
// that name for its document, is removed in either case, and also when the program is ended by
// SIGTERM or SIGINT.
class PrintSpool {
 public:
  static constexpr int kDefaultSubmitTimeoutMs = 60000;

  // A PDF printer with the page layout, full-page mode, resolution, colour mode and document name
  // of `target`, so that its pages measure and draw exactly as the target's would.
  explicit PrintSpool(const QPrinter& target);
  ~PrintSpool();

  PrintSpool(const PrintSpool&) = delete;
  PrintSpool& operator=(const PrintSpool&) = delete;

  QPrinter& Printer() { return *printer_; }
  QString FileName() const;

  // Queues the spooled file, whose painter must have ended, with `lpProgram` (a name looked up on
  // PATH or a path) without blocking: `wait` is called with "Sending to printer..." until lp has
  // finished. Raises EAbort when the user gives up (lp is stopped, nothing is queued), and
  // EJobNotHandedOver, which keeps the pages, when lp cannot be started, fails or does not finish
  // within `timeoutMs`.
  void Submit(const PrintQueueJob& job, const QString& lpProgram, const PrintWaitHandler& wait = {},
              int timeoutMs = kDefaultSubmitTimeoutMs);

 private:
  std::shared_ptr<SpoolFolder> folder_;
  std::unique_ptr<QPrinter> printer_;
};

}  // namespace tablora
