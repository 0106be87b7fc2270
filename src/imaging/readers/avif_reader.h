#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/image_format.h"

struct avifDecoder;

namespace tablora {

// AVIF through libavif, the format's reference library: still images, the first frame of an
// image sequence (.avifs), the layer a layered file selects (its operating point or layer
// selector; of a progressive file its last, whole layer), limited-range alpha expanded, the
// YCgCo-Re matrix (16) that libavif 0.11 does not convert taken back to RGB here. The file's
// crop, rotation and mirroring are applied (its EXIF orientation is not applied again). More
// than 8 bits a sample are reduced to 8; PQ and HLG pictures are tone-mapped to sRGB. Every
// failure of libavif is "Cannot load image. Invalid or unexpected AVIF image format."
class TAvifReader : public TFormatReader {
 public:
  TAvifReader() = default;
  ~TAvifReader() override;
  TAvifReader(const TAvifReader&) = delete;
  TAvifReader& operator=(const TAvifReader&) = delete;

  void Load(std::span<const uint8_t> file) override;
  int Width() override { return width_; }
  int Height() override { return height_; }
  const TBitmap& Pixels() override;
  // What was decoded: "frame 1 of N", "layer N", "still".
  TReaderDetails Details() override;
  TSampleColour SampleColour() override { return toneMapped_ ? TSampleColour::scSrgb : TSampleColour::scFile; }

 private:
  void Decode();

  avifDecoder* decoder_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  bool decoded_ = false;
  bool toneMapped_ = false;
  TBitmap bitmap_;
};

// The ftyp of an AVIF still image or image sequence.
bool IsAvif(std::span<const uint8_t> file);
// The size shown (after the file's crop and rotation); orientation 1.
std::optional<TImageHeader> ProbeAvif(std::span<const uint8_t> file);

// The picture's ICC profile, or the profile of its colour description (nclx, else the AV1
// stream's); empty for sRGB and for a file libavif refuses.
std::vector<uint8_t> AvifProfile(std::span<const uint8_t> file);

}  // namespace tablora
