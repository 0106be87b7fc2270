#include "platform/print_spool_widgets.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSize>
#include <QPrintEngine>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/qt_printer_device.h"
#include "platform/translated_text.h"

namespace tablora {

const char* const kServerNotRunning = QT_TRANSLATE_NOOP("PrintSpool", "The print server is not running");
const char* const kServerSilent = QT_TRANSLATE_NOOP("PrintSpool", "The print server does not answer");
const char* const kLookingForPrinters = QT_TRANSLATE_NOOP("PrintSpool", "Looking for printers...");

std::string NoSuchPrinter(const QString& printer) {
  return Filled(Translated("PrintSpool", "The printer '%1' does not exist"), {printer.toStdString()});
}

namespace {

std::string SubmitFailed(std::string_view why) {
  return Filled(Translated("PrintSpool", "Cannot send the job to the printer: %1"), {why});
}
const char* const kSending = QT_TRANSLATE_NOOP("PrintSpool", "Sending to printer...");
constexpr int kStartTimeoutMs = 30000;
constexpr int kWaitSliceMs = 40;
// Where Qt's CUPS print engine keeps the options its print dialog set, as name, value, name, ...
// (the key is private to Qt but has not changed since CUPS support began).
const auto kCupsOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);

// Spool files to remove when SIGTERM or SIGINT ends the program, which no destructor survives. The
// handler may only read what is fixed before it can run, hence plain slots filled beforehand.
struct SignalSlot {
  std::atomic<bool> taken{false};
  std::atomic<bool> ready{false};
  std::atomic<pid_t> helper{0};
  char file[PATH_MAX];
  char folder[PATH_MAX];
};
SignalSlot g_signalSlots[8];

extern "C" void RemoveSpoolsAndEnd(int signal) {
  for (SignalSlot& slot : g_signalSlots) {
    if (!slot.ready.load()) continue;
    if (const pid_t helper = slot.helper.load(); helper > 0) ::kill(helper, SIGTERM);
    ::unlink(slot.file);
    ::rmdir(slot.folder);
  }
  // SA_RESETHAND has restored the default action: raised again, the signal ends the program as it
  // would have without this handler.
  ::raise(signal);
}

// Only where the signal would simply end the program: a program that handles it itself (the
// command-line tool cancels its run) unwinds, and its destructors remove the files.
void CatchEndingSignals() {
  for (const int signal : {SIGTERM, SIGINT}) {
    struct sigaction current {};
    ::sigaction(signal, nullptr, &current);
    if (current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = RemoveSpoolsAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(signal, &action, nullptr);
  }
}

class RemovedOnSignal {
 public:
  RemovedOnSignal(const QString& file, const QString& folder) {
    const QByteArray fileName = QFile::encodeName(file);
    const QByteArray folderName = QFile::encodeName(folder);
    if (fileName.size() >= PATH_MAX || folderName.size() >= PATH_MAX) return;
    for (SignalSlot& slot : g_signalSlots) {
      bool free = false;
      if (!slot.taken.compare_exchange_strong(free, true)) continue;
      std::memcpy(slot.file, fileName.constData(), static_cast<std::size_t>(fileName.size()) + 1);
      std::memcpy(slot.folder, folderName.constData(), static_cast<std::size_t>(folderName.size()) + 1);
      slot_ = &slot;
      slot.ready.store(true);
      break;
    }
    CatchEndingSignals();
  }
  ~RemovedOnSignal() {
    if (slot_ == nullptr) return;
    slot_->ready.store(false);
    slot_->helper.store(0);
    slot_->taken.store(false);
  }
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

  // A program working on the file (lp) that must not outlive the program.
  void SetHelper(pid_t pid) {
    if (slot_ != nullptr) slot_->helper.store(pid);
  }

 private:
  SignalSlot* slot_ = nullptr;
};

// A name the file system takes for a job called `title`: one path component, not hidden, and short
// enough for any file system.
QString SpoolName(QString title) {
  for (QChar& c : title) {
    if (c == '/' || c.unicode() < 0x20) c = '_';
  }
  if (title.startsWith('.')) title[0] = '_';
  if (title.isEmpty()) title = "Tablora Print Task";
  while (QFile::encodeName(title).size() > 200) {
    title.chop(1);
    if (!title.isEmpty() && title.back().isHighSurrogate()) title.chop(1);
  }
  return title + ".pdf";
}

// CUPS's programs answer in the program's language, English, whatever the user's locale, so that
// their answers can be read.
QProcessEnvironment EnglishMessages() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (environment.contains("LC_ALL")) {
    environment.insert("LC_CTYPE", environment.value("LC_ALL"));
    environment.remove("LC_ALL");
  }
  environment.insert("LC_MESSAGES", "C");
  return environment;
}

enum class RunEnd { Finished, NotStarted, GaveUp, TimedOut };

// Runs a CUPS program to its end without blocking the program: `wait` is called every few
// milliseconds, so windows stay painted and Cancel answers. A program given up on or out of time is
// killed.
RunEnd RunWaiting(QProcess& process, const PrintWaitHandler& wait, const std::string& status, int timeoutMs,
                  RemovedOnSignal* guard = nullptr) {
  process.setProcessEnvironment(EnglishMessages());
  process.setStandardInputFile(QProcess::nullDevice());
  // A group of its own: Ctrl-C in a terminal reaches the program only, which decides what the
  // job becomes.
  process.setChildProcessModifier([] { ::setpgid(0, 0); });
  process.start();
  if (!process.waitForStarted(kStartTimeoutMs)) return RunEnd::NotStarted;
  if (guard != nullptr) guard->SetHelper(static_cast<pid_t>(process.processId()));
  QElapsedTimer clock;
  clock.start();
  RunEnd end = RunEnd::Finished;
  while (process.state() != QProcess::NotRunning && !process.waitForFinished(kWaitSliceMs)) {
    if (clock.elapsed() >= timeoutMs) {
      end = RunEnd::TimedOut;
    } else if (wait && !wait(status)) {
      end = RunEnd::GaveUp;
    } else {
      continue;
    }
    process.kill();
    process.waitForFinished();
    break;
  }
  if (guard != nullptr) guard->SetHelper(0);
  return end;
}

// lp names itself by the path it was started with, which QProcess makes absolute; the user knows
// it by its name, as in "lp: Error - The printer or class does not exist.".
QString WithPlainProgramName(const QString& complaint, const QString& program) {
  const QString started = program.contains('/') ? program : QStandardPaths::findExecutable(program);
  if (started.isEmpty() || !complaint.startsWith(started + ": ")) return complaint;
  return QFileInfo(started).fileName() + complaint.mid(started.size());
}

// One -o argument of lp. lp splits its options at spaces and reads quotes and backslashes, so a
// value holding any of them is quoted.
QString OptionArgument(const QString& name, const QString& value) {
  if (value.isEmpty()) return name;
  if (std::none_of(value.begin(), value.end(), [](QChar c) { return c.isSpace() || c == '\'' || c == '"' || c == '\\'; })) {
    return name + "=" + value;
  }
  QString quoted = value;
  quoted.replace("\\", "\\\\").replace("\"", "\\\"");
  return name + "=\"" + quoted + "\"";
}

bool HasOption(const QList<QPair<QString, QString>>& options, const QString& name) {
  return std::any_of(options.begin(), options.end(), [&](const auto& option) { return option.first == name; });
}

}  // namespace

