#include "imaging/readers/avif_reader.h"

#include <avif/avif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/icc_profile.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/raster_graphic.h"
#include "imaging/readers/hdr_tone_map.h"
#include "imaging/reduce.h"

namespace tablora {

namespace {

[[noreturn]] void Invalid() { RaiseImageErrorFmt(gesInvalidImage, "AVIF"); }

// The CICP code of YCgCo-Re: RGB of two bits less than the coded samples, undone losslessly.
constexpr int kMatrixYCgCoRe = 16;

struct TDecoderDestroy {
  void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};
using TDecoder = std::unique_ptr<avifDecoder, TDecoderDestroy>;

// The container parsed, nothing decoded yet. libavif reads from these bytes as it goes and keeps
// no copy. Null when libavif refuses the file.
TDecoder OpenDecoder(std::span<const uint8_t> file) {
  if (file.empty()) return nullptr;
  TDecoder decoder(avifDecoderCreate());
  if (!decoder) return nullptr;
  // The program decodes a page's pictures on every core already.
  decoder->maxThreads = 1;
  decoder->ignoreExif = AVIF_TRUE;
  decoder->ignoreXMP = AVIF_TRUE;
  // Files a strict reading refuses for a detail (an odd crop offset, a missing pixi box) are
  // shown as libheif and the browsers show them.
  decoder->strictFlags = AVIF_STRICT_DISABLED;
  if (avifDecoderSetIOMemory(decoder.get(), file.data(), file.size()) != AVIF_RESULT_OK) return nullptr;
  if (avifDecoderParse(decoder.get()) != AVIF_RESULT_OK) return nullptr;
  // dav1d refuses frames above this many pixels before it allocates them (a stream can claim
  // another size than its container); the program's own limit counts bytes of 32-bit pixels.
  // Set after the parse, so that a picture over the limit fails with the program's message.
  const uint64_t pixels = std::max<uint64_t>(ImageSizeLimit() / 4, 1);
  decoder->imageSizeLimit = static_cast<uint32_t>(std::min<uint64_t>(pixels, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
  return decoder;
}

// The part of a w × h picture its clean aperture keeps, rounded as libheif rounds it (libavif
// refuses an aperture of odd offset in a subsampled picture, which libheif and browsers show);
// all of it when it has none. Nothing when the aperture is damaged.
std::optional<avifCropRect> CropOf(const avifImage& image, uint32_t w, uint32_t h) {
  if ((image.transformFlags & AVIF_TRANSFORM_CLAP) == 0) return avifCropRect{0, 0, w, h};
  const avifCleanApertureBox& clap = image.clap;
  if (clap.widthD == 0 || clap.heightD == 0 || clap.horizOffD == 0 || clap.vertOffD == 0) return std::nullopt;
  // Each side: the aperture's centre, offset from the picture's, and its extent about it.
  const auto side = [](uint32_t size, uint32_t n, uint32_t d, uint32_t offN, uint32_t offD) -> std::optional<std::pair<uint32_t, uint32_t>> {
    const double extent = static_cast<double>(n) / d;
    const double centre = static_cast<double>(static_cast<int32_t>(offN)) / offD + (static_cast<double>(size) - 1) / 2;
    const double first = std::floor(centre - (extent - 1) / 2);
    const double last = std::round(centre + (extent - 1) / 2);
    if (!(first >= 0) || !(last < size) || last < first) return std::nullopt;
    return std::pair{static_cast<uint32_t>(first), static_cast<uint32_t>(last - first + 1)};
  };
  const auto x = side(w, clap.widthN, clap.widthD, clap.horizOffN, clap.horizOffD);
  const auto y = side(h, clap.heightN, clap.heightD, clap.vertOffN, clap.vertOffD);
  if (!x || !y) return std::nullopt;
  return avifCropRect{x->first, y->first, x->second, y->second};
}

// The file's rotation (anticlockwise quarters) followed by its mirroring, as the EXIF
// orientation that shows the stored picture the same way.
int OrientationOf(const avifImage& image) {
  const int turns = (image.transformFlags & AVIF_TRANSFORM_IROT) != 0 ? image.irot.angle & 3 : 0;
  const int mirror = (image.transformFlags & AVIF_TRANSFORM_IMIR) == 0 ? 0 : image.imir.mode == 1 ? 1 : 2;
  // Rows: no turn, a quarter anticlockwise, half, three quarters; columns: no mirror, left and
  // right exchanged, top and bottom exchanged.
  static constexpr int kOrientation[4][3] = {{1, 2, 4}, {8, 7, 5}, {3, 4, 2}, {6, 5, 7}};
  return kOrientation[turns][mirror];
}

// The shown size of a picture stored at w × h.
std::optional<std::pair<uint32_t, uint32_t>> ShownSize(const avifImage& image, uint32_t w, uint32_t h) {
  const std::optional<avifCropRect> crop = CropOf(image, w, h);
  if (!crop) return std::nullopt;
  if ((image.irot.angle & 1) != 0 && (image.transformFlags & AVIF_TRANSFORM_IROT) != 0) {
    return std::pair{crop->height, crop->width};
  }
  return std::pair{crop->width, crop->height};
}

// The crop, then the orientation, of a 24- or 32-bit bitmap.
TBitmap Shown(const TBitmap& stored, const avifCropRect& crop, int orientation) {
  const int bytes = stored.PixelFormat() == pf32bit ? 4 : 3;
  const int w = static_cast<int>(crop.width);
  const int h = static_cast<int>(crop.height);
  const bool swap = orientation >= 5;
  TBitmap shown;
  shown.SetPixelFormat(stored.PixelFormat());
  shown.SetSize(swap ? h : w, swap ? w : h);
  shown.SetAlphaChannel(stored.AlphaChannel());
  const int x0 = static_cast<int>(crop.x);
  const int y0 = static_cast<int>(crop.y);
  for (int y = 0; y < shown.Height(); ++y) {
    if (y % 64 == 0) CheckCancel();
    uint8_t* out = shown.ScanLine(y);
    for (int x = 0; x < shown.Width(); ++x) {
      int sx = 0, sy = 0;
      StoredPixel(orientation, w, h, x, y, sx, sy);
      std::memcpy(out + x * bytes, stored.ScanLine(y0 + sy) + static_cast<std::size_t>(x0 + sx) * bytes,
                  static_cast<std::size_t>(bytes));
    }
  }
  return shown;
}

uint32_t Sample(const avifImage& image, const uint8_t* row, uint32_t x) {
  if (image.depth > 8) return reinterpret_cast<const uint16_t*>(row)[x];
  return row[x];
}

// YCgCo-Re: Y, Cg (in the U plane) and Co (in V), two bits deeper than the RGB they came from,
// back to 8-bit blue, green, red. libavif 0.11 refuses to convert matrix codes above 13.
void YCgCoReToBgr(const avifImage& image, TBitmap& bitmap) {
  if (image.depth < 10 || image.yuvFormat == AVIF_PIXEL_FORMAT_YUV400 || image.yuvFormat == AVIF_PIXEL_FORMAT_NONE ||
      image.yuvRange != AVIF_RANGE_FULL || image.yuvPlanes[AVIF_CHAN_U] == nullptr || image.yuvPlanes[AVIF_CHAN_V] == nullptr) {
    Invalid();
  }
  const int rgbMax = (1 << (image.depth - 2)) - 1;
  const int bias = 1 << (image.depth - 1);
  const uint32_t shiftX = image.yuvFormat == AVIF_PIXEL_FORMAT_YUV444 ? 0 : 1;
  const uint32_t shiftY = image.yuvFormat == AVIF_PIXEL_FORMAT_YUV420 ? 1 : 0;
  const int alphaMax = (1 << image.depth) - 1;
  const bool alpha = bitmap.PixelFormat() == pf32bit;
  const int bytes = alpha ? 4 : 3;
  const auto eight = [](int v, int maximum) { return static_cast<uint8_t>((v * 255 + maximum / 2) / maximum); };
  for (uint32_t y = 0; y < image.height; ++y) {
    if (y % 64 == 0) CheckCancel();
    const uint8_t* rowY = image.yuvPlanes[AVIF_CHAN_Y] + static_cast<std::size_t>(y) * image.yuvRowBytes[AVIF_CHAN_Y];
    const uint32_t cy = y >> shiftY;
    const uint8_t* rowU = image.yuvPlanes[AVIF_CHAN_U] + static_cast<std::size_t>(cy) * image.yuvRowBytes[AVIF_CHAN_U];
    const uint8_t* rowV = image.yuvPlanes[AVIF_CHAN_V] + static_cast<std::size_t>(cy) * image.yuvRowBytes[AVIF_CHAN_V];
    const uint8_t* rowA =
        alpha ? image.alphaPlane + static_cast<std::size_t>(y) * image.alphaRowBytes : nullptr;
    uint8_t* out = bitmap.ScanLine(static_cast<int>(y));
    for (uint32_t x = 0; x < image.width; ++x, out += bytes) {
      const int luma = static_cast<int>(Sample(image, rowY, x));
      const int cg = static_cast<int>(Sample(image, rowU, x >> shiftX)) - bias;
      const int co = static_cast<int>(Sample(image, rowV, x >> shiftX)) - bias;
      // The lifting steps of the forward transform in reverse; the shifts floor as it did.
      const int t = luma - (cg >> 1);
      const int g = std::clamp(t + cg, 0, rgbMax);
      const int b = std::clamp(t - (co >> 1), 0, rgbMax);
      const int r = std::clamp(b + co, 0, rgbMax);
      out[0] = eight(b, rgbMax);
      out[1] = eight(g, rgbMax);
      out[2] = eight(r, rgbMax);
      if (alpha) out[3] = eight(std::min(static_cast<int>(Sample(image, rowA, x)), alphaMax), alphaMax);
    }
  }
}

// libavif 0.11 refuses the constant-luminance matrices; their non-constant-luminance twins draw
// them as libheif does, within a few levels.
avifResult ToRgb(const avifImage& image, avifRGBImage& rgb) {
  avifImage view = image;
  if (view.matrixCoefficients == AVIF_MATRIX_COEFFICIENTS_BT2020_CL) view.matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT2020_NCL;
  if (view.matrixCoefficients == AVIF_MATRIX_COEFFICIENTS_CHROMA_DERIVED_CL) {
    view.matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_CHROMA_DERIVED_NCL;
  }
  return avifImageYUVToRGB(&view, &rgb);
}

}  // namespace

bool IsAvif(std::span<const uint8_t> file) {
  const avifROData data{file.data(), file.size()};
  return !file.empty() && avifPeekCompatibleFileType(&data) == AVIF_TRUE;
}

std::optional<TImageHeader> ProbeAvif(std::span<const uint8_t> file) {
  if (!IsAvif(file)) return std::nullopt;
  TImageHeader header;
  const TDecoder decoder = OpenDecoder(file);
  if (!decoder) return header;
  if (const auto size = ShownSize(*decoder->image, decoder->image->width, decoder->image->height)) {
    header.width = size->first;
    header.height = size->second;
  }
  return header;
}

TIccProfile AvifProfile(std::span<const uint8_t> file) {
  if (!IsAvif(file)) return {};
  const TDecoder decoder = OpenDecoder(file);
  if (!decoder) return {};
  const avifImage& image = *decoder->image;
  if (image.icc.size > 0) {
    if (image.icc.size < 128 || image.icc.size > kMaxIccProfileBytes) return {};
    return TIccProfile(image.icc.data, image.icc.data + image.icc.size);
  }
  float xy[8];
  avifColorPrimariesGetValues(image.colorPrimaries, xy);
  return NclxProfile(image.colorPrimaries, image.transferCharacteristics,
                     TRgbPrimaries{xy[6], xy[7], xy[0], xy[1], xy[2], xy[3], xy[4], xy[5]});
}

TAvifReader::~TAvifReader() {
  if (decoder_ != nullptr) avifDecoderDestroy(decoder_);
}

void TAvifReader::Load(std::span<const uint8_t> file) {
  if (!IsAvif(file)) Invalid();
  TDecoder decoder = OpenDecoder(file);
  if (!decoder) Invalid();
  const avifImage& image = *decoder->image;
  const auto size = ShownSize(image, image.width, image.height);
  if (!size || size->first == 0 || size->second == 0) Invalid();
  CheckImageSize(image.width, image.height, decoder->alphaPresent ? 32 : 24);
  width_ = static_cast<int>(size->first);
  height_ = static_cast<int>(size->second);
  decoder_ = decoder.release();
}

const TBitmap& TAvifReader::Pixels() {
  if (!decoded_) {
    if (decoder_ == nullptr) Invalid();
    try {
      Decode();
    } catch (...) {
      bitmap_.ReleaseContents();
      throw;
    }
    decoded_ = true;
  }
  return bitmap_;
}

TReaderDetails TAvifReader::Details() {
  if (decoder_ == nullptr) return {};
  if (decoder_->progressiveState != AVIF_PROGRESSIVE_STATE_UNAVAILABLE) return {{"source", "last layer"}};
  if (decoder_->imageCount > 1) return {{"source", "frame 1 of " + std::to_string(decoder_->imageCount)}};
  return {};
}

void TAvifReader::Decode() {
  const avifImage& parsed = *decoder_->image;
  const bool alpha = decoder_->alphaPresent != 0;
  const uint64_t storedPixels = uint64_t{parsed.width} * parsed.height;
  // libavif's planes (up to 16 bits a sample, 4:4:4 and alpha at worst), dav1d's own frames.
  TMemoryCharge work(storedPixels * (parsed.depth > 8 ? 8 : 4) * 2);
  CheckCancel();
  if (avifDecoderNextImage(decoder_) != AVIF_RESULT_OK) Invalid();
  CheckCancel();
  const avifImage& image = *decoder_->image;
  if (image.width == 0 || image.height == 0 || image.yuvPlanes[AVIF_CHAN_Y] == nullptr) Invalid();
  // The layer an operating point selects can be smaller than the size the container gave: its
  // crop and rotation then apply to what was decoded.
  CheckImageSize(image.width, image.height, alpha ? 32 : 24);
  const std::optional<avifCropRect> crop = CropOf(image, image.width, image.height);
  if (!crop) Invalid();
  const int orientation = OrientationOf(image);
  const bool alphaPlane = alpha && image.alphaPlane != nullptr;
  TBitmap stored;
  stored.SetPixelFormat(alphaPlane ? pf32bit : pf24bit);
  stored.SetSize(static_cast<int>(image.width), static_cast<int>(image.height));
  stored.SetAlphaChannel(alphaPlane);
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, &image);
  const THdrSource hdr = image.depth > 8 && image.icc.size == 0
                             ? HdrSourceOf(image.colorPrimaries, image.transferCharacteristics)
                             : THdrSource{};
  if (image.matrixCoefficients == kMatrixYCgCoRe) {
    YCgCoReToBgr(image, stored);
  } else if (hdr.transfer != THdr::hdNone) {
    // Samples of the file's own depth for the tone curve.
    rgb.format = alphaPlane ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.depth = image.depth;
    const std::size_t rowBytes = std::size_t{image.width} * (alphaPlane ? 4 : 3) * 2;
    TMemoryCharge samples(rowBytes * image.height);
    std::vector<uint8_t> buffer(rowBytes * image.height);
    rgb.pixels = buffer.data();
    rgb.rowBytes = static_cast<uint32_t>(rowBytes);
    if (ToRgb(image, rgb) != AVIF_RESULT_OK) Invalid();
    ToneMap(hdr, buffer.data(), rowBytes, static_cast<int>(image.depth), alphaPlane, stored);
    toneMapped_ = true;
  } else {
    // Straight into the bitmap's rows.
    rgb.format = alphaPlane ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
    rgb.depth = 8;
    rgb.pixels = stored.Bits();
    rgb.rowBytes = static_cast<uint32_t>(stored.RowSize());
    if (ToRgb(image, rgb) != AVIF_RESULT_OK) Invalid();
  }
  CheckCancel();
  const bool whole = crop->x == 0 && crop->y == 0 && crop->width == image.width && crop->height == image.height;
  bitmap_ = whole && orientation == 1 ? std::move(stored) : Shown(stored, *crop, orientation);
  width_ = bitmap_.Width();
  height_ = bitmap_.Height();
}

}  // namespace tablora
