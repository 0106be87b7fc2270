#pragma once

// The C side of JPEG decoding: one libjpeg decompression object with this library's error
// manager and an in-memory data source. libjpeg reports fatal errors by calling back into us from
// deep inside its C frames, and a C++ exception must never unwind through those frames, so the
// fatal handler longjmps back to Run(), which throws only once it is back in C++ territory.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>

#include <jpeglib.h>

namespace tablora {

class JpegDecompressor {
 public:
  // Creates the decompression object; libjpeg's own failure to do so raises EJPEG.
  JpegDecompressor();
  ~JpegDecompressor();
  JpegDecompressor(const JpegDecompressor&) = delete;
  JpegDecompressor& operator=(const JpegDecompressor&) = delete;

  jpeg_decompress_struct& Info() { return info_; }

  // The bytes must outlive the decompressor. Empty data is a fatal error at the first read;
  // running out later gives a warning and an end-of-image marker, so truncated files decode as far
  // as their data goes.
  void SetSource(const uint8_t* data, std::size_t size);

  // Runs step, turning libjpeg's fatal errors into EJPEG "JPEG error #%d" with the library's
  // message code. A step must keep no object with a destructor alive across a libjpeg call: the
  // longjmp skips destructors. C++ exceptions thrown by our own code inside step pass unchanged.
  template <class Step>
  void Run(Step&& step) {
    if (!Invoke(&Call<Step>, &step)) ThrowPendingError();
  }

  // For callbacks that libjpeg makes into our code (progress monitor): an exception caught there
  // is parked here and the callback aborts the library with AbortFromCallback(); Run() rethrows it.
  void ParkException(std::exception_ptr error) { parked_ = std::move(error); }
  [[noreturn]] void AbortFromCallback();

  // Code of the last fatal error (0 when none happened).
  int ErrorCode() const { return error_.code; }

 private:
  struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code = 0;
  };

  struct MemorySource {
    jpeg_source_mgr pub;
    const JOCTET* data = nullptr;
    std::size_t size = 0;
    bool started = false;
  };

  template <class Step>
  static void Call(void* step) {
    (*static_cast<Step*>(step))();
  }

  // The only frame that calls setjmp; it holds no C++ objects of its own.
  bool Invoke(void (*fn)(void*), void* arg);
  [[noreturn]] void ThrowPendingError();

  static void ErrorExit(j_common_ptr info);
  static void EmitMessage(j_common_ptr info, int level);
  static void OutputMessage(j_common_ptr info);
  static void FormatMessage(j_common_ptr info, char* buffer);
  static void ResetErrorManager(j_common_ptr info);

  static void InitSource(j_decompress_ptr info);
  static boolean FillInputBuffer(j_decompress_ptr info);
  static void SkipInputData(j_decompress_ptr info, long count);
  static void TermSource(j_decompress_ptr info);

  jpeg_decompress_struct info_{};
  ErrorManager error_{};
  MemorySource source_{};
  std::exception_ptr parked_;
  bool created_ = false;
};

}  // namespace tablora
