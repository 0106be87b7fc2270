// Row routines of TColorManager. Each routine is chosen once per set-up; each picks its
// per-sample helper once per call and runs a loop specialised for it, so no per-pixel dispatch.

#include <cmath>
#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/color_manager.h"
#include "imaging/icc_transform.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TABLORA_X86_SIMD 1
#endif

namespace tablora {

namespace {

constexpr const char* kNoMethod = "Color conversion failed. Could not find a proper method.";

constexpr auto LoadLittleEndian = LoadLE16;
constexpr auto LoadBigEndian = LoadBE16;
inline void StoreWord(uint8_t* p, uint16_t value, bool bigEndian) {
  p[bigEndian ? 1 : 0] = static_cast<uint8_t>(value);
  p[bigEndian ? 0 : 1] = static_cast<uint8_t>(value >> 8);
}

inline bool Selected(uint8_t mask, uint32_t pixel) {
  return (mask & (0x80u >> (pixel & 7u))) != 0;
}

// Sample readers: each turns the sample at p into the 8-bit value a target byte receives.
struct ReadByte {
  uint8_t operator()(const uint8_t* p) const { return *p; }
};
struct ReadGammaByte {
  const uint8_t* table;
  uint8_t operator()(const uint8_t* p) const { return table[*p]; }
};
struct ReadWord {
  uint8_t operator()(const uint8_t* p) const { return ScaleWord(LoadLittleEndian(p)); }
};
struct ReadWordGamma {
  const uint8_t* table;
  uint8_t operator()(const uint8_t* p) const { return table[ScaleWord(LoadLittleEndian(p))]; }
};
struct ReadSwappedWord {
  uint8_t operator()(const uint8_t* p) const { return ScaleWord(LoadBigEndian(p)); }
};
struct ReadSwappedWordGamma {
  const uint8_t* table;
  uint8_t operator()(const uint8_t* p) const { return table[ScaleWord(LoadBigEndian(p))]; }
};

// Where the samples of a row live: one pointer per sample and the byte step between pixels.
// Interleaved rows get pointers into the same buffer at consecutive sample offsets.
struct SampleLayout {
  const uint8_t* sample[4] = {nullptr, nullptr, nullptr, nullptr};
  std::size_t step = 0;
};

SampleLayout Interleaved(const void* row, std::size_t samples, std::size_t sampleSize,
                         std::size_t samplesUsed) {
  SampleLayout layout;
  const auto* base = static_cast<const uint8_t*>(row);
  for (std::size_t k = 0; k < samplesUsed; ++k) layout.sample[k] = base + k * sampleSize;
  layout.step = samples * sampleSize;
  return layout;
}

SampleLayout Planar(TColorManager::TSourceList sources, std::size_t sampleSize,
                    std::size_t planesUsed) {
  SampleLayout layout;
  for (std::size_t k = 0; k < planesUsed; ++k) {
    layout.sample[k] = static_cast<const uint8_t*>(sources[k]);
  }
  layout.step = sampleSize;
  return layout;
}

bool PlanesPresent(TColorManager::TSourceList sources, std::size_t planes) {
  if (sources.size() < planes) return false;
  for (std::size_t k = 0; k < planes; ++k) {
    if (sources[k] == nullptr) return false;
  }
  return true;
}

// ---- Colour copy family ----

template <bool AllPixels, class Colour, class Alpha>
void CopyColours(const SampleLayout& in, uint8_t* target, std::size_t targetStep, uint32_t count,
                 uint8_t mask, bool exchangeRedBlue, bool copyAlpha, Colour colour,
                 Alpha alpha) {
  const std::size_t first = exchangeRedBlue ? 2 : 0;
  const std::size_t third = 2 - first;
  std::size_t offset = 0;
  for (uint32_t i = 0; i < count; ++i, target += targetStep) {
    if (!AllPixels && !Selected(mask, i)) continue;
    target[first] = colour(in.sample[0] + offset);
    target[1] = colour(in.sample[1] + offset);
    target[third] = colour(in.sample[2] + offset);
    if (copyAlpha) target[3] = alpha(in.sample[3] + offset);
    offset += in.step;
  }
}

void ExchangeRedBlue3Scalar(const uint8_t* source, uint8_t* target, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, source += 3, target += 3) {
    const uint8_t a = source[0];
    const uint8_t b = source[1];
    const uint8_t c = source[2];
    target[0] = c;
    target[1] = b;
    target[2] = a;
  }
}

void ExchangeRedBlue4Scalar(const uint8_t* source, uint8_t* target, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, source += 4, target += 4) {
    const uint8_t a = source[0];
    const uint8_t b = source[1];
    const uint8_t c = source[2];
    const uint8_t d = source[3];
    target[0] = c;
    target[1] = b;
    target[2] = a;
    target[3] = d;
  }
}