class SpoolFolder {
 public:
  explicit SpoolFolder(const QString& title)
      : folder_(QDir::tempPath() + "/tablora-print-XXXXXX"), file_(folder_.filePath(SpoolName(title))) {
    // A folder private to the user, so the file cannot be taken or read by anyone else meanwhile.
    QFile made(file_);
    if (!folder_.isValid() || !made.open(QIODevice::WriteOnly)) {
      const QString why = folder_.isValid() ? made.errorString() : folder_.errorString();
      throw EPrinter(Filled(Translated("PrintSpool", "Cannot create the print job's temporary file: %1"),
                            {why.toStdString()}));
    }
    made.close();
    guard_ = std::make_unique<RemovedOnSignal>(file_, folder_.path());
  }
  SpoolFolder(const SpoolFolder&) = delete;
  SpoolFolder& operator=(const SpoolFolder&) = delete;

  const QString& File() const { return file_; }
  RemovedOnSignal& Guard() { return *guard_; }

 private:
  QTemporaryDir folder_;
  QString file_;
  std::unique_ptr<RemovedOnSignal> guard_;
};

QString LpstatBeside(const QString& lpProgram) {
  if (!lpProgram.contains('/')) return "lpstat";
  return QFileInfo(lpProgram).dir().filePath("lpstat");
}

