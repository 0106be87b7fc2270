#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace tablora {

// Root of every failure the image library and the engine raise; what() is the message shown.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Invalid or unsupported image data.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// An operation the image cannot perform (bad row index, resizing a JPEG).
class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
};

// libjpeg reported a fatal error. The message is the system's ("JPEG error #%d"); libjpeg's own
// text of the error comes as the detail, for tools that show more than the message.
class EJPEG : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
  EJPEG(const std::string& message, std::string detail)
      : EInvalidGraphic(message), detail_(std::move(detail)) {}
  const std::string& Detail() const { return detail_; }

 private:
  std::string detail_;
};

class EColorConversionError : public Exception {
 public:
  using Exception::Exception;
};

class ECompressionError : public Exception {
 public:
  using Exception::Exception;
};

// A stream delivered fewer bytes than were asked for.
class EReadError : public Exception {
 public:
  EReadError() : Exception("Stream read error") {}
  using Exception::Exception;
};

class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// The silent abort: unwinds an operation without any message being shown.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

}  // namespace tablora