#ifdef TABLORA_X86_SIMD
bool HasSsse3() {
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return supported;
}

// Five pixels per 16-byte load; the 16th byte stored is the next pixel's first source byte and
// is overwritten by the next step (or the scalar tail), so no byte beyond the row is touched.
__attribute__((target("ssse3"))) std::size_t ExchangeRedBlue3Ssse3(const uint8_t* source,
                                                                   uint8_t* target,
                                                                   std::size_t count) {
  const __m128i shuffle = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  const std::size_t bytes = count * 3;
  std::size_t i = 0;
  for (; i + 32 <= bytes; i += 30) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 15));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_shuffle_epi8(a, shuffle));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i + 15), _mm_shuffle_epi8(b, shuffle));
  }
  for (; i + 16 <= bytes; i += 15) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_shuffle_epi8(a, shuffle));
  }
  return i / 3;
}

__attribute__((target("ssse3"))) std::size_t ExchangeRedBlue4Ssse3(const uint8_t* source,
                                                                   uint8_t* target,
                                                                   std::size_t count) {
  const __m128i shuffle = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 4 * i), _mm_shuffle_epi8(a, shuffle));
  }
  return i;
}
#endif

void ExchangeRedBlue3(const uint8_t* source, uint8_t* target, std::size_t count) {
  std::size_t done = 0;
#ifdef TABLORA_X86_SIMD
  if (HasSsse3()) done = ExchangeRedBlue3Ssse3(source, target, count);
#endif
  ExchangeRedBlue3Scalar(source + 3 * done, target + 3 * done, count - done);
}

void ExchangeRedBlue4(const uint8_t* source, uint8_t* target, std::size_t count) {
  std::size_t done = 0;
#ifdef TABLORA_X86_SIMD
  if (HasSsse3()) done = ExchangeRedBlue4Ssse3(source, target, count);
#endif
  ExchangeRedBlue4Scalar(source + 4 * done, target + 4 * done, count - done);
}

// ---- Packed index fields ----

// Writes value into the bits-wide field of pixel i, highest bits first, keeping the other bits.
inline void StoreField(uint8_t* target, std::size_t pixel, unsigned bits, unsigned value) {
  if (bits == 8) {
    target[pixel] = static_cast<uint8_t>(value);
    return;
  }
  const std::size_t bit = pixel * bits;
  const unsigned shift = 8u - bits - static_cast<unsigned>(bit & 7u);
  const unsigned fieldMask = ((1u << bits) - 1u) << shift;
  uint8_t& byte = target[bit >> 3];
  byte = static_cast<uint8_t>((byte & ~fieldMask) | ((value << shift) & fieldMask));
}

// Reads consecutive bits-wide values, highest bits first; a byte is read only when a value in it
// is wanted, so only the bytes of the selected pixels are touched.
class FieldReader {
 public:
  FieldReader(const uint8_t* source, unsigned bits) : source_(source), bits_(bits) {}
  unsigned Next() {
    if (bits_ == 8) return *source_++;
    const unsigned value = (*source_ >> (8u - bits_ - used_)) & ((1u << bits_) - 1u);
    used_ += bits_;
    if (used_ == 8) {
      used_ = 0;
      ++source_;
    }
    return value;
  }

 private:
  const uint8_t* source_;
  unsigned bits_;
  unsigned used_ = 0;
};

// ---- CIE L*a*b* ----

// lrint rounds in the current mode, nearest with ties to even, like nearbyint, but without
// saving and restoring the floating-point environment, which made nearbyint the bulk of the cost.
inline uint8_t ClampRound(long double value) {
  const long double scaled = value * 255.0L;
  if (!(scaled > 0)) return 0;
  if (scaled >= 256) return 255;
  const long rounded = std::lrint(scaled);
  return static_cast<uint8_t>(rounded > 255 ? 255 : rounded);
}

struct Rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

