#include "imaging/readers/webp_reader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/byte_reader.h"
#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/image_probe.h"
#include "imaging/memory_budget.h"
#include "imaging/raster_graphic.h"

namespace tablora {

namespace {

// libwebp decodes as much as it is given: feeding it in pieces is where a cancel is noticed.
constexpr std::size_t kFeedBytes = std::size_t{64} << 10;

[[noreturn]] void Invalid() { RaiseImageErrorFmt(gesInvalidImage, "WebP"); }

struct TIDecoderDelete {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};
struct TDemuxDelete {
  void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

// Decodes one bitstream into rows the caller owns, in pieces.
void DecodeInto(std::span<const uint8_t> data, WebPDecoderConfig& config) {
  std::unique_ptr<WebPIDecoder, TIDecoderDelete> decoder(WebPIDecode(nullptr, 0, &config));
  if (!decoder) Invalid();
  std::size_t fed = 0;
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  while (status == VP8_STATUS_SUSPENDED && fed < data.size()) {
    fed = std::min(data.size(), fed + kFeedBytes);
    status = WebPIUpdate(decoder.get(), data.data(), fed);
    CheckCancel();
  }
  if (status != VP8_STATUS_OK) Invalid();
}

void PointAt(WebPDecoderConfig& config, TBitmap& bitmap, int x, int y, int width, int height, bool alpha) {
  const std::size_t stride = bitmap.RowSize();
  const std::size_t pixel = alpha ? 4 : 3;
  config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.width = width;
  config.output.height = height;
  config.output.u.RGBA.rgba = bitmap.ScanLine(y) + static_cast<std::size_t>(x) * pixel;
  config.output.u.RGBA.stride = static_cast<int>(stride);
  config.output.u.RGBA.size = stride * static_cast<std::size_t>(height - 1) + static_cast<std::size_t>(width) * pixel;
}

}  // namespace

bool IsWebP(std::span<const uint8_t> file) {
  return file.size() >= 12 && std::memcmp(file.data(), "RIFF", 4) == 0 &&
         std::memcmp(file.data() + 8, "WEBP", 4) == 0;
}

std::optional<TImageHeader> ProbeWebP(std::span<const uint8_t> file) {
  if (!IsWebP(file)) return std::nullopt;
  TImageHeader header;
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(file.data(), file.size(), &features) == VP8_STATUS_OK && features.width > 0 &&
      features.height > 0) {
    header.width = static_cast<uint32_t>(features.width);
    header.height = static_cast<uint32_t>(features.height);
    header.anyScale = !features.has_animation;
  }
  // The chunks after the header: an EXIF one holds a TIFF structure (some writers put "Exif\0\0"
  // before it).
  try {
    TByteReader in(file);
    in.Seek(12);
    while (in.Remaining() >= 8) {
      const std::span<const uint8_t> type = in.Bytes(4);
      const uint32_t length = in.U32LE();
      const std::span<const uint8_t> data = in.BytesUpTo(length);
      if (length % 2 == 1 && in.Remaining() > 0) in.Skip(1);
      if (std::memcmp(type.data(), "EXIF", 4) != 0) continue;
      const bool prefixed = data.size() > 6 && std::memcmp(data.data(), "Exif\0\0", 6) == 0;
      header.orientation = TiffStructureOrientation(prefixed ? data.subspan(6) : data);
      break;
    }
  } catch (const EReadError&) {
  }
  return header;
}

void TWebPReader::Load(std::span<const uint8_t> file) {
  file_ = file;
  WebPBitstreamFeatures features;
  if (!IsWebP(file) || WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK ||
      features.width <= 0 || features.height <= 0) {
    Invalid();
  }
  width_ = features.width;
  height_ = features.height;
  alpha_ = features.has_alpha != 0;
  animated_ = features.has_animation != 0;
  lossless_ = features.format == 2;
  decodeWidth_ = static_cast<uint32_t>(width_);
  decodeHeight_ = static_cast<uint32_t>(height_);
  // The size limit holds for the stored size, whatever size is decoded later.
  CheckImageSize(width_, height_, alpha_ || animated_ ? 32 : 24);
}

void TWebPReader::PrepareFor(int32_t width, int32_t height) {
  if (animated_ || decoded_) return;
  TImageHeader header;
  header.width = static_cast<uint32_t>(width_);
  header.height = static_cast<uint32_t>(height_);
  header.anyScale = true;
  std::tie(decodeWidth_, decodeHeight_) = DecodeSizeFor(header, width, height);
}

const TBitmap& TWebPReader::Pixels() {
  if (!decoded_) {
    if (width_ <= 0 || height_ <= 0) Invalid();
    if (animated_) {
      DecodeFirstFrame();
    } else {
      Decode();
    }
    decoded_ = true;
  }
  return bitmap_;
}

void TWebPReader::Decode() {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) Invalid();
  const bool scaled = decodeWidth_ != static_cast<uint32_t>(width_) || decodeHeight_ != static_cast<uint32_t>(height_);
  if (scaled) {
    config.options.use_scaling = 1;
    config.options.scaled_width = static_cast<int>(decodeWidth_);
    config.options.scaled_height = static_cast<int>(decodeHeight_);
  }
  // Lossless pictures are decoded whole into libwebp's own ARGB buffer before they are scaled;
  // lossy ones a few macroblock rows at a time.
  TMemoryCharge work(lossless_ ? uint64_t{4} * static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_)
                               : uint64_t{64} * static_cast<uint64_t>(width_));
  const unsigned bits = alpha_ ? 32 : 24;
  CheckImageSize(decodeWidth_, decodeHeight_, bits);
  bitmap_.SetPixelFormat(alpha_ ? pf32bit : pf24bit);
  bitmap_.SetSize(static_cast<int>(decodeWidth_), static_cast<int>(decodeHeight_));
  bitmap_.SetAlphaChannel(alpha_);
  PointAt(config, bitmap_, 0, 0, static_cast<int>(decodeWidth_), static_cast<int>(decodeHeight_), alpha_);
  try {
    DecodeInto(file_, config);
  } catch (...) {
    bitmap_.ReleaseContents();
    throw;
  }
}

void TWebPReader::DecodeFirstFrame() {
  const WebPData data{file_.data(), file_.size()};
  std::unique_ptr<WebPDemuxer, TDemuxDelete> demux(WebPDemux(&data));
  if (!demux) Invalid();
  WebPIterator frame;
  if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) Invalid();
  const int x = frame.x_offset;
  const int y = frame.y_offset;
  const int w = frame.width;
  const int h = frame.height;
  const std::span<const uint8_t> bits(frame.fragment.bytes, frame.fragment.size);
  WebPDemuxReleaseIterator(&frame);
  if (w <= 0 || h <= 0 || x < 0 || y < 0 || x > width_ - w || y > height_ - h) Invalid();
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(bits.data(), bits.size(), &features) != VP8_STATUS_OK) Invalid();
  TMemoryCharge work(features.format == 2 ? uint64_t{4} * static_cast<uint64_t>(w) * static_cast<uint64_t>(h)
                                          : uint64_t{64} * static_cast<uint64_t>(w));
  // The frame over a transparent canvas: what the first frame leaves uncovered is not there yet.
  bitmap_.SetPixelFormat(pf32bit);
  bitmap_.SetSize(width_, height_);
  bitmap_.SetAlphaChannel(true);
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) Invalid();
  PointAt(config, bitmap_, x, y, w, h, true);
  try {
    DecodeInto(bits, config);
  } catch (...) {
    bitmap_.ReleaseContents();
    throw;
  }
}

}  // namespace tablora
