#include "imaging/readers/jpeg_image.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <vector>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/icc_transform.h"
#include "imaging/image_limits.h"
#include "imaging/readers/jpeg_dc_image.h"
#include "imaging/readers/jpeg_decompressor.h"

namespace tablora {

namespace {

int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

unsigned ScaleDenominator(TJPEGScale scale) {
  switch (scale) {
    case jsHalf: return 2;
    case jsQuarter: return 4;
    case jsEighth: return 8;
    default: return 1;
  }
}

// Exact round(v / 255) for v <= 255 * 255.
inline uint8_t Div255(unsigned v) {
  v += 128;
  return static_cast<uint8_t>((v + (v >> 8)) >> 8);
}

// libjpeg hands CMYK through untouched. Adobe's applications store the samples inverted
// (0 = full ink) and mark such files with their APP14 marker; files without it store ink amounts.
void CmykRowToBgr(const uint8_t* cmyk, uint8_t* bgr, unsigned width, bool inverted) {
  const uint8_t flip = inverted ? 0 : 0xFF;
  for (unsigned x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const unsigned c = cmyk[0] ^ flip, m = cmyk[1] ^ flip, y = cmyk[2] ^ flip, k = cmyk[3] ^ flip;
    bgr[0] = Div255(y * k);
    bgr[1] = Div255(m * k);
    bgr[2] = Div255(c * k);
  }
}

// libjpeg asks for at most max_v_samp_factor (<= 4) lines per call.
constexpr int kMaxLinesPerCall = 16;

}  // namespace

TJPEGDefaults& JPEGDefaults() {
  static TJPEGDefaults defaults;
  return defaults;
}

TJPEGPixelFormat JPEGPixelFormatForScreen(int bitsPerPixelTimesPlanes) {
  return bitsPerPixelTimesPlanes <= 8 ? jf8Bit : jf24Bit;
}

bool TJPEGProgressThrottle::Update(int64_t nowMs, const Counters& counters, Report& report) {
  if (nowMs - lastTime_ < kIntervalMs) return false;
  const int64_t previous = lastTime_;
  lastTime_ = nowMs;
  if (previous == 0) return false;
  if (counters.totalPasses <= 0) return false;

  TRect rect = Rect(0, lastRow_, counters.outputWidth, counters.outputScanline);
  // A new pass starts again at the top: the rest of the image is what changed.
  if (rect.Bottom < lastRow_) rect.Bottom = counters.outputHeight;

  const double passFraction = counters.passLimit > 0 ? static_cast<double>(counters.passCounter) /
                                                           static_cast<double>(counters.passLimit)
                                                     : 0.0;
  const double done = (passFraction + counters.completedPasses) * 100.0 / counters.totalPasses;
  const int percent = static_cast<int>(std::clamp<long>(std::lround(done), 0, 100));
  if (percent == lastPercent_) return false;
  lastPercent_ = percent;
  lastRow_ = counters.outputScanline;

  report.percent = percent;
  report.rect = rect;
  report.redrawNow = rect.Height() >= 4;
  return true;
}

TPalette ColorMapToPalette(const uint8_t* const* colorMap, int colorCount, bool grayscale) {
  TPalette palette;
  const int count = std::clamp(colorCount, 0, static_cast<int>(kMaxPaletteEntries));
  palette.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (grayscale) {
      const uint8_t v = colorMap[0][i];
      palette.push_back({v, v, v, 0});
    } else {
      palette.push_back({colorMap[2][i], colorMap[1][i], colorMap[0][i], 0});
    }
  }
  return palette;
}

// One decode of an image's data into its bitmap.
class JpegBitmapDecoder {
 public:
  JpegBitmapDecoder(TJPEGImage& image, TBitmap& bitmap) : image_(image), bitmap_(bitmap) {
    decompressor_.SetProgressListener([this] { return ReportProgress(); });
  }

  void Decode();

 private:
  void Configure();
  void ChooseScale();
  bool DecodeDcOnly();
  void ReadRows();
  void SendEnding(uint8_t percent);
  bool ReportProgress() noexcept;

  TJPEGImage& image_;
  TBitmap& bitmap_;
  JpegDecompressor decompressor_;
  TJPEGProgressThrottle throttle_;
  bool cmyk_ = false;
  bool invertedCmyk_ = false;
  bool quantize_ = false;
  std::vector<uint8_t> cmykRows_;
};

