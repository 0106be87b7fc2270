#pragma once

#include <stdexcept>
#include <string>

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

// libjpeg reported a fatal error.
class EJPEG : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
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