// The matrix gives linear light; shown as it is, an L* 50 grey comes out near 47 instead of the
// 118 other programs show. Each result is clamped to 0..1 and encoded with the sRGB transfer curve.
inline long double SrgbEncode(long double linear) {
  if (!(linear > 0)) return 0;
  if (linear >= 1) return 1;
  if (linear <= 0.0031308L) return 12.92L * linear;
  return 1.055L * std::pow(static_cast<double>(linear), 1.0 / 2.4) - 0.055L;
}

Rgb XyzToRgb(long double x, long double y, long double z) {
  return Rgb{ClampRound(SrgbEncode(2.998L * x - 1.458L * y - 0.541L * z)),
             ClampRound(SrgbEncode(-0.952L * x + 1.893L * y + 0.059L * z)),
             ClampRound(SrgbEncode(0.099L * x - 0.198L * y + 1.099L * z))};
}

inline void StoreRgb(uint8_t* target, Rgb colour, bool bgr) {
  target[0] = bgr ? colour.blue : colour.red;
  target[1] = colour.green;
  target[2] = bgr ? colour.red : colour.blue;
}

// ---- CMYK ----

inline uint8_t InkByte(unsigned ink, unsigned black) {
  return ClampByte(static_cast<int>(ink * black / 255u) - static_cast<int>(ink) -
                   static_cast<int>(black) + 255);
}

inline uint8_t InkWord(unsigned ink, unsigned black) {
  const unsigned covered = ink * black / 65535u;
  const unsigned sum = (ink + black - covered) & 0xFFFFu;
  return ClampByte(255 - static_cast<int>(sum * 255u / 65535u));
}

template <bool AllPixels, bool Wide, bool BigEndian>
void ConvertInks(const SampleLayout& in, uint8_t* target, std::size_t targetStep, uint32_t count,
                 uint8_t mask, bool bgr) {
  const std::size_t redAt = bgr ? 2 : 0;
  const std::size_t blueAt = 2 - redAt;
  std::size_t offset = 0;
  auto read = [&](int k) -> unsigned {
    const uint8_t* p = in.sample[k] + offset;
    if constexpr (!Wide) return *p;
    return BigEndian ? LoadBigEndian(p) : LoadLittleEndian(p);
  };
  for (uint32_t i = 0; i < count; ++i, target += targetStep) {
    if (!AllPixels && !Selected(mask, i)) continue;
    const unsigned c = read(0);
    const unsigned m = read(1);
    const unsigned y = read(2);
    const unsigned k = read(3);
    if constexpr (Wide) {
      target[redAt] = InkWord(c, k);
      target[1] = InkWord(m, k);
      target[blueAt] = InkWord(y, k);
    } else {
      target[redAt] = InkByte(c, k);
      target[1] = InkByte(m, k);
      target[blueAt] = InkByte(y, k);
    }
    offset += in.step;
  }
}

// The file's CMYK profile instead of the formula: the selected pixels' inks (16-bit ones reduced
// to 8 bits) go through lcms2 a run at a time.
void ConvertInksThroughProfile(const SampleLayout& in, const TIccTransform& transform, uint8_t* target,
                               std::size_t targetStep, uint32_t count, uint8_t mask, bool bgr, bool wide,
                               bool bigEndian) {
  constexpr uint32_t kRun = 256;
  uint8_t inks[kRun * 4];
  uint8_t colours[kRun * 3];
  uint32_t at[kRun];
  uint32_t n = 0;
  auto flush = [&] {
    transform.ConvertCmyk(inks, colours, n);
    for (uint32_t j = 0; j < n; ++j) {
      uint8_t* t = target + std::size_t{at[j]} * targetStep;
      const uint8_t* bgrColour = colours + 3 * j;
      t[0] = bgrColour[bgr ? 0 : 2];
      t[1] = bgrColour[1];
      t[2] = bgrColour[bgr ? 2 : 0];
    }
    n = 0;
  };
  std::size_t offset = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!Selected(mask, i)) continue;
    for (int k = 0; k < 4; ++k) {
      const uint8_t* p = in.sample[k] + offset;
      inks[4 * n + k] = !wide ? *p : ScaleWord(bigEndian ? LoadBigEndian(p) : LoadLittleEndian(p));
    }
    at[n++] = i;
    offset += in.step;
    if (n == kRun) flush();
  }
  if (n > 0) flush();
}

// ---- YCbCr and Photo-CD ----

struct ChromaTables {
  const int32_t* crToRed;
  const int32_t* cbToBlue;
  const int32_t* crToGreen;
  const int32_t* cbToGreen;
};

