#include "imaging/readers/png_reader.h"

#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/cancel.h"
#include "imaging/checked.h"
#include "imaging/decoders/lz77_decoder.h"
#include "imaging/icc_profile.h"
#include "imaging/icc_transform.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"

namespace tablora {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t kHeaderLength = 13;
constexpr uint32_t kLargestChunk = 0x7FFFFFFF;

// Samples stored per pixel by colour type; 0 for the types PNG does not define.
unsigned SamplesOf(uint8_t colourType) {
  switch (colourType) {
    case 0:
    case 3: return 1;
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
  }
}

bool ValidDepth(uint8_t colourType, uint8_t depth) {
  switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

// The five row filters, undone in place. Bytes left of the row and above the first row count as
// zero. The distance is a template parameter for the common pixel sizes so the loops keep the
// left neighbours in registers.
inline uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  const int ab = pb < pa ? b : a;
  return static_cast<uint8_t>(pc < std::min(pa, pb) ? c : ab);
}

template <std::size_t D>
void UndoFilter(uint8_t type, uint8_t* x, std::size_t n, std::size_t distance,
                const uint8_t* prev) {
  const std::size_t d = D != 0 ? D : distance;
  const std::size_t head = std::min(d, n);
  switch (type) {
    case 1:
      for (std::size_t i = d; i < n; ++i) x[i] = static_cast<uint8_t>(x[i] + x[i - d]);
      break;
    case 2:
      for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<uint8_t>(x[i] + prev[i]);
      break;
    case 3:
      for (std::size_t i = 0; i < head; ++i) x[i] = static_cast<uint8_t>(x[i] + (prev[i] >> 1));
      for (std::size_t i = d; i < n; ++i) {
        x[i] = static_cast<uint8_t>(x[i] + ((x[i - d] + prev[i]) >> 1));
      }
      break;
    case 4:
      // With a and c zero the predictor is always the byte above.
      for (std::size_t i = 0; i < head; ++i) x[i] = static_cast<uint8_t>(x[i] + prev[i]);
      for (std::size_t i = d; i < n; ++i) {
        x[i] = static_cast<uint8_t>(x[i] + Paeth(x[i - d], prev[i], prev[i - d]));
      }
      break;
    default:
      // 0 is no filter; an unknown type leaves the row as stored.
      break;
  }
}

#if defined(__SSE2__)
// Sub, Average and Paeth depend on the pixel to the left, so they go pixel by pixel; SSE2 does
// all the bytes of one pixel at once. Whole pixels only: a row's bytes are whole pixels here.
// Pixels of 3 and 6 bytes are put together from whole loads: a copy of an odd length through a
// stack slot would cost a store-forwarding stall on every pixel.
template <std::size_t Bpp>
inline __m128i LoadPixel(const uint8_t* p) {
  uint32_t low;
  if constexpr (Bpp == 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return _mm_cvtsi64_si128(static_cast<long long>(v));
  } else if constexpr (Bpp == 3) {
    uint16_t first;
    std::memcpy(&first, p, 2);
    low = first | (uint32_t{p[2]} << 16);
  } else {
    std::memcpy(&low, p, 4);
  }
  if constexpr (Bpp == 6) {
    uint16_t high;
    std::memcpy(&high, p + 4, 2);
    return _mm_cvtsi64_si128(static_cast<long long>(low | (uint64_t{high} << 32)));
  }
  return _mm_cvtsi32_si128(static_cast<int>(low));
}

template <std::size_t Bpp>
inline void StorePixel(uint8_t* p, __m128i v) {
  const uint64_t bytes = static_cast<uint64_t>(_mm_cvtsi128_si64(v));
  if constexpr (Bpp == 8) {
    std::memcpy(p, &bytes, 8);
  } else if constexpr (Bpp == 3) {
    const uint16_t first = static_cast<uint16_t>(bytes);
    std::memcpy(p, &first, 2);
    p[2] = static_cast<uint8_t>(bytes >> 16);
  } else {
    const uint32_t low = static_cast<uint32_t>(bytes);
    std::memcpy(p, &low, 4);
    if constexpr (Bpp == 6) {
      const uint16_t high = static_cast<uint16_t>(bytes >> 32);
      std::memcpy(p + 4, &high, 2);
    }
  }
}

template <std::size_t Bpp>
bool UndoFilterSse2(uint8_t type, uint8_t* x, std::size_t n, const uint8_t* prev) {
  // Up needs no left neighbour and the compiler vectorises it; the plain Average of 3-byte pixels
  // measures faster than this one.
  if (type < 1 || type > 4 || type == 2 || (type == 3 && Bpp == 3) || n % Bpp != 0) return false;
  const __m128i zero = _mm_setzero_si128();
  if (type == 1) {
    __m128i a = zero;
    for (std::size_t i = 0; i < n; i += Bpp) {
      a = _mm_add_epi8(LoadPixel<Bpp>(x + i), a);
      StorePixel<Bpp>(x + i, a);
    }
  } else if (type == 3) {
    // The rounded-up average less the bit that rounded it is the truncated one.
    const __m128i one = _mm_set1_epi8(1);
    __m128i a = zero;
    for (std::size_t i = 0; i < n; i += Bpp) {
      const __m128i b = LoadPixel<Bpp>(prev + i);
      const __m128i average =
          _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
      a = _mm_add_epi8(LoadPixel<Bpp>(x + i), average);
      StorePixel<Bpp>(x + i, a);
    }
  } else {
    auto abs16 = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    auto choose = [](__m128i mask, __m128i yes, __m128i no) {
      return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    };
    const __m128i low = _mm_set1_epi16(0xFF);
    __m128i a = zero;
    __m128i c = zero;
    for (std::size_t i = 0; i < n; i += Bpp) {
      const __m128i b = _mm_unpacklo_epi8(LoadPixel<Bpp>(prev + i), zero);
      const __m128i bc = _mm_sub_epi16(b, c);
      const __m128i ac = _mm_sub_epi16(a, c);
      const __m128i pa = abs16(bc);
      const __m128i pb = abs16(ac);
      const __m128i pc = abs16(_mm_add_epi16(bc, ac));
      __m128i predictor = choose(_mm_cmplt_epi16(pb, pa), b, a);
      predictor = choose(_mm_cmplt_epi16(pc, _mm_min_epi16(pa, pb)), c, predictor);
      const __m128i raw = _mm_unpacklo_epi8(LoadPixel<Bpp>(x + i), zero);
      a = _mm_and_si128(_mm_add_epi16(raw, predictor), low);
      StorePixel<Bpp>(x + i, _mm_packus_epi16(a, a));
      c = b;
    }
  }
  return true;
}
#else
template <std::size_t Bpp>
bool UndoFilterSse2(uint8_t, uint8_t*, std::size_t, const uint8_t*) {
  return false;
}
#endif

// The vector form where it is the faster one, else the plain loops.
template <std::size_t D>
void UndoFilterFast(uint8_t type, uint8_t* row, std::size_t length, const uint8_t* previous) {
  if (!UndoFilterSse2<D>(type, row, length, previous)) {
    UndoFilter<D>(type, row, length, D, previous);
  }
}

void ApplyRowFilter(uint8_t type, uint8_t* row, std::size_t length, std::size_t distance,
                    const uint8_t* previous) {
  switch (distance) {
    case 1: UndoFilter<1>(type, row, length, distance, previous); break;
    case 2: UndoFilter<2>(type, row, length, distance, previous); break;
    case 3: UndoFilterFast<3>(type, row, length, previous); break;
    case 4: UndoFilterFast<4>(type, row, length, previous); break;
    case 6: UndoFilterFast<6>(type, row, length, previous); break;
    case 8: UndoFilterFast<8>(type, row, length, previous); break;
    default: UndoFilter<0>(type, row, length, distance, previous); break;
  }
}

uint8_t NearestIndex(const TPalette& palette, TColor colour) {
  uint8_t best = 0;
  int bestDistance = INT32_MAX;
  for (std::size_t i = 0; i < palette.size() && i < kMaxPaletteEntries; ++i) {
    const int dr = palette[i].peRed - GetRValue(colour);
    const int dg = palette[i].peGreen - GetGValue(colour);
    const int db = palette[i].peBlue - GetBValue(colour);
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<uint8_t>(i);
    }
  }
  return best;
}

