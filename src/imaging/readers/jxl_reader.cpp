#include "imaging/readers/jxl_reader.h"

#include <jxl/decode.h>

#include <algorithm>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/raster_graphic.h"

namespace tablora {

namespace {

// libjxl decodes what it has been given so far: feeding it in pieces is where a cancel is noticed.
constexpr std::size_t kFeedBytes = std::size_t{256} << 10;

[[noreturn]] void Invalid() { RaiseImageErrorFmt(gesInvalidImage, "JPEG XL"); }

// Working memory of libjxl besides the output: about three floats a pixel for its planes.
constexpr uint64_t kWorkBytesPerPixel = 12;

struct TJxlOwner {
  TJxlOwner() : decoder(JxlDecoderCreate(nullptr)) {}
  ~TJxlOwner() {
    if (decoder != nullptr) JxlDecoderDestroy(decoder);
  }
  TJxlOwner(const TJxlOwner&) = delete;
  TJxlOwner& operator=(const TJxlOwner&) = delete;
  JxlDecoder* decoder;
};

}  // namespace

struct TJXLReader::TDecoder : TJxlOwner {};

bool IsJXL(std::span<const uint8_t> file) {
  const JxlSignature signature = JxlSignatureCheck(file.data(), file.size());
  return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

std::optional<TImageHeader> ProbeJXL(std::span<const uint8_t> file) {
  if (!IsJXL(file)) return std::nullopt;
  TJxlOwner decoder;
  if (decoder.decoder == nullptr || JxlDecoderSubscribeEvents(decoder.decoder, JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(decoder.decoder, file.data(), file.size()) != JXL_DEC_SUCCESS) {
    return std::nullopt;
  }
  JxlDecoderCloseInput(decoder.decoder);
  TImageHeader header;
  JxlBasicInfo info;
  if (JxlDecoderProcessInput(decoder.decoder) == JXL_DEC_BASIC_INFO &&
      JxlDecoderGetBasicInfo(decoder.decoder, &info) == JXL_DEC_SUCCESS) {
    const bool turned = info.orientation > JXL_ORIENT_ROTATE_180;
    header.width = turned ? info.ysize : info.xsize;
    header.height = turned ? info.xsize : info.ysize;
  }
  return header;
}

TJXLReader::TJXLReader() = default;
TJXLReader::~TJXLReader() = default;

int TJXLReader::Run(int wanted) {
  JxlDecoder* decoder = decoder_->decoder;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
    if (status == JXL_DEC_NEED_MORE_INPUT) {
      if (fed_ >= file_.size()) Invalid();  // the file ends before the picture
      const std::size_t unread = JxlDecoderReleaseInput(decoder);
      const std::size_t from = fed_ - unread;
      fed_ = std::min(file_.size(), fed_ + kFeedBytes);
      if (JxlDecoderSetInput(decoder, file_.data() + from, fed_ - from) != JXL_DEC_SUCCESS) Invalid();
      if (fed_ == file_.size()) JxlDecoderCloseInput(decoder);
      CheckCancel();
      continue;
    }
    if ((status & wanted) != 0 || status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) return status;
    if (status == JXL_DEC_SUCCESS || status == JXL_DEC_ERROR) Invalid();
  }
}

void TJXLReader::Load(std::span<const uint8_t> file) {
  file_ = file;
  if (!IsJXL(file)) Invalid();
  decoder_ = std::make_unique<TDecoder>();
  if (decoder_->decoder == nullptr ||
      JxlDecoderSubscribeEvents(decoder_->decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS) {
    Invalid();
  }
  fed_ = std::min(file.size(), kFeedBytes);
  if (JxlDecoderSetInput(decoder_->decoder, file.data(), fed_) != JXL_DEC_SUCCESS) Invalid();
  if (fed_ == file.size()) JxlDecoderCloseInput(decoder_->decoder);
  if (Run(JXL_DEC_BASIC_INFO) != JXL_DEC_BASIC_INFO) Invalid();
  JxlBasicInfo info;
  if (JxlDecoderGetBasicInfo(decoder_->decoder, &info) != JXL_DEC_SUCCESS) Invalid();
  const bool turned = info.orientation > JXL_ORIENT_ROTATE_180;
  const uint32_t w = turned ? info.ysize : info.xsize;
  const uint32_t h = turned ? info.xsize : info.ysize;
  if (w == 0 || h == 0 || w > INT32_MAX || h > INT32_MAX) Invalid();
  alpha_ = info.alpha_bits > 0;
  CheckImageSize(w, h, alpha_ ? 32 : 24);
  width_ = static_cast<int>(w);
  height_ = static_cast<int>(h);
}

const TBitmap& TJXLReader::Pixels() {
  if (decoded_) return bitmap_;
  if (!decoder_ || width_ <= 0) Invalid();
  JxlDecoder* decoder = decoder_->decoder;
  TMemoryCharge work(kWorkBytesPerPixel * static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_));
  // Rows straight into the bitmap: its rows are padded to 4 bytes, which libjxl can do itself.
  const JxlPixelFormat format{alpha_ ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
  try {
    if (Run(JXL_DEC_FULL_IMAGE) != JXL_DEC_NEED_IMAGE_OUT_BUFFER) Invalid();
    std::size_t size = 0;
    if (JxlDecoderImageOutBufferSize(decoder, &format, &size) != JXL_DEC_SUCCESS) Invalid();
    bitmap_.SetPixelFormat(alpha_ ? pf32bit : pf24bit);
    bitmap_.SetSize(width_, height_);
    bitmap_.SetAlphaChannel(alpha_);
    if (size != bitmap_.RowSize() * static_cast<std::size_t>(height_)) Invalid();
    if (JxlDecoderSetImageOutBuffer(decoder, &format, bitmap_.Bits(), size) != JXL_DEC_SUCCESS) Invalid();
    if (Run(JXL_DEC_FULL_IMAGE) != JXL_DEC_FULL_IMAGE) Invalid();
  } catch (...) {
    bitmap_.ReleaseContents();
    throw;
  }
  // Red and blue change places: bitmaps hold blue first.
  const int step = alpha_ ? 4 : 3;
  for (int y = 0; y < height_; ++y) {
    uint8_t* p = bitmap_.ScanLine(y);
    for (int x = 0; x < width_; ++x, p += step) std::swap(p[0], p[2]);
  }
  decoded_ = true;
  decoder_.reset();
  return bitmap_;
}

}  // namespace tablora
