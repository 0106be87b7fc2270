#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/image_format.h"

namespace tablora {

// WebP through libwebp: still images decoded straight to the size asked for, the first frame of
// an animation at the canvas size. Alpha stays as straight alpha in the bitmap. Every failure of
// libwebp is "Cannot load image. Invalid or unexpected WebP image format."
class TWebPReader : public TFormatReader {
 public:
  void Load(std::span<const uint8_t> file) override;
  int Width() override { return width_; }
  int Height() override { return height_; }
  void PrepareFor(int32_t width, int32_t height) override;
  const TBitmap& Pixels() override;

 private:
  void Decode();
  void DecodeFirstFrame();

  std::span<const uint8_t> file_;
  int width_ = 0;
  int height_ = 0;
  bool alpha_ = false;
  bool animated_ = false;
  bool lossless_ = false;
  uint32_t decodeWidth_ = 0;
  uint32_t decodeHeight_ = 0;
  bool decoded_ = false;
  TBitmap bitmap_;
};

// "RIFF" size "WEBP".
bool IsWebP(std::span<const uint8_t> file);
// Canvas size, the orientation of an EXIF chunk, any scale for still images.
std::optional<TImageHeader> ProbeWebP(std::span<const uint8_t> file);

}  // namespace tablora