TColor ColourOf(const TPaletteEntry& entry) {
  return RGB(entry.peRed, entry.peGreen, entry.peBlue);
}

}  // namespace

TPNGGraphic::TPNGGraphic() = default;
TPNGGraphic::~TPNGGraphic() = default;

bool TPNGGraphic::CanLoad(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t header[sizeof kSignature];
  bool result = false;
  if (stream.Remaining() > static_cast<int64_t>(sizeof header) &&
      stream.Read(header, sizeof header) == sizeof header) {
    result = std::memcmp(header, kSignature, sizeof header) == 0;
  }
  stream.SetPosition(start);
  return result;
}

void TPNGGraphic::ReadChunkHeader() {
  ChunkLength = in_->U32BE();
  const std::span<const uint8_t> type = in_->Bytes(4);
  std::copy(type.begin(), type.end(), ChunkType.begin());
  // Lengths are 31-bit numbers; anything larger is damage, not a chunk to go looking for.
  if (ChunkLength > kLargestChunk) InvalidImage();
  RunningCRC = static_cast<uint32_t>(crc32(0, ChunkType.data(), 4));
}

void TPNGGraphic::LoadChunkData() {
  ChunkData = in_->Bytes(ChunkLength);
  const uint32_t stored = in_->U32BE();
  RunningCRC = static_cast<uint32_t>(crc32(RunningCRC, ChunkData.data(), ChunkLength));
  if (RunningCRC != stored) FormatError(gesInvalidCRC);
}

