#include "imaging/raster_graphic.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/format.h"
#include "imaging/image_limits.h"

namespace tablora {

void RaiseImageError(const std::string& message) { throw EInvalidGraphic(message); }

void RaiseImageErrorFmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char buffer[512];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  throw EInvalidGraphic(buffer);
}

void UndoHorizontalDifferencing(uint8_t* row, uint32_t pixels, unsigned stride) {
  const uint64_t n = uint64_t{pixels} * stride;
  for (uint64_t i = 0; i < n; ++i) row[i + stride] = static_cast<uint8_t>(row[i + stride] + row[i]);
}

void TRasterGraphic::Assign(const TBitmap& source) {
  if (const auto* raster = dynamic_cast<const TRasterGraphic*>(&source)) {
    ImageProperties = raster->ImageProperties;
  }
  TBitmap::Assign(source);
}

bool TRasterGraphic::CanLoad(const std::string& fileName) {
  TFileStream file(fileName);
  return CanLoad(file);
}

bool TRasterGraphic::CanLoad(TStream&) { return false; }

bool TRasterGraphic::ReadImageProperties(TStream&, uint32_t) {
  ImageProperties = TImageProperties{};
  return false;
}

namespace {

// The ending notification goes out on every path out of a load, the exceptional ones included,
// and the borrowed stream is forgotten.
class TLoadGuard {
 public:
  explicit TLoadGuard(TRasterGraphic& graphic, std::function<void()> ending)
      : graphic_(graphic), ending_(std::move(ending)) {}
  ~TLoadGuard() {
    graphic_.Stream = nullptr;
    try {
      ending_();
    } catch (...) {
      // An observer that fails while a load unwinds must not end the program.
    }
  }
  TLoadGuard(const TLoadGuard&) = delete;
  TLoadGuard& operator=(const TLoadGuard&) = delete;

 private:
  TRasterGraphic& graphic_;
  std::function<void()> ending_;
};

}  // namespace

void TRasterGraphic::LoadFromStream(TStream& stream) {
  ReleaseContents();
  SetTransparent(false);
  // Every load starts from a colour manager in its default state: gamma, options or weights of
  // an earlier file must not carry into this one.
  ColorManager = TColorManager();
  ColorManager.SetCmykTransform(CmykTransform);
  const int64_t start = stream.Position();
  BasePosition = static_cast<uint32_t>(start);
  Stream = &stream;
  TLoadGuard guard(*this, [this] { EndPhase(); });
  try {
    if (!ReadImageProperties(stream, 0)) InvalidImage();
    stream.SetPosition(start);
    ProgressRect = Rect(0, 0, static_cast<int32_t>(std::min<uint32_t>(ImageProperties.Width, INT32_MAX)), 1);
    StartPhase(kPreparing);
    TStreamBytes bytes(stream);
    TByteReader data(bytes.Bytes());
    Decode(data);
    stream.SetPosition(start + static_cast<int64_t>(data.Position()));
  } catch (const EReadError&) {
    FormatError(gesStreamReadError);
  } catch (const std::bad_alloc&) {
    throw EInvalidGraphic("Out of memory");
  }
}

void TRasterGraphic::Progress(TProgressStage stage, uint8_t percent, bool redraw,
                              const std::string& msg) {
  if (OnProgress) OnProgress(*this, stage, percent, redraw, ProgressRect, msg);
}

void TRasterGraphic::RowProgress(uint64_t rowsDone, uint64_t total) {
  CheckCancel();
  const uint64_t percent = total == 0 ? 100 : (rowsDone * 100 + total / 2) / total;
  Progress(psRunning, static_cast<uint8_t>(std::min<uint64_t>(percent, 100)), true, "");
  ProgressRect.Top += 1;
  ProgressRect.Bottom += 1;
}

void TRasterGraphic::InvalidImage() const { RaiseImageErrorFmt(gesInvalidImage, FormatName()); }

void TRasterGraphic::FormatError(const char* format) const { RaiseImageErrorFmt(format, FormatName()); }

void TRasterGraphic::SizeBitmap(uint32_t width, uint32_t height, TPixelFormat format) {
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) InvalidImage();
  CheckImageSize(width, height, static_cast<unsigned>(BitsPerPixelOf(format)));
  SetPixelFormat(format);
  SetSize(static_cast<int>(width), static_cast<int>(height));
}

void TRasterGraphic::ConvertInto(uint32_t y, TColorManager::TRowSpans sources, uint8_t mask,
                                 uint32_t count) {
  ColorManager.ConvertRow(sources, Row(y), std::min<uint32_t>(count, static_cast<uint32_t>(Width())),
                          mask);
}

uint32_t TGifInterlace::RowOf(uint32_t n) const {
  // Rows in passes 1..4 of a height-row image: ceil((h - start) / step) each.
  const uint32_t h = height_;
  const uint32_t pass1 = (h + 7) / 8;
  if (n < pass1) return n * 8;
  n -= pass1;
  const uint32_t pass2 = h > 4 ? (h - 4 + 7) / 8 : 0;
  if (n < pass2) return 4 + n * 8;
  n -= pass2;
  const uint32_t pass3 = h > 2 ? (h - 2 + 3) / 4 : 0;
  if (n < pass3) return 2 + n * 4;
  n -= pass3;
  return 1 + n * 2;
}

}  // namespace tablora
