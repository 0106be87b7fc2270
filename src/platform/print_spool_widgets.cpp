#include "platform/print_spool_widgets.h"

#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <string>

#include "platform/qt_printer_device.h"

namespace tablora {

namespace {

const std::string kSubmitFailed = "Cannot send the job to the printer: ";

// lp names itself by the path it was started with, which QProcess makes absolute; the user knows
// it by its name, as in "lp: Error - The printer or class does not exist.".
QString WithPlainProgramName(const QString& complaint, const QString& program) {
  const QString started = program.contains('/') ? program : QStandardPaths::findExecutable(program);
  if (started.isEmpty() || !complaint.startsWith(started + ": ")) return complaint;
  return QFileInfo(started).fileName() + complaint.mid(started.size());
}

}  // namespace

PrintQueueJob PrintQueueJob::Of(const QPrinter& printer) {
  PrintQueueJob job;
  job.printer = printer.printerName();
  job.title = printer.docName();
  job.copies = std::max(1, printer.copyCount());
  job.collate = printer.collateCopies();
  job.duplex = printer.duplex();
  const QPageLayout layout = printer.pageLayout();
  job.orientation = layout.orientation();
  if (layout.pageSize().isValid()) job.media = layout.pageSize().key();
  return job;
}

QStringList LpArguments(const PrintQueueJob& job, const QString& file) {
  QStringList args{"-d", job.printer, "-t", job.title, "-n", QString::number(job.copies)};
  if (job.collate && job.copies > 1) args << "-o" << "collate=true";
  // Automatic duplex turns pages the way a reader turns them: over the long edge of a portrait
  // page, over the short edge of a landscape one.
  const bool portrait = job.orientation == QPageLayout::Portrait;
  switch (job.duplex) {
    case QPrinter::DuplexNone:
      break;
    case QPrinter::DuplexAuto:
      args << "-o" << (portrait ? "sides=two-sided-long-edge" : "sides=two-sided-short-edge");
      break;
    case QPrinter::DuplexLongSide:
      args << "-o" << "sides=two-sided-long-edge";
      break;
    case QPrinter::DuplexShortSide:
      args << "-o" << "sides=two-sided-short-edge";
      break;
  }
  // Without the paper's name the queue would use its default tray whatever was chosen in the page
  // set-up dialog. No orientation option: the spooled pages are already landscape where they
  // should be, and the queue turns them onto the paper itself.
  if (!job.media.isEmpty()) args << "-o" << "media=" + job.media;
  // Each page of the file is the chosen paper with the printer's margins already left free, so
  // scaling it to the printable area would only shrink and shift the layout.
  args << "-o" << "fit-to-page=false";
  args << file;
  return args;
}

PrintSpool::PrintSpool(const QPrinter& target)
    : file_(QDir::tempPath() + "/tablora-print-XXXXXX.pdf"),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  // Made now, private to the user, so the name cannot be taken or read by anyone else meanwhile.
  if (!file_.open()) {
    throw EPrinter("Cannot create the print job's temporary file: " + file_.errorString().toStdString());
  }
  file_.close();
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setOutputFileName(file_.fileName());
  printer_->setResolution(target.resolution());
  printer_->setPageLayout(target.pageLayout());
  // The page layout carries no full-page mode into a PDF printer, so it is set on its own.
  printer_->setFullPage(target.fullPage());
  printer_->setColorMode(target.colorMode());
  printer_->setDocName(target.docName());
}

PrintSpool::~PrintSpool() = default;

void PrintSpool::Submit(const PrintQueueJob& job, const QString& lpProgram, int timeoutMs) {
  QProcess lp;
  lp.setProgram(lpProgram);
  lp.setArguments(LpArguments(job, file_.fileName()));
  lp.setStandardInputFile(QProcess::nullDevice());
  lp.start();
  if (!lp.waitForStarted(timeoutMs)) {
    throw EPrinter(kSubmitFailed + "the program " + lpProgram.toStdString() + " cannot be started");
  }
  if (!lp.waitForFinished(timeoutMs)) {
    lp.kill();
    lp.waitForFinished();
    throw EPrinter(kSubmitFailed + lpProgram.toStdString() + " did not finish");
  }
  if (lp.exitStatus() != QProcess::NormalExit) {
    throw EPrinter(kSubmitFailed + lpProgram.toStdString() + " stopped unexpectedly");
  }
  if (lp.exitCode() != 0) {
    const QString complaint =
        WithPlainProgramName(QString::fromLocal8Bit(lp.readAllStandardError()).trimmed(), lpProgram);
    throw EPrinter(kSubmitFailed + (complaint.isEmpty() ? lpProgram.toStdString() + " failed with status " +
                                                              std::to_string(lp.exitCode())
                                                        : complaint.toStdString()));
  }
}

}  // namespace tablora