void TPNGGraphic::ReadText() {
  // A keyword of 1 to 79 bytes, a zero byte, the text. A chunk that breaks this is skipped like any
  // ancillary chunk a reader does not know; so are entries past a number no real file reaches.
  constexpr std::size_t kMostEntries = 256;
  LoadChunkData();
  const auto* begin = reinterpret_cast<const char*>(ChunkData.data());
  const std::string_view chunk(begin, ChunkData.size());
  const std::size_t zero = chunk.find('\0');
  if (zero == 0 || zero == std::string_view::npos || zero > 79 || text_.size() >= kMostEntries) return;
  text_.emplace_back(std::string(chunk.substr(0, zero)), std::string(chunk.substr(zero + 1)));
}

std::optional<std::string> TPNGGraphic::Text(std::string_view keyword) const {
  for (const auto& [key, text] : text_) {
    if (key == keyword) return text;
  }
  return std::nullopt;
}

void TPNGGraphic::SkipChunk() { in_->Skip(uint64_t{ChunkLength} + 4); }

bool TPNGGraphic::IsChunk(const char* type) const {
  constexpr uint32_t kCaseBlind = 0xDFDFDFDF;
  return (LoadBE32(ChunkType.data()) & kCaseBlind) ==
         (LoadBE32(reinterpret_cast<const uint8_t*>(type)) & kCaseBlind);
}

bool TPNGGraphic::ReadImageProperties(TStream& stream, uint32_t imageIndex) {
  TRasterGraphic::ReadImageProperties(stream, imageIndex);
  const int64_t start = stream.Position();
  TStreamBytes bytes(stream);
  TByteReader in(bytes.Bytes());
  in_ = &in;
  struct TForget {
    TByteReader*& in;
    ~TForget() { in = nullptr; }
  } forget{in_};

  if (!in.Has(sizeof kSignature) ||
      std::memcmp(in.Bytes(sizeof kSignature).data(), kSignature, sizeof kSignature) != 0) {
    return false;
  }
  ReadChunkHeader();
  if (!IsChunk("IHDR")) return false;
  TImageProperties& p = ImageProperties;
  p.Options |= ioBigEndian;
  LoadChunkData();
  // The header is taken from the chunk's own bytes only.
  if (ChunkData.size() < kHeaderLength) return false;
  const uint8_t* h = ChunkData.data();
  const uint32_t width = LoadBE32(h);
  const uint32_t height = LoadBE32(h + 4);
  if (width == 0 || height == 0) return false;
  p.Width = width;
  p.Height = height;
  p.Compression = h[10] == 0 ? ctLZ77 : ctUnknown;
  p.BitsPerSample = h[8];
  p.SamplesPerPixel = 1;
  switch (h[9]) {
    case 0: p.ColorScheme = csGray; break;
    case 2:
      p.ColorScheme = csRGB;
      p.SamplesPerPixel = 3;
      break;
    case 3: p.ColorScheme = csIndexed; break;
    case 4: p.ColorScheme = csGrayAlpha; break;
    case 6:
      p.ColorScheme = csRGBA;
      p.SamplesPerPixel = 4;
      break;
    default: p.ColorScheme = csUnknown; break;
  }
  p.BitsPerPixel = static_cast<uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
  p.FilterMode = h[11];
  p.Interlaced = h[12] != 0;
  p.HasAlpha = p.ColorScheme == csGrayAlpha || p.ColorScheme == csRGBA || p.ColorScheme == csBGRA;

  // The file gamma, when a gAMA chunk comes before the end; a damaged tail is the decoder's
  // business, not the header's.
  while (in.Has(8)) {
    ReadChunkHeader();
    if (IsChunk("IEND") || !in.Has(uint64_t{ChunkLength} + 4)) break;
    if (IsChunk("gAMA")) {
      LoadChunkData();
      if (ChunkData.size() >= 4 && LoadBE32(ChunkData.data()) != 0) {
        p.FileGamma = static_cast<float>(LoadBE32(ChunkData.data()) / 100000.0);
      }
      break;
    }
    SkipChunk();
  }
  stream.SetPosition(start + static_cast<int64_t>(in.Position()));
  return true;
}

