#include "imaging/color_manager.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "imaging/byte_order.h"
#include "imaging/exceptions.h"

namespace tablora {

namespace {

constexpr const char* kInvalidDepth =
    "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
constexpr const char* kInvalidSampleCount =
    "Sample count per pixel does not correspond to the given color scheme.";
constexpr const char* kInvalidSubsampling =
    "Subsampling value is invalid. Allowed are 1, 2 and 4.";
constexpr const char* kVerticalSubsampling =
    "Vertical subsampling value must be <= horizontal subsampling value.";
constexpr const char* kIndexedMismatch =
    "Conversion between indexed and non-indexed pixel formats is not supported.";
constexpr const char* kNoMethod = "Color conversion failed. Could not find a proper method.";

// Ties go to the even neighbour under the default floating-point environment.
long double RoundHalfEven(long double value) { return std::nearbyint(value); }

constexpr auto LoadWord = LoadLE16;

bool IsRGBScheme(TColorScheme scheme) { return scheme == csRGB || scheme == csRGBA; }
bool IsBGRScheme(TColorScheme scheme) { return scheme == csBGR || scheme == csBGRA; }
bool HasAlphaSample(TColorScheme scheme) {
  return scheme == csGrayAlpha || scheme == csRGBA || scheme == csBGRA;
}

// Depths the row routines define output for; anything else selects no routine.
bool IsSupportedDepth(unsigned bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
}
bool IsByteOrWord(unsigned bits) { return bits == 8 || bits == 16; }

// A file may give weights that make the chroma factors infinite or NaN (a green weight of 0).
// Saturating keeps every later sum of table entries inside int32; sane weights never get near.
int32_t SaturatedTableEntry(float value) {
  if (std::isnan(value)) return 0;
  const long double rounded = RoundHalfEven(value);
  if (rounded > 32767.0L) return 32767;
  if (rounded < -32768.0L) return -32768;
  return static_cast<int32_t>(rounded);
}

}  // namespace

uint16_t MulDiv16(uint16_t a, uint16_t b, uint16_t c) {
  if (c == 0) return 0xFFFF;
  const uint32_t product = static_cast<uint32_t>(a) * b;
  return static_cast<uint16_t>(product / c);
}

TColorManager::TColorManager() { SetGamma(1.0f, 2.2f); }

void TColorManager::Error(const std::string& message) const {
  throw EColorConversionError(message);
}

void TColorManager::SetSourceBitsPerSample(unsigned bits) {
  if (bits < 1 || bits > 16) Error(kInvalidDepth);
  if (sourceBitsPerSample_ != bits) {
    sourceBitsPerSample_ = static_cast<uint8_t>(bits);
    changed_ = true;
  }
}

void TColorManager::SetTargetBitsPerSample(unsigned bits) {
  if (bits < 1 || bits > 16) Error(kInvalidDepth);
  if (targetBitsPerSample_ != bits) {
    targetBitsPerSample_ = static_cast<uint8_t>(bits);
    changed_ = true;
  }
}

void TColorManager::SetSourceSamplesPerPixel(unsigned samples) {
  if (samples < 1 || samples > 4) Error(kInvalidSampleCount);
  if (sourceSamplesPerPixel_ != samples) {
    sourceSamplesPerPixel_ = static_cast<uint8_t>(samples);
    changed_ = true;
  }
}

void TColorManager::SetTargetSamplesPerPixel(unsigned samples) {
  if (samples < 1 || samples > 4) Error(kInvalidSampleCount);
  if (targetSamplesPerPixel_ != samples) {
    targetSamplesPerPixel_ = static_cast<uint8_t>(samples);
    changed_ = true;
  }
}

void TColorManager::SetSourceColorScheme(TColorScheme scheme) {
  if (sourceColorScheme_ != scheme) {
    sourceColorScheme_ = scheme;
    changed_ = true;
  }
}

void TColorManager::SetTargetColorScheme(TColorScheme scheme) {
  if (targetColorScheme_ != scheme) {
    targetColorScheme_ = scheme;
    changed_ = true;
  }
}

void TColorManager::SetGamma(float mainGamma, float displayGamma) {
  mainGamma_ = mainGamma > 0 ? mainGamma : 1.0f;
  displayGamma_ = displayGamma > 0 ? displayGamma : 2.2f;

  const float exponent =
      static_cast<float>(1.0L / (static_cast<long double>(mainGamma_) * displayGamma_));
  // The last index follows the target depth for sub-byte sources; it is capped so that a
  // 9..16-bit target cannot push the loop past the 256 entries of the table.
  const unsigned lastIndex =
      sourceBitsPerSample_ >= 8 ? 255u
                                : std::min(255u, (1u << targetBitsPerSample_) - 1u);
  const unsigned scale = targetBitsPerSample_ >= 8 ? 255u : (1u << targetBitsPerSample_) - 1u;
  for (unsigned i = 0; i <= lastIndex; ++i) {
    const long double base = static_cast<long double>(i) / lastIndex;
    long double value = RoundHalfEven(std::pow(base, static_cast<long double>(exponent)) * scale);
    if (!(value >= 0)) value = 0;
    if (value > scale) value = scale;
    gammaTable_[i] = static_cast<uint8_t>(value);
  }
}

void TColorManager::SetYCbCrParameters(std::span<const float> coefficients, unsigned hSubsampling,
                                       unsigned vSubsampling) {
  // Checked first, so that a refused call changes nothing at all.
  auto valid = [](unsigned value) { return value == 1 || value == 2 || value == 4; };
  if (!valid(hSubsampling) || !valid(vSubsampling)) Error(kInvalidSubsampling);
  if (hSubsampling < vSubsampling) Error(kVerticalSubsampling);
  for (std::size_t i = 0; i < coefficients.size() && i < yCbCrCoefficients_.size(); ++i) {
    yCbCrCoefficients_[i] = coefficients[i];
  }
  hSubsampling_ = static_cast<uint8_t>(hSubsampling);
  vSubsampling_ = static_cast<uint8_t>(vSubsampling);
}

void TColorManager::BuildYCbCrTables() {
  const float kr = yCbCrCoefficients_[0];
  const float kg = yCbCrCoefficients_[1];
  const float kb = yCbCrCoefficients_[2];
  const float f1 = 2.0f - 2.0f * kr;
  const float f2 = 2.0f - 2.0f * kb;
  const float f3 = kr * f1 / kg;
  const float f4 = kb * f2 / kg;

  crToRed_.assign(256, 0);
  cbToBlue_.assign(256, 0);
  crToGreen_.assign(256, 0);
  cbToGreen_.assign(256, 0);
  // Photo-CD centres its chroma away from 128: the first chroma at 156, the second at 137.
  const bool photoCD = sourceColorScheme_ == csPhotoYCC;
  const int crCentre = photoCD ? 137 : 128;
  const int cbCentre = photoCD ? 156 : 128;
  for (int i = 0; i < 256; ++i) {
    const float dr = static_cast<float>(i - crCentre);
    const float db = static_cast<float>(i - cbCentre);
    crToRed_[i] = SaturatedTableEntry(f1 * dr);
    cbToBlue_[i] = SaturatedTableEntry(f2 * db);
    crToGreen_[i] = -SaturatedTableEntry(f3 * dr);
    cbToGreen_[i] = -SaturatedTableEntry(f4 * db);
  }
}

TPixelFormat TColorManager::GetPixelFormat(int index) const {
  const unsigned samples = index == 0 ? sourceSamplesPerPixel_ : targetSamplesPerPixel_;
  const unsigned bits = index == 0 ? sourceBitsPerSample_ : targetBitsPerSample_;
  switch (samples) {
    case 1:
      if (bits == 1) return pf1bit;
      if (bits >= 2 && bits <= 4) return pf4bit;
      if (bits >= 8) return pf8bit;
      return pfCustom;
    case 3:
      if (bits >= 1 && bits <= 5) return pf15bit;
      return pf24bit;
    case 4:
      return bits >= 8 ? pf32bit : pfCustom;
    default:
      return pfCustom;
  }
}

TPalette TColorManager::CreateColorPalette(TSourceList sources, TPaletteDataLayout layout,
                                           uint32_t colorCount, bool bgrOrder) const {
  const bool planar = layout == plPlanar8x3 || layout == plPlanar8x4 || layout == plPlanar16x3 ||
                      layout == plPlanar16x4;
  const bool wide = layout >= plPacked16x3;
  if (layout > plPlanar16x4 || sources.size() < (planar ? 3u : 1u)) Error(kNoMethod);
  for (std::size_t k = 0; k < (planar ? 3u : 1u); ++k) {
    if (sources[k] == nullptr) Error(kNoMethod);
  }

  const bool gamma = targetOptions_.Contains(coGammaCorrect);
  const bool swap = sourceOptions_.Contains(coByteSwap);
  auto byteComponent = [&](uint8_t value) { return gamma ? gammaTable_[value] : value; };
  auto wordComponent = [&](const uint8_t* p) {
    uint16_t value = LoadWord(p);
    if (swap) value = SwapWord(value);
    const uint8_t reduced = ScaleWord(value);
    return gamma ? gammaTable_[reduced] : reduced;
  };

  const uint32_t count = std::min<uint32_t>(colorCount, kMaxPaletteEntries);
  // Re-indexing below may look up entries the file never gave; those stay black.
  TPalette entries(kMaxPaletteEntries);
  const auto* first = static_cast<const uint8_t*>(sources[0]);
  const std::size_t sampleSize = wide ? 2 : 1;
  const std::size_t packedStride =
      sampleSize * ((layout == plPacked8x4 || layout == plPacked16x4) ? 4 : 3);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* red;
    const uint8_t* green;
    const uint8_t* blue;
    if (planar) {
      red = static_cast<const uint8_t*>(sources[0]) + i * sampleSize;
      green = static_cast<const uint8_t*>(sources[1]) + i * sampleSize;
      blue = static_cast<const uint8_t*>(sources[2]) + i * sampleSize;
    } else {
      const uint8_t* entry = first + i * packedStride;
      red = bgrOrder ? entry + 2 * sampleSize : entry;
      green = entry + sampleSize;
      blue = bgrOrder ? entry : entry + 2 * sampleSize;
    }
    TPaletteEntry& out = entries[i];
    if (wide) {
      out.peRed = wordComponent(red);
      out.peGreen = wordComponent(green);
      out.peBlue = wordComponent(blue);
    } else {
      out.peRed = byteComponent(*red);
      out.peGreen = byteComponent(*green);
      out.peBlue = byteComponent(*blue);
    }
  }

