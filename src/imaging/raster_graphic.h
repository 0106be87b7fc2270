#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/byte_reader.h"
#include "imaging/color_manager.h"
#include "imaging/types.h"

namespace tablora {

enum TCompressionType : uint8_t {
  ctUnknown = 0,
  ctNone = 1,
  ctRLE = 2,
  ctPackBits = 3,
  ctLZW = 4,
  ctFax3 = 5,
  ctFaxRLE = 6,
  ctFax4 = 7,
  ctFaxRLEW = 8,
  ctLZ77 = 9,
  ctJPEG = 10,
  ctOldJPEG = 11,
  ctThunderScan = 12,
  ctNeXT = 13,
  ctIT8CTPad = 14,
  ctIT8LineWork = 15,
  ctIT8Picture = 16,
  ctIT8BinaryLineArt = 17,
  ctPixarFilm = 18,
  ctPixarLog = 19,
  ctDCS = 20,
  ctJBIG = 21,
  ctPhotoCDHuffman = 22,
};

// Bit values of TImageOptions.
enum TImageOption : uint8_t {
  ioTiled = 1,
  ioBigEndian = 2,
  ioMinIsWhite = 4,
  ioReversedBits = 8,
  ioUseGamma = 16,
};
using TImageOptions = uint8_t;

using TCardinalArray = std::vector<uint32_t>;
using TByteArray = std::vector<uint8_t>;

// The header values of the image last read.
struct TImageProperties {
  uint32_t Version = 0;
  TImageOptions Options = 0;
  uint32_t Width = 0;
  uint32_t Height = 0;
  TColorScheme ColorScheme = csUnknown;
  uint8_t BitsPerSample = 0;
  uint8_t SamplesPerPixel = 0;
  uint8_t BitsPerPixel = 0;
  TCompressionType Compression = ctUnknown;
  float FileGamma = 1.0f;
  float XResolution = 0;
  float YResolution = 0;
  bool Interlaced = false;
  bool HasAlpha = false;
  uint32_t FirstIFD = 0;
  uint32_t PlanarConfig = 0;
  uint32_t CurrentRow = 0;
  uint32_t TileWidth = 0;
  uint32_t TileLength = 0;
  uint32_t BytesPerLine = 0;
  TCardinalArray RowsPerStrip;
  TByteArray YCbCrSubsampling;
  TByteArray JPEGTables;
  uint32_t JPEGColorMode = 0;
  uint32_t JPEGTablesMode = 0;
  uint32_t CurrentStrip = 0;
  uint32_t StripCount = 0;
  uint32_t Predictor = 0;
  bool Overview = false;
  uint8_t Rotate = 0;
  uint16_t ImageCount = 0;
  bool LocalColorTable = false;
  bool BottomUp = false;
  uint8_t Channels = 0;
  uint8_t FilterMode = 0;
};

enum TProgressStage : uint8_t { psStarting = 0, psRunning = 1, psEnding = 2 };

class TRasterGraphic;

// What a load reports as it goes. An observer may throw (EAbort, say) to stop the load; the
// reader then releases what it holds and lets the exception go on.
using TProgressEvent = std::function<void(TRasterGraphic& sender, TProgressStage stage,
                                          uint8_t percentDone, bool redrawNow, const TRect& rect,
                                          const std::string& msg)>;

// Phase texts of progress notifications.
inline constexpr const char* kPreparing = "Preparing...";
inline constexpr const char* kLoadingData = "Loading data...";
inline constexpr const char* kUpsampling = "Upsampling...";
inline constexpr const char* kTransfering = "Transfering...";

// The library's messages; %s is the format name.
inline constexpr const char* gesInvalidImage = "Cannot load image. Invalid or unexpected %s image format.";
inline constexpr const char* gesNotSupported = "Cannot load image. %s not supported for %s files.";
inline constexpr const char* gesCompressionScheme = "The compression scheme is";
inline constexpr const char* gesInvalidColorFormat = "Invalid color format in %s file.";
inline constexpr const char* gesStreamReadError = "Stream read error in %s file.";
inline constexpr const char* gesInvalidCRC = "Cannot load image. CRC error found in %s file.";
inline constexpr const char* gesCompression = "Cannot load image. Compression error found in %s file.";
inline constexpr const char* gesExtraCompressedData =
    "Cannot load image. Extra compressed data found in %s file.";
inline constexpr const char* gesInvalidPalette = "Cannot load image. Palette in %s file is invalid.";
inline constexpr const char* gesUnknownCriticalChunk =
    "Cannot load PNG image. Unexpected but critical chunk detected.";

[[noreturn]] void RaiseImageError(const std::string& message);
[[noreturn]] void RaiseImageErrorFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

// For i = 0 .. n·stride − 1: row[i + stride] += row[i] (mod 256); undoes horizontal differencing.
void UndoHorizontalDifferencing(uint8_t* row, uint32_t pixels, unsigned stride);

// The common base of the library's readers. LoadFromStream runs the load protocol once for all
// of them; a reader supplies its header parsing (ReadImageProperties) and its decoding (Decode).
class TRasterGraphic : public TBitmap {
 public:
  TRasterGraphic() = default;
  ~TRasterGraphic() override = default;