template <bool AllPixels, class Sample>
void ConvertLumaChroma(const SampleLayout& in, uint8_t* target, std::size_t targetStep,
                       uint32_t count, uint8_t mask, bool bgr, const ChromaTables& tables,
                       Sample sample) {
  const std::size_t redAt = bgr ? 2 : 0;
  const std::size_t blueAt = 2 - redAt;
  std::size_t offset = 0;
  for (uint32_t i = 0; i < count; ++i, target += targetStep) {
    if (!AllPixels && !Selected(mask, i)) continue;
    const int y = sample(in.sample[0] + offset);
    const uint8_t cb = sample(in.sample[1] + offset);
    const uint8_t cr = sample(in.sample[2] + offset);
    target[blueAt] = ClampByte(y + tables.cbToBlue[cb]);
    target[1] = ClampByte(y + tables.cbToGreen[cb] + tables.crToGreen[cr]);
    target[redAt] = ClampByte(y + tables.crToRed[cr]);
    offset += in.step;
  }
}

}  // namespace

// Every term of the formulas that depends on one sample alone, for all 256 values of the sample.
// The same extended-precision operations as a direct evaluation, done once instead of per pixel.
struct TLabTables {
  bool scaledL = false;
  bool offsetAB = false;
  bool linear[256];
  long double y[256];
  long double fy[256];
  long double aLinear[256];
  long double aCube[256];
  long double bLinear[256];
  long double bCube[256];
};

const TLabTables& TColorManager::LabTablesFor(bool scaledL, bool offsetAB) {
  if (labTables_ && labTables_->scaledL == scaledL && labTables_->offsetAB == offsetAB) {
    return *labTables_;
  }
  auto tables = std::make_shared<TLabTables>();
  tables->scaledL = scaledL;
  tables->offsetAB = offsetAB;
  for (int v = 0; v < 256; ++v) {
    long double l = v;
    if (scaledL) l /= 2.55L;
    tables->linear[v] = l < 7.9996L;
    if (tables->linear[v]) {
      tables->y[v] = l / 903.3L;
      tables->fy[v] = 0;
    } else {
      const long double fy = (l + 16.0L) / 116.0L;
      tables->fy[v] = fy;
      tables->y[v] = fy * fy * fy;
    }
    const long double chroma =
        offsetAB ? v - 128.0L : static_cast<long double>(static_cast<int8_t>(v));
    tables->aLinear[v] = chroma / 3893.5L;
    tables->aCube[v] = chroma / 500.0L;
    tables->bLinear[v] = chroma / 1557.4L;
    tables->bCube[v] = chroma / 200.0L;
  }
  labTables_ = std::move(tables);
  return *labTables_;
}

// ---- Colour copy family ----

void TColorManager::RGBToRGBRow(TSourceList sources, uint8_t* target, uint32_t count,
                                uint8_t mask) {
  CopyColourRow(sources, target, count, mask, false);
}

void TColorManager::RGBToBGRRow(TSourceList sources, uint8_t* target, uint32_t count,
                                uint8_t mask) {
  CopyColourRow(sources, target, count, mask, true);
}

void TColorManager::BGRToRGBRow(TSourceList sources, uint8_t* target, uint32_t count,
                                uint8_t mask) {
  CopyColourRow(sources, target, count, mask, true);
}

void TColorManager::BGRToBGRRow(TSourceList sources, uint8_t* target, uint32_t count,
                                uint8_t mask) {
  CopyColourRow(sources, target, count, mask, false);
}