void JpegBitmapDecoder::Decode() {
  jpeg_decompress_struct& info = decompressor_.Info();
  const std::vector<uint8_t>& bytes = image_.data_->Data.Bytes();
  decompressor_.SetSource(bytes.data(), bytes.size());
  decompressor_.Run([&] {
    jpeg_read_header(&info, TRUE);
    Configure();
  });
  ChooseScale();

  bitmap_.ReleaseContents();
  bitmap_.SetPixelFormat(quantize_ ? pf8bit : pf24bit);
  image_.Progress(TJPEGImage::TProgressStage::psStarting, 0, false, TRect{});
  try {
    // The bitmap and libjpeg's whole-image buffers are charged before libjpeg allocates anything
    // large, so an image too costly for the memory budget fails before it takes the memory.
    bitmap_.SetSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    JpegDecompressor::CheckScanWork(image_.data_->Data.Bytes(), info);
    if (DecodeDcOnly()) {
      SendEnding(100);
      return;
    }
    decompressor_.ChargeWholeImage();
    decompressor_.Run([&] { jpeg_start_decompress(&info); });
    bitmap_.SetSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    if (info.quantize_colors && info.colormap != nullptr) {
      bitmap_.SetPalette(ColorMapToPalette(info.colormap, info.actual_number_of_colors,
                                           info.out_color_space == JCS_GRAYSCALE));
      image_.paletteModified_ = true;
    }
    if (cmyk_) {
      cmykRows_.resize(std::size_t{info.output_width} * 4 *
                       static_cast<std::size_t>(std::min(info.rec_outbuf_height, kMaxLinesPerCall)));
    }
    decompressor_.Run([&] {
      ReadRows();
      jpeg_finish_decompress(&info);
    });
    if (cmyk_ && image_.PixelFormat == jf8Bit) bitmap_.SetPixelFormat(pf8bit);
  } catch (...) {
    try {
      SendEnding(0);
    } catch (...) {
      // The decode's own failure is the one the caller needs to see.
    }
    throw;
  }
  SendEnding(100);
}

// Runs inside the decompressor: no objects with destructors here.
void JpegBitmapDecoder::Configure() {
  jpeg_decompress_struct& info = decompressor_.Info();
  cmyk_ = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  invertedCmyk_ = cmyk_ && info.saw_Adobe_marker;
  if (cmyk_) {
    // libjpeg has no CMYK-to-RGB conversion: take CMYK and convert the rows ourselves. Forced
    // greyscale does not apply, since libjpeg cannot make grey from CMYK either.
    info.out_color_space = JCS_CMYK;
  } else if (image_.Grayscale) {
    info.out_color_space = JCS_GRAYSCALE;
  } else if (info.out_color_space == JCS_RGB) {
    info.out_color_space = JCS_EXT_BGR;
  }
  info.do_block_smoothing = image_.Smoothing ? TRUE : FALSE;
  info.dct_method = image_.Performance == jpBestSpeed ? JDCT_IFAST : JDCT_FLOAT;
  quantize_ = !cmyk_ && (image_.PixelFormat == jf8Bit || info.out_color_space == JCS_GRAYSCALE);
  if (quantize_) {
    info.quantize_colors = TRUE;
    info.desired_number_of_colors = kJPEGQuantizedColors;
  }
}

// A picture too large for the limit at full size (its bitmap, or libjpeg's picture for two-pass
// quantisation), or for the memory budget together with libjpeg's whole-image buffers (the
// coefficients of a progressive file do not shrink with the scale), is shown smaller rather than
// not at all.
void JpegBitmapDecoder::ChooseScale() {
  jpeg_decompress_struct& info = decompressor_.Info();
  const unsigned bits = quantize_ ? 8 : 24;
  const TMemoryBudget* budget = TMemoryBudget::Current();
  for (unsigned denominator = ScaleDenominator(image_.Scale);; denominator *= 2) {
    info.scale_num = 1;
    info.scale_denom = denominator;
    const uint64_t wholeImage = decompressor_.WholeImageBytes();
    if (FitsImageSizeLimit(info.output_width, info.output_height, bits) && wholeImage <= ImageSizeLimit()) {
      const uint64_t bitmap =
          AlignedRowSize(info.output_width, bits).value_or(0) * uint64_t{info.output_height};
      if (budget == nullptr || bitmap + wholeImage <= budget->Available()) return;
    }
    if (denominator >= 8) break;
  }
  CheckImageSize(info.output_width, info.output_height, bits);
}

