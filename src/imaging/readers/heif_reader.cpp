#include "imaging/readers/heif_reader.h"

#include <libheif/heif.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/raster_graphic.h"
#include "imaging/readers/hdr_tone_map.h"
#include "imaging/reduce.h"

namespace tablora {

namespace {

// libheif reads its container from these bytes and decodes from them later; it keeps no copy.
heif_context* OpenContext(std::span<const uint8_t> file) {
  if (file.empty()) return nullptr;
  heif_context* context = heif_context_alloc();
  if (context == nullptr) return nullptr;
  const heif_error error = heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr);
  if (error.code != heif_error_Ok) {
    heif_context_free(context);
    return nullptr;
  }
  return context;
}

struct TImageRelease {
  void operator()(heif_image* image) const { heif_image_release(image); }
};
struct TOptionsFree {
  void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

// The one large decode at a time, waited for so that a cancel still gets through. A plain mutex
// tried every few milliseconds: a timed wait locks through pthread_mutex_clocklock, which
// ThreadSanitizer does not see, so it would report every unlock as one of an unlocked mutex.
std::mutex& LargeDecodes() {
  static std::mutex mutex;
  return mutex;
}

THdrSource HdrOf(const heif_image_handle* handle) {
  const THeifNclx nclx = HeifNclx(handle);
  if (!nclx) return {};
  return HdrSourceOf(nclx->color_primaries, nclx->transfer_characteristics);
}

bool BrandIsAv1(std::span<const uint8_t> file) {
  const heif_brand brand = heif_main_brand(file.data(), static_cast<int>(file.size()));
  return brand == heif_avif || brand == heif_avis;
}

bool Supported(std::span<const uint8_t> file) {
  if (file.size() < 12) return false;
  const int length = static_cast<int>(std::min<std::size_t>(file.size(), 4096));
  return heif_check_filetype(file.data(), length) == heif_filetype_yes_supported;
}

}  // namespace

void THeifNclxFree::operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }

THeifNclx HeifNclx(const heif_image_handle* handle) {
  heif_color_profile_nclx* nclx = nullptr;
  const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &nclx);
  THeifNclx owned(nclx);
  if (error.code != heif_error_Ok) owned.reset();
  return owned;
}

bool IsHeif(std::span<const uint8_t> file) { return Supported(file) && !BrandIsAv1(file); }

std::optional<TImageHeader> ProbeHeif(std::span<const uint8_t> file) {
  heif_context* context = OpenContext(file);
  if (context == nullptr) return std::nullopt;
  std::optional<TImageHeader> header;
  heif_image_handle* handle = nullptr;
  if (heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
    header = TImageHeader{};
    header->width = static_cast<uint32_t>(std::max(heif_image_handle_get_width(handle), 0));
    header->height = static_cast<uint32_t>(std::max(heif_image_handle_get_height(handle), 0));
    heif_image_handle_release(handle);
  }
  heif_context_free(context);
  return header;
}

THeifReader::THeifReader(const char* formatName) : name_(formatName) {}

THeifReader::~THeifReader() {
  if (thumbnail_ != nullptr) heif_image_handle_release(thumbnail_);
  if (primary_ != nullptr) heif_image_handle_release(primary_);
  if (context_ != nullptr) heif_context_free(context_);
}

void THeifReader::Invalid() const { RaiseImageErrorFmt(gesInvalidImage, name_); }

void THeifReader::Load(std::span<const uint8_t> file) {
  context_ = OpenContext(file);
  if (context_ == nullptr) Invalid();
  heif_image_handle* primary = nullptr;
  if (heif_context_get_primary_image_handle(context_, &primary).code != heif_error_Ok) Invalid();
  primary_ = primary;
  width_ = heif_image_handle_get_width(primary_);
  height_ = heif_image_handle_get_height(primary_);
  if (width_ <= 0 || height_ <= 0) Invalid();
  CheckImageSize(width_, height_, heif_image_handle_has_alpha_channel(primary_) ? 32 : 24);
}

void THeifReader::PrepareFor(int32_t width, int32_t height) {
  if (primary_ == nullptr || decoded_) return;
  wantWidth_ = width;
  wantHeight_ = height;
  const int count = heif_image_handle_get_number_of_thumbnails(primary_);
  if (count <= 0) return;
  std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
  heif_image_handle_get_list_of_thumbnail_IDs(primary_, ids.data(), count);
  for (heif_item_id id : ids) {
    heif_image_handle* candidate = nullptr;
    if (heif_image_handle_get_thumbnail(primary_, id, &candidate).code != heif_error_Ok) continue;
    const int64_t tw = heif_image_handle_get_width(candidate);
    const int64_t th = heif_image_handle_get_height(candidate);
    // Only a thumbnail of the picture's own proportions (within a pixel of rounding) stands in
    // for it: padded or differently turned thumbnails exist.
    const bool covers = tw >= width && th >= height && tw > 0 && th > 0;
    const bool sameShape = std::llabs(tw * height_ - th * width_) <= std::max<int64_t>(width_, height_);
    const bool smaller = thumbnail_ == nullptr || tw < heif_image_handle_get_width(thumbnail_);
    if (covers && sameShape && smaller) {
      if (thumbnail_ != nullptr) heif_image_handle_release(thumbnail_);
      thumbnail_ = candidate;
    } else {
      heif_image_handle_release(candidate);
    }
  }
}