void TColorManager::CopyColourRow(TSourceList sources, uint8_t* target, uint32_t count,
                                  uint8_t mask, bool exchangeRedBlue) {
  const unsigned depth = sourceBitsPerSample_;
  if (depth != 8 && depth != 16) return;
  const bool planar = sources.size() > 1;
  if (planar && !PlanesPresent(sources, 3)) Error(kNoMethod);

  const bool sourceAlpha = sourceOptions_.Contains(coAlphaChannel);
  const bool targetAlpha = targetOptions_.Contains(coAlphaChannel);
  const std::size_t sampleSize = depth / 8;
  // A planar row without a fourth plane has no alpha to give; the target's alpha stays as is.
  const bool copyAlpha =
      sourceAlpha && targetAlpha && (!planar || PlanesPresent(sources, 4));
  const std::size_t samplesUsed = copyAlpha ? 4 : 3;
  const SampleLayout in = planar ? Planar(sources, sampleSize, samplesUsed)
                                 : Interleaved(sources[0], sourceAlpha ? 4 : 3, sampleSize,
                                               samplesUsed);
  const std::size_t targetStep = targetAlpha ? 4 : 3;
  const bool gamma = targetOptions_.Contains(coGammaCorrect);

  if (depth == 8 && !gamma && mask == 0xFF && !planar && in.step == targetStep &&
      (targetStep == 3 || copyAlpha)) {
    const auto* source = static_cast<const uint8_t*>(sources[0]);
    if (!exchangeRedBlue) {
      if (source != target) std::memmove(target, source, count * targetStep);
    } else if (targetStep == 3) {
      ExchangeRedBlue3(source, target, count);
    } else {
      ExchangeRedBlue4(source, target, count);
    }
    return;
  }

  auto run = [&](auto colour, auto alpha) {
    if (mask == 0xFF) {
      CopyColours<true>(in, target, targetStep, count, mask, exchangeRedBlue, copyAlpha, colour,
                        alpha);
    } else {
      CopyColours<false>(in, target, targetStep, count, mask, exchangeRedBlue, copyAlpha, colour,
                         alpha);
    }
  };
  const uint8_t* table = gammaTable_.data();
  if (depth == 8) {
    if (gamma) {
      run(ReadGammaByte{table}, ReadByte{});
    } else {
      run(ReadByte{}, ReadByte{});
    }
  } else if (sourceOptions_.Contains(coByteSwap)) {
    if (gamma) {
      run(ReadSwappedWordGamma{table}, ReadSwappedWord{});
    } else {
      run(ReadSwappedWord{}, ReadSwappedWord{});
    }
  } else if (gamma) {
    run(ReadWordGamma{table}, ReadWord{});
  } else {
    run(ReadWord{}, ReadWord{});
  }
}

// ---- Grey ----

void TColorManager::GrayRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask) {
  const auto* source = static_cast<const uint8_t*>(sources[0]);
  const bool wide = sourceBitsPerSample_ == 16;
  const std::size_t step =
      (sourceOptions_.Contains(coAlphaChannel) ? 2u : 1u) * (wide ? 2u : 1u);
  if (!wide && step == 1 && mask == 0xFF) {
    if (source != target) std::memmove(target, source, count);
    return;
  }
  const bool swap = sourceOptions_.Contains(coByteSwap);
  std::size_t offset = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!Selected(mask, i)) continue;
    const uint8_t* p = source + offset;
    if (!wide) {
      target[i] = *p;
    } else {
      target[i] = ScaleWord(swap ? LoadBigEndian(p) : LoadLittleEndian(p));
    }
    offset += step;
  }
}

// ---- Indexed ----

void TColorManager::IndexedRow(TSourceList sources, uint8_t* target, uint32_t count,
                               uint8_t mask) {
  const auto* source = static_cast<const uint8_t*>(sources[0]);
  const unsigned sourceBits = sourceBitsPerSample_;
  const unsigned targetBits = targetBitsPerSample_;
  if (sourceBits == targetBits && mask == 0xFF) {
    const std::size_t bytes = (static_cast<std::size_t>(count) * sourceBits + 7) / 8;
    if (source != target) std::memmove(target, source, bytes);
    return;
  }
  const uint16_t sourceMax = static_cast<uint16_t>((1u << sourceBits) - 1u);
  const uint16_t targetMax = static_cast<uint16_t>((1u << targetBits) - 1u);
  uint8_t scaled[256];
  for (unsigned v = 0; v <= sourceMax; ++v) {
    scaled[v] = static_cast<uint8_t>(MulDiv16(static_cast<uint16_t>(v), targetMax, sourceMax));
  }
  FieldReader reader(source, sourceBits);
  for (uint32_t i = 0; i < count; ++i) {
    if (!Selected(mask, i)) continue;
    StoreField(target, i, targetBits, scaled[reader.Next()]);
  }
}

void TColorManager::Indexed16Row(TSourceList sources, uint8_t* target, uint32_t count,
                                 uint8_t mask) {
  const auto* source = static_cast<const uint8_t*>(sources[0]);
  const bool swap = sourceOptions_.Contains(coByteSwap);
  if (!swap && mask == 0xFF) {
    if (source != target) std::memmove(target, source, static_cast<std::size_t>(count) * 2);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (!Selected(mask, i)) continue;
    const uint8_t low = source[swap ? 1 : 0];
    const uint8_t high = source[swap ? 0 : 1];
    target[2 * static_cast<std::size_t>(i)] = low;
    target[2 * static_cast<std::size_t>(i) + 1] = high;
    source += 2;
  }
}