ServerAnswer AskPrintServer(const QString& lpstatProgram, const PrintWaitHandler& wait, const std::string& status,
                            int timeoutMs) {
  QProcess lpstat;
  lpstat.setProgram(lpstatProgram);
  // "-r" alone only connects, which a hung server still accepts; "-d" makes it answer a request.
  lpstat.setArguments({"-r", "-d"});
  switch (RunWaiting(lpstat, wait, status, timeoutMs)) {
    case RunEnd::NotStarted:
      return ServerAnswer::Unknown;
    case RunEnd::GaveUp:
      return ServerAnswer::GaveUp;
    case RunEnd::TimedOut:
      return ServerAnswer::Silent;
    case RunEnd::Finished:
      break;
  }
  const QString said = QString::fromLocal8Bit(lpstat.readAllStandardOutput() + lpstat.readAllStandardError());
  if (said.contains("not running")) return ServerAnswer::NotRunning;
  if (said.contains("is running")) return ServerAnswer::Running;
  return ServerAnswer::Unknown;
}

std::string QueueProblem(QString& printer, const QString& lpstatProgram, const PrintWaitHandler& wait) {
  switch (AskPrintServer(lpstatProgram, wait, Translated("PrintSpool", kLookingForPrinters),
                         PrintSpool::kDefaultSubmitTimeoutMs)) {
    case ServerAnswer::NotRunning:
      return Translated("PrintSpool", kServerNotRunning);
    case ServerAnswer::Silent:
      return Translated("PrintSpool", kServerSilent);
    case ServerAnswer::GaveUp:
      throw EAbort();
    case ServerAnswer::Running:
    case ServerAnswer::Unknown:
      break;
  }
  const auto ask = [&](const QStringList& arguments, QProcess& lpstat) {
    lpstat.setProgram(lpstatProgram);
    lpstat.setArguments(arguments);
    const RunEnd end = RunWaiting(lpstat, wait, Translated("PrintSpool", kLookingForPrinters),
                                  PrintSpool::kDefaultSubmitTimeoutMs);
    if (end == RunEnd::GaveUp) throw EAbort();
    return end == RunEnd::Finished && lpstat.exitStatus() == QProcess::NormalExit;
  };
  if (printer == "default") {
    QProcess lpstat;
    const QString prefix = "system default destination: ";
    const QString said = ask({"-d"}, lpstat) ? QString::fromLocal8Bit(lpstat.readAllStandardOutput()).trimmed() : "";
    if (!said.startsWith(prefix)) return Translated("PrintSpool", "There is no default printer");
    printer = said.mid(prefix.size());
  }
  QProcess lpstat;
  if (ask({"-p", printer}, lpstat) && lpstat.exitCode() != 0) return NoSuchPrinter(printer);
  return {};
}

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
  // Only an installed printer has a colour mode chosen for it and the print dialog's CUPS options.
  if (printer.outputFormat() == QPrinter::NativeFormat) {
    job.colorMode = printer.colorMode() == QPrinter::GrayScale ? "monochrome" : "color";
    const QStringList cups = printer.printEngine()->property(kCupsOptionsKey).toStringList();
    for (qsizetype i = 0; i + 1 < cups.size(); i += 2) {
      // The dialog's page list also asks the server to pick those pages, but the spooled job holds
      // only them already: picked again, "1,3" would leave page 1 alone.
      if (cups[i] != "page-ranges") job.options.append(qMakePair(cups[i], cups[i + 1]));
    }
  }
  if (printer.pageOrder() == QPrinter::LastPageFirst && !HasOption(job.options, "outputorder")) {
    job.options.append(qMakePair(QString("outputorder"), QString("reverse")));
  }
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
  if (!job.colorMode.isEmpty()) args << "-o" << "print-color-mode=" + job.colorMode;
  // Each page of the file is the chosen paper with the printer's margins already left free, so
  // scaling it to the printable area would only shrink and shift the layout.
  args << "-o" << "fit-to-page=false";
  for (const auto& [name, value] : job.options) args << "-o" << OptionArgument(name, value);
  args << file;
  return args;
}

PrintSpool::PrintSpool(const QPrinter& target)
    : folder_(std::make_shared<SpoolFolder>(target.docName())),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setOutputFileName(folder_->File());
  printer_->setResolution(target.resolution());
  printer_->setPageLayout(target.pageLayout());
  // The page layout carries no full-page mode into a PDF printer, so it is set on its own.
  printer_->setFullPage(target.fullPage());
  printer_->setColorMode(target.colorMode());
  printer_->setDocName(target.docName());
}