// A progressive colour photograph at 1/8 comes from its DC scans alone, without the buffer of all
// its coefficients that libjpeg would fill; anything that way of decoding does not take goes to
// libjpeg.
bool JpegBitmapDecoder::DecodeDcOnly() {
  const jpeg_decompress_struct& info = decompressor_.Info();
  if (!info.progressive_mode || info.arith_code || info.data_precision != 8 || info.num_components != 3 ||
      info.jpeg_color_space != JCS_YCbCr || info.out_color_space != JCS_EXT_BGR || quantize_ || cmyk_ ||
      info.scale_num != 1 || info.scale_denom != 8) {
    return false;
  }
  JpegDcFrame frame;
  frame.width = info.image_width;
  frame.height = info.image_height;
  for (int i = 0; i < info.num_components; ++i) {
    const jpeg_component_info& c = info.comp_info[i];
    frame.components.push_back({c.component_id, c.h_samp_factor, c.v_samp_factor, c.quant_tbl_no,
                                c.width_in_blocks, c.height_in_blocks});
  }
  const std::vector<uint8_t>& bytes = image_.data_->Data.Bytes();
  uint8_t* const pixels = bitmap_.Bits();
  const std::size_t stride = bitmap_.RowSize();
  return DecodeJpegDcOnly(
      bytes, frame, [&](uint32_t y) { return pixels + stride * y; }, [] { CheckCancel(); });
}

// Runs inside the decompressor: no objects with destructors here. libjpeg writes straight into
// the bitmap's rows, except CMYK, which goes through a few rows of scratch space.
void JpegBitmapDecoder::ReadRows() {
  jpeg_decompress_struct& info = decompressor_.Info();
  uint8_t* const pixels = bitmap_.Bits();
  const std::size_t stride = bitmap_.RowSize();
  const std::size_t cmykStride = std::size_t{info.output_width} * 4;
  const auto linesPerCall =
      static_cast<JDIMENSION>(std::clamp(info.rec_outbuf_height, 1, kMaxLinesPerCall));
  JSAMPROW rows[kMaxLinesPerCall];
  while (info.output_scanline < info.output_height) {
    const JDIMENSION first = info.output_scanline;
    const JDIMENSION count = std::min(linesPerCall, info.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) {
      rows[i] = cmyk_ ? cmykRows_.data() + cmykStride * i : pixels + stride * (first + i);
    }
    const JDIMENSION read = jpeg_read_scanlines(&info, rows, count);
    if (read == 0) break;
    if (cmyk_ && image_.CmykTransform) {
      for (JDIMENSION i = 0; i < read; ++i) {
        // The profile takes ink amounts; Adobe's inverted samples are turned back first.
        if (invertedCmyk_) {
          for (std::size_t b = 0; b < cmykStride; ++b) rows[i][b] = static_cast<uint8_t>(~rows[i][b]);
        }
        image_.CmykTransform->ConvertCmyk(rows[i], pixels + stride * (first + i), info.output_width);
      }
    } else if (cmyk_) {
      for (JDIMENSION i = 0; i < read; ++i) {
        CmykRowToBgr(rows[i], pixels + stride * (first + i), info.output_width, invertedCmyk_);
      }
    }
  }
}

void JpegBitmapDecoder::SendEnding(uint8_t percent) {
  image_.Progress(TJPEGImage::TProgressStage::psEnding, percent, image_.paletteModified_, TRect{});
  if (image_.paletteModified_) image_.Changed();
}

// Called from inside libjpeg: whatever the listener throws is parked and rethrown by Run().
bool JpegBitmapDecoder::ReportProgress() noexcept {
  try {
    if (!image_.OnProgress) return true;
    const jpeg_decompress_struct& info = decompressor_.Info();
    TJPEGProgressThrottle::Counters counters;
    const jpeg_progress_mgr& monitor = decompressor_.ProgressCounters();
    counters.passCounter = monitor.pass_counter;
    counters.passLimit = monitor.pass_limit;
    counters.completedPasses = monitor.completed_passes;
    counters.totalPasses = monitor.total_passes;
    counters.outputScanline = static_cast<int>(info.output_scanline);
    counters.outputWidth = static_cast<int>(info.output_width);
    counters.outputHeight = static_cast<int>(info.output_height);
    const int64_t now = image_.TickSource ? image_.TickSource() : SteadyMilliseconds();
    TJPEGProgressThrottle::Report report;
    if (throttle_.Update(now, counters, report)) {
      image_.Progress(TJPEGImage::TProgressStage::psRunning, static_cast<uint8_t>(report.percent),
                      report.redrawNow, report.rect);
    }
    return true;
  } catch (...) {
    decompressor_.ParkException(std::current_exception());
    return false;
  }
}