bool TPNGGraphic::KeyUsable() const {
  // A key sample beyond the bit depth matches no pixel.
  const unsigned most = bitDepth_ >= 16 ? 0xFFFFu : (1u << bitDepth_) - 1u;
  const std::size_t need = colourType_ == 0 ? 1 : colourType_ == 2 ? 3 : 0;
  if (need == 0 || transparentSamples_.size() != need) return false;
  return std::all_of(transparentSamples_.begin(), transparentSamples_.end(),
                     [&](uint16_t v) { return v <= most; });
}

uint32_t TPNGGraphic::ConfigureColorManager(uint8_t colourType, uint8_t bitDepth) {
  if (!ValidDepth(colourType, bitDepth)) FormatError(gesInvalidColorFormat);
  TColorManager& cm = ColorManager;
  cm.SetSourceBitsPerSample(bitDepth);
  configured_ = true;
  const auto convert = [&cm](TColorScheme from, TColorScheme to, unsigned fromSamples, unsigned toSamples,
                              unsigned toBits) {
    cm.SetSourceColorScheme(from);
    cm.SetTargetColorScheme(to);
    cm.SetSourceSamplesPerPixel(fromSamples);
    cm.SetTargetSamplesPerPixel(toSamples);
    cm.SetTargetBitsPerSample(toBits);
  };
  keyed_ = (colourType == 2 || (colourType == 0 && bitDepth == 16)) && KeyUsable();
  widenGrey_ = colourType == 4 || (colourType == 0 && keyed_);
  if (keyed_) {
    // An 8-bit bitmap cannot tell the key's 16-bit grey from its neighbours; 32-bit pixels with
    // alpha can.
    convert(csRGB, csBGRA, 3, 4, 8);
    pixelFormat_ = pf32bit;
    return bitDepth * (colourType == 2 ? 3u : 1u) / 8u;
  }
  switch (colourType) {
    case 0:
      convert(csGray, csGray, 1, 1, bitDepth == 2 ? 4 : bitDepth == 16 ? 8 : bitDepth);
      pixelFormat_ = cm.GetPixelFormat(1);
      PaletteHandle = cm.CreateGrayscalePalette(false);
      return (bitDepth + 7u) / 8u;
    case 2:
      convert(csRGB, csBGR, 3, 3, 8);
      pixelFormat_ = pf24bit;
      return bitDepth * 3u / 8u;
    case 3:
      convert(csIndexed, csIndexed, 1, 1, bitDepth == 2 ? 4 : bitDepth);
      pixelFormat_ = cm.GetPixelFormat(1);
      return 1;
    default:
      // RGBA, and grey with alpha, which keeps its alpha: each of its pixels is widened to grey,
      // grey, grey, alpha and converted like RGBA into a 32-bit bitmap.
      convert(csRGBA, csBGRA, 4, 4, 8);
      pixelFormat_ = pf32bit;
      return bitDepth * (colourType == 4 ? 2u : 4u) / 8u;
  }
}

void TPNGGraphic::ApplyGamma(float fileGamma) {
  // Every use of the table here looks up 8-bit values (palette entries, 8-bit samples and 16-bit
  // samples reduced to 8 bits), so it is built for 8-bit depths whatever the image's depth and
  // wherever the chunk stands relative to the colour set-up.
  TColorManager& cm = ColorManager;
  const unsigned sourceBits = cm.SourceBitsPerSample();
  const unsigned targetBits = cm.TargetBitsPerSample();
  cm.SetSourceBitsPerSample(8);
  cm.SetTargetBitsPerSample(8);
  cm.SetGamma(fileGamma, 2.2f);
  cm.SetSourceBitsPerSample(sourceBits);
  cm.SetTargetBitsPerSample(targetBits);
  // The usual file gamma, 1/2.2, makes the table the identity: leaving the correction off then
  // changes no pixel and keeps the plain copy of rows.
  const std::array<uint8_t, 256>& table = cm.GammaTable();
  bool identity = true;
  for (std::size_t i = 0; i < table.size(); ++i) identity = identity && table[i] == i;
  if (!identity) cm.SetTargetOptions(cm.TargetOptions() + coGammaCorrect);
  ImageProperties.Options |= ioUseGamma;
}

