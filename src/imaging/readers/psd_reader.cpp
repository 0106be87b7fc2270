#include "imaging/readers/psd_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/checked.h"
#include "imaging/decoders/decoder.h"
#include "imaging/image_limits.h"

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
  const TImageProperties& p = ImageProperties;
  const uint32_t width = p.Width;
  const uint32_t height = p.Height;
  const TColorScheme scheme = p.ColorScheme;
  const unsigned depth = p.BitsPerSample;
  const unsigned planes = PlanesOf(scheme);
  const bool grayLike = scheme == csGray || scheme == csIndexed;
  // What the colour manager cannot turn into pixels fails here instead of giving garbage:
  // unknown modes, float and odd depths, colour modes short of the channels they need.
  if (scheme == csUnknown || (depth != 8 && depth != 16 && !(depth == 1 && scheme == csGray)) ||
      p.Channels < planes) {
    FormatError(gesInvalidColorFormat);
  }
  if (width == 0 || height == 0) InvalidImage();

  data.Skip(kHeaderSize);
  TColorManager& cm = ColorManager;
  TConversionOptions source(coByteSwap);
  if (scheme == csCIELab) source = source + coLabScaledL + coLabOffsetAB;
  cm.SetSourceOptions(source);
  cm.SetSourceBitsPerSample(depth);
  cm.SetTargetBitsPerSample(depth == 16 ? 8 : depth);
  cm.SetSourceSamplesPerPixel(grayLike ? 1 : planes);
  cm.SetTargetSamplesPerPixel(grayLike ? 1 : scheme == csRGBA ? 4 : 3);
  cm.SetSourceColorScheme(scheme);
  cm.SetTargetColorScheme(grayLike ? scheme : scheme == csRGBA ? csBGRA : csBGR);
  SizeBitmap(width, height, cm.GetPixelFormat(1));

  const std::span<const uint8_t> colourData = data.Bytes(data.U32BE());
  if (scheme == csIndexed) {
    const std::size_t third = colourData.size() / 3;
    SetPalette(cm.CreateColorPalette({colourData.data(), colourData.data() + third,
                                      colourData.data() + 2 * third},
                                     plPlanar8x3, static_cast<uint32_t>(third), false));
  } else if (scheme == csGray) {
    SetPalette(cm.CreateGrayscalePalette((p.Options & ioMinIsWhite) != 0));
  }
  data.Skip(data.U32BE());
  data.Skip(data.U32BE());
  data.Skip(2);

  // Bytes of one row of one channel; bounded by the size check above.
  const uint64_t rowBytes = *PackedRowBytes(width, depth);
  const uint64_t channelRows = uint64_t{height} * p.Channels;
  StartPhase(kLoadingData);
  std::vector<uint16_t> rowCounts;
  std::array<uint64_t, 4> planeStart{};  // offset of each plane's first row within data
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
  TPackbitsRLEDecoder decoder;
  std::vector<uint8_t> rows(static_cast<std::size_t>(rowBytes * planes));
  std::array<std::span<const uint8_t>, 4> sources;
  std::array<uint64_t, 4> offset = planeStart;
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
      // Ink coverage: 0 is full ink, the colour manager expects 0 to be none.
      if (scheme == csCMYK) {
        for (uint8_t& b : row) b = static_cast<uint8_t>(255 - b);
      }
      sources[c] = row;
    }
    ConvertInto(y, std::span(sources.data(), planes == 1 ? 1 : planes));
    RowProgress(y, height);
  }
  data.Seek(std::max(offset[planes - 1], data.Position()));
  EndPhase();
}

}  // namespace tablora