TJPEGImage::TJPEGImage() : data_(std::make_shared<TJPEGData>()) {
  const TJPEGDefaults& defaults = JPEGDefaults();
  Scale = defaults.Scale;
  Smoothing = defaults.Smoothing;
  Grayscale = defaults.Grayscale;
  Performance = defaults.Performance;
  PixelFormat = defaults.PixelFormat;
  ProgressiveDisplay = defaults.ProgressiveDisplay;
  ProgressiveEncoding = defaults.ProgressiveEncoding;
  CompressionQuality = defaults.CompressionQuality;
}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::LoadFromFile(const std::string& path) {
  TFileStream file(path);
  LoadFromStream(file);
}

void TJPEGImage::LoadFromStream(TStream& stream) { ReadStream(stream.Remaining(), stream); }

void TJPEGImage::ReadStream(int64_t size, TStream& stream) {
  data_ = std::make_shared<TJPEGData>();
  bitmap_.reset();
  if (size < 0) throw EReadError();
  CheckFileDataSize(static_cast<uint64_t>(size));
  try {
    auto data = std::make_shared<TJPEGData>();
    data->DataCharge.Set(static_cast<uint64_t>(size));
    data->Data.CopyFrom(stream, static_cast<std::size_t>(size));
    data_ = std::move(data);
  } catch (const std::bad_alloc&) {
    throw EInvalidGraphic("Out of memory");
  }
  if (size > 0) ReadHeader();
  paletteModified_ = true;
  Changed();
}

void TJPEGImage::ReadHeader() {
  JpegDecompressor decompressor;
  jpeg_decompress_struct& info = decompressor.Info();
  const std::vector<uint8_t>& bytes = data_->Data.Bytes();
  decompressor.SetSource(bytes.data(), bytes.size());
  decompressor.Run([&] { jpeg_read_header(&info, TRUE); });
  data_->Width = static_cast<int32_t>(info.image_width);
  data_->Height = static_cast<int32_t>(info.image_height);
  data_->Grayscale = info.jpeg_color_space == JCS_GRAYSCALE;
  data_->Cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  ProgressiveEncoding = jpeg_has_multiple_scans(&info) != 0;
}

int TJPEGImage::Width() const { return bitmap_ ? bitmap_->Width() : data_->Width; }
int TJPEGImage::Height() const { return bitmap_ ? bitmap_->Height() : data_->Height; }

bool TJPEGImage::Empty() const {
  return data_->Data.Size() == 0 && (!bitmap_ || bitmap_->Empty());
}

void TJPEGImage::SetWidth(int) {
  throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

void TJPEGImage::SetHeight(int) {
  throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

void TJPEGImage::Assign(const TJPEGImage& source) {
  if (&source == this) return;
  data_ = source.data_;
  bitmap_ = source.bitmap_ ? std::make_unique<TBitmap>(*source.bitmap_) : nullptr;
  Changed();
}

void TJPEGImage::Assign(const TBitmap& source) {
  data_ = std::make_shared<TJPEGData>();
  bitmap_ = std::make_unique<TBitmap>(source);
  Changed();
}

const TBitmap& TJPEGImage::Bitmap() {
  if (!bitmap_) DecodeBitmap();
  return *bitmap_;
}

void TJPEGImage::DecodeBitmap() {
  bitmap_ = std::make_unique<TBitmap>();
  try {
    JpegBitmapDecoder decoder(*this, *bitmap_);
    decoder.Decode();
  } catch (const std::bad_alloc&) {
    throw EInvalidGraphic("Out of memory");
  }
}

void TJPEGImage::Changed() {
  if (OnChange) OnChange();
}

void TJPEGImage::Progress(TProgressStage stage, uint8_t percent, bool redrawNow, const TRect& rect) {
  if (OnProgress) OnProgress(stage, percent, redrawNow, rect, std::string());
}

}  // namespace tablora