  // Matches the indexed row routines, which map index v to v * T div S: entry i of the result
  // must hold the file colour that such a mapped index came from.
  const uint32_t sourceMax = (1u << sourceBitsPerSample_) - 1u;
  const uint32_t targetMax = (1u << targetBitsPerSample_) - 1u;
  if (targetBitsPerSample_ <= 8 && sourceMax != targetMax) {
    TPalette reindexed(targetMax + 1);
    for (uint32_t i = 0; i <= targetMax; ++i) {
      const uint32_t from = i * sourceMax / targetMax;
      if (from < count) reindexed[i] = entries[from];
    }
    return reindexed;
  }
  entries.resize(count);
  return entries;
}

TPalette TColorManager::CreateGrayscalePalette(bool minimumIsWhite) const {
  const unsigned depth = std::min(8u, static_cast<unsigned>(targetBitsPerSample_) *
                                          targetSamplesPerPixel_);
  const unsigned last = (1u << depth) - 1u;
  const unsigned step = 255u / last;
  const bool gamma = targetOptions_.Contains(coGammaCorrect);
  TPalette palette(last + 1);
  for (unsigned i = 0; i <= last; ++i) {
    uint8_t value = static_cast<uint8_t>(step * i);
    if (gamma) value = gammaTable_[value];
    TPaletteEntry& entry = palette[minimumIsWhite ? last - i : i];
    entry.peRed = entry.peGreen = entry.peBlue = value;
    entry.peFlags = 0;
  }
  return palette;
}

