#include "imaging/readers/jxl_reader.h"

#include <jxl/decode.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/icc_transform.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/raster_graphic.h"

namespace tablora {

namespace {

[[noreturn]] void Invalid() { RaiseImageErrorFmt(gesInvalidImage, "JPEG XL"); }

// Working memory of libjxl besides the output: about three floats a pixel for its planes.
constexpr uint64_t kWorkBytesPerPixel = 12;

// libjxl runs its group tasks through this runner, one after another on the calling thread, and a
// cancel (or a spent work budget) is noticed between two of them: the whole file is given to
// libjxl at once, so these are the only places inside a decode where one can be.
struct TCancellingRunner {
  std::exception_ptr stopped;

  static JxlParallelRetCode Run(void* self, void* opaque, JxlParallelRunInit init, JxlParallelRunFunction func,
                                uint32_t start, uint32_t end) {
    auto* runner = static_cast<TCancellingRunner*>(self);
    if (init(opaque, 1) != 0) return -1;
    for (uint32_t i = start; i < end; ++i) {
      try {
        CheckCancel();
      } catch (...) {
        runner->stopped = std::current_exception();
        return -1;
      }
      func(opaque, i, 0);
    }
    return 0;
  }
};

struct TJxlOwner {
  TJxlOwner() : decoder(JxlDecoderCreate(nullptr)) {}
  ~TJxlOwner() {
    if (decoder != nullptr) JxlDecoderDestroy(decoder);
  }
  TJxlOwner(const TJxlOwner&) = delete;
  TJxlOwner& operator=(const TJxlOwner&) = delete;
  JxlDecoder* decoder;
  TCancellingRunner runner;
};

// The whole file in one piece, as djxl gives it. libjxl 0.7 loses its place in a frame fed in
// pieces when it has to put a section aside for later (one whose turn has not come, such as the
// AC global section that streaming encoders write last) and then decodes one behind it: the next
// piece is read from the wrong offset ("Invalid context map", "Failed to decode modular DC group").
bool Start(TJxlOwner& owner, std::span<const uint8_t> file, int events) {
  JxlDecoder* decoder = owner.decoder;
  return decoder != nullptr && JxlDecoderSubscribeEvents(decoder, events) == JXL_DEC_SUCCESS &&
         JxlDecoderSetParallelRunner(decoder, TCancellingRunner::Run, &owner.runner) == JXL_DEC_SUCCESS &&
         JxlDecoderSetInput(decoder, file.data(), file.size()) == JXL_DEC_SUCCESS &&
         (JxlDecoderCloseInput(decoder), true);
}

// The profile libjxl reports for `target`; empty when it has none.
TIccProfile IccOf(JxlDecoder* decoder, JxlColorProfileTarget target) {
  std::size_t size = 0;
  if (JxlDecoderGetICCProfileSize(decoder, nullptr, target, &size) != JXL_DEC_SUCCESS || size == 0 ||
      size > kMaxIccProfileBytes) {
    return {};
  }
  TIccProfile profile(size);
  if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, target, profile.data(), size) != JXL_DEC_SUCCESS) return {};
  return profile;
}

bool IsSrgb(const JxlColorEncoding& c) {
  return c.white_point == JXL_WHITE_POINT_D65 && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB &&
         (c.color_space == JXL_COLOR_SPACE_GRAY || (c.color_space == JXL_COLOR_SPACE_RGB && c.primaries == JXL_PRIMARIES_SRGB));
}

// sRGB (grey or colour, as the picture is), what XYB pictures are asked to come out in.
JxlColorEncoding SrgbFor(bool grey) {
  JxlColorEncoding srgb{};
  srgb.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
  srgb.white_point = JXL_WHITE_POINT_D65;
  srgb.primaries = JXL_PRIMARIES_SRGB;
  srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
  srgb.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
  return srgb;
}