const TBitmap& THeifReader::Pixels() {
  if (!decoded_) {
    if (primary_ == nullptr) Invalid();
    Decode(thumbnail_ != nullptr ? thumbnail_ : primary_);
    decoded_ = true;
  }
  return bitmap_;
}

TReaderDetails THeifReader::Details() {
  const heif_image_handle* handle = thumbnail_ != nullptr ? thumbnail_ : primary_;
  if (handle == nullptr) return {};
  return {{"source", std::string(thumbnail_ != nullptr ? "thumbnail " : "primary ") +
                         std::to_string(heif_image_handle_get_width(handle)) + "x" +
                         std::to_string(heif_image_handle_get_height(handle))}};
}

void THeifReader::Decode(const heif_image_handle* handle) {
  const int w = heif_image_handle_get_width(handle);
  const int h = heif_image_handle_get_height(handle);
  const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
  if (w <= 0 || h <= 0) Invalid();
  CheckImageSize(w, h, alpha ? 32 : 24);
  const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
  // libheif's planes (up to 16 bits a sample, 4:4:4 at worst) and its interleaved output.
  const int bits = std::max(heif_image_handle_get_luma_bits_per_pixel(handle), 8);
  TMemoryCharge work(pixels * (bits > 8 ? 6 : 3) + pixels * (alpha ? 4 : 3) * (bits > 8 ? 2 : 1));
  std::unique_lock<std::mutex> large(LargeDecodes(), std::defer_lock);
  if (pixels > kLargePixels) {
    while (!large.try_lock()) {
      CheckCancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  CheckCancel();
  std::unique_ptr<heif_decoding_options, TOptionsFree> options(heif_decoding_options_alloc());
  if (!options) Invalid();
  const THdrSource hdr = bits > 8 ? HdrOf(handle) : THdrSource{};
  const bool toneMapped = hdr.transfer != THdr::hdNone;
  // Other deep pictures are cut to 8 bits by libheif.
  options->convert_hdr_to_8bit = toneMapped ? 0 : 1;
  // libheif 1.15's dav1d plugin never releases the stream it was handed when dav1d refuses it
  // (every damaged AV1 picture kept a few dozen bytes for the rest of the run); its libaom plugin
  // frees on every path. libheif takes the named decoder only for a coding it decodes, so HEVC
  // pictures still go to libde265.
  options->decoder_id = "aom";
  const heif_chroma chroma = toneMapped ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                        : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  heif_image* decoded = nullptr;
  const heif_error error = heif_decode_image(handle, &decoded, heif_colorspace_RGB, chroma, options.get());
  std::unique_ptr<heif_image, TImageRelease> image(decoded);
  if (large.owns_lock()) large.unlock();
  if (error.code != heif_error_Ok || !image) Invalid();
  CheckCancel();
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int iw = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int ih = heif_image_get_height(image.get(), heif_channel_interleaved);
  const int sampleBytes = toneMapped ? 2 : 1;
  if (plane == nullptr || iw <= 0 || ih <= 0 || stride < iw * (alpha ? 4 : 3) * sampleBytes) Invalid();
  CheckImageSize(iw, ih, alpha ? 32 : 24);
  if (toneMapped) {
    toneMapped_ = true;
    bitmap_.SetPixelFormat(alpha ? pf32bit : pf24bit);
    bitmap_.SetSize(iw, ih);
    bitmap_.SetAlphaChannel(alpha);
    const int range = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
    ToneMap(hdr, plane, static_cast<std::size_t>(stride), std::clamp(range, 9, 16), alpha, bitmap_);
    return;
  }
  if (!alpha && wantWidth_ > 0 && wantHeight_ > 0 && (wantWidth_ < iw || wantHeight_ < ih)) {
    // Reduced straight from libheif's plane: the full-size copy would cost as much again.
    bitmap_ = ReduceRgbPlane(plane, static_cast<std::size_t>(stride), iw, ih, std::min(wantWidth_, iw),
                             std::min(wantHeight_, ih));
    return;
  }
  const int step = alpha ? 4 : 3;
  bitmap_.SetPixelFormat(alpha ? pf32bit : pf24bit);
  bitmap_.SetSize(iw, ih);
  bitmap_.SetAlphaChannel(alpha);
  for (int y = 0; y < ih; ++y) {
    const uint8_t* in = plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    uint8_t* out = bitmap_.ScanLine(y);
    for (int x = 0; x < iw; ++x, in += step, out += step) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      if (alpha) out[3] = in[3];
    }
  }
}

}  // namespace tablora
