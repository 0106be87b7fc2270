#include "cli/jpeg_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

#include "cli/interrupts.h"
#include "imaging/exceptions.h"
#include "platform/output_file.h"

namespace tablora::cli {

namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 16;
constexpr double kMetersPerInch = 0.0254;

struct Destination {
  jpeg_destination_mgr manager;
  int fd;
  int error;
  JOCTET buffer[kBufferBytes];
};

struct Failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// Writes the buffer's first `size` bytes; keeps the first error, and takes Ctrl-C as one.
bool Flush(Destination& out, std::size_t size) {
  if (out.error == 0 && InterruptGuard::Interrupted()) out.error = ECANCELED;
  std::size_t done = 0;
  while (out.error == 0 && done < size) {
    const ssize_t n = ::write(out.fd, out.buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) out.error = n < 0 ? errno : ENOSPC;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  return out.error == 0;
}

extern "C" void StartDestination(j_compress_ptr) {}

extern "C" boolean EmptyBuffer(j_compress_ptr cinfo) {
  auto& out = *reinterpret_cast<Destination*>(cinfo->dest);
  if (!Flush(out, kBufferBytes)) ERREXIT(cinfo, JERR_FILE_WRITE);
  out.manager.next_output_byte = out.buffer;
  out.manager.free_in_buffer = kBufferBytes;
  return TRUE;
}

extern "C" void TermDestination(j_compress_ptr cinfo) {
  auto& out = *reinterpret_cast<Destination*>(cinfo->dest);
  if (!Flush(out, kBufferBytes - out.manager.free_in_buffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

extern "C" void FailJump(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<Failure*>(cinfo->err)->jump, 1); }

// libjpeg's own words go nowhere: the command says what failed in its own.
extern "C" void Silent(j_common_ptr) {}

// Only plain data lives in this frame, so the long jump out of libjpeg skips no destructor.
bool Compress(const QImage& image, Destination& out, JSAMPLE* row, int quality, int dpi, char* message) {
  jpeg_compress_struct cinfo;
  Failure failure;
  cinfo.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = FailJump;
  failure.manager.output_message = Silent;
  if (setjmp(failure.jump) != 0) {
    (*cinfo.err->format_message)(reinterpret_cast<j_common_ptr>(&cinfo), message);
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  out.manager.init_destination = StartDestination;
  out.manager.empty_output_buffer = EmptyBuffer;
  out.manager.term_destination = TermDestination;
  out.manager.next_output_byte = out.buffer;
  out.manager.free_in_buffer = kBufferBytes;
  cinfo.dest = &out.manager;
  cinfo.image_width = static_cast<JDIMENSION>(image.width());
  cinfo.image_height = static_cast<JDIMENSION>(image.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = 1;  // dots per inch
  cinfo.X_density = static_cast<UINT16>(dpi);
  cinfo.Y_density = static_cast<UINT16>(dpi);
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < image.height(); ++y) {
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      row[3 * x] = static_cast<JSAMPLE>(qRed(pixels[x]));
      row[3 * x + 1] = static_cast<JSAMPLE>(qGreen(pixels[x]));
      row[3 * x + 2] = static_cast<JSAMPLE>(qBlue(pixels[x]));
    }
    JSAMPROW rows[] = {row};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

void WriteJpeg(const QImage& image, const std::string& temporary, int quality) {
  const std::string target = TargetOfTemporary(temporary);
  if (image.width() > kLargestJpegSide || image.height() > kLargestJpegSide) {
    throw std::runtime_error("the image is too large for JPEG: " + std::to_string(image.width()) + " × " +
                             std::to_string(image.height()));
  }
  // Pages are 32-bit already; anything else is brought to that once.
  const QImage rgb = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
                         ? image
                         : image.convertToFormat(QImage::Format_RGB32);
  const long dpi = std::lround(image.dotsPerMeterX() * kMetersPerInch);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(rgb.width()) * 3);
  auto out = std::make_unique<Destination>();
  out->fd = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (out->fd < 0) throw std::runtime_error(CannotWrite(target, std::strerror(errno)));
  out->error = 0;
  char message[JMSG_LENGTH_MAX] = {};
  const bool compressed =
      Compress(rgb, *out, row.data(), std::clamp(quality, 1, 100), static_cast<int>(std::clamp(dpi, 1L, 65535L)), message);
  int error = out->error;
  if (error == 0 && compressed && ::fsync(out->fd) != 0) error = errno;
  if (::close(out->fd) != 0 && error == 0) error = errno;
  if (error == ECANCELED) throw EAbort();
  if (error != 0) throw std::runtime_error(CannotWrite(target, std::strerror(error)));
  if (!compressed) throw std::runtime_error(CannotWrite(target, message));
}

}  // namespace tablora::cli