// A grey picture's tone curve as an RGB profile: its pixels reach the colour stage as equal red,
// green and blue, which any white-balanced primaries leave grey. Empty for curves it cannot build.
TIccProfile GreyAsRgb(const JxlColorEncoding& c) {
  if (c.white_point != JXL_WHITE_POINT_D65) return {};
  constexpr TRgbPrimaries kSrgb{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
  switch (c.transfer_function) {
    case JXL_TRANSFER_FUNCTION_709:
      return BuildRgbProfile(kSrgb, TToneCurve::tcBt709, 1, "Grey, BT.709 curve");
    case JXL_TRANSFER_FUNCTION_LINEAR:
      return BuildRgbProfile(kSrgb, TToneCurve::tcGamma, 1, "Grey, linear");
    case JXL_TRANSFER_FUNCTION_DCI:
      return BuildRgbProfile(kSrgb, TToneCurve::tcGamma, 2.6, "Grey, gamma 2.6");
    case JXL_TRANSFER_FUNCTION_GAMMA:
      if (c.gamma > 0 && c.gamma <= 1) return BuildRgbProfile(kSrgb, TToneCurve::tcGamma, 1 / c.gamma, "Grey, gamma");
      return {};
    default:
      return {};
  }
}

// What the headers say of the colours, read up to the colour encoding.
struct TJxlColour {
  JxlBasicInfo info{};
  bool xyb = false;
  bool grey = false;
  int blackChannel = -1;
  TIccProfile original;
};

// Runs a started decoder to its colour encoding; XYB pictures are asked for sRGB there.
bool ReadColour(JxlDecoder* decoder, TJxlColour& colour) {
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
    if (status == JXL_DEC_BASIC_INFO) {
      if (JxlDecoderGetBasicInfo(decoder, &colour.info) != JXL_DEC_SUCCESS) return false;
      colour.xyb = colour.info.uses_original_profile == JXL_FALSE;
      colour.grey = colour.info.num_color_channels == 1;
      for (uint32_t i = 0; i < colour.info.num_extra_channels && i < 256; ++i) {
        JxlExtraChannelInfo extra;
        if (JxlDecoderGetExtraChannelInfo(decoder, i, &extra) != JXL_DEC_SUCCESS) return false;
        if (extra.type == JXL_CHANNEL_BLACK && colour.blackChannel < 0) colour.blackChannel = static_cast<int>(i);
      }
      continue;
    }
    if (status != JXL_DEC_COLOR_ENCODING) return false;
    colour.original = IccOf(decoder, JXL_COLOR_PROFILE_TARGET_ORIGINAL);
    if (colour.blackChannel >= 0 && (colour.grey || !IsCmykProfile(colour.original))) colour.blackChannel = -1;
    if (colour.xyb && colour.blackChannel < 0) {
      const JxlColorEncoding srgb = SrgbFor(colour.grey);
      if (JxlDecoderSetPreferredColorProfile(decoder, &srgb) != JXL_DEC_SUCCESS) return false;
    }
    return true;
  }
}

}  // namespace

struct TJXLReader::TDecoder : TJxlOwner {};