PrintSpool::~PrintSpool() = default;

QString PrintSpool::FileName() const { return folder_->File(); }

void PrintSpool::Submit(const PrintQueueJob& job, const QString& lpProgram, const PrintWaitHandler& wait,
                        int timeoutMs) {
  const std::string silent =
      Filled(Translated("PrintSpool", "The printer '%1' cannot be reached: the print server does not answer"),
             {job.printer.toStdString()});
  const auto notHandedOver = [this](const std::string& message) { return EJobNotHandedOver(message, folder_); };
  QProcess lp;
  lp.setProgram(lpProgram);
  lp.setArguments(LpArguments(job, folder_->File()));
  switch (RunWaiting(lp, wait, Translated("PrintSpool", kSending), timeoutMs, &folder_->Guard())) {
    case RunEnd::NotStarted:
      throw notHandedOver(SubmitFailed(
          Filled(Translated("PrintSpool", "the program %1 cannot be started"), {lpProgram.toStdString()})));
    case RunEnd::GaveUp:
      throw EAbort();
    case RunEnd::TimedOut:
      throw notHandedOver(silent);
    case RunEnd::Finished:
      break;
  }
  if (lp.exitStatus() != QProcess::NormalExit) {
    throw notHandedOver(
        SubmitFailed(Filled(Translated("PrintSpool", "%1 stopped unexpectedly"), {lpProgram.toStdString()})));
  }
  if (lp.exitCode() == 0) return;
  // lp says "The printer or class does not exist" for a server that is not running as well, so the
  // server is asked which it is.
  switch (AskPrintServer(LpstatBeside(lpProgram), wait, Translated("PrintSpool", kSending), timeoutMs)) {
    case ServerAnswer::NotRunning:
      throw notHandedOver(Translated("PrintSpool", kServerNotRunning));
    case ServerAnswer::Silent:
      throw notHandedOver(silent);
    case ServerAnswer::GaveUp:
      throw EAbort();
    case ServerAnswer::Running:
    case ServerAnswer::Unknown:
      break;
  }
  const QString complaint =
      WithPlainProgramName(QString::fromLocal8Bit(lp.readAllStandardError()).trimmed(), lpProgram);
  if (complaint.contains("does not exist")) throw notHandedOver(NoSuchPrinter(job.printer));
  throw notHandedOver(SubmitFailed(complaint.isEmpty()
                                       ? Filled(Translated("PrintSpool", "%1 failed with status %2"),
                                                {lpProgram.toStdString(), std::to_string(lp.exitCode())})
                                       : complaint.toStdString()));
}

bool EJobNotHandedOver::SavePagesAs(const QString& path) const {
  QFile pages(pages_->File());
  QSaveFile saved(path);
  if (!pages.open(QIODevice::ReadOnly) || !saved.open(QIODevice::WriteOnly)) return false;
  while (!pages.atEnd()) {
    const QByteArray block = pages.read(1 << 20);
    if (block.isEmpty() || saved.write(block) != block.size()) {
      saved.cancelWriting();
      break;
    }
  }
  return saved.commit();
}

QString EJobNotHandedOver::PagesName() const { return QFileInfo(pages_->File()).fileName(); }

void OfferToSavePages(const EJobNotHandedOver& failure, QWidget* parent, const std::function<QString()>& choosePath) {
  QString text = QString::fromStdString(failure.what());
  if (!text.isEmpty() && text.back() > '.') text += '.';
  QMessageBox box(QMessageBox::Warning, "Tablora",
                  text + "\n\n" +
                      QCoreApplication::translate("PrintSpool", "Save the drawn pages as a PDF file instead?"),
                  QMessageBox::Save | QMessageBox::Discard, parent);
  box.setDefaultButton(QMessageBox::Save);
  if (box.exec() != QMessageBox::Save) return;
  const QString path = choosePath ? choosePath()
                                  : QFileDialog::getSaveFileName(
                                        parent, QCoreApplication::translate("PrintSpool", "Save the drawn pages"),
                                        QDir::home().filePath(failure.PagesName()),
                                        QCoreApplication::translate("PrintSpool", "PDF files (*.pdf)"));
  if (path.isEmpty() || failure.SavePagesAs(path)) return;
  QMessageBox::critical(parent, "Tablora",
                        QCoreApplication::translate("PrintSpool", "Cannot write the file %1.").arg(path));
}

}  // namespace tablora