void TPNGGraphic::ReadBackground() {
  LoadChunkData();
  const std::size_t need = colourType_ == 3 ? 1 : (colourType_ == 2 || colourType_ == 6) ? 6 : 2;
  if (ChunkData.size() < need) return;
  backgroundSamples_.clear();
  if (colourType_ == 3) {
    backgroundSamples_.push_back(ChunkData[0]);
  } else {
    for (std::size_t i = 0; i < need; i += 2) backgroundSamples_.push_back(LoadBE16(&ChunkData[i]));
  }
}

void TPNGGraphic::ReadTransparency() {
  LoadChunkData();
  switch (colourType_) {
    case 0:
    case 2: {
      const std::size_t need = colourType_ == 0 ? 2 : 6;
      transparentSamples_.clear();
      if (ChunkData.size() < need) return;
      for (std::size_t i = 0; i < need; i += 2) {
        transparentSamples_.push_back(LoadBE16(&ChunkData[i]));
      }
      break;
    }
    case 3:
      paletteAlpha_.assign(ChunkData.begin(),
                           ChunkData.begin() + static_cast<std::ptrdiff_t>(
                                                   std::min(ChunkData.size(), kMaxPaletteEntries)));
      break;
    default:
      // Images with an alpha channel carry their transparency in it.
      break;
  }
}

void TPNGGraphic::Decode(TByteReader& data) {
  in_ = &data;
  struct TRelease {
    TPNGGraphic& graphic;
    ~TRelease() { graphic.ReleaseLoadState(); }
  } release{*this};

  data.Skip(sizeof kSignature);
  PaletteHandle.reset();
  BackgroundFill = clWhite;
  configured_ = false;
  keyed_ = false;
  widenGrey_ = false;
  dataEnded_ = false;
  transparentSamples_.clear();
  paletteAlpha_.clear();
  backgroundSamples_.clear();
  text_.clear();
  ColorManager.SetSourceOptions(coByteSwap);

  ReadChunkHeader();
  if (!IsChunk("IHDR")) InvalidImage();
  LoadChunkData();
  if (ChunkData.size() < kHeaderLength) InvalidImage();
  bitDepth_ = ChunkData[8];
  colourType_ = ChunkData[9];
  const bool adam7 = ChunkData[12] == 1;
  if (ImageProperties.Compression != ctLZ77) {
    RaiseImageErrorFmt(gesNotSupported, gesCompressionScheme, FormatName());
  }

  Decoder = std::make_unique<TLZ77Decoder>(Z_PARTIAL_FLUSH, false);
  Decoder->StartDecoding();

  bool imageRead = false;
  bool haveHeader = false;
  // With a usable profile (or the sRGB chunk) the profile's own curves describe the samples and
  // the file's gamma is left alone, as the format asks of decoders that use the profile; applying
  // both would correct twice. A damaged profile is ignored, and the gamma applies as without one.
  // All three chunks come before PLTE and IDAT in any order, so the gamma is settled at the first
  // of those; a gAMA out of place after them applies at once, as it always has.
  float gamma = 0;  // none
  bool described = false;
  bool gammaSettled = false;
  const auto settleGamma = [&] {
    if (gamma > 0 && !described) ApplyGamma(gamma);
    gamma = 0;
    gammaSettled = true;
  };
  for (;;) {
    if (!haveHeader) ReadChunkHeader();
    haveHeader = false;
    if (!imageRead) {
      if (IsChunk("IDAT")) {
        settleGamma();
        EndPhase();
        ReadImageData(adam7);
        imageRead = true;
        // ReadImageData leaves the chunk after the image data current.
        haveHeader = true;
        continue;
      }
      if (IsChunk("PLTE")) {
        if (ChunkLength % 3 != 0) FormatError(gesInvalidPalette);
        LoadChunkData();
        settleGamma();
        if (colourType_ == 3) {
          FilterDistance = ConfigureColorManager(colourType_, bitDepth_);
          PaletteHandle = ColorManager.CreateColorPalette({ChunkData.data()}, plPacked8x3,
                                                          ChunkLength / 3, false);
        }
        continue;
      }
      if (IsChunk("gAMA")) {
        LoadChunkData();
        if (ChunkData.size() >= 4 && LoadBE32(ChunkData.data()) != 0) {
          gamma = static_cast<float>(LoadBE32(ChunkData.data()) / 100000.0);
          if (gammaSettled) settleGamma();
        }
        continue;
      }
      if (IsChunk("iCCP") && !gammaSettled) {
        // Its checksum is not asked for: the profile is taken from the file without it.
        ChunkData = in_->Bytes(ChunkLength);
        in_->Skip(4);
        const bool alpha = colourType_ == 4 || colourType_ == 6;
        described = described || TIccTransform::ToSrgb(PngIccpProfile(ChunkData), alpha) != nullptr;
        continue;
      }
      if (IsChunk("sRGB")) {
        described = true;
        SkipChunk();
        continue;
      }
      if (IsChunk("bKGD")) {
        ReadBackground();
        continue;
      }
      if (IsChunk("tRNS")) {
        ReadTransparency();
        continue;
      }
    }
    // Text may stand before or after the image data.
    if (std::memcmp(ChunkType.data(), "tEXt", 4) == 0) {
      ReadText();
      continue;
    }
    // Nothing after the end marker matters, not even its CRC.
    if (IsChunk("IEND")) break;
    const bool critical = (ChunkType[0] & 0x20) == 0;
    // Image data beyond what the image needs is surplus, wherever it stands.
    if (critical && !(imageRead && IsChunk("IDAT"))) {
      RaiseImageError(gesUnknownCriticalChunk);
    }
    SkipChunk();
  }
  // A file whose chunks hold no image data has no picture to show.
  if (!imageRead) InvalidImage();
  Decoder->FinishDecoding();
}