bool IsJXL(std::span<const uint8_t> file) {
  const JxlSignature signature = JxlSignatureCheck(file.data(), file.size());
  return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

std::optional<TImageHeader> ProbeJXL(std::span<const uint8_t> file) {
  if (!IsJXL(file)) return std::nullopt;
  TJxlOwner decoder;
  if (!Start(decoder, file, JXL_DEC_BASIC_INFO)) return std::nullopt;
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

TIccProfile JxlProfile(std::span<const uint8_t> file) {
  if (!IsJXL(file)) return {};
  TJxlOwner owner;
  TJxlColour colour;
  if (!Start(owner, file, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING) || !ReadColour(owner.decoder, colour) ||
      colour.blackChannel >= 0) {
    return {};
  }
  JxlColorEncoding data;
  if (JxlDecoderGetColorAsEncodedProfile(owner.decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &data) == JXL_DEC_SUCCESS) {
    if (IsSrgb(data)) return {};
    if (colour.grey) return GreyAsRgb(data);
  }
  return IccOf(owner.decoder, JXL_COLOR_PROFILE_TARGET_DATA);
}

TJXLReader::TJXLReader() = default;
TJXLReader::~TJXLReader() = default;

int TJXLReader::Run(int wanted) {
  JxlDecoder* decoder = decoder_->decoder;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
    if ((status & wanted) != 0 || status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) return status;
    if (decoder_->runner.stopped) std::rethrow_exception(decoder_->runner.stopped);
    // The input is closed: more input wanted means the file ends before the picture.
    if (status == JXL_DEC_SUCCESS || status == JXL_DEC_ERROR || status == JXL_DEC_NEED_MORE_INPUT) Invalid();
  }
}

void TJXLReader::Load(std::span<const uint8_t> file) {
  if (!IsJXL(file)) Invalid();
  decoder_ = std::make_unique<TDecoder>();
  if (!Start(*decoder_, file, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) ||
      JxlDecoderSetUnpremultiplyAlpha(decoder_->decoder, JXL_TRUE) != JXL_DEC_SUCCESS) {
    Invalid();
  }
  TJxlColour colour;
  if (!ReadColour(decoder_->decoder, colour)) Invalid();
  const JxlBasicInfo& info = colour.info;
  const bool turned = info.orientation > JXL_ORIENT_ROTATE_180;
  const uint32_t w = turned ? info.ysize : info.xsize;
  const uint32_t h = turned ? info.xsize : info.ysize;
  if (w == 0 || h == 0 || w > INT32_MAX || h > INT32_MAX) Invalid();
  alpha_ = info.alpha_bits > 0;
  CheckImageSize(w, h, alpha_ ? 32 : 24);
  width_ = static_cast<int>(w);
  height_ = static_cast<int>(h);
  xyb_ = colour.xyb;
  blackChannel_ = colour.blackChannel;
  original_ = std::move(colour.original);
  if (blackChannel_ >= 0) cmykTransform_ = TIccTransform::CmykToSrgb(original_);
}

std::vector<uint8_t> TJXLReader::ReaderProfile() {
  if (blackChannel_ >= 0 && !cmykTransform_) return {};
  return original_;
}

const TBitmap& TJXLReader::Pixels() {
  if (decoded_) return bitmap_;
  if (!decoder_ || width_ <= 0) Invalid();
  JxlDecoder* decoder = decoder_->decoder;
  const uint64_t pixels = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
  TMemoryCharge work(kWorkBytesPerPixel * pixels + (blackChannel_ >= 0 ? pixels : 0));
  // Rows straight into the bitmap: its rows are padded to 4 bytes, which libjxl can do itself.
  const JxlPixelFormat format{alpha_ ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
  std::vector<uint8_t> black;
  try {
    if (Run(JXL_DEC_FULL_IMAGE) != JXL_DEC_NEED_IMAGE_OUT_BUFFER) Invalid();
    std::size_t size = 0;
    if (JxlDecoderImageOutBufferSize(decoder, &format, &size) != JXL_DEC_SUCCESS) Invalid();
    bitmap_.SetPixelFormat(alpha_ ? pf32bit : pf24bit);
    bitmap_.SetSize(width_, height_);
    bitmap_.SetAlphaChannel(alpha_);
    if (size != bitmap_.RowSize() * static_cast<std::size_t>(height_)) Invalid();
    if (JxlDecoderSetImageOutBuffer(decoder, &format, bitmap_.Bits(), size) != JXL_DEC_SUCCESS) Invalid();
    if (blackChannel_ >= 0) {
      const JxlPixelFormat one{1, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
      std::size_t blackSize = 0;
      if (JxlDecoderExtraChannelBufferSize(decoder, &one, &blackSize, static_cast<uint32_t>(blackChannel_)) !=
              JXL_DEC_SUCCESS ||
          blackSize != pixels) {
        Invalid();
      }
      black.resize(blackSize);
      if (JxlDecoderSetExtraChannelBuffer(decoder, &one, black.data(), blackSize, static_cast<uint32_t>(blackChannel_)) !=
          JXL_DEC_SUCCESS) {
        Invalid();
      }
    }
    if (Run(JXL_DEC_FULL_IMAGE) != JXL_DEC_FULL_IMAGE) Invalid();
  } catch (...) {
    bitmap_.ReleaseContents();
    throw;
  }
  decoder_.reset();
  const int step = alpha_ ? 4 : 3;
  if (blackChannel_ >= 0) {
    // Cyan, magenta, yellow and black as libjxl stores them: the top of the range is no ink.
    std::vector<uint8_t> inks(static_cast<std::size_t>(width_) * 4);
    std::vector<uint8_t> bgr(static_cast<std::size_t>(width_) * 3);
    for (int y = 0; y < height_; ++y) {
      uint8_t* p = bitmap_.ScanLine(y);
      const uint8_t* k = black.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
      for (int x = 0; x < width_; ++x) {
        const uint8_t* s = p + static_cast<std::ptrdiff_t>(x) * step;
        uint8_t* ink = inks.data() + static_cast<std::size_t>(x) * 4;
        ink[0] = static_cast<uint8_t>(255 - s[0]);
        ink[1] = static_cast<uint8_t>(255 - s[1]);
        ink[2] = static_cast<uint8_t>(255 - s[2]);
        ink[3] = static_cast<uint8_t>(255 - k[x]);
      }
      if (cmykTransform_) cmykTransform_->ConvertCmyk(inks.data(), bgr.data(), static_cast<uint32_t>(width_));
      for (int x = 0; x < width_; ++x) {
        uint8_t* d = p + static_cast<std::ptrdiff_t>(x) * step;
        const uint8_t* c = bgr.data() + static_cast<std::size_t>(x) * 3;
        if (cmykTransform_) {
          d[0] = c[0];
          d[1] = c[1];
          d[2] = c[2];
        } else {
          // The ink formula: what is left of white under each ink and the black.
          const int white = k[x];
          const uint8_t r = static_cast<uint8_t>((d[0] * white + 127) / 255);
          const uint8_t g = static_cast<uint8_t>((d[1] * white + 127) / 255);
          const uint8_t b = static_cast<uint8_t>((d[2] * white + 127) / 255);
          d[0] = b;
          d[1] = g;
          d[2] = r;
        }
      }
      if (y % 64 == 0) CheckCancel();
    }
  } else {
    // Red and blue change places: bitmaps hold blue first.
    for (int y = 0; y < height_; ++y) {
      uint8_t* p = bitmap_.ScanLine(y);
      for (int x = 0; x < width_; ++x, p += step) std::swap(p[0], p[2]);
    }
  }
  decoded_ = true;
  return bitmap_;
}

}  // namespace tablora
