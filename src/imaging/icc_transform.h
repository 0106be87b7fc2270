#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "imaging/bitmap.h"

namespace tablora {

// A Little CMS transform from one RGB profile (or a grey one, for grey pictures delivered as RGB)
// to sRGB (perceptual, black-point compensation),
// 8 bits a sample: blue, green, red, with or without a fourth byte that passes through unchanged;
// or from a CMYK profile, 8-bit ink amounts (0 none, 255 full) in, blue, green, red out.
// It has its own lcms2 context and no pixel cache, so worker threads share it safely.
class TIccTransform {
 public:
  ~TIccTransform();
  TIccTransform(const TIccTransform&) = delete;
  TIccTransform& operator=(const TIccTransform&) = delete;

  // Converts count pixels of a row in place.
  void Convert(uint8_t* pixels, uint32_t count) const;
  // Converts count CMYK pixels into count blue, green, red pixels (of a CMYK transform).
  void ConvertCmyk(const uint8_t* cmyk, uint8_t* bgr, uint32_t count) const;
  bool FourBytes() const { return fourBytes_; }

  // The transform for a profile's bytes, built once per distinct profile and kept for the next
  // picture that carries it; nullptr when the profile is empty, over the size limit, damaged,
  // neither an RGB profile nor a grey one with a grey curve, or lcms2 cannot build the transform.
  static std::shared_ptr<const TIccTransform> ToSrgb(std::span<const uint8_t> profile, bool fourBytes);
  // The same for a CMYK profile; nullptr for any other profile, at once from its header.
  static std::shared_ptr<const TIccTransform> CmykToSrgb(std::span<const uint8_t> profile);
  // Transforms built (not found in the cache) since the program started.
  static uint64_t BuiltCount();

 private:
  enum class TKind { tkBgr, tkBgra, tkCmyk };
  TIccTransform() = default;
  static std::shared_ptr<const TIccTransform> Cached(std::span<const uint8_t> profile, TKind kind);
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

// Whether a profile's header says its colour space is CMYK.
bool IsCmykProfile(std::span<const uint8_t> profile);

// Converts a 24-bit or 32-bit bitmap from the profile to sRGB in place; any other format, and a
// profile without a transform, leave it as it is.
void ConvertToSrgb(TBitmap& bitmap, std::span<const uint8_t> profile);

}  // namespace tablora