void TPNGGraphic::ReleaseLoadState() {
  Decoder.reset();
  ChunkData = {};
  DataPosition = nullptr;
  DataChunkSize = 0;
  in_ = nullptr;
  expanded_ = {};
}

void TPNGGraphic::SetUpBitmap() {
  TColorManager& cm = ColorManager;
  const TImageProperties& p = ImageProperties;
  SizeBitmap(p.Width, p.Height, pixelFormat_);
  if (PaletteHandle) SetPalette(*PaletteHandle);
  SetAlphaChannel(colourType_ == 4 || colourType_ == 6 || keyed_);

  if (colourType_ == 3 && !paletteAlpha_.empty()) {
    // The palette may have been spread to a wider index (2-bit data in a 4-bit bitmap); the
    // alpha values follow their colours.
    const unsigned s = (1u << cm.SourceBitsPerSample()) - 1u;
    const unsigned t = (1u << cm.TargetBitsPerSample()) - 1u;
    std::vector<uint8_t> alpha(Palette().size(), 255);
    for (std::size_t i = 0; i < alpha.size(); ++i) {
      const std::size_t from = s == t ? i : i * s / t;
      if (from < paletteAlpha_.size()) alpha[i] = paletteAlpha_[from];
    }
    SetPaletteAlpha(std::move(alpha));
  }

  // Grey levels and palette indices as they land in the bitmap (where 2-bit data is spread over
  // 4-bit indices), or nothing when out of range.
  const unsigned sourceMax = bitDepth_ >= 16 ? 0xFFFFu : (1u << bitDepth_) - 1u;
  auto greyIndex = [&](uint16_t value) -> std::optional<uint8_t> {
    if (value > sourceMax) return std::nullopt;
    if (bitDepth_ == 16) return ScaleWord(value);
    const unsigned targetMax = (1u << cm.TargetBitsPerSample()) - 1u;
    return static_cast<uint8_t>(
        MulDiv16(value, static_cast<uint16_t>(targetMax), static_cast<uint16_t>(sourceMax)));
  };
  auto sample8 = [&](uint16_t value) -> std::optional<uint8_t> {
    if (bitDepth_ == 16) return ScaleWord(value);
    if (value > 0xFF) return std::nullopt;
    return static_cast<uint8_t>(value);
  };
  const bool gamma = cm.TargetOptions().Contains(coGammaCorrect);
  auto shown = [&](uint8_t value) { return gamma ? cm.GammaByte(value) : value; };

  // The key of a grey image of up to 8 bits names one palette entry: exactly its pixels. (A
  // colour key would also take every other grey that gamma makes look the same.)
  if (colourType_ == 0 && !keyed_ && KeyUsable()) {
    const std::optional<uint8_t> index = greyIndex(transparentSamples_[0]);
    if (index && *index < Palette().size()) {
      std::vector<uint8_t> alpha(Palette().size(), 255);
      alpha[*index] = 0;
      SetPaletteAlpha(std::move(alpha));
    }
  }

  if (colourType_ == 2 || colourType_ == 6) {
    if (backgroundSamples_.size() == 3) {
      auto level = [&](uint16_t v) {
        return bitDepth_ == 16 ? static_cast<uint8_t>(uint32_t{v} * 255u / 65535u)
                               : static_cast<uint8_t>(v & 0xFF);
      };
      BackgroundFill = RGB(level(backgroundSamples_[0]), level(backgroundSamples_[1]),
                           level(backgroundSamples_[2]));
    }
  } else if (widenGrey_) {
    if (backgroundSamples_.size() == 1) {
      if (const auto g = sample8(backgroundSamples_[0])) {
        BackgroundFill = RGB(shown(*g), shown(*g), shown(*g));
      }
    }
  } else if (backgroundSamples_.size() == 1) {
    // A grey level or a palette index: the colour that entry shows.
    const std::optional<uint8_t> index = greyIndex(backgroundSamples_[0]);
    if (index && *index < Palette().size()) BackgroundFill = ColourOf(Palette()[*index]);
  }
}