void TColorManager::Indexed16ToNRow(TSourceList sources, uint8_t* target, uint32_t count,
                                    uint8_t mask) {
  const auto* source = static_cast<const uint8_t*>(sources[0]);
  const bool swap = sourceOptions_.Contains(coByteSwap);
  const unsigned targetBits = targetBitsPerSample_;
  const uint16_t targetMax = static_cast<uint16_t>((1u << targetBits) - 1u);
  for (uint32_t i = 0; i < count; ++i) {
    if (!Selected(mask, i)) continue;
    const uint16_t value = swap ? LoadBigEndian(source) : LoadLittleEndian(source);
    StoreField(target, i, targetBits, MulDiv16(value, targetMax, 65535));
    source += 2;
  }
}

void TColorManager::IndexedNTo16Row(TSourceList sources, uint8_t* target, uint32_t count,
                                    uint8_t mask) {
  const auto* source = static_cast<const uint8_t*>(sources[0]);
  const bool swap = sourceOptions_.Contains(coByteSwap);
  const unsigned sourceBits = sourceBitsPerSample_;
  const uint16_t sourceMax = static_cast<uint16_t>((1u << sourceBits) - 1u);
  FieldReader reader(source, sourceBits);
  for (uint32_t i = 0; i < count; ++i) {
    if (!Selected(mask, i)) continue;
    const uint16_t value = MulDiv16(static_cast<uint16_t>(reader.Next()), 65535, sourceMax);
    StoreWord(target + 2 * static_cast<std::size_t>(i), value, swap);
  }
}

// ---- CMYK ----

void TColorManager::CMYKToRGBRow(TSourceList sources, uint8_t* target, uint32_t count,
                                 uint8_t mask) {
  CMYKRow(sources, target, count, mask, false);
}

void TColorManager::CMYKToBGRRow(TSourceList sources, uint8_t* target, uint32_t count,
                                 uint8_t mask) {
  CMYKRow(sources, target, count, mask, true);
}

void TColorManager::CMYKRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask,
                            bool bgr) {
  const bool wide = sourceBitsPerSample_ == 16;
  const std::size_t sampleSize = wide ? 2 : 1;
  const bool planar = sources.size() == 4 && PlanesPresent(sources, 4);
  const SampleLayout in =
      planar ? Planar(sources, sampleSize, 4) : Interleaved(sources[0], 4, sampleSize, 4);
  const std::size_t targetStep = targetOptions_.Contains(coAlphaChannel) ? 4 : 3;
  // Big-endian files (PSD, Motorola TIFF) store 16-bit inks high byte first like every other
  // 16-bit sample; reading them as stored would give wrong colours.
  const bool bigEndian = sourceOptions_.Contains(coByteSwap);
  if (cmykTransform_) {
    ConvertInksThroughProfile(in, *cmykTransform_, target, targetStep, count, mask, bgr, wide, bigEndian);
    return;
  }
  const bool all = mask == 0xFF;
  if (!wide) {
    all ? ConvertInks<true, false, false>(in, target, targetStep, count, mask, bgr)
        : ConvertInks<false, false, false>(in, target, targetStep, count, mask, bgr);
  } else if (bigEndian) {
    all ? ConvertInks<true, true, true>(in, target, targetStep, count, mask, bgr)
        : ConvertInks<false, true, true>(in, target, targetStep, count, mask, bgr);
  } else {
    all ? ConvertInks<true, true, false>(in, target, targetStep, count, mask, bgr)
        : ConvertInks<false, true, false>(in, target, targetStep, count, mask, bgr);
  }
}

// ---- CIE L*a*b* ----

void TColorManager::LabToRGBRow(TSourceList sources, uint8_t* target, uint32_t count,
                                uint8_t mask) {
  LabRow(sources, target, count, mask, false);
}

void TColorManager::LabToBGRRow(TSourceList sources, uint8_t* target, uint32_t count,
                                uint8_t mask) {
  LabRow(sources, target, count, mask, true);
}

