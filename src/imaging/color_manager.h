#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace tablora {

// Pixel layouts by ordinal; readers store the ordinal in their image properties.
enum TColorScheme : uint8_t {
  csUnknown = 0,
  csIndexed = 1,
  csGray = 2,
  csGrayAlpha = 3,
  csRGB = 4,
  csRGBA = 5,
  csBGR = 6,
  csBGRA = 7,
  csCMY = 8,
  csCMYK = 9,
  csCIELab = 10,
  csYCbCr = 11,
  csPhotoYCC = 12,
};

// Bit ordinals of TConversionOptions.
enum TConversionOption : uint8_t {
  coAlphaChannel = 0,
  coGammaCorrect = 1,
  coByteSwap = 2,
  coLabScaledL = 3,
  coLabOffsetAB = 4,
};

// An 8-bit set of TConversionOption, with the set arithmetic the readers need.
class TConversionOptions {
 public:
  constexpr TConversionOptions() = default;
  constexpr TConversionOptions(TConversionOption option)  // NOLINT: a single option is a set
      : bits_(static_cast<uint8_t>(1u << option)) {}
  static constexpr TConversionOptions FromBits(uint8_t bits) {
    TConversionOptions options;
    options.bits_ = bits;
    return options;
  }

  constexpr uint8_t Bits() const { return bits_; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool Contains(TConversionOption option) const { return ((bits_ >> option) & 1u) != 0; }
  constexpr TConversionOptions& Include(TConversionOption option) {
    bits_ = static_cast<uint8_t>(bits_ | (1u << option));
    return *this;
  }
  constexpr TConversionOptions& Exclude(TConversionOption option) {
    bits_ = static_cast<uint8_t>(bits_ & ~(1u << option));
    return *this;
  }

  friend constexpr TConversionOptions operator+(TConversionOptions a, TConversionOptions b) {
    return FromBits(static_cast<uint8_t>(a.bits_ | b.bits_));
  }
  friend constexpr TConversionOptions operator-(TConversionOptions a, TConversionOptions b) {
    return FromBits(static_cast<uint8_t>(a.bits_ & ~b.bits_));
  }
  friend constexpr bool operator==(TConversionOptions, TConversionOptions) = default;

 private:
  uint8_t bits_ = 0;
};

constexpr TConversionOptions operator+(TConversionOption a, TConversionOption b) {
  return TConversionOptions(a) + TConversionOptions(b);
}

// Layout of raw palette data handed to CreateColorPalette.
enum TPaletteDataLayout : uint8_t {
  plPacked8x3 = 0,
  plPacked8x4 = 1,
  plPlanar8x3 = 2,
  plPlanar8x4 = 3,
  plPacked16x3 = 4,
  plPacked16x4 = 5,
  plPlanar16x3 = 6,
  plPlanar16x4 = 7,
};

// (a * b) div c with a 32-bit product, truncated to 16 bits. A divisor of 0 saturates to 0xFFFF
// rather than trapping, as the platform's multiply-divide does.
uint16_t MulDiv16(uint16_t a, uint16_t b, uint16_t c);

constexpr uint8_t ClampByte(int value) {
  return value < 0 ? 0 : value > 255 ? 255 : static_cast<uint8_t>(value);
}

// Per-sample helpers that need no table. 16-bit values are reduced to 8 bits as
// MulDiv16(value, 255, 65535); because 65535 = 255 * 257 that is exactly value div 257.
constexpr uint8_t KeepByte(uint8_t value) { return value; }
constexpr uint16_t KeepWord(uint16_t value) { return value; }
constexpr uint16_t SwapWord(uint16_t value) {
  return static_cast<uint16_t>((value >> 8) | (value << 8));
}
constexpr uint8_t ScaleWord(uint16_t value) { return static_cast<uint8_t>(value / 257u); }
constexpr uint8_t SwapScaleWord(uint16_t value) { return ScaleWord(SwapWord(value)); }

// Per-value terms of the CIE L*a*b* formulas for one combination of the L*a*b* options.
struct TLabTables;
class TIccTransform;

// Converts decoded rows from a file's colour scheme, depth and byte order into bitmap rows, and
// builds the palettes of indexed and grey targets. A reader sets the source and target up, asks
// GetPixelFormat for the bitmap, builds a palette if needed and then calls ConvertRow per row.
class TColorManager {
 public:
  // One pointer: interleaved samples. Several: one plane per sample.
  using TSourceList = std::span<const void* const>;

