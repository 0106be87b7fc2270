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
#include <functional>
#include <span>
#include <string>

#include <jpeglib.h>

#include "imaging/memory_budget.h"

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
  // message code (and libjpeg's own text as the exception's detail). A step must keep no object with a destructor alive across a libjpeg call: the
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

  // Every decode is watched from libjpeg's progress monitor, called at least once per row of
  // blocks and once at the start of every scan, before its data: a file of more than kMaxScans
  // scans, or whose scans would walk more blocks than ScanWorkLimit allows its picture, fails with
  // "JPEG error #%d" (kTooManyScans); a cancel request on this thread stops it (EAbort, through
  // CheckCancel), and then the listener runs. A listener must not throw: it parks its exception
  // and answers false to stop.
  static constexpr int kMaxScans = 500;
  static constexpr int kTooManyScans = 1000;

  // Each scan costs a walk over every block of its components, however few bytes it takes: a
  // file of a few kilobytes can ask for thousands of passes over a huge picture. A file may cost
  // kMaxPasses passes over all the blocks of its picture, so any file of up to 60 scans fits
  // whatever its layout: encoders write 6 to 20 (libjpeg's own progressions 6 for grey and 10 for
  // colour, about 5 passes), a 60-scan script costs about 20 passes for colour and 60 for grey.
  // Small pictures may always spend kMinScanWork blocks (a few milliseconds), so their scan
  // count alone bounds them.
  static constexpr uint64_t kMaxPasses = 64;
  static constexpr uint64_t kMinScanWork = uint64_t{1} << 20;
  // The blocks all the scans of a picture of pictureBlocks blocks (all its components) may walk.
  static uint64_t ScanWorkLimit(uint64_t pictureBlocks) {
    return pictureBlocks > kMinScanWork / kMaxPasses ? pictureBlocks * kMaxPasses : kMinScanWork;
  }
  // The failure of a file whose scan after scansThatFit is one too many.
  [[noreturn]] static void ThrowTooManyScans(int scansThatFit);
  // Counts the scans of a whole file from its markers, with the frame of info (after
  // jpeg_read_header), and fails as the progress monitor would at the scan too many: a file
  // of thousands of scans is refused in a millisecond rather than after 40 passes. Scans whose
  // components the frame does not have end the count; libjpeg's own count stays the rule.
  static void CheckScanWork(std::span<const uint8_t> file, const jpeg_decompress_struct& info);
  // Where the next marker other than a restart or a stuffed 0xFF begins, from `from` on.
  static std::size_t FindMarker(std::span<const uint8_t> file, std::size_t from);
  void SetProgressListener(std::function<bool()> listener) { listener_ = std::move(listener); }
  const jpeg_progress_mgr& ProgressCounters() const { return monitor_.pub; }

  // Bytes of the whole-image buffers libjpeg will make for the parameters set (the output size is
  // worked out on the way).
  uint64_t WholeImageBytes();
  // Charges the whole-image buffers libjpeg will make for the parameters set (the coefficients of
  // a multi-scan file, the picture of two-pass quantisation) to this thread's memory budget, and
  // holds libjpeg to them and to the image-size limit: it fails rather than take more. Call before
  // jpeg_start_decompress.
  void ChargeWholeImage();

  // What libjpeg may allocate beyond the whole-image buffers charged above.
  static constexpr uint64_t kLibraryWorkspace = uint64_t{16} << 20;

 private:
  struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code = 0;
    char text[JMSG_LENGTH_MAX] = {};
    void (*formatStandard)(j_common_ptr, char*) = nullptr;
  };

  struct Monitor {
    jpeg_progress_mgr pub{};
    JpegDecompressor* self = nullptr;
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

  static void MonitorProgress(j_common_ptr info);
  // False when the scan just started is one too many.
  bool CountScans(const jpeg_decompress_struct& info);
  bool Watch() noexcept;

  static void InitSource(j_decompress_ptr info);
  static boolean FillInputBuffer(j_decompress_ptr info);
  static void SkipInputData(j_decompress_ptr info, long count);
  static void TermSource(j_decompress_ptr info);

  jpeg_decompress_struct info_{};
  ErrorManager error_{};
  MemorySource source_{};
  std::exception_ptr parked_;
  Monitor monitor_;
  std::function<bool()> listener_;
  TMemoryCharge wholeImage_;
  // The scans of the image being read seen so far and the blocks they walk; reset by SetSource.
  int scansCounted_ = 0;
  uint64_t scanWork_ = 0;
  bool created_ = false;
};

}  // namespace tablora
