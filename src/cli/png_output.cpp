#include "cli/png_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <QIODevice>
#include <QImageWriter>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "cli/interrupts.h"
#include "imaging/exceptions.h"
#include "imaging/memory_budget.h"
#include "platform/output_file.h"

namespace tablora::cli {

namespace {

// libpng reports a failed write on stderr by itself; the command says what failed in its own words.
class QuietStderr {
 public:
  QuietStderr() = default;
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;
  ~QuietStderr() {
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
  void Begin() {
    if (saved_ >= 0) return;
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, STDERR_FILENO);
      ::close(null);
    }
  }

 private:
  int saved_ = -1;
};

// Qt's file devices report a failed write only through state nobody asks for; this one keeps the
// first error and takes no more bytes after it. It lets the encoder run to its end rather than
// fail it (Qt's encoder does not free its rows when it fails), except at Ctrl-C, which stops it.
class CheckedFileDevice : public QIODevice {
 public:
  CheckedFileDevice(int fd, QuietStderr& quiet) : fd_(fd), quiet_(quiet) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }
  bool isSequential() const override { return true; }
  int Error() const { return error_; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    if (error_ == 0 && InterruptGuard::Interrupted()) error_ = ECANCELED;
    qint64 done = 0;
    while (error_ == 0 && done < size) {
      const ssize_t n = ::write(fd_, data + done, static_cast<std::size_t>(size - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) error_ = n < 0 ? errno : ENOSPC;
      if (n > 0) done += n;
    }
    if (error_ != ECANCELED) return size;
    quiet_.Begin();
    return -1;
  }

 private:
  int fd_;
  QuietStderr& quiet_;
  int error_ = 0;
};

// The formats Qt's PNG encoder takes as they are; any other it first converts whole to 32 bits.
bool WrittenAsItIs(QImage::Format format) {
  switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_RGB888:
      return true;
    default:
      return false;
  }
}

}  // namespace

void WritePng(const QImage& image, const std::string& temporary) {
  const std::string target = TargetOfTemporary(temporary);
  if (image.width() > kLargestPngSide || image.height() > kLargestPngSide) {
    throw std::runtime_error("the image is too large for PNG: " + std::to_string(image.width()) + " × " +
                             std::to_string(image.height()));
  }
  const TMemoryCharge conversion(WrittenAsItIs(image.format())
                                     ? 0
                                     : uint64_t{4} * static_cast<uint64_t>(image.width()) *
                                           static_cast<uint64_t>(image.height()));
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(CannotWrite(target, std::strerror(errno)));
  int error = 0;
  std::string refused;
  {
    QuietStderr quiet;
    CheckedFileDevice device(fd, quiet);
    QImageWriter writer(&device, "PNG");
    const bool written = writer.write(image);
    error = device.Error();
    if (!written && error == 0) refused = writer.errorString().toStdString();
  }
  if (error == 0 && refused.empty() && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == ECANCELED) throw EAbort();
  if (error != 0) throw std::runtime_error(CannotWrite(target, std::strerror(error)));
  if (!refused.empty()) throw std::runtime_error(CannotWrite(target, refused));
}

}  // namespace tablora::cli