void TPNGGraphic::FillBackground(uint32_t fromRow, uint32_t toRow) {
  const int bits = BitsPerPixel();
  const std::size_t rowBytes = RowSize();
  const uint8_t index = bits <= 8 ? NearestIndex(Palette(), BackgroundFill) : 0;
  const uint8_t pattern = bits == 1   ? (index & 1 ? 0xFF : 0x00)
                          : bits == 4 ? static_cast<uint8_t>((index & 0x0F) * 0x11)
                                      : index;
  for (uint32_t y = fromRow; y < toRow; ++y) {
    uint8_t* row = ScanLine(static_cast<int>(y));
    if (bits <= 8) {
      std::memset(row, pattern, rowBytes);
    } else {
      const std::size_t step = static_cast<std::size_t>(bits / 8);
      const uint8_t pixel[4] = {GetBValue(BackgroundFill), GetGValue(BackgroundFill),
                                GetRValue(BackgroundFill), 0xFF};
      for (int x = 0; x < Width(); ++x) std::memcpy(row + x * step, pixel, step);
    }
  }
}

bool TPNGGraphic::ReadRow(std::span<uint8_t> row) {
  std::size_t produced = 0;
  while (produced < row.size()) {
    if (DataPosition == ChunkData.data() + DataChunkSize) {
      DataChunkSize = 0;
      while (DataChunkSize == 0) {
        if (!IsChunk("IDAT")) return false;
        LoadChunkData();
        DataPosition = ChunkData.data();
        DataChunkSize = static_cast<int32_t>(ChunkLength);
        ReadChunkHeader();
      }
    }
    const std::size_t packed =
        static_cast<std::size_t>(ChunkData.data() + DataChunkSize - DataPosition);
    const TDecodeResult result = Decoder->Decode({DataPosition, packed}, row.subspan(produced));
    DataPosition += result.consumed;
    produced += result.produced;
    const int status = Decoder->LastResult();
    // The end of the zlib stream ends the image data: a short row and the rows after it are
    // missing, and bytes after the end are not image data.
    if (status == Z_STREAM_END) return produced == row.size();
    if (status != Z_OK) FormatError(gesCompression);
  }
  return true;
}

void TPNGGraphic::ConvertPassRow(uint32_t y, std::span<const uint8_t> pixels, uint32_t count,
                                 uint8_t mask) {
  const std::size_t sampleBytes = bitDepth_ / 8u;
  std::span<const uint8_t> source = pixels;
  if (widenGrey_) {
    const bool alpha = colourType_ == 4;
    const std::size_t inStep = (alpha ? 2 : 1) * sampleBytes;
    const std::size_t outStep = (alpha ? 4 : 3) * sampleBytes;
    uint8_t* out = expanded_.data();
    const uint8_t* in = pixels.data();
    for (uint32_t i = 0; i < count; ++i, in += inStep, out += outStep) {
      std::memcpy(out, in, sampleBytes);
      std::memcpy(out + sampleBytes, in, sampleBytes);
      std::memcpy(out + 2 * sampleBytes, in, sampleBytes);
      if (alpha) std::memcpy(out + 3 * sampleBytes, in + sampleBytes, sampleBytes);
    }
    source = std::span<const uint8_t>(expanded_.data(), count * outStep);
  }
  const std::span<const uint8_t> sources[1] = {source};
  ConvertInto(y, sources, mask);
  if (!keyed_) return;

  // Alpha of the converted pixels: 0 where every sample equals the key as stored.
  const std::size_t samples = transparentSamples_.size();
  uint8_t key[6];
  for (std::size_t k = 0; k < samples; ++k) {
    if (sampleBytes == 2) {
      key[2 * k] = static_cast<uint8_t>(transparentSamples_[k] >> 8);
      key[2 * k + 1] = static_cast<uint8_t>(transparentSamples_[k]);
    } else {
      key[k] = static_cast<uint8_t>(transparentSamples_[k]);
    }
  }
  const std::size_t pixelBytes = samples * sampleBytes;
  uint8_t* row = Row(y).data();
  const uint8_t* in = pixels.data();
  const uint32_t width = static_cast<uint32_t>(Width());
  for (uint32_t x = 0, i = 0; x < width && i < count; ++x) {
    if ((mask & (0x80u >> (x & 7))) == 0) continue;
    row[x * 4 + 3] = std::memcmp(in, key, pixelBytes) == 0 ? 0 : 255;
    in += pixelBytes;
    ++i;
  }
}

