#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/image_format.h"

namespace tablora {

// JPEG XL through libjxl: the first frame at full size, turned upright by libjxl (so the file's
// orientation is not applied again), alpha kept as straight alpha. Every failure of libjxl is
// "Cannot load image. Invalid or unexpected JPEG XL image format."
class TJXLReader : public TFormatReader {
 public:
  TJXLReader();
  ~TJXLReader() override;
  TJXLReader(const TJXLReader&) = delete;
  TJXLReader& operator=(const TJXLReader&) = delete;

  void Load(std::span<const uint8_t> file) override;
  int Width() override { return width_; }
  int Height() override { return height_; }
  const TBitmap& Pixels() override;

 private:
  // Runs the decoder on, feeding it the file in pieces, until it reports one of `wanted`.
  int Run(int wanted);

  struct TDecoder;
  std::unique_ptr<TDecoder> decoder_;
  std::span<const uint8_t> file_;
  std::size_t fed_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool alpha_ = false;
  bool decoded_ = false;
  TBitmap bitmap_;
};

// A bare codestream (FF 0A) or the container's signature box.
bool IsJXL(std::span<const uint8_t> file);
// The size as shown, after the codestream's orientation; orientation 1.
std::optional<TImageHeader> ProbeJXL(std::span<const uint8_t> file);

}  // namespace tablora