  void Assign(const TBitmap& source) override;

  // Whether the named file holds an image of this reader's format.
  bool CanLoad(const std::string& fileName);
  // Whether the stream holds one at its position; the position is restored either way.
  virtual bool CanLoad(TStream& stream);
  // Resets the record (FileGamma 1.0); readers then parse their header and answer whether it is
  // valid. imageIndex selects an image of a multi-image file.
  virtual bool ReadImageProperties(TStream& stream, uint32_t imageIndex);

  void LoadFromStream(TStream& stream) final;

  // Name used in the library's messages ("PNG", "GIF", "TIF/TIFF", "PSD or PDD").
  virtual const char* FormatName() const = 0;

  TColorManager ColorManager;
  // Set before a load: CMYK pictures convert through it instead of the ink formula (see
  // TColorManager::SetCmykTransform). Kept across loads, unlike the colour manager's set-up.
  std::shared_ptr<const TIccTransform> CmykTransform;
  TImageProperties ImageProperties;
  uint32_t BasePosition = 0;
  TStream* Stream = nullptr;
  TRect ProgressRect;
  TProgressEvent OnProgress;

 protected:
  // Decodes the image whose properties were just read. data holds the file's bytes from
  // BasePosition to the end; the reader configures the colour manager, sizes the bitmap and
  // fills its rows. Sizes from the file go through CheckImageSize before anything is allocated.
  virtual void Decode(TByteReader& data) = 0;

  void Progress(TProgressStage stage, uint8_t percent, bool redraw, const std::string& msg);
  void StartPhase(const char* text) { Progress(psStarting, 0, false, text); }
  void EndPhase() { Progress(psEnding, 0, false, ""); }
  // Running notification after rowsDone of total rows; ProgressRect moves down one row. Every
  // reader calls it once per row, which is where a load notices a cancel request (EAbort).
  void RowProgress(uint64_t rowsDone, uint64_t total);

  [[noreturn]] void InvalidImage() const;
  [[noreturn]] void FormatError(const char* format) const;

  // Sets pixel format and size from the colour manager's target after checking the size limit.
  void SizeBitmap(uint32_t width, uint32_t height, TPixelFormat format);
  // Converts one decoded row into bitmap row y through the bounded conversion.
  void ConvertInto(uint32_t y, TColorManager::TRowSpans sources, uint8_t mask = 0xFF,
                   uint32_t count = UINT32_MAX);
  std::span<uint8_t> Row(uint32_t y) { return {ScanLine(static_cast<int>(y)), RowSize()}; }
};

// Row order of interlaced images: which bitmap row, and which pixels of it, each decoded row
// fills, and how many pixels it holds.
struct TRowPlace {
  uint32_t row = 0;
  uint32_t pixels = 0;
  uint8_t mask = 0xFF;
};

// GIF's four passes: rows 0, 8, 16.., then 4, 12.., then 2, 6.., then 1, 3...
class TGifInterlace {
 public:
  explicit TGifInterlace(uint32_t height) : height_(height) {}
  // Bitmap row of the n-th stored row (n < height).
  uint32_t RowOf(uint32_t n) const;

 private:
  uint32_t height_;
};

// PNG's seven Adam7 passes.
struct TAdam7Pass {
  uint32_t xStart, yStart, xStep, yStep;
  uint8_t mask;  // pixels of the pass within a group of eight, bit 7 first
};
inline constexpr TAdam7Pass kAdam7[7] = {
    {0, 0, 8, 8, 0x80}, {4, 0, 8, 8, 0x08}, {0, 4, 4, 8, 0x88}, {2, 0, 4, 4, 0x22},
    {0, 2, 2, 4, 0xAA}, {1, 0, 2, 2, 0x55}, {0, 1, 1, 2, 0xFF}};
// Columns and rows of a pass over a width × height image (0 when the pass is empty).
inline uint32_t Adam7Columns(const TAdam7Pass& p, uint32_t width) {
  return width > p.xStart ? (width - p.xStart + p.xStep - 1) / p.xStep : 0;
}
inline uint32_t Adam7Rows(const TAdam7Pass& p, uint32_t height) {
  return height > p.yStart ? (height - p.yStart + p.yStep - 1) / p.yStep : 0;
}

}  // namespace tablora
