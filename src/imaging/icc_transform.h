#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "imaging/bitmap.h"

namespace tablora {

// A Little CMS transform from one RGB profile to sRGB (perceptual, black-point compensation),
// 8 bits a sample: blue, green, red, with or without a fourth byte that passes through unchanged.
// It has its own lcms2 context and no pixel cache, so worker threads share it safely.
class TIccTransform {
 public:
  ~TIccTransform();
  TIccTransform(const TIccTransform&) = delete;
  TIccTransform& operator=(const TIccTransform&) = delete;

  // Converts count pixels of a row in place.
  void Convert(uint8_t* pixels, uint32_t count) const;
  bool FourBytes() const { return fourBytes_; }

  // The transform for a profile's bytes, built once per distinct profile and kept for the next
  // picture that carries it; nullptr when the profile is empty, over the size limit, damaged, not
  // an RGB profile, or lcms2 cannot build the transform.
  static std::shared_ptr<const TIccTransform> ToSrgb(std::span<const uint8_t> profile, bool fourBytes);
  // Transforms built (not found in the cache) since the program started.
  static uint64_t BuiltCount();

 private:
  TIccTransform() = default;
  void SetUpTables(void* source, void* srgb);
  void* context_ = nullptr;
  void* transform_ = nullptr;
  bool fourBytes_ = false;
  // Matrix-and-curves profiles (cameras', Adobe RGB, ProPhoto) convert through tables: each
  // sample to linear light, the 3 x 3 matrix to linear sRGB, then the sRGB curve; several times
  // faster than lcms2's general 8-bit path and within a level of it.
  bool tables_ = false;
  float linear_[3][256] = {};
  float matrix_[3][3] = {};
  uint8_t encode_[4096] = {};
};

// Converts a 24-bit or 32-bit bitmap from the profile to sRGB in place; any other format, and a
// profile without a transform, leave it as it is.
void ConvertToSrgb(TBitmap& bitmap, std::span<const uint8_t> profile);

}  // namespace tablora