void TColorManager::ApplyAlphaOptions() {
  if (HasAlphaSample(sourceColorScheme_)) {
    sourceOptions_.Include(coAlphaChannel);
  } else {
    sourceOptions_.Exclude(coAlphaChannel);
  }
  if (HasAlphaSample(targetColorScheme_)) {
    targetOptions_.Include(coAlphaChannel);
  } else {
    targetOptions_.Exclude(coAlphaChannel);
  }
}

void TColorManager::PrepareConversion() {
  rowConversion_ = nullptr;

  const bool sourceIndexed =
      sourceColorScheme_ == csIndexed || sourceColorScheme_ == csGray ||
      sourceColorScheme_ == csGrayAlpha;
  const bool targetIndexed = targetColorScheme_ == csIndexed || targetColorScheme_ == csGray;
  if (sourceIndexed != targetIndexed) Error(kIndexedMismatch);

  ApplyAlphaOptions();

  if (sourceColorScheme_ == csYCbCr || sourceColorScheme_ == csPhotoYCC) BuildYCbCrTables();

  const unsigned s = sourceBitsPerSample_;
  const unsigned t = targetBitsPerSample_;
  const bool toRGB = IsRGBScheme(targetColorScheme_);
  const bool toBGR = IsBGRScheme(targetColorScheme_);
  auto pick = [&](TRowConversion rgb, TRowConversion bgr) -> TRowConversion {
    return toRGB ? rgb : toBGR ? bgr : nullptr;
  };

  if (IsSupportedDepth(s) && IsSupportedDepth(t)) {
    switch (sourceColorScheme_) {
      case csIndexed:
        if (s == 16) {
          rowConversion_ = t == 16 ? &TColorManager::Indexed16Row : &TColorManager::Indexed16ToNRow;
        } else {
          rowConversion_ = t == 16 ? &TColorManager::IndexedNTo16Row : &TColorManager::IndexedRow;
        }
        break;
      case csGray:
        if (s != 16 && t != 16) {
          rowConversion_ = &TColorManager::IndexedRow;
        } else if (s >= 8 && t >= 8) {
          rowConversion_ = &TColorManager::GrayRow;
        }
        break;
      case csGrayAlpha:
        if (IsByteOrWord(s) && IsByteOrWord(t)) rowConversion_ = &TColorManager::GrayRow;
        break;
      case csRGB:
      case csRGBA:
        rowConversion_ = pick(&TColorManager::RGBToRGBRow, &TColorManager::RGBToBGRRow);
        break;
      case csBGR:
      case csBGRA:
        rowConversion_ = pick(&TColorManager::BGRToRGBRow, &TColorManager::BGRToBGRRow);
        break;
      case csCMYK:
        if (IsByteOrWord(s)) {
          rowConversion_ = pick(&TColorManager::CMYKToRGBRow, &TColorManager::CMYKToBGRRow);
        }
        break;
      case csCIELab:
        if (IsByteOrWord(s)) {
          rowConversion_ = pick(&TColorManager::LabToRGBRow, &TColorManager::LabToBGRRow);
        }
        break;
      case csYCbCr:
        if (IsByteOrWord(s)) {
          rowConversion_ = pick(&TColorManager::YCbCrToRGBRow, &TColorManager::YCbCrToBGRRow);
        }
        break;
      case csPhotoYCC:
        if (IsByteOrWord(s)) {
          rowConversion_ =
              pick(&TColorManager::PhotoYCCToRGBRow, &TColorManager::PhotoYCCToBGRRow);
        }
        break;
      default:
        break;
    }
  }
  changed_ = false;
}

