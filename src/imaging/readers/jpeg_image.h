#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/memory_budget.h"
#include "imaging/stream.h"
#include "imaging/types.h"

namespace tablora {

class TIccTransform;

enum TJPEGScale : uint8_t { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPerformance : uint8_t { jpBestQuality, jpBestSpeed };
enum TJPEGPixelFormat : uint8_t { jf24Bit, jf8Bit };

// Decoding settings every new TJPEGImage copies.
struct TJPEGDefaults {
  int CompressionQuality = 90;
  bool Grayscale = false;
  TJPEGPerformance Performance = jpBestQuality;
  // Screens here have more than 8 bits per pixel; see JPEGPixelFormatForScreen.
  TJPEGPixelFormat PixelFormat = jf24Bit;
  bool ProgressiveDisplay = false;
  bool ProgressiveEncoding = false;
  TJPEGScale Scale = jsFullSize;
  bool Smoothing = true;
};

// The process-wide defaults record.
TJPEGDefaults& JPEGDefaults();

// Palette displays (8 bits per pixel or fewer) get quantised 8-bit output.
TJPEGPixelFormat JPEGPixelFormatForScreen(int bitsPerPixelTimesPlanes);

// libjpeg's colour count for quantised output: leaves room for the 20 colours a palette display
// reserves for itself.
constexpr int kJPEGQuantizedColors = 236;

// The compressed file and what its header says; shared by every image assigned from the one
// that loaded it.
struct TJPEGData {
  TMemoryStream Data;
  TMemoryCharge DataCharge;
  int32_t Width = 0;
  int32_t Height = 0;
  bool Grayscale = false;
  bool Cmyk = false;  // CMYK or YCCK samples
};

// Turns libjpeg's progress counters into throttled notifications: at most one per 500 ms, none on
// the first call, and only when the percentage has changed.
class TJPEGProgressThrottle {
 public:
  static constexpr int64_t kIntervalMs = 500;

  struct Counters {
    long passCounter = 0;
    long passLimit = 0;
    int completedPasses = 0;
    int totalPasses = 0;
    int outputScanline = 0;
    int outputWidth = 0;
    int outputHeight = 0;
  };

  struct Report {
    int percent = 0;
    TRect rect;
    bool redrawNow = false;
  };

  // True when a running notification is due; report then holds what to send.
  bool Update(int64_t nowMs, const Counters& counters, Report& report);

 private:
  int64_t lastTime_ = 0;
  int lastPercent_ = 0;
  int lastRow_ = 0;
};

// A JPEG file as an image of the drawing layer: loading copies the file and reads its header;
// the pixels are decoded into a TBitmap the first time they are asked for.
class TJPEGImage {
 public:
  // Nested so that it cannot collide with the raster images' own progress types.
  enum class TProgressStage : uint8_t { psStarting, psRunning, psEnding };
  using TProgressEvent = std::function<void(TProgressStage stage, uint8_t percentDone,
                                            bool redrawNow, const TRect& rect,
                                            const std::string& message)>;
  using TNotifyEvent = std::function<void()>;
  using TTickSource = std::function<int64_t()>;

  TJPEGImage();
  TJPEGImage(const TJPEGImage&) = delete;
  TJPEGImage& operator=(const TJPEGImage&) = delete;
  ~TJPEGImage();

  void LoadFromFile(const std::string& path);
  // Reads from the stream's position to its end.
  void LoadFromStream(TStream& stream);
  // Replaces the data with size bytes of stream; a short stream raises "Stream read error".
  void ReadStream(int64_t size, TStream& stream);

  int Width() const;
  int Height() const;
  bool Empty() const;
  [[noreturn]] void SetWidth(int width);
  [[noreturn]] void SetHeight(int height);

  void Assign(const TJPEGImage& source);
  void Assign(const TBitmap& source);

  // The decoded pixels, decoding on first use. A decode that fails leaves what it wrote as the
  // decoded bitmap.
  const TBitmap& Bitmap();
  bool Decoded() const { return bitmap_ != nullptr; }
  void DecodeBitmap();

  // Settings, copied from JPEGDefaults() at construction.
  TJPEGScale Scale = jsFullSize;
  bool Smoothing = true;
  bool Grayscale = false;
  TJPEGPerformance Performance = jpBestQuality;
  TJPEGPixelFormat PixelFormat = jf24Bit;
  bool ProgressiveDisplay = false;
  bool ProgressiveEncoding = false;
  int CompressionQuality = 90;
  // The file's CMYK profile as a transform to sRGB: CMYK samples go through it instead of the
  // ink formula. nullptr keeps the formula.
  std::shared_ptr<const TIccTransform> CmykTransform;

  const TJPEGData& Data() const { return *data_; }
  std::shared_ptr<const TJPEGData> SharedData() const { return data_; }

  bool PaletteModified() const { return paletteModified_; }
  void SetPaletteModified(bool modified) { paletteModified_ = modified; }

  TProgressEvent OnProgress;
  TNotifyEvent OnChange;
  // Milliseconds of a monotonic clock; replaceable so the progress throttle can be tested.
  TTickSource TickSource;

 private:
  friend class JpegBitmapDecoder;

  void ReadHeader();
  void Changed();
  void Progress(TProgressStage stage, uint8_t percent, bool redrawNow, const TRect& rect);

  std::shared_ptr<TJPEGData> data_;
  std::unique_ptr<TBitmap> bitmap_;
  bool paletteModified_ = false;
};

// Builds a palette from libjpeg's colour map (component 0 blue, 1 green, 2 red; one component for
// greyscale).
TPalette ColorMapToPalette(const uint8_t* const* colorMap, int colorCount, bool grayscale);

}  // namespace tablora