void TColorManager::LabRow(TSourceList sources, uint8_t* target, uint32_t count, uint8_t mask,
                           bool bgr) {
  const bool wide = sourceBitsPerSample_ == 16;
  const std::size_t sampleSize = wide ? 2 : 1;
  const bool planar = sources.size() > 1;
  if (planar && !PlanesPresent(sources, 3)) Error(kNoMethod);
  const SampleLayout in =
      planar ? Planar(sources, sampleSize, 3) : Interleaved(sources[0], 3, sampleSize, 3);
  const std::size_t targetStep = targetOptions_.Contains(coAlphaChannel) ? 4 : 3;
  const TLabTables& lab = LabTablesFor(sourceOptions_.Contains(coLabScaledL),
                                       sourceOptions_.Contains(coLabOffsetAB));
  const bool swap = sourceOptions_.Contains(coByteSwap);
  std::size_t offset = 0;
  for (uint32_t i = 0; i < count; ++i, target += targetStep) {
    if (!Selected(mask, i)) continue;
    uint8_t l;
    uint8_t a;
    uint8_t b;
    if (!wide) {
      l = in.sample[0][offset];
      a = in.sample[1][offset];
      b = in.sample[2][offset];
    } else {
      // 16-bit samples are brought to the 8-bit ranges the formulas expect: L scaled down,
      // a and b reduced to their high byte, which keeps their sign or their offset of 128.
      auto word = [&](int k) {
        const uint8_t* p = in.sample[k] + offset;
        return swap ? LoadBigEndian(p) : LoadLittleEndian(p);
      };
      l = ScaleWord(word(0));
      a = static_cast<uint8_t>(word(1) >> 8);
      b = static_cast<uint8_t>(word(2) >> 8);
    }
    long double x;
    long double y;
    long double z;
    if (lab.linear[l]) {
      y = lab.y[l];
      x = y + lab.aLinear[a];
      z = y - lab.bLinear[b];
    } else {
      const long double fx = lab.fy[l] + lab.aCube[a];
      const long double fz = lab.fy[l] - lab.bCube[b];
      x = fx * fx * fx;
      y = lab.y[l];
      z = fz * fz * fz;
    }
    StoreRgb(target, XyzToRgb(x, y, z), bgr);
    offset += in.step;
  }
}

// ---- YCbCr and Photo-CD ----

void TColorManager::YCbCrToRGBRow(TSourceList sources, uint8_t* target, uint32_t count,
                                  uint8_t mask) {
  LumaChromaRow(sources, target, count, mask, false);
}

void TColorManager::YCbCrToBGRRow(TSourceList sources, uint8_t* target, uint32_t count,
                                  uint8_t mask) {
  LumaChromaRow(sources, target, count, mask, true);
}

void TColorManager::PhotoYCCToRGBRow(TSourceList sources, uint8_t* target, uint32_t count,
                                     uint8_t mask) {
  LumaChromaRow(sources, target, count, mask, false);
}

void TColorManager::PhotoYCCToBGRRow(TSourceList sources, uint8_t* target, uint32_t count,
                                     uint8_t mask) {
  LumaChromaRow(sources, target, count, mask, true);
}

void TColorManager::LumaChromaRow(TSourceList sources, uint8_t* target, uint32_t count,
                                  uint8_t mask, bool bgr) {
  const bool wide = sourceBitsPerSample_ == 16;
  const std::size_t sampleSize = wide ? 2 : 1;
  const bool planar = sources.size() > 1;
  if (planar && !PlanesPresent(sources, 3)) Error(kNoMethod);
  const SampleLayout in =
      planar ? Planar(sources, sampleSize, 3) : Interleaved(sources[0], 3, sampleSize, 3);
  const std::size_t targetStep = targetOptions_.Contains(coAlphaChannel) ? 4 : 3;
  const ChromaTables tables{crToRed_.data(), cbToBlue_.data(), crToGreen_.data(),
                            cbToGreen_.data()};
  auto run = [&](auto sample) {
    if (mask == 0xFF) {
      ConvertLumaChroma<true>(in, target, targetStep, count, mask, bgr, tables, sample);
    } else {
      ConvertLumaChroma<false>(in, target, targetStep, count, mask, bgr, tables, sample);
    }
  };
  if (!wide) {
    run(ReadByte{});
  } else if (sourceOptions_.Contains(coByteSwap)) {
    // Same reasoning as for CMYK: big-endian files give their samples high byte first.
    run(ReadSwappedWord{});
  } else {
    run(ReadWord{});
  }
}

}  // namespace tablora