void TColorManager::ConvertRow(TSourceList sources, void* target, uint32_t count, uint8_t mask) {
  if (changed_) PrepareConversion();
  if (rowConversion_ == nullptr) Error(kNoMethod);
  // The alpha bit fixes the pixel step. A reader that assigns whole option sets between loads
  // of one scheme would otherwise clear or set it without a new preparation, and the routine
  // would walk the row with the wrong step (reading past it when the bit is set wrongly).
  ApplyAlphaOptions();
  if (count == 0) return;
  if (sources.empty() || sources[0] == nullptr || target == nullptr) Error(kNoMethod);
  (this->*rowConversion_)(sources, static_cast<uint8_t*>(target), count, mask);
}

namespace {

// Samples per pixel that the routine of a scheme steps by, whatever the reader declared.
unsigned SchemeStep(TColorScheme scheme) {
  switch (scheme) {
    case csGrayAlpha: return 2;
    case csRGBA:
    case csBGRA:
    case csCMYK: return 4;
    case csRGB:
    case csBGR:
    case csCMY:
    case csCIELab:
    case csYCbCr:
    case csPhotoYCC: return 3;
    default: return 1;
  }
}

uint32_t SelectedPixels(uint32_t count, uint8_t mask) {
  const uint32_t perGroup = static_cast<uint32_t>(std::popcount(mask));
  uint32_t selected = count / 8 * perGroup;
  for (uint32_t i = 0; i < count % 8; ++i) selected += (mask >> (7 - i)) & 1u;
  return selected;
}

}  // namespace

uint64_t TColorManager::SourceRowBytes(uint32_t pixels, bool planar) const {
  const uint64_t samples =
      planar ? 1 : std::max<unsigned>(sourceSamplesPerPixel_, SchemeStep(sourceColorScheme_));
  const uint64_t bits = uint64_t{pixels} * samples * sourceBitsPerSample_;
  return (bits + 7) / 8;
}

uint64_t TColorManager::TargetRowBytes(uint32_t pixels) const {
  const bool indexedLike = targetColorScheme_ == csIndexed || targetColorScheme_ == csGray;
  const uint64_t bitsPerPixel =
      indexedLike ? targetBitsPerSample_
                  : 8u * (HasAlphaSample(targetColorScheme_) || targetSamplesPerPixel_ == 4 ? 4 : 3);
  return (uint64_t{pixels} * bitsPerPixel + 7) / 8;
}

void TColorManager::ConvertRow(TRowSpans sources, std::span<uint8_t> target, uint32_t count,
                               uint8_t mask) {
  if (sources.empty() || sources.size() > 4) Error(kNoMethod);
  const uint64_t need = SourceRowBytes(SelectedPixels(count, mask), sources.size() > 1);
  std::array<const void*, 4> pointers{};
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (sources[i].size() < need) Error("Color conversion failed. The source row is too short.");
    pointers[i] = sources[i].data();
  }
  if (target.size() < TargetRowBytes(count)) {
    Error("Color conversion failed. The target row is too short.");
  }
  ConvertRow(TSourceList(pointers.data(), sources.size()), target.data(), count, mask);
}

}  // namespace tablora