  TColorManager();

  // A set-up value changed since the row routine was last chosen.
  bool Changed() const { return changed_; }

  uint8_t SourceBitsPerSample() const { return sourceBitsPerSample_; }
  uint8_t TargetBitsPerSample() const { return targetBitsPerSample_; }
  void SetSourceBitsPerSample(unsigned bits);
  void SetTargetBitsPerSample(unsigned bits);

  uint8_t SourceSamplesPerPixel() const { return sourceSamplesPerPixel_; }
  uint8_t TargetSamplesPerPixel() const { return targetSamplesPerPixel_; }
  void SetSourceSamplesPerPixel(unsigned samples);
  void SetTargetSamplesPerPixel(unsigned samples);

  TColorScheme SourceColorScheme() const { return sourceColorScheme_; }
  TColorScheme TargetColorScheme() const { return targetColorScheme_; }
  void SetSourceColorScheme(TColorScheme scheme);
  void SetTargetColorScheme(TColorScheme scheme);

  // Options are read afresh by every conversion, so writing them never sets Changed.
  TConversionOptions SourceOptions() const { return sourceOptions_; }
  TConversionOptions TargetOptions() const { return targetOptions_; }
  void SetSourceOptions(TConversionOptions options) { sourceOptions_ = options; }
  void SetTargetOptions(TConversionOptions options) { targetOptions_ = options; }

  float MainGamma() const { return mainGamma_; }
  float DisplayGamma() const { return displayGamma_; }
  const std::array<uint8_t, 256>& GammaTable() const { return gammaTable_; }
  // Values of 0 or less (and NaN) select the defaults 1.0 and 2.2. Does not enable correction:
  // add coGammaCorrect to TargetOptions for that.
  void SetGamma(float mainGamma, float displayGamma);

  const std::array<float, 3>& YCbCrCoefficients() const { return yCbCrCoefficients_; }
  uint8_t HSubsampling() const { return hSubsampling_; }
  uint8_t VSubsampling() const { return vSubsampling_; }
  // Replaces as many luma weights (red, green, blue) as given. The tables are built from the
  // weights current at the next preparation.
  void SetYCbCrParameters(std::span<const float> coefficients, unsigned hSubsampling,
                          unsigned vSubsampling);
  void SetYCbCrParameters(std::initializer_list<float> coefficients, unsigned hSubsampling,
                          unsigned vSubsampling) {
    SetYCbCrParameters(std::span<const float>(coefficients.begin(), coefficients.size()),
                       hSubsampling, vSubsampling);
  }
  // The file's CMYK profile as a transform to sRGB: CMYK rows go through it instead of the ink
  // formula. nullptr (the default) keeps the formula.
  void SetCmykTransform(std::shared_ptr<const TIccTransform> transform) { cmykTransform_ = std::move(transform); }
  const std::shared_ptr<const TIccTransform>& CmykTransform() const { return cmykTransform_; }

  const std::vector<int32_t>& CrToRed() const { return crToRed_; }
  const std::vector<int32_t>& CbToBlue() const { return cbToBlue_; }
  const std::vector<int32_t>& CrToGreen() const { return crToGreen_; }
  const std::vector<int32_t>& CbToGreen() const { return cbToGreen_; }

  // Index 0 asks for the source, any other index for the target.
  TPixelFormat GetPixelFormat(int index) const;

  // Reads min(colorCount, 256) entries; planar layouts need three pointers, packed ones one.
  TPalette CreateColorPalette(TSourceList sources, TPaletteDataLayout layout, uint32_t colorCount,
                              bool bgrOrder) const;
  TPalette CreateColorPalette(std::initializer_list<const void*> sources,
                              TPaletteDataLayout layout, uint32_t colorCount,
                              bool bgrOrder) const {
    return CreateColorPalette(TSourceList(sources.begin(), sources.size()), layout, colorCount,
                              bgrOrder);
  }
  TPalette CreateGrayscalePalette(bool minimumIsWhite) const;