void TPNGGraphic::ReadImageData(bool adam7) {
  StartPhase(kTransfering);
  if (!configured_) FilterDistance = ConfigureColorManager(colourType_, bitDepth_);
  const uint32_t width = ImageProperties.Width;
  const uint32_t height = ImageProperties.Height;
  const uint64_t bitsPerPixel = uint64_t{bitDepth_} * SamplesOf(colourType_);
  // The bitmap and the two row buffers, all sized from the file, are checked against the limit
  // before any of them is allocated.
  CheckImageSize(width, height, static_cast<unsigned>(BitsPerPixelOf(pixelFormat_)));
  CheckImageSize(width, 2, static_cast<unsigned>(bitsPerPixel));
  const uint64_t rowBytes = *PackedRowBytes(width, bitsPerPixel) + 1;
  const uint64_t expandedBytes = widenGrey_ ? uint64_t{width} * 4 * (bitDepth_ / 8u) : 0;
  const TMemoryCharge rowsCharge(2 * rowBytes + expandedBytes);
  std::vector<uint8_t> current(static_cast<std::size_t>(rowBytes));
  std::vector<uint8_t> previous(static_cast<std::size_t>(rowBytes));
  expanded_.resize(static_cast<std::size_t>(expandedBytes));
  SetUpBitmap();
  ChunkData = {};
  DataPosition = nullptr;
  DataChunkSize = 0;

  if (adam7) {
    FillBackground(0, height);
    for (std::size_t pass = 0; pass < 7 && !dataEnded_; ++pass) {
      const TAdam7Pass& p = kAdam7[pass];
      const uint32_t columns = Adam7Columns(p, width);
      if (columns == 0) continue;
      const std::size_t passBytes =
          static_cast<std::size_t>(*PackedRowBytes(columns, bitsPerPixel) + 1);
      std::fill_n(previous.begin(), passBytes, 0);
      for (uint32_t r = p.yStart; r < height; r += p.yStep) {
        if (!ReadRow({current.data(), passBytes})) {
          dataEnded_ = true;
          break;
        }
        ApplyRowFilter(current[0], current.data() + 1, passBytes - 1, FilterDistance,
                       previous.data() + 1);
        ConvertPassRow(r, {current.data() + 1, passBytes - 1}, columns, p.mask);
        std::swap(current, previous);
        // Progress counts the last pass, whose rows complete the picture; a cancel is honoured
        // in every pass.
        if (pass == 6) {
          RowProgress(uint64_t{r} + p.yStep, height);
        } else {
          CheckCancel();
        }
      }
    }
  } else {
    uint32_t rowsDone = 0;
    // Rows that never arrive show the background, also when the load stops on an error.
    struct TFillRest {
      TPNGGraphic& graphic;
      uint32_t& from;
      uint32_t to;
      ~TFillRest() { graphic.FillBackground(from, to); }
    } fillRest{*this, rowsDone, height};
    for (; rowsDone < height; ++rowsDone) {
      if (!ReadRow(current)) {
        dataEnded_ = true;
        break;
      }
      ApplyRowFilter(current[0], current.data() + 1, current.size() - 1, FilterDistance,
                     previous.data() + 1);
      ConvertPassRow(rowsDone, {current.data() + 1, current.size() - 1}, width, 0xFF);
      RowProgress(rowsDone, height);
      std::swap(current, previous);
    }
  }

  while (IsChunk("IDAT")) {
    LoadChunkData();
    ReadChunkHeader();
  }
}

}  // namespace tablora
