#include "imaging/readers/psd_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/byte_order.h"
#include "imaging/checked.h"
#include "imaging/decoders/decoder.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/image_probe.h"
#include "imaging/memory_budget.h"

namespace tablora {

namespace {

constexpr std::size_t kHeaderSize = 26;

bool SignatureMatches(std::span<const uint8_t> bytes, bool ignoreCase) {
  static constexpr char kSignature[] = "8BPS";
  for (std::size_t i = 0; i < 4; ++i) {
    uint8_t c = bytes[i];
    if (ignoreCase && c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
    if (c != static_cast<uint8_t>(kSignature[i])) return false;
  }
  return true;
}

TColorScheme SchemeOfMode(uint16_t mode, uint16_t channels) {
  switch (mode) {
    case 0:
    case 1:
    case 8: return csGray;
    case 2: return csIndexed;
    case 3: return channels == 3 ? csRGB : csRGBA;
    // A multichannel document of one or two channels has nothing to make colour from.
    case 7: return channels < 3 ? csGray : channels == 3 ? csRGB : csRGBA;
    case 4: return csCMYK;
    case 9: return csCIELab;
    default: return csUnknown;
  }
}

// The gamma of an ICC profile's tone curve when it is a plain power: a 'curv' of no entry (1.0)
// or one, or a 'para' of the first function; 1.0 for the linear profiles of 32-bit documents,
// which lcms2 writes both ways. Nothing for a profile without one, or with a tabled or other
// parametric curve (a display encoding such as sRGB's own).
std::optional<double> ProfileGamma(std::span<const uint8_t> profile, bool gray) {
  if (profile.size() < 132) return std::nullopt;
  const uint32_t count = LoadBE32(profile.data() + 128);
  const uint32_t wanted = gray ? 0x6B545243 : 0x67545243;  // 'kTRC', 'gTRC'
  for (uint64_t i = 0; i < count && 132 + 12 * (i + 1) <= profile.size(); ++i) {
    const uint8_t* entry = profile.data() + 132 + 12 * i;
    if (LoadBE32(entry) != wanted) continue;
    const uint64_t offset = LoadBE32(entry + 4);
    if (offset + 12 > profile.size()) return std::nullopt;
    const uint8_t* curve = profile.data() + offset;
    double gamma = 0;
    if (LoadBE32(curve) == 0x63757276) {  // 'curv'
      const uint32_t entries = LoadBE32(curve + 8);
      if (entries == 0) return 1.0;
      if (entries != 1 || offset + 14 > profile.size()) return std::nullopt;
      gamma = LoadBE16(curve + 12) / 256.0;
    } else if (LoadBE32(curve) == 0x70617261) {  // 'para'
      if (LoadBE16(curve + 8) != 0 || offset + 16 > profile.size()) return std::nullopt;
      gamma = static_cast<int32_t>(LoadBE32(curve + 12)) / 65536.0;
    }
    return gamma > 0 ? std::optional<double>(gamma) : std::nullopt;
  }
  return std::nullopt;
}

// 32-bit documents hold floating-point samples in linear light (their profiles say gamma 1.0,
// and a document without a profile is linear as well): each is clamped to 0..1 (NaN is 0), made
// linear by the profile's gamma and encoded with the sRGB curve for the 8-bit display. A profile
// whose curve is a display encoding already gives samples that only need scaling. Samples are
// looked up at 16-bit precision.
class FloatTone {
 public:
  explicit FloatTone(std::optional<double> gamma) : table_(65536) {
    for (std::size_t i = 0; i < table_.size(); ++i) {
      const double v = static_cast<double>(i) / 65535.0;
      double out = v;
      if (gamma) {
        const double linear = std::pow(v, *gamma);
        out = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
      }
      table_[i] = static_cast<uint8_t>(std::lround(std::clamp(out, 0.0, 1.0) * 255));
    }
  }
  uint8_t operator()(float v) const { return table_[Index(v)]; }
  // Alpha has no tone curve.
  static uint8_t Linear(float v) { return static_cast<uint8_t>(std::lround(Index(v) * 255.0 / 65535.0)); }

 private:
  static std::size_t Index(float v) {
    if (!(v > 0)) return 0;  // NaN too
    if (v >= 1) return 65535;
    return static_cast<std::size_t>(std::lround(v * 65535.0f));
  }
  std::vector<uint8_t> table_;
};

// Big-endian samples of one row to 8 bits: floats through the tone (or linearly for alpha),
// 16 bits by rounding, 8 bits as they are.
void RowTo8Bits(std::span<const uint8_t> row, unsigned depth, uint32_t width, const FloatTone* tone,
                uint8_t* out) {
  for (uint32_t x = 0; x < width; ++x) {
    if (depth == 32) {
      const float v = std::bit_cast<float>(LoadBE32(row.data() + 4 * std::size_t{x}));
      out[x] = tone ? (*tone)(v) : FloatTone::Linear(v);
    } else if (depth == 16) {
      out[x] = static_cast<uint8_t>((LoadBE16(row.data() + 2 * std::size_t{x}) * 255u + 32767u) / 65535u);
    } else {
      out[x] = row[x];
    }
  }
}

// Ink colours of a multichannel document's channels (red, green, blue) from its display
// information, where it gives them in RGB; otherwise Photoshop's first inks, cyan and magenta.
std::array<std::array<uint8_t, 3>, 2> InkColours(std::span<const uint8_t> displayInfo) {
  std::array<std::array<uint8_t, 3>, 2> inks{{{0, 255, 255}, {255, 0, 255}}};
  for (std::size_t c = 0; c < 2; ++c) {
    const std::size_t at = 4 + 13 * c;  // version, then 13 bytes per channel
    if (at + 13 > displayInfo.size() || LoadBE16(displayInfo.data() + at) != 0) continue;
    for (std::size_t k = 0; k < 3; ++k) inks[c][k] = displayInfo[at + 2 + 2 * k];
  }
  return inks;
}

// Planes the merged image needs of a scheme.
unsigned PlanesOf(TColorScheme scheme) {
  switch (scheme) {
    case csRGB:
    case csCIELab: return 3;
    case csRGBA:
    case csCMYK: return 4;
    default: return 1;
  }
}

}  // namespace

PsdResources ReadPsdResources(std::span<const uint8_t> block) {
  PsdResources found;
  TByteReader in(block);
  try {
    while (in.Remaining() >= 12) {
      in.Skip(4);
      const uint16_t id = in.U16BE();
      const uint8_t nameLength = in.U8();
      in.Skip(nameLength + ((nameLength + 1) % 2 == 0 ? 0u : 1u));
      const uint32_t size = in.U32BE();
      const std::span<const uint8_t> data = in.Bytes(size);
      if (size % 2 != 0 && in.Remaining() > 0) in.Skip(1);
      if (id == 1028) found.iptc = data;
      if (id == 1039) found.iccProfile = data;
      if (id == 1047 && size >= 2) found.transparentIndex = LoadBE16(data.data());
      if (id == 1058) found.exif = data;
      if (id == 1077) found.displayInfo = data;
    }
  } catch (const EReadError&) {
  }
  return found;
}

PsdResources PsdFileResources(std::span<const uint8_t> file) {
  try {
    TByteReader in(file);
    if (!SignatureMatches(in.Bytes(kHeaderSize), false)) return {};
    in.Skip(in.U32BE());  // colour mode data
    return ReadPsdResources(in.Bytes(in.U32BE()));
  } catch (const EReadError&) {
    return {};
  }
}

int PsdOrientation(std::span<const uint8_t> file) {
  std::span<const uint8_t> exif = PsdFileResources(file).exif;
  static constexpr uint8_t kExifPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
  if (exif.size() >= 6 && std::equal(kExifPrefix, kExifPrefix + 6, exif.begin())) exif = exif.subspan(6);
  return TiffStructureOrientation(exif);
}

bool TPSDGraphic::CanLoad(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t header[6];
  bool result = false;
  if (stream.Remaining() > static_cast<int64_t>(kHeaderSize) &&
      stream.Read(header, sizeof header) == sizeof header) {
    result = SignatureMatches(header, true) && header[4] == 0 && header[5] == 1;
  }
  stream.SetPosition(start);
  return result;
}

bool TPSDGraphic::ReadImageProperties(TStream& stream, uint32_t imageIndex) {
  bool valid = TRasterGraphic::ReadImageProperties(stream, imageIndex);
  const int64_t start = stream.Position();
  TStreamBytes bytes(stream);
  TByteReader in(bytes.Bytes());
  const std::span<const uint8_t> header = in.Bytes(kHeaderSize);
  // Version 2 (large documents) widens the lengths and the row table; read as version 1 it
  // would give garbage, so it is not taken for this format.
  if (SignatureMatches(header, false) && LoadBE16(&header[4]) == 1) {
    TImageProperties& p = ImageProperties;
    const uint16_t channels = LoadBE16(&header[12]);
    const uint16_t depth = LoadBE16(&header[22]);
    const uint16_t mode = LoadBE16(&header[24]);
    p.Height = LoadBE32(&header[14]);
    p.Width = LoadBE32(&header[18]);
    p.Options = ioBigEndian | (mode == 0 ? ioMinIsWhite : 0);
    p.BitsPerSample = static_cast<uint8_t>(depth);
    p.Channels = static_cast<uint8_t>(channels);
    p.SamplesPerPixel = std::min<uint8_t>(p.Channels, 4);
    p.BitsPerPixel = static_cast<uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    p.ColorScheme = SchemeOfMode(mode, channels);
    for (int section = 0; section < 3; ++section) in.Skip(in.U32BE());
    p.Compression = in.U16BE() == 1 ? ctPackBits : ctNone;
    valid = true;
  }
  stream.SetPosition(start + static_cast<int64_t>(in.Position()));
  return valid;
}

void TPSDGraphic::Decode(TByteReader& data) {
  srgbCurve_ = false;
  const TImageProperties& p = ImageProperties;
  const uint32_t width = p.Width;
  const uint32_t height = p.Height;
  const TColorScheme scheme = p.ColorScheme;
  const unsigned depth = p.BitsPerSample;
  const uint16_t mode = LoadBE16(data.Span(data.Position() + 24, 2).data());
  // Two inks of a multichannel document are drawn as those inks over white.
  const bool twoInks = mode == 7 && p.Channels == 2;
  const unsigned colourPlanes = twoInks ? 2 : PlanesOf(scheme);
  const bool grayLike = !twoInks && (scheme == csGray || scheme == csIndexed);
  const bool isFloat = depth == 32;
  // What the colour manager cannot turn into pixels fails here instead of giving garbage:
  // unknown modes, odd depths, floats other than grey and RGB, colour modes short of the channels
  // they need.
  const bool depthTaken = depth == 8 || depth == 16 || (depth == 1 && scheme == csGray && !twoInks) ||
                          (isFloat && (scheme == csGray || scheme == csRGB || scheme == csRGBA));
  if (scheme == csUnknown || !depthTaken || p.Channels < colourPlanes) FormatError(gesInvalidColorFormat);
  if (width == 0 || height == 0) InvalidImage();

  data.Skip(kHeaderSize);
  // Floats and two inks are brought to 8 bits per sample here; the rest the colour manager takes.
  const unsigned managedDepth = isFloat || twoInks ? 8 : depth;
  TColorManager& cm = ColorManager;
  TConversionOptions source(coByteSwap);
  if (scheme == csCIELab) source = source + coLabScaledL + coLabOffsetAB;
  cm.SetSourceOptions(source);
  cm.SetSourceBitsPerSample(managedDepth);
  cm.SetTargetBitsPerSample(managedDepth == 16 ? 8 : managedDepth);
  cm.SetSourceSamplesPerPixel(grayLike ? 1 : colourPlanes);
  cm.SetTargetSamplesPerPixel(grayLike ? 1 : scheme == csRGBA ? 4 : 3);
  cm.SetSourceColorScheme(scheme);
  cm.SetTargetColorScheme(grayLike ? scheme : scheme == csRGBA ? csBGRA : csBGR);
  SizeBitmap(width, height, twoInks ? pf24bit : cm.GetPixelFormat(1));

  const std::span<const uint8_t> colourData = data.Bytes(data.U32BE());
  if (scheme == csIndexed) {
    const std::size_t third = colourData.size() / 3;
    SetPalette(cm.CreateColorPalette({colourData.data(), colourData.data() + third,
                                      colourData.data() + 2 * third},
                                     plPlanar8x3, static_cast<uint32_t>(third), false));
  } else if (scheme == csGray && !twoInks) {
    SetPalette(cm.CreateGrayscalePalette((p.Options & ioMinIsWhite) != 0));
  }
  const PsdResources resources = ReadPsdResources(data.Bytes(data.U32BE()));
  // A negative layer count says that the first channel past the colour channels is the merged
  // image's transparency; other extra channels are saved selections and spot colours.
  const std::span<const uint8_t> layers = data.Bytes(data.U32BE());
  const bool mergedAlpha = layers.size() >= 6 && LoadBE32(layers.data()) >= 2 &&
                           static_cast<int16_t>(LoadBE16(layers.data() + 4)) < 0 &&
                           p.Channels > (scheme == csRGBA ? 3u : colourPlanes);
  data.Skip(2);

  // The planes read: the colour planes and, when there is one, the merged transparency (for RGBA
  // already the fourth colour plane).
  const bool separateAlpha = mergedAlpha && scheme != csRGBA && !(depth == 1);
  const unsigned planes = colourPlanes + (separateAlpha ? 1 : 0);
  // Bytes of one row of one channel; bounded by the size check above.
  const uint64_t rowBytes = *PackedRowBytes(width, depth);
  const uint64_t channelRows = uint64_t{height} * p.Channels;
  StartPhase(kLoadingData);
  std::vector<uint16_t> rowCounts;
  std::array<uint64_t, 5> planeStart{};  // offset of each plane's first row within data
  if (p.Compression == ctPackBits) {
    rowCounts = data.U16BEArray(channelRows);
    uint64_t offset = data.Position();
    for (unsigned c = 0; c < planes; ++c) {
      planeStart[c] = offset;
      for (uint32_t y = 0; y < height; ++y) offset += rowCounts[uint64_t{c} * height + y];
    }
  } else {
    const uint64_t planeBytes = rowBytes * height;
    for (unsigned c = 0; c < planes; ++c) planeStart[c] = data.Position() + c * planeBytes;
  }
  EndPhase();

  StartPhase(kTransfering);
  std::optional<FloatTone> tone;
  if (isFloat) {
    // No profile: linear, as Photoshop keeps 32-bit documents.
    const bool hasProfile = !resources.iccProfile.empty();
    const std::optional<double> gamma =
        hasProfile ? ProfileGamma(resources.iccProfile, scheme == csGray) : std::optional<double>(1.0);
    srgbCurve_ = gamma.has_value();
    tone.emplace(gamma);
  }
  const std::array<std::array<uint8_t, 3>, 2> inks = InkColours(resources.displayInfo);
  TPackbitsRLEDecoder decoder;
  std::vector<uint8_t> rows(static_cast<std::size_t>(rowBytes * planes));
  const bool narrowed = isFloat || twoInks;
  std::vector<uint8_t> narrow(narrowed ? std::size_t{width} * planes : 0);
  TMemoryCharge alphaCharge(separateAlpha ? uint64_t{width} * height : 0);
  std::vector<uint8_t> alpha(separateAlpha ? std::size_t{width} * height : 0);
  std::array<std::span<const uint8_t>, 5> sources;
  std::array<uint64_t, 5> offset = planeStart;
  for (uint32_t y = 0; y < height; ++y) {
    for (unsigned c = 0; c < planes; ++c) {
      const std::span<uint8_t> row(rows.data() + c * rowBytes, static_cast<std::size_t>(rowBytes));
      if (p.Compression == ctPackBits) {
        const uint16_t count = rowCounts[uint64_t{c} * height + y];
        std::fill(row.begin(), row.end(), 0);
        decoder.Decode(data.Span(offset[c], count), row);
        offset[c] += count;
      } else {
        std::memcpy(row.data(), data.Span(offset[c], rowBytes).data(), row.size());
        offset[c] += rowBytes;
      }
      const bool isAlpha = separateAlpha && c == planes - 1;
      if (isAlpha) {
        RowTo8Bits(row, depth, width, nullptr, alpha.data() + std::size_t{y} * width);
        continue;
      }
      if (narrowed) {
        uint8_t* const out = narrow.data() + std::size_t{c} * width;
        RowTo8Bits(row, depth, width, isFloat && !(scheme == csRGBA && c == 3) ? &*tone : nullptr, out);
        sources[c] = std::span<const uint8_t>(out, width);
      } else {
        sources[c] = row;
      }
      // Ink coverage: 0 is full ink, the colour manager expects 0 to be none.
      if (scheme == csCMYK && !twoInks) {
        for (uint8_t& b : row) b = static_cast<uint8_t>(255 - b);
      }
    }
    if (twoInks) {
      // Each ink darkens white by its coverage (0 is full ink, as in CMYK documents).
      uint8_t* target = Row(y).data();
      for (uint32_t x = 0; x < width; ++x, target += 3) {
        double rgb[3] = {1, 1, 1};
        for (std::size_t c = 0; c < 2; ++c) {
          const double coverage = (255 - sources[c][x]) / 255.0;
          for (std::size_t k = 0; k < 3; ++k) rgb[k] *= 1 - coverage * (1 - inks[c][k] / 255.0);
        }
        for (std::size_t k = 0; k < 3; ++k) target[2 - k] = static_cast<uint8_t>(std::lround(rgb[k] * 255));
      }
    } else {
      ConvertInto(y, std::span(sources.data(), colourPlanes == 1 ? 1 : colourPlanes));
    }
    RowProgress(y, height);
  }
  data.Seek(std::max(offset[planes - 1], data.Position()));
  if (separateAlpha) {
    SetPixelFormat(pf32bit);
    for (uint32_t y = 0; y < height; ++y) {
      uint8_t* target = Row(y).data();
      const uint8_t* a = alpha.data() + std::size_t{y} * width;
      for (uint32_t x = 0; x < width; ++x) target[4 * x + 3] = a[x];
    }
  }
  SetAlphaChannel(mergedAlpha && PixelFormat() == pf32bit);
  if (scheme == csIndexed && resources.transparentIndex && *resources.transparentIndex < Palette().size() &&
      !mergedAlpha) {
    std::vector<uint8_t> paletteAlpha(Palette().size(), 255);
    paletteAlpha[*resources.transparentIndex] = 0;
    SetPaletteAlpha(std::move(paletteAlpha));
  }
  EndPhase();
}

}  // namespace tablora