  // Converts count target pixels. Pixel i is written only when bit 7 - (i mod 8) of mask is set;
  // the source holds just the selected pixels, one after the other.
  void ConvertRow(TSourceList sources, void* target, uint32_t count, uint8_t mask);
  void ConvertRow(std::initializer_list<const void*> sources, void* target, uint32_t count,
                  uint8_t mask) {
    ConvertRow(TSourceList(sources.begin(), sources.size()), target, count, mask);
  }

  // The bounded form the readers use: one span per source (one for interleaved samples, one per
  // plane otherwise) and the target row. A count whose pixels would read past a source or write
  // past the target is refused before anything is converted.
  using TRowSpans = std::span<const std::span<const uint8_t>>;
  void ConvertRow(TRowSpans sources, std::span<uint8_t> target, uint32_t count, uint8_t mask);
  // Bytes that count pixels of the current set-up need in one source span and in the target.
  uint64_t SourceRowBytes(uint32_t pixels, bool planar) const;
  uint64_t TargetRowBytes(uint32_t pixels) const;

  [[noreturn]] void Error(const std::string& message) const;

  // Per-sample helpers that go through the gamma table.
  uint8_t GammaByte(uint8_t value) const { return gammaTable_[value]; }
  uint8_t ScaleWordGamma(uint16_t value) const { return gammaTable_[ScaleWord(value)]; }
  uint8_t SwapScaleWordGamma(uint16_t value) const { return gammaTable_[SwapScaleWord(value)]; }

 private:
  using TRowConversion = void (TColorManager::*)(TSourceList, uint8_t*, uint32_t, uint8_t);

  void PrepareConversion();
  void ApplyAlphaOptions();
  void BuildYCbCrTables();

  void RGBToRGBRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void RGBToBGRRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void BGRToRGBRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void BGRToBGRRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void CopyColourRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask,
                     bool exchangeRedBlue);
  void GrayRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void IndexedRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void Indexed16Row(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void Indexed16ToNRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void IndexedNTo16Row(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void CMYKToRGBRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void CMYKToBGRRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void CMYKRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask, bool bgr);
  void LabToRGBRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void LabToBGRRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void LabRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask, bool bgr);
  const TLabTables& LabTablesFor(bool scaledL, bool offsetAB);
  void YCbCrToRGBRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void YCbCrToBGRRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void PhotoYCCToRGBRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void PhotoYCCToBGRRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask);
  void LumaChromaRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask,
                     bool bgr);

  bool changed_ = true;
  uint8_t sourceBitsPerSample_ = 8;
  uint8_t targetBitsPerSample_ = 8;
  uint8_t sourceSamplesPerPixel_ = 3;
  uint8_t targetSamplesPerPixel_ = 3;
  float mainGamma_ = 1.0f;
  float displayGamma_ = 2.2f;
  std::array<uint8_t, 256> gammaTable_{};
  std::array<float, 3> yCbCrCoefficients_{0.299f, 0.587f, 0.114f};
  uint8_t hSubsampling_ = 1;
  uint8_t vSubsampling_ = 1;
  std::vector<int32_t> crToRed_;
  std::vector<int32_t> cbToBlue_;
  std::vector<int32_t> crToGreen_;
  std::vector<int32_t> cbToGreen_;
  TColorScheme sourceColorScheme_ = csRGB;
  TColorScheme targetColorScheme_ = csBGR;
  TRowConversion rowConversion_ = nullptr;
  TConversionOptions sourceOptions_;
  TConversionOptions targetOptions_;
  // Built on the first L*a*b* row and whenever the options it depends on differ; immutable once
  // built, so copies of a manager may share it.
  std::shared_ptr<const TLabTables> labTables_;
  std::shared_ptr<const TIccTransform> cmykTransform_;
};

}  // namespace tablora
