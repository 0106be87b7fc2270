#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/image_format.h"

struct heif_context;
struct heif_image_handle;
struct heif_color_profile_nclx;

namespace tablora {

// HEIF through libheif (AVIF files are TAvifReader's; an AV1 picture in a file of HEIF's brands
// is still decoded here): the primary image with the file's rotation, mirroring and crop
// applied (so its EXIF orientation is not applied again), more than 8 bits per sample reduced to
// 8, alpha kept as straight alpha; a stored thumbnail is decoded instead when it covers the size
// asked for. Every failure of libheif is "Cannot load image. Invalid or unexpected %s image
// format." with the format's name ("HEIF" or "AVIF").
class THeifReader : public TFormatReader {
 public:
  explicit THeifReader(const char* formatName);
  ~THeifReader() override;
  THeifReader(const THeifReader&) = delete;
  THeifReader& operator=(const THeifReader&) = delete;

  void Load(std::span<const uint8_t> file) override;
  int Width() override { return width_; }
  int Height() override { return height_; }
  void PrepareFor(int32_t width, int32_t height) override;
  const TBitmap& Pixels() override;
  // The image decoded: "thumbnail W×H" or "primary W×H".
  TReaderDetails Details() override;
  // HDR pictures are tone-mapped to sRGB here; any profile beside their nclx is not applied.
  TSampleColour SampleColour() override { return toneMapped_ ? TSampleColour::scSrgb : TSampleColour::scFile; }

  // Pictures above this many pixels are decoded one at a time in the whole program: each takes
  // hundreds of megabytes on its way.
  static constexpr uint64_t kLargePixels = 24'000'000;

 private:
  [[noreturn]] void Invalid() const;
  void Decode(const heif_image_handle* handle);

  const char* name_;
  heif_context* context_ = nullptr;
  const heif_image_handle* primary_ = nullptr;
  const heif_image_handle* thumbnail_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  // The size PrepareFor asked for; 0: full size.
  int32_t wantWidth_ = 0;
  int32_t wantHeight_ = 0;
  bool decoded_ = false;
  bool toneMapped_ = false;
  TBitmap bitmap_;
};

struct THeifNclxFree {
  void operator()(heif_color_profile_nclx* nclx) const;
};
using THeifNclx = std::unique_ptr<heif_color_profile_nclx, THeifNclxFree>;
// The image's nclx colour description; null when it has none or libheif refuses it. libheif
// hands out the profile it allocated also with some of its errors (an unknown primaries, transfer
// or matrix code): that one is freed here too.
THeifNclx HeifNclx(const heif_image_handle* handle);

// ISO base media files whose brand libheif decodes and whose main brand is not AV1's (AVIF files
// are read by TAvifReader).
bool IsHeif(std::span<const uint8_t> file);
// The primary image's size as shown (after its transformations); orientation 1.
std::optional<TImageHeader> ProbeHeif(std::span<const uint8_t> file);

}  // namespace tablora
