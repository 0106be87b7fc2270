#include "imaging/readers/tiff_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/cancel.h"
#include "imaging/checked.h"
#include "imaging/decoders/ccitt_decoder.h"
#include "imaging/decoders/decoder.h"
#include "imaging/decoders/lz77_decoder.h"
#include "imaging/decoders/next_decoder.h"
#include "imaging/decoders/thunder_decoder.h"
#include "imaging/decoders/tiff_jpeg_decoder.h"
#include "imaging/decoders/tiff_lzw_decoder.h"
#include "imaging/exceptions.h"
#include "imaging/format.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/readers/jpeg_decompressor.h"

namespace tablora {

namespace {

// Bytes per value by field type, BigTIFF's 8-byte integers (16 to 18) included. Unknown types have
// no size: such entries cannot be read and are left out of the directory, as are the 8-byte types
// in a classic file, where they have no place.
constexpr uint8_t kTypeSize[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};

uint8_t TypeSize(uint16_t type) { return type < 19 ? kTypeSize[type] : 0; }

// Room for an old-style JPEG header made from tags: three components' tables and the markers.
constexpr uint64_t kOldJPEGHeaderBytes = 4096;

// A directory of more entries than a classic one can hold is no directory.
constexpr uint64_t kMaxEntries = 0xFFFF;

// An IFD chain that points back on itself must still end.
constexpr uint32_t kMaxDirectories = 4096;

// Each tile costs a decoder call and a conversion of every one of its rows whatever its size, so
// a picture in tiny tiles takes far longer than its pixels say. A picture at the image-size limit
// in 16 x 16 tiles, the smallest the format suggests, has about a million of them.
constexpr uint64_t kMaxTiles = uint64_t{1} << 22;
// Every row of every block is converted on its own, at a cost of its own however few pixels it
// holds; pictures that need more row conversions than this (a column of a hundred million rows,
// a huge picture in tiles of a few pixels) are refused before anything is made for them. A
// picture at the image-size limit in tiles of 16 x 16 just passes.
constexpr uint64_t kMaxBlockRows = uint64_t{1} << 26;

enum : uint16_t {
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kXResolution = 282,
  kYResolution = 283,
  kPlanarConfig = 284,
  kT4Options = 292,
  kT6Options = 293,
  kResolutionUnit = 296,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
  kExtraSamples = 338,
  kSampleFormat = 339,
  kJPEGTables = 347,
  kJPEGProc = 512,
  kJPEGInterchangeFormat = 513,
  kJPEGInterchangeFormatLength = 514,
  kJPEGRestartInterval = 515,
  kJPEGQTables = 519,
  kJPEGDCTables = 520,
  kJPEGACTables = 521,
  kYCbCrCoefficients = 529,
  kYCbCrSubSampling = 530,
  kYCbCrPositioning = 531,
  kReferenceBlackWhite = 532,
};

TCompressionType CompressionOf(uint32_t value) {
  switch (value) {
    case 1: return ctNone;
    case 2: return ctFaxRLE;
    case 3: return ctFax3;
    case 4: return ctFax4;
    case 5: return ctLZW;
    case 6: return ctOldJPEG;
    case 7: return ctJPEG;
    case 8:
    case 32946: return ctLZ77;
    case 32766: return ctNeXT;
    case 32771: return ctFaxRLEW;
    case 32773: return ctPackBits;
    case 32809: return ctThunderScan;
    case 32895: return ctIT8CTPad;
    case 32896: return ctIT8LineWork;
    case 32897: return ctIT8Picture;
    case 32898: return ctIT8BinaryLineArt;
    case 32908: return ctPixarFilm;
    case 32909: return ctPixarLog;
    case 32947: return ctDCS;
    case 34661: return ctJBIG;
    default: return ctUnknown;
  }
}

TColorScheme SchemeOf(uint32_t photometric, uint32_t samples) {
  switch (photometric) {
    case 0:
    case 1: return csGray;
    case 2: return samples >= 4 ? csRGBA : csRGB;
    case 3: return csIndexed;
    case 5: return csCMYK;
    case 6: return csYCbCr;
    case 8: return csCIELab;
    default: return csUnknown;
  }
}

uint32_t Load32(const uint8_t* p, bool bigEndian) { return bigEndian ? LoadBE32(p) : LoadLE32(p); }
uint16_t Load16(const uint8_t* p, bool bigEndian) { return bigEndian ? LoadBE16(p) : LoadLE16(p); }
uint64_t Load64(const uint8_t* p, bool bigEndian) {
  const uint64_t first = Load32(p, bigEndian);
  const uint64_t second = Load32(p + 4, bigEndian);
  return bigEndian ? first << 32 | second : second << 32 | first;
}

void ReverseBits(std::span<uint8_t> bytes) {
  for (uint8_t& b : bytes) {
    b = static_cast<uint8_t>(((b * 0x0802u & 0x22110u) | (b * 0x8020u & 0x88440u)) * 0x10101u >> 16);
  }
}

}  // namespace

// A table of block offsets or byte counts read where it lies: a table of a hundred million
// entries costs nothing until its entries are used, one by one.
struct TTIFFGraphic::TTableView {
  std::span<const uint8_t> bytes;
  unsigned width = 0;
  bool big = false;
  uint64_t count = 0;
  bool empty() const { return count == 0; }
  uint64_t size() const { return count; }
  uint64_t operator[](uint64_t i) const {
    const uint8_t* v = bytes.data() + i * width;
    return width == 1 ? v[0] : width == 2 ? Load16(v, big) : width == 4 ? Load32(v, big) : Load64(v, big);
  }
};

// Where the image's data lies: strips or tiles, and how many of them make one plane.
struct TTIFFGraphic::TBlockPlan {
  bool tiled = false;
  uint32_t blockWidth = 0;   // pixels per block row
  uint32_t blockHeight = 0;  // rows per block (RowsPerStrip for strips)
  uint32_t across = 1;
  uint32_t down = 0;
  TTableView offsets;
  TTableView counts;
};

bool TTIFFGraphic::CanLoad(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t header[8];
  bool result = false;
  const int64_t remaining = stream.Remaining();
  if (remaining > 8 && stream.Read(header, sizeof header) == sizeof header) {
    const bool big = header[0] == 'M' && header[1] == 'M';
    const bool little = header[0] == 'I' && header[1] == 'I';
    const uint16_t version = Load16(header + 2, big);
    if ((big || little) && version == 42) {
      result = Load32(header + 4, big) < static_cast<uint64_t>(remaining);
    } else if ((big || little) && version == 43 && remaining > 16) {
      // BigTIFF: the offsets' size (8), a zero, then the first directory's 8-byte offset.
      uint8_t first[8];
      result = Load16(header + 4, big) == 8 && Load16(header + 6, big) == 0 &&
               stream.Read(first, sizeof first) == sizeof first &&
               Load64(first, big) < static_cast<uint64_t>(remaining);
    }
  }
  stream.SetPosition(start);
  return result;
}

bool TTIFFGraphic::ReadDirectory(TByteReader& in, uint64_t offset) {
  const bool big = (ImageProperties.Options & ioBigEndian) != 0;
  in.Seek(offset);
  const unsigned entryBytes = bigTiff_ ? 20 : 12;
  const uint64_t count = bigTiff_ ? Load64(in.Bytes(8).data(), big) : (big ? in.U16BE() : in.U16LE());
  if (count > kMaxEntries) InvalidImage();
  const std::span<const uint8_t> raw = in.Bytes(count * entryBytes);
  FDirectory.clear();
  FDirectory.reserve(static_cast<std::size_t>(count));
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* e = raw.data() + i * entryBytes;
    TTIFFDirEntry entry;
    entry.Tag = Load16(e, big);
    entry.FieldType = Load16(e + 2, big);
    entry.ValueCount = bigTiff_ ? Load64(e + 4, big) : Load32(e + 4, big);
    entry.ValueOffset = bigTiff_ ? Load64(e + 12, big) : Load32(e + 8, big);
    std::memcpy(entry.Inline.data(), e + (bigTiff_ ? 12 : 8), bigTiff_ ? 8 : 4);
    if (TypeSize(entry.FieldType) == 0 || (!bigTiff_ && entry.FieldType >= 16)) continue;
    FDirectory.push_back(entry);
  }
  SortDirectory();
  return true;
}

std::span<const uint8_t> TTIFFGraphic::ValueBytes(TByteReader& in, const TTIFFDirEntry& e, uint64_t length) const {
  const uint64_t whole = uint64_t{TypeSize(e.FieldType)} * std::min<uint64_t>(e.ValueCount, uint64_t{1} << 60);
  if (whole <= (bigTiff_ ? 8u : 4u)) return std::span<const uint8_t>(e.Inline.data(), std::min(length, whole));
  return in.Span(e.ValueOffset, length);
}

void TTIFFGraphic::SortDirectory() {
  std::stable_sort(FDirectory.begin(), FDirectory.end(),
                   [](const TTIFFDirEntry& a, const TTIFFDirEntry& b) { return a.Tag < b.Tag; });
}

bool TTIFFGraphic::LocateTag(uint16_t tag, std::size_t& index) const {
  const auto it = std::lower_bound(FDirectory.begin(), FDirectory.end(), tag,
                                   [](const TTIFFDirEntry& e, uint16_t t) { return e.Tag < t; });
  index = static_cast<std::size_t>(it - FDirectory.begin());
  return it != FDirectory.end() && it->Tag == tag;
}

std::vector<double> TTIFFGraphic::ReadTagNumbers(TByteReader& in, uint16_t tag,
                                                 uint64_t maxCount) const {
  // Short lists only: anything longer than a few thousand values is cut here.
  constexpr uint64_t kMostNumbers = 4096;
  maxCount = maxCount == 0 ? kMostNumbers : std::min(maxCount, kMostNumbers);
  std::vector<double> values;
  std::size_t index;
  if (!LocateTag(tag, index)) return values;
  const TTIFFDirEntry& e = FDirectory[index];
  const unsigned size = TypeSize(e.FieldType);
  const uint64_t wanted = maxCount == 0 ? e.ValueCount : std::min<uint64_t>(maxCount, e.ValueCount);
  // Values beyond the file raise the read error before anything is allocated for them.
  const std::span<const uint8_t> bytes = ValueBytes(in, e, wanted * size);
  const bool big = (ImageProperties.Options & ioBigEndian) != 0;
  values.reserve(static_cast<std::size_t>(wanted));
  for (uint64_t i = 0; i < wanted; ++i) {
    const uint8_t* p = bytes.data() + i * size;
    double v = 0;
    switch (e.FieldType) {
      case 1:
      case 2:
      case 7: v = p[0]; break;
      case 6: v = static_cast<int8_t>(p[0]); break;
      case 3: v = Load16(p, big); break;
      case 8: v = static_cast<int16_t>(Load16(p, big)); break;
      case 4:
      case 13: v = Load32(p, big); break;
      case 9: v = static_cast<int32_t>(Load32(p, big)); break;
      case 5:
      case 10: {
        const uint32_t n = Load32(p, big);
        const uint32_t d = Load32(p + 4, big);
        // A zero denominator leaves the value unknown.
        if (d != 0) {
          v = e.FieldType == 5 ? double(n) / double(d)
                               : double(static_cast<int32_t>(n)) / double(static_cast<int32_t>(d));
        }
        break;
      }
      case 11: {
        const uint32_t bits = Load32(p, big);
        float f;
        std::memcpy(&f, &bits, 4);
        v = f;
        break;
      }
      case 12: {
        const uint64_t bits = Load64(p, big);
        std::memcpy(&v, &bits, 8);
        break;
      }
      case 16:
      case 18: v = static_cast<double>(Load64(p, big)); break;
      case 17: v = static_cast<double>(static_cast<int64_t>(Load64(p, big))); break;
      default: break;
    }
    values.push_back(std::isfinite(v) ? v : 0);
  }
  return values;
}

uint32_t TTIFFGraphic::TagIntValue(TByteReader& in, uint16_t tag, uint32_t def) const {
  uint32_t count;
  return TagIntValueAndCount(in, tag, count, def);
}

uint32_t TTIFFGraphic::TagIntValueAndCount(TByteReader& in, uint16_t tag, uint32_t& count,
                                           uint32_t def) const {
  std::size_t index;
  count = 0;
  if (!LocateTag(tag, index)) return def;
  const TTIFFDirEntry& e = FDirectory[index];
  count = static_cast<uint32_t>(std::min<uint64_t>(e.ValueCount, 0xFFFFFFFF));
  const uint16_t t = e.FieldType;
  if (count == 0 || !(t == 1 || t == 3 || t == 4 || t == 8 || t == 9 || t == 13 || t == 16 || t == 17 || t == 18)) {
    return def;
  }
  const std::vector<double> v = ReadTagNumbers(in, tag, 1);
  return v.empty() ? def : static_cast<uint32_t>(static_cast<int64_t>(v[0]));
}

float TTIFFGraphic::TagFloatValue(TByteReader& in, uint16_t tag, float def) const {
  const std::vector<double> v = ReadTagNumbers(in, tag, 1);
  return v.empty() ? def : static_cast<float>(v[0]);
}

void TTIFFGraphic::ReadTagIntegers(TByteReader& in, uint16_t tag, TCardinalArray& list,
                                   uint64_t maxCount) const {
  list.clear();
  for (double v : ReadTagNumbers(in, tag, maxCount)) {
    list.push_back(v <= 0 ? 0u : v >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(v));
  }
}

TTIFFGraphic::TTableView TTIFFGraphic::TableOf(TByteReader& in, uint16_t tag, uint64_t maxCount) const {
  TTableView view;
  std::size_t index;
  if (!LocateTag(tag, index)) return view;
  const TTIFFDirEntry& e = FDirectory[index];
  const uint16_t t = e.FieldType;
  // Offsets and byte counts are unsigned integers; a table of another type is no table.
  if (!(t == 1 || t == 3 || t == 4 || t == 13 || t == 16 || t == 18)) return view;
  view.width = TypeSize(t);
  view.big = (ImageProperties.Options & ioBigEndian) != 0;
  view.count = std::min<uint64_t>(maxCount, e.ValueCount);
  // A table past the end of the file fails with the read error, as any required value does.
  view.bytes = ValueBytes(in, e, view.count * view.width);
  return view;
}

void TTIFFGraphic::ReadTagBytes(TByteReader& in, uint16_t tag, TByteArray& list, uint64_t maxCount) const {
  list.clear();
  std::size_t index;
  if (!LocateTag(tag, index)) return;
  const TTIFFDirEntry& e = FDirectory[index];
  const uint64_t wanted = maxCount == 0 ? e.ValueCount : std::min<uint64_t>(maxCount, e.ValueCount);
  if (TypeSize(e.FieldType) == 1) {
    const std::span<const uint8_t> bytes = ValueBytes(in, e, wanted);
    list.assign(bytes.begin(), bytes.end());
    return;
  }
  for (double v : ReadTagNumbers(in, tag, wanted)) {
    list.push_back(static_cast<uint8_t>(static_cast<int64_t>(v)));
  }
}

void TTIFFGraphic::ReadTagFloats(TByteReader& in, uint16_t tag, TFloatArray& list, uint64_t maxCount) const {
  list.clear();
  for (double v : ReadTagNumbers(in, tag, maxCount)) list.push_back(static_cast<float>(v));
}

// Tags a picture can be drawn without: values that lie past the end of the file leave the
// default, as libtiff does; the tags the picture needs fail with the read error.
float TTIFFGraphic::OptionalFloat(TByteReader& in, uint16_t tag, float def) const {
  try {
    return TagFloatValue(in, tag, def);
  } catch (const EReadError&) {
    return def;
  }
}

void TTIFFGraphic::ReadOptionalFloats(TByteReader& in, uint16_t tag, TFloatArray& list, uint64_t maxCount) const {
  try {
    ReadTagFloats(in, tag, list, maxCount);
  } catch (const EReadError&) {
    list.clear();
  }
}

bool TTIFFGraphic::ReadImageProperties(TStream& stream, uint32_t imageIndex) {
  TRasterGraphic::ReadImageProperties(stream, imageIndex);
  const int64_t start = stream.Position();
  TStreamBytes bytes(stream);
  TByteReader in(bytes.Bytes());
  struct TRestore {
    TStream& stream;
    int64_t start;
    ~TRestore() { stream.SetPosition(start); }
  } restore{stream, start};

  TImageProperties& p = ImageProperties;
  const std::span<const uint8_t> header = in.Bytes(8);
  const bool big = header[0] == 'M' && header[1] == 'M';
  if (big) p.Options |= ioBigEndian;
  p.Version = Load16(header.data() + 2, big);
  bigTiff_ = p.Version == 43;
  if (p.Version != 42 && !(bigTiff_ && Load16(header.data() + 4, big) == 8 && Load16(header.data() + 6, big) == 0)) {
    return false;
  }
  uint64_t offset = bigTiff_ ? Load64(in.Bytes(8).data(), big) : Load32(header.data() + 4, big);
  for (uint32_t walked = 0; imageIndex > 0; --imageIndex) {
    if (++walked > kMaxDirectories) return false;
    in.Seek(offset);
    const uint64_t count = bigTiff_ ? Load64(in.Bytes(8).data(), big) : (big ? in.U16BE() : in.U16LE());
    if (count > kMaxEntries) return false;
    in.Skip(count * (bigTiff_ ? 20 : 12));
    offset = bigTiff_ ? Load64(in.Bytes(8).data(), big) : (big ? in.U32BE() : in.U32LE());
    if (offset == 0) return false;
  }
  ReadDirectory(in, offset);
  // The record keeps 32 bits; a BigTIFF directory beyond them shows as the largest.
  p.FirstIFD = static_cast<uint32_t>(std::min<uint64_t>(offset, 0xFFFFFFFF));

  p.Width = TagIntValue(in, kImageWidth, 0);
  p.Height = TagIntValue(in, kImageLength, 0);
  if (p.Width == 0 || p.Height == 0) return false;

  // Only the first value counts: every strip but the last holds that many rows.
  ReadTagIntegers(in, kRowsPerStrip, p.RowsPerStrip, 1);
  if (p.RowsPerStrip.empty() || p.RowsPerStrip[0] == 0xFFFFFFFF || p.RowsPerStrip[0] == 0) {
    p.RowsPerStrip = {p.Height};
  }
  const uint32_t samples = TagIntValue(in, kSamplesPerPixel, 1);
  p.SamplesPerPixel = static_cast<uint8_t>(std::min<uint32_t>(samples, 255));
  p.BitsPerSample = static_cast<uint8_t>(TagIntValue(in, kBitsPerSample, 1));
  p.TileWidth = TagIntValue(in, kTileWidth, 0);
  p.TileLength = TagIntValue(in, kTileLength, 0);
  if (p.TileWidth > 0 && p.TileLength > 0) p.Options |= ioTiled;
  photometric_ = static_cast<uint16_t>(TagIntValue(in, kPhotometric, 0));
  TCardinalArray extra;
  ReadTagIntegers(in, kExtraSamples, extra, 255);
  hasExtraSamples_ = !extra.empty();
  extraKind_ = extra.empty() ? 0 : static_cast<uint16_t>(std::min<uint32_t>(extra[0], 0xFFFF));
  p.HasAlpha = !extra.empty() && std::all_of(extra.begin(), extra.end(), [](uint32_t v) { return v <= 2; });
  p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
  // TIFF's default compression is none.
  compressionTag_ = static_cast<uint16_t>(TagIntValue(in, kCompression, 1));
  p.Compression = CompressionOf(compressionTag_);
  // Old-style JPEG data of three components is YCbCr whatever the file says: libtiff takes a
  // Photometric of RGB, or none, for YCbCr, and so do the files' other readers.
  std::size_t photometricAt = 0;
  if (p.Compression == ctOldJPEG && (photometric_ == 2 || !LocateTag(kPhotometric, photometricAt))) photometric_ = 6;
  p.ColorScheme = SchemeOf(photometric_, p.SamplesPerPixel);
  if (photometric_ == 0) p.Options |= ioMinIsWhite;
  // Only YCbCr data is subsampled; JPEG strips of other photometrics are checked against 1 x 1.
  p.YCbCrSubsampling = photometric_ == 6 ? TByteArray{2, 2} : TByteArray{1, 1};
  FChromaSiting = 1;
  FLumaWeights = {0.299f, 0.587f, 0.114f};
  if (photometric_ == 6) {
    TByteArray sub;
    ReadTagBytes(in, kYCbCrSubSampling, sub, 2);
    if (sub.size() >= 2) p.YCbCrSubsampling = {sub[0], sub[1]};
    FChromaSiting = TagIntValue(in, kYCbCrPositioning, 1);
    TFloatArray weights;
    ReadOptionalFloats(in, kYCbCrCoefficients, weights, 3);
    if (weights.size() >= 3) FLumaWeights.assign(weights.begin(), weights.begin() + 3);
  }
  p.JPEGColorMode = 0;
  p.JPEGTablesMode = 3;
  // A missing PlanarConfiguration means contiguous samples.
  p.PlanarConfig = TagIntValue(in, kPlanarConfig, 1);
  const float unit = TagIntValue(in, kResolutionUnit, 2) == 3 ? 2.54f : 1.0f;
  p.XResolution = OptionalFloat(in, kXResolution, 0) * unit;
  p.YResolution = OptionalFloat(in, kYResolution, 0) * unit;
  p.Predictor = TagIntValue(in, kPredictor, 1);
  if (TagIntValue(in, kFillOrder, 1) == 2) p.Options |= ioReversedBits;
  // Old-style JPEG files that leave SamplesPerPixel out hold three components, as their
  // BitsPerSample and their stream say.
  if (p.Compression == ctOldJPEG && photometric_ == 6 && samples == 1 && TagIntValue(in, kSamplesPerPixel, 0) == 0) {
    p.SamplesPerPixel = 3;
  }
  return true;
}

std::vector<uint8_t> TTIFFGraphic::OldJPEGStream(TByteReader& in) {
  const TImageProperties& p = ImageProperties;
  const unsigned n = p.SamplesPerPixel;
  std::vector<uint8_t> out;
  auto put16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
  };
  bool haveScanStart = false;
  bool ownTables = false;
  // The interchange-format stream, when the file has one: a whole JPEG file, or its header with
  // the scan in the strips.
  const uint64_t at = TagIntValue(in, kJPEGInterchangeFormat, 0);
  if (at > 0 && at + 2 <= in.Size() && in.All()[at] == 0xFF && in.All()[at + 1] == 0xD8) {
    const uint64_t length = TagIntValue(in, kJPEGInterchangeFormatLength, 0);
    const std::span<const uint8_t> stream =
        in.Span(at, length >= 2 ? std::min<uint64_t>(length, in.Size() - at) : in.Size() - at);
    std::size_t pos = 2;
    std::size_t headerEnd = stream.size();
    while (pos + 4 <= stream.size() && stream[pos] == 0xFF) {
      const uint8_t marker = stream[pos + 1];
      if (marker == 0xD9 || marker == 0xFF) {
        headerEnd = pos;
        break;
      }
      const std::size_t next = pos + 2 + LoadBE16(stream.data() + pos + 2);
      if (marker == 0xDA) {
        haveScanStart = true;
        if (next + 2 < stream.size()) {
          // The scan follows: the stream is the picture.
          out.assign(stream.begin(), stream.end());
          return out;
        }
        headerEnd = std::min(next, stream.size());
        break;
      }
      pos = next;
      headerEnd = std::min(pos, stream.size());
    }
    out.assign(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(headerEnd));
  } else {
    // Tables-only: a header made of the quantisation and Huffman tables the tags point at, one of
    // each kind per component, and a frame of the picture's size and subsampling.
    ownTables = true;
    TCardinalArray q, dc, ac;
    ReadTagIntegers(in, kJPEGQTables, q, n);
    ReadTagIntegers(in, kJPEGDCTables, dc, n);
    ReadTagIntegers(in, kJPEGACTables, ac, n);
    if (q.size() < n || dc.size() < n || ac.size() < n) InvalidImage();
    out = {0xFF, 0xD8};
    for (unsigned c = 0; c < n; ++c) {
      const std::span<const uint8_t> table = in.Span(q[c], 64);
      out.insert(out.end(), {0xFF, 0xDB, 0, 67, static_cast<uint8_t>(c)});
      out.insert(out.end(), table.begin(), table.end());
    }
    for (unsigned c = 0; c < n; ++c) {
      for (unsigned kind = 0; kind < 2; ++kind) {
        const uint64_t offset = kind == 0 ? dc[c] : ac[c];
        const std::span<const uint8_t> counts = in.Span(offset, 16);
        unsigned values = 0;
        for (uint8_t v : counts) values += v;
        if (values > 256) InvalidImage();
        const std::span<const uint8_t> table = in.Span(offset, 16 + values);
        out.insert(out.end(), {0xFF, 0xC4});
        put16(3 + 16 + values);
        out.push_back(static_cast<uint8_t>(kind << 4 | c));
        out.insert(out.end(), table.begin(), table.end());
      }
    }
    const bool tiled = (p.Options & ioTiled) != 0;
    out.insert(out.end(), {0xFF, 0xC0});
    put16(8 + 3 * n);
    out.push_back(8);
    put16(tiled ? p.TileLength : p.Height);
    put16(tiled ? p.TileWidth : p.Width);
    out.push_back(static_cast<uint8_t>(n));
    for (unsigned c = 0; c < n; ++c) {
      out.push_back(static_cast<uint8_t>(c + 1));
      out.push_back(static_cast<uint8_t>(c == 0 ? subH_ << 4 | subV_ : 0x11));
      out.push_back(static_cast<uint8_t>(c));
    }
    const uint32_t restart = TagIntValue(in, kJPEGRestartInterval, 0);
    if (restart > 0) {
      out.insert(out.end(), {0xFF, 0xDD, 0, 4});
      put16(restart);
    }
  }
  // The scan: the strips one after another, as one entropy-coded stream.
  const bool tiled = (p.Options & ioTiled) != 0;
  const uint64_t blocks = tiled ? 1 : (uint64_t{p.Height} + p.RowsPerStrip[0] - 1) / p.RowsPerStrip[0];
  const TTableView offsets = TableOf(in, tiled ? kTileOffsets : kStripOffsets, blocks);
  const TTableView counts = TableOf(in, tiled ? kTileByteCounts : kStripByteCounts, blocks);
  if (offsets.empty() || counts.size() < offsets.size()) InvalidImage();
  // Each strip is coded on its own, from a reset of the predictions, as libtiff reads them: the
  // strips are put together as restart intervals of a strip's blocks, with a restart marker
  // between them.
  const bool restarts = offsets.size() > 1 && !haveScanStart;
  if (restarts) {
    const uint64_t interval = (uint64_t{p.Width} + 8 * subH_ - 1) / (8 * subH_) * (p.RowsPerStrip[0] / (8 * subV_));
    if (interval == 0 || interval > 0xFFFF || p.RowsPerStrip[0] % (8 * subV_) != 0) {
      RaiseImageErrorFmt(gesNotSupported, gesCompressionScheme, FormatName());
    }
    out.insert(out.end(), {0xFF, 0xDD, 0, 4});
    put16(static_cast<uint32_t>(interval));
  }
  for (uint64_t b = 0; b < offsets.size(); ++b) {
    const uint64_t offset = offsets[b];
    if (offset >= in.Size()) break;
    if (restarts && b > 0) out.insert(out.end(), {0xFF, static_cast<uint8_t>(0xD0 + (b - 1) % 8)});
    const std::span<const uint8_t> data = in.Span(offset, std::min<uint64_t>(counts[b], in.Size() - offset));
    if (b == 0 && !haveScanStart && !(data.size() >= 2 && data[0] == 0xFF && data[1] == 0xDA)) {
      // A scan header of its own: luma with the first tables, chroma with the second.
      out.insert(out.end(), {0xFF, 0xDA});
      put16(6 + 2 * n);
      out.push_back(static_cast<uint8_t>(n));
      for (unsigned c = 0; c < n; ++c) {
        out.push_back(static_cast<uint8_t>(c + 1));
        const unsigned table = ownTables ? c : std::min(c, 1u);
        out.push_back(static_cast<uint8_t>(table << 4 | table));
      }
      out.insert(out.end(), {0, 63, 0});
    }
    // Strips that share their bytes would make a stream larger than the file; no writer does so.
    if (out.size() + data.size() > in.Size() + 2 * offsets.size() + kOldJPEGHeaderBytes) InvalidImage();
    out.insert(out.end(), data.begin(), data.end());
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

void TTIFFGraphic::DecodeOldJPEG(TByteReader& in) {
  const TImageProperties& p = ImageProperties;
  // The stream is at most the file, its restart markers and a header made from the tags.
  const uint64_t strips = (uint64_t{p.Height} + p.RowsPerStrip[0] - 1) / p.RowsPerStrip[0];
  const TMemoryCharge streamCharge(in.Size() + 2 * strips + kOldJPEGHeaderBytes);
  const std::vector<uint8_t> stream = OldJPEGStream(in);
  JpegDecompressor jpeg;
  jpeg_decompress_struct& info = jpeg.Info();
  jpeg.SetSource(stream.data(), stream.size());
  jpeg.Run([&] { jpeg_read_header(&info, TRUE); });
  if (info.num_components != 3 || info.data_precision != 8) throw ECompressionError("Improper JPEG component count.");
  // The samples come out as YCbCr and are drawn with the file's reference black and white, and
  // with chroma repeated over its block, as libtiff draws these files.
  info.jpeg_color_space = JCS_YCbCr;
  info.out_color_space = JCS_YCbCr;
  info.do_fancy_upsampling = FALSE;
  jpeg.ChargeWholeImage();
  jpeg.Run([&] { jpeg_start_decompress(&info); });
  const std::size_t lineBytes = std::size_t{info.output_width} * 3;
  const TMemoryCharge lineCharge(lineBytes + uint64_t{p.Width} * 3);
  std::vector<uint8_t> line(lineBytes);
  rgbRows_.assign(std::size_t{p.Width} * 3, 0);
  const uint32_t rows = std::min<uint32_t>(p.Height, info.output_height);
  const uint32_t pixels = std::min<uint32_t>(p.Width, info.output_width);
  for (uint32_t y = 0; y < rows; ++y) {
    JSAMPROW target = line.data();
    JDIMENSION got = 0;
    jpeg.Run([&] { got = jpeg_read_scanlines(&info, &target, 1); });
    if (got != 1) break;
    for (uint32_t x = 0; x < pixels; ++x) {
      const uint8_t* ycc = line.data() + std::size_t{x} * 3;
      YCbCrToRGB(ycc[0], ycc[1], ycc[2], rgbRows_.data() + std::size_t{x} * 3);
    }
    const std::span<const uint8_t> rgb(rgbRows_.data(), rgbRows_.size());
    EmitRow(y, 0, p.Width, std::span(&rgb, 1), false);
    RowProgress(y + 1, p.Height);
  }
  jpeg.Run([&] { jpeg_abort_decompress(&info); });
}

void TTIFFGraphic::SetUpColors(TByteReader& in) {
  TImageProperties& p = ImageProperties;
  TColorManager& cm = ColorManager;
  const unsigned bits = p.BitsPerSample;
  const unsigned samples = p.SamplesPerPixel;
  const bool big = (p.Options & ioBigEndian) != 0;
  const bool jpeg = p.Compression == ctJPEG;
  const bool alpha = hasExtraSamples_ && (extraKind_ == 1 || extraKind_ == 2);
  sampleMap_.clear();
  unpremultiply_ = false;
  ycbcr_ = false;
  subH_ = subV_ = 1;

  TConversionOptions options;
  if (big && bits == 16 && !float_) options.Include(coByteSwap);
  TColorScheme source = csUnknown;
  TColorScheme target = csUnknown;
  TPixelFormat format = pfDevice;
  unsigned used = 0;
  auto invalid = [&] { FormatError(gesInvalidColorFormat); };
  // Depths the colour manager does not take (every other one from 1 to 32 bits) are scaled to
  // 8 bits here first.
  unpack_ = false;
  auto wideSamples = [&] {
    if (bits < 1 || (bits > 32 && !(float_ && bits == 64))) invalid();
    unpack_ = true;
  };
  auto byteSamples = [&] {
    if (bits != 8 && bits != 16) wideSamples();
  };

  // libjpeg hands JPEG-compressed colour, RGB and YCbCr alike, out as blue, green, red; RGB with an
  // extra sample is a stream of four components, handed out as stored, as libtiff reads it.
  constexpr int kJpegColour = -1;
  switch (jpeg && (photometric_ == 2 || photometric_ == 6) ? kJpegColour : photometric_) {
    case kJpegColour:
      if (bits != 8) invalid();
      if (samples == 3) {
        source = target = csBGR;
        sampleMap_ = {0, 1, 2};
      } else if (samples == 4 && photometric_ == 2) {
        source = alpha ? csRGBA : csRGB;
        target = alpha ? csBGRA : csBGR;
        sampleMap_ = alpha ? std::vector<uint8_t>{0, 1, 2, 3} : std::vector<uint8_t>{0, 1, 2};
        unpremultiply_ = alpha && extraKind_ == 1;
      } else {
        invalid();
      }
      break;
    case 0:
    case 1:
      // Transparency of grey stands in the second sample; beside more extra samples libtiff
      // draws the grey alone, and so does this reader.
      if (samples == 2 && alpha) {
        // Widened to colour with alpha, a white-is-zero grey would come out inverted.
        if (photometric_ == 0) invalid();
        byteSamples();
        sampleMap_ = {0, 0, 0, 1};
        source = csRGBA;
        target = csBGRA;
        unpremultiply_ = extraKind_ == 1;
        break;
      }
      if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) wideSamples();
      source = target = csGray;
      sampleMap_ = {0};
      break;
    case 3:
      if (bits != 1 && bits != 2 && bits != 4 && bits != 8) invalid();
      source = target = csIndexed;
      sampleMap_ = {0};
      break;
    case 2:
      if (samples < 3) invalid();
      byteSamples();
      if (samples >= 4 && alpha) {
        source = csRGBA;
        target = csBGRA;
        sampleMap_ = {0, 1, 2, 3};
        unpremultiply_ = extraKind_ == 1;
      } else {
        source = csRGB;
        target = csBGR;
        sampleMap_ = {0, 1, 2};
      }
      break;
    case 5:
      if (samples < 4 || (jpeg && samples != 4)) invalid();
      byteSamples();
      source = csCMYK;
      target = csBGR;
      sampleMap_ = {0, 1, 2, 3};
      break;
    case 6: {
      if (samples < 3 || bits != 8) invalid();
      subH_ = p.YCbCrSubsampling.size() >= 2 ? p.YCbCrSubsampling[0] : 2;
      subV_ = p.YCbCrSubsampling.size() >= 2 ? p.YCbCrSubsampling[1] : 2;
      auto allowed = [](unsigned f) { return f == 1 || f == 2 || f == 4; };
      if (!allowed(subH_) || !allowed(subV_)) invalid();
      // Subsampled samples come in blocks of one pixel group, three samples to the group: no
      // planes, no extra samples, no differencing across a row of samples.
      const bool subsampled = subH_ * subV_ > 1;
      if (subsampled && (samples != 3 || p.PlanarConfig == 2 || p.Predictor == 2)) invalid();
      ycbcr_ = true;
      SetUpYCbCr(in);
      // The rows handed on are RGB made here.
      source = csRGB;
      target = csBGR;
      sampleMap_ = {0, 1, 2};
      break;
    }
    case 8:
      if (samples < 3 || bits != 8) invalid();
      options.Include(coLabScaledL);
      source = csCIELab;
      target = csBGR;
      sampleMap_ = {0, 1, 2};
      break;
    default: invalid();
  }
  if (jpeg && (photometric_ == 0 || photometric_ == 1) && (samples != 1 || bits != 8)) invalid();
  used = static_cast<unsigned>(sampleMap_.size());
  if (*std::max_element(sampleMap_.begin(), sampleMap_.end()) >= samples) invalid();
  // Samples are taken from the file as they stand only when the colour manager's layout is the
  // file's; otherwise each pixel is repacked first.
  repack_ = !ycbcr_ && (used != samples || (used == 4 && sampleMap_[1] == 0));
  if (p.PlanarConfig == 2 && samples > 1 && jpeg) invalid();

  cm.SetSourceOptions(options);
  if (float_) {
    if (source != csGray && source != csRGB && source != csRGBA && source != csCMYK) invalid();
    unpack_ = true;
  }
  const unsigned cmBits = unpack_ ? 8 : bits;
  cm.SetSourceBitsPerSample(cmBits);
  // 2-bit data goes into a 4-bit bitmap, as bitmaps have no 2-bit format.
  targetBits_ = cmBits == 16 ? 8 : cmBits == 2 ? 4 : cmBits;
  if (target != csGray && target != csIndexed) targetBits_ = 8;
  identityRows_ = (target == csGray || target == csIndexed) && source == target && targetBits_ == bits &&
                  samples == 1 && bits <= 8 && !unpack_;
  cm.SetTargetBitsPerSample(targetBits_);
  cm.SetSourceColorScheme(source);
  cm.SetTargetColorScheme(target);
  cm.SetSourceSamplesPerPixel(used);
  cm.SetTargetSamplesPerPixel(target == csBGRA ? 4 : target == csBGR ? 3 : 1);
  if (source == csYCbCr) cm.SetYCbCrParameters(FLumaWeights, 1, 1);
  format = cm.GetPixelFormat(1);
  SizeBitmap(p.Width, p.Height, format);
  SetAlphaChannel(target == csBGRA);

  if (target == csIndexed) {
    uint32_t count = 0;
    TagIntValueAndCount(in, kColorMap, count, 0);
    const uint64_t needed = 3ull << bits;
    if (count > FColorMapWords.size() || count < needed) FormatError(gesInvalidPalette);
    std::size_t index;
    LocateTag(kColorMap, index);
    const TTIFFDirEntry& e = FDirectory[index];
    if (TypeSize(e.FieldType) != 2) FormatError(gesInvalidPalette);
    const std::span<const uint8_t> words = in.Span(e.ValueOffset, uint64_t{count} * 2);
    std::memcpy(FColorMapWords.data(), words.data(), words.size());
    const uint32_t third = count / 3;
    // The colour map's 16-bit values are in the file's order.
    cm.SetSourceOptions(big ? TConversionOptions(coByteSwap) : TConversionOptions());
    SetPalette(cm.CreateColorPalette(
        {FColorMapWords.data(), FColorMapWords.data() + third, FColorMapWords.data() + 2 * third},
        plPlanar16x3, third, false));
    cm.SetSourceOptions(options);
  } else if (target == csGray) {
    SetPalette(cm.CreateGrayscalePalette((p.Options & ioMinIsWhite) != 0));
  }
}

void TTIFFGraphic::SetUpYCbCr(TByteReader& in) {
  // TIFF's reference black and white for YCbCr: luma over its full range, chroma centred on 128.
  std::array<float, 6> ref = {0, 255, 128, 255, 128, 255};
  TFloatArray values;
  ReadOptionalFloats(in, kReferenceBlackWhite, values, 6);
  if (values.size() >= 6) std::copy_n(values.begin(), 6, ref.begin());
  const float kr = FLumaWeights[0];
  const float kg = FLumaWeights[1];
  const float kb = FLumaWeights[2];
  // Fixed point with 16 fraction bits, the way libtiff draws these files, so the two agree.
  constexpr int kShift = 16;
  constexpr int32_t kHalf = 1 << (kShift - 1);
  auto fix = [](float v) { return static_cast<int32_t>(std::clamp(v, 0.0f, 2.0f) * (1 << kShift) + 0.5f); };
  auto code = [](float c, float black, float white, float range) {
    const float span = white - black != 0 ? white - black : 1;
    const float v = (c - black) * range / span;
    return static_cast<int32_t>(std::isfinite(v) ? std::clamp(v, -128.0f * 32, 128.0f * 32) : 0);
  };
  const float f1 = 2 - 2 * kr;
  const float f3 = 2 - 2 * kb;
  const int32_t d1 = fix(f1);
  const int32_t d2 = -fix(kg != 0 ? kr * f1 / kg : 0);
  const int32_t d3 = fix(f3);
  const int32_t d4 = -fix(kg != 0 ? kb * f3 / kg : 0);
  yccTables_ = std::make_unique<TYCbCrTables>();
  TYCbCrTables& t = *yccTables_;
  for (int i = 0; i < 256; ++i) {
    const int32_t cr = code(static_cast<float>(i - 128), ref[4] - 128, ref[5] - 128, 127);
    const int32_t cb = code(static_cast<float>(i - 128), ref[2] - 128, ref[3] - 128, 127);
    t.crR[i] = (d1 * cr + kHalf) >> kShift;
    t.cbB[i] = (d3 * cb + kHalf) >> kShift;
    t.crG[i] = d2 * cr;
    t.cbG[i] = d4 * cb + kHalf;
    t.y[i] = code(static_cast<float>(i), ref[0], ref[1], 255);
  }
}

void TTIFFGraphic::YCbCrToRGB(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* rgb) const {
  const TYCbCrTables& t = *yccTables_;
  const int32_t luma = t.y[y];
  rgb[0] = static_cast<uint8_t>(std::clamp(luma + t.crR[cr], 0, 255));
  rgb[1] = static_cast<uint8_t>(std::clamp(luma + ((t.cbG[cb] + t.crG[cr]) >> 16), 0, 255));
  rgb[2] = static_cast<uint8_t>(std::clamp(luma + t.cbB[cb], 0, 255));
}

void TTIFFGraphic::ExpandYCbCrGroup(const uint8_t* group, uint32_t pixels, uint32_t rows, uint8_t* rgb,
                                    std::size_t rgbStride) const {
  const unsigned lumas = subH_ * subV_;
  for (uint32_t x0 = 0; x0 < pixels; x0 += subH_, group += lumas + 2) {
    const uint8_t cb = group[lumas];
    const uint8_t cr = group[lumas + 1];
    // Chroma stands for the whole block; samples of a block past the edge are dropped.
    const uint32_t across = std::min<uint32_t>(subH_, pixels - x0);
    for (uint32_t r = 0; r < rows; ++r) {
      uint8_t* to = rgb + r * rgbStride + std::size_t{x0} * 3;
      for (uint32_t i = 0; i < across; ++i) YCbCrToRGB(group[r * subH_ + i], cb, cr, to + i * 3);
    }
  }
}

std::unique_ptr<TDecoder> TTIFFGraphic::CreateDecoder(TByteReader& in) {
  TImageProperties& p = ImageProperties;
  const bool reversed = (p.Options & ioReversedBits) != 0;
  switch (p.Compression) {
    case ctNone: return nullptr;
    case ctPackBits: return std::make_unique<TPackbitsRLEDecoder>();
    case ctLZW: return std::make_unique<TTIFFLZWDecoder>();
    case ctLZ77: return std::make_unique<TLZ77Decoder>(1, true);
    case ctThunderScan:
      return std::make_unique<TThunderDecoder>((p.Options & ioTiled) != 0 ? p.TileWidth : p.Width);
    case ctNeXT:
      return std::make_unique<TNeXTDecoder>((p.Options & ioTiled) != 0 ? p.TileWidth : p.Width);
    case ctFax3:
    case ctFaxRLE:
    case ctFaxRLEW:
    case ctFax4: {
      if (p.BitsPerSample != 1 || p.SamplesPerPixel != 1) FormatError(gesInvalidColorFormat);
      const uint32_t width = (p.Options & ioTiled) != 0 ? p.TileWidth : p.Width;
      if (p.Compression == ctFax3) {
        return std::make_unique<TCCITTFax3Decoder>(TagIntValue(in, kT4Options, 0), reversed, false, width);
      }
      if (p.Compression == ctFax4) {
        return std::make_unique<TCCITTFax4Decoder>(TagIntValue(in, kT6Options, 0), reversed, false, width);
      }
      return std::make_unique<TCCITTMHDecoder>(0, reversed, p.Compression == ctFaxRLEW, width);
    }
    case ctJPEG:
      {
        std::size_t index;
        if (LocateTag(kJPEGTables, index)) jpegTablesCharge_.Set(FDirectory[index].ValueCount);
      }
      ReadTagBytes(in, kJPEGTables, p.JPEGTables, 0);
      return std::make_unique<TTIFFJPEGDecoder>(p);
    default:
      RaiseImageErrorFmt(gesNotSupported, gesCompressionScheme, FormatName());
  }
}

void TTIFFGraphic::UndoPredictor(uint8_t* row, uint32_t pixels, unsigned samples) {
  const std::size_t n = std::size_t{pixels} * samples;
  if (ImageProperties.Predictor == 3) {
    // Floating-point differencing, as libtiff writes it: the row's bytes are summed along with a
    // step of one pixel, then they are the samples' byte planes, most significant first.
    const unsigned width = ImageProperties.BitsPerSample / 8;
    const std::size_t bytes = n * width;
    for (std::size_t i = samples; i < bytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - samples]);
    std::memcpy(bytePlanes_.data(), row, bytes);
    const bool big = (ImageProperties.Options & ioBigEndian) != 0;
    // Put back in the file's byte order, which the unpacking reads.
    for (std::size_t i = 0; i < n; ++i) {
      for (unsigned b = 0; b < width; ++b) row[i * width + (big ? b : width - 1 - b)] = bytePlanes_[b * n + i];
    }
    return;
  }
  if (pixels < 2) return;
  if (ImageProperties.BitsPerSample == 8) {
    for (std::size_t i = samples; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - samples]);
    return;
  }
  // 16- and 32-bit samples are summed as numbers in the file's byte order.
  const bool big = (ImageProperties.Options & ioBigEndian) != 0;
  if (ImageProperties.BitsPerSample == 64) {
    for (std::size_t i = samples; i < n; ++i) {
      uint8_t* v = row + 8 * i;
      const uint64_t sum = Load64(v, big) + Load64(v - 8 * samples, big);
      for (int b = 0; b < 8; ++b) v[b] = static_cast<uint8_t>(sum >> (big ? 56 - 8 * b : 8 * b));
    }
    return;
  }
  if (ImageProperties.BitsPerSample == 32) {
    for (std::size_t i = samples; i < n; ++i) {
      uint8_t* v = row + 4 * i;
      const uint32_t sum = Load32(v, big) + Load32(v - 4 * samples, big);
      for (int b = 0; b < 4; ++b) v[b] = static_cast<uint8_t>(sum >> (big ? 24 - 8 * b : 8 * b));
    }
    return;
  }
  for (std::size_t i = samples; i < n; ++i) {
    uint8_t* v = row + 2 * i;
    const uint16_t sum = static_cast<uint16_t>(Load16(v, big) + Load16(v - 2 * samples, big));
    if (big) {
      v[0] = static_cast<uint8_t>(sum >> 8);
      v[1] = static_cast<uint8_t>(sum);
    } else {
      v[0] = static_cast<uint8_t>(sum);
      v[1] = static_cast<uint8_t>(sum >> 8);
    }
  }
}

void TTIFFGraphic::UnpackTo8(const uint8_t* row, std::size_t count, uint8_t* to) const {
  const unsigned bits = ImageProperties.BitsPerSample;
  // Integer samples are at most 32 bits; 64 are floating point, scaled otherwise.
  const uint64_t most = bits < 64 ? (uint64_t{1} << bits) - 1 : ~uint64_t{0};
  // Rounded to the nearest of the 256 levels.
  auto scale = [&](uint64_t v) { return static_cast<uint8_t>((v * 255 + most / 2) / most); };
  if (float_) {
    const bool big = (ImageProperties.Options & ioBigEndian) != 0;
    const unsigned width = bits / 8;
    for (std::size_t i = 0; i < count; ++i, row += width) {
      uint64_t v = 0;
      for (unsigned b = 0; b < width; ++b) v |= uint64_t{row[b]} << (big ? 8 * (width - 1 - b) : 8 * b);
      double f;
      if (width == 8) {
        std::memcpy(&f, &v, 8);
      } else if (width == 4) {
        const uint32_t w = static_cast<uint32_t>(v);
        float g;
        std::memcpy(&g, &w, 4);
        f = g;
      } else if (width == 3) {
        // 24 bits: sign, 7 exponent bits with a bias of 63, 16 of fraction.
        const int exponent = static_cast<int>(v >> 16 & 0x7F);
        const double fraction = static_cast<double>(v & 0xFFFF);
        f = exponent == 0    ? std::ldexp(fraction, -78)
            : exponent == 127 ? (fraction != 0 ? NAN : INFINITY)
                              : std::ldexp(fraction + 65536, exponent - 79);
        if (v & 0x800000) f = -f;
      } else {
        // Half precision: sign, 5 exponent bits, 10 of fraction.
        const int exponent = static_cast<int>(v >> 10 & 0x1F);
        const double fraction = static_cast<double>(v & 0x3FF);
        f = exponent == 0    ? std::ldexp(fraction, -24)
            : exponent == 31 ? (fraction != 0 ? NAN : INFINITY)
                             : std::ldexp(fraction + 1024, exponent - 25);
        if (v & 0x8000) f = -f;
      }
      // 0.0 to 1.0 over the 256 levels, clamped; not a number is black.
      to[i] = std::isnan(f) ? 0 : static_cast<uint8_t>(std::lround(std::clamp(f, 0.0, 1.0) * 255));
    }
    return;
  }
  if (bits == 24 || bits == 32) {
    // Whole-byte samples are numbers in the file's byte order.
    const bool big = (ImageProperties.Options & ioBigEndian) != 0;
    const unsigned width = bits / 8;
    for (std::size_t i = 0; i < count; ++i, row += width) {
      uint64_t v = 0;
      for (unsigned b = 0; b < width; ++b) v |= uint64_t{row[b]} << (big ? 8 * (width - 1 - b) : 8 * b);
      to[i] = scale(v);
    }
    return;
  }
  // Others are a stream of bits, most significant first, whatever the byte order.
  uint64_t bitsHeld = 0;
  unsigned held = 0;
  for (std::size_t i = 0; i < count; ++i) {
    while (held < bits) {
      bitsHeld = (bitsHeld << 8) | *row++;
      held += 8;
    }
    held -= bits;
    to[i] = scale((bitsHeld >> held) & most);
    bitsHeld &= (uint64_t{1} << held) - 1;
  }
}

void TTIFFGraphic::EmitRow(uint32_t y, uint32_t x0, uint32_t pixels,
                           std::span<const std::span<const uint8_t>> planes, bool planar) {
  const unsigned used = static_cast<unsigned>(sampleMap_.size());
  const unsigned bytesPerSample = unpack_ ? 1 : ImageProperties.BitsPerSample / 8;
  std::array<std::span<const uint8_t>, 8> sources;
  std::size_t sourceCount = 1;
  if (planar) {
    for (unsigned i = 0; i < used; ++i) sources[i] = planes[sampleMap_[i]];
    sourceCount = used;
  } else if (repack_) {
    const unsigned samples = ImageProperties.SamplesPerPixel;
    const std::size_t pixelBytes = std::size_t{samples} * bytesPerSample;
    const std::size_t outBytes = std::size_t{used} * bytesPerSample;
    const uint8_t* from = planes[0].data();
    if (planes[0].size() < pixelBytes * pixels) FormatError(gesInvalidColorFormat);
    uint8_t* to = packed_.data();
    for (uint32_t x = 0; x < pixels; ++x, from += pixelBytes, to += outBytes) {
      for (unsigned i = 0; i < used; ++i) {
        std::memcpy(to + i * bytesPerSample, from + sampleMap_[i] * bytesPerSample, bytesPerSample);
      }
    }
    sources[0] = std::span<const uint8_t>(packed_.data(), outBytes * pixels);
  } else {
    sources[0] = planes[0];
  }
  const TColorManager::TRowSpans spans(sources.data(), sourceCount);
  const uint32_t width = ImageProperties.Width;
  std::span<uint8_t> target;
  if (x0 == 0 && pixels == width) {
    ConvertInto(y, spans, 0xFF, pixels);
    target = Row(y);
  } else {
    ColorManager.ConvertRow(spans, tileRow_, pixels, 0xFF);
    const uint64_t bits = uint64_t{x0} * static_cast<unsigned>(BitsPerPixel());
    if (bits % 8 != 0) InvalidImage();
    const std::size_t bytes = static_cast<std::size_t>(*PackedRowBytes(pixels, static_cast<unsigned>(BitsPerPixel())));
    const std::span<uint8_t> row = Row(y);
    const std::size_t at = static_cast<std::size_t>(bits / 8);
    std::memcpy(row.data() + at, tileRow_.data(), std::min(bytes, row.size() - at));
    target = row.subspan(at);
  }
  if (unpremultiply_) {
    // Associated alpha is stored premultiplied; the bitmap keeps straight alpha.
    uint8_t* px = target.data();
    for (uint32_t x = 0; x < pixels; ++x, px += 4) {
      const unsigned a = px[3];
      if (a == 0 || a == 255) continue;
      for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>(std::min(255u, (px[c] * 255u + a / 2) / a));
    }
  }
}

void TTIFFGraphic::DecodeBlocks(TByteReader& in, TDecoder* decoder) {
  TImageProperties& p = ImageProperties;
  const uint32_t width = p.Width;
  const uint32_t height = p.Height;
  const bool planar = p.PlanarConfig == 2 && p.SamplesPerPixel > 1;
  const unsigned planes = planar ? p.SamplesPerPixel : 1;
  const unsigned bitsPerBlockPixel = planar ? p.BitsPerSample : p.BitsPerPixel;

  TBlockPlan plan;
  plan.tiled = (p.Options & ioTiled) != 0;
  if (plan.tiled) {
    plan.blockWidth = p.TileWidth;
    plan.blockHeight = p.TileLength;
    plan.across = static_cast<uint32_t>((uint64_t{width} + p.TileWidth - 1) / p.TileWidth);
    plan.down = static_cast<uint32_t>((uint64_t{height} + p.TileLength - 1) / p.TileLength);
  } else {
    plan.blockWidth = width;
    plan.blockHeight = p.RowsPerStrip.empty() ? height : std::min(p.RowsPerStrip[0], height);
    plan.down = static_cast<uint32_t>((uint64_t{height} + plan.blockHeight - 1) / plan.blockHeight);
  }
  const uint64_t blocks = uint64_t{plan.across} * plan.down * planes;
  // Entries past the blocks the picture has are never used, so they are not read.
  auto readTables = [&](uint16_t offsetsTag, uint16_t countsTag) {
    plan.offsets = TableOf(in, offsetsTag, blocks);
    plan.counts = TableOf(in, countsTag, blocks);
  };
  if (plan.tiled) {
    readTables(kTileOffsets, kTileByteCounts);
    // Early tiled files kept the tiles' places in the strip tags.
    if (plan.offsets.empty()) readTables(kStripOffsets, kStripByteCounts);
  } else {
    readTables(kStripOffsets, kStripByteCounts);
  }
  // Every size from the tags is checked before the block buffers exist.
  const std::optional<uint64_t> blockRow = PackedRowBytes(plan.blockWidth, bitsPerBlockPixel);
  if (!blockRow || *blockRow == 0) InvalidImage();
  CheckImageSize(plan.blockWidth, plan.blockHeight, bitsPerBlockPixel);
  CheckImageSize(plan.blockWidth, uint64_t{plan.blockHeight} * planes, bitsPerBlockPixel);
  // Subsampled YCbCr is stored in groups of subV_ rows: one block of subH_ x subV_ luma samples
  // and its two chroma samples after another.
  const bool subsampled = ycbcr_ && subH_ * subV_ > 1;
  const uint64_t groupBytes = (uint64_t{plan.blockWidth} + subH_ - 1) / subH_ * (subH_ * subV_ + 2);
  auto bytesOfRows = [&](uint64_t rows) {
    return subsampled ? (rows + subV_ - 1) / subV_ * groupBytes : *blockRow * rows;
  };
  const uint64_t blockBytes = bytesOfRows(plan.blockHeight);
  const uint64_t perPlane = uint64_t{plan.across} * plan.down;
  const unsigned bytesPerSample = std::max(1u, p.BitsPerSample / 8u);
  const uint64_t packedBytes = repack_ ? uint64_t{plan.blockWidth} * sampleMap_.size() * bytesPerSample : 0;
  const uint64_t tileRowBytes = plan.tiled ? *PackedRowBytes(plan.blockWidth, static_cast<unsigned>(BitsPerPixel())) : 0;
  const uint64_t rgbBytes = ycbcr_ ? uint64_t{plan.blockWidth} * 3 * subV_ : 0;
  const uint64_t unpackedBytes = unpack_ ? uint64_t{plan.blockWidth} * p.SamplesPerPixel : 0;
  const TMemoryCharge charge(packedBytes + tileRowBytes + rgbBytes + unpackedBytes);
  unpacked_.assign(static_cast<std::size_t>(unpackedBytes), 0);
  // Fill order 2 reverses the bits of every byte of the data; the fax decoders undo it as they
  // read, for the others it is undone here.
  const bool reverseBits = (p.Options & ioReversedBits) != 0 && p.Compression != ctFax3 &&
                           p.Compression != ctFax4 && p.Compression != ctFaxRLE &&
                           p.Compression != ctFaxRLEW;
  // Uncompressed rows are read where they lie in the file; only a row cut by the end of the file
  // or with its bits to reverse is copied, into one row of scratch. The block buffer is for
  // decoders only.
  const uint64_t unitBytes = subsampled ? groupBytes : *blockRow;
  TMemoryCharge bufferCharge;
  std::vector<uint8_t> buffer;
  const TMemoryCharge scratchCharge(decoder != nullptr ? 0 : unitBytes * planes);
  std::vector<uint8_t> scratch(static_cast<std::size_t>(decoder != nullptr ? 0 : unitBytes * planes));
  std::array<const uint8_t*, 256> base{};
  std::array<uint64_t, 256> inFile{};
  TMemoryCharge reversedCharge;
  // Row or row group `unit` of a plane of the current block.
  auto unitOf = [&](unsigned plane, uint64_t unit) -> const uint8_t* {
    const uint64_t at = unit * unitBytes;
    if (decoder != nullptr) return base[plane] + at;
    if (!reverseBits && at + unitBytes <= inFile[plane]) return base[plane] + at;
    uint8_t* row = scratch.data() + plane * unitBytes;
    const uint64_t have = at < inFile[plane] ? std::min(unitBytes, inFile[plane] - at) : 0;
    if (have > 0) std::memcpy(row, base[plane] + at, static_cast<std::size_t>(have));
    std::memset(row + have, 0, static_cast<std::size_t>(unitBytes - have));
    if (reverseBits) ReverseBits(std::span(row, static_cast<std::size_t>(unitBytes)));
    return row;
  };
  rgbRows_.assign(static_cast<std::size_t>(rgbBytes), 0);
  packed_.assign(static_cast<std::size_t>(packedBytes), 0);
  tileRow_.assign(static_cast<std::size_t>(tileRowBytes), 0);

  const bool predictor = p.Compression != ctNone && (p.Predictor == 2 || p.Predictor == 3);
  if (predictor && p.Predictor == 2 && p.BitsPerSample != 8 && p.BitsPerSample != 16 && p.BitsPerSample != 32 &&
      p.BitsPerSample != 64) {
    FormatError(gesInvalidColorFormat);
  }
  const TMemoryCharge planesCharge(predictor && p.Predictor == 3 ? *blockRow : 0);
  bytePlanes_.assign(static_cast<std::size_t>(predictor && p.Predictor == 3 ? *blockRow : 0), 0);
  const bool jpeg = p.Compression == ctJPEG;
  // JPEG strips are checked against what the record says of them; for tiles it has to speak of
  // the tile.
  const TImageProperties saved = jpeg && plan.tiled ? p : TImageProperties{};
  if (jpeg && plan.tiled) {
    p.Width = plan.blockWidth;
    p.Height = plan.blockHeight;
    p.RowsPerStrip = {plan.blockHeight};
  }
  p.BytesPerLine = static_cast<uint32_t>(*blockRow);
  struct TRestoreRecord {
    TImageProperties& record;
    const TImageProperties& saved;
    bool active;
    ~TRestoreRecord() {
      if (active) {
        record.Width = saved.Width;
        record.Height = saved.Height;
        record.RowsPerStrip = saved.RowsPerStrip;
      }
    }
  } restoreRecord{p, saved, jpeg && plan.tiled};

  p.StripCount = static_cast<uint32_t>(plan.offsets.size());
  std::array<std::span<const uint8_t>, 256> rows;
  const unsigned rowSamples = planar ? 1 : p.SamplesPerPixel;
  uint32_t rowsDone = 0;
  for (uint32_t by = 0; by < plan.down; ++by) {
    const uint32_t y0 = by * plan.blockHeight;
    const uint32_t blockRows = std::min(plan.blockHeight, height - y0);
    for (uint32_t bx = 0; bx < plan.across; ++bx) {
      const uint32_t x0 = bx * plan.blockWidth;
      const uint32_t pixels = std::min(plan.blockWidth, width - x0);
      // Rows a tile holds: the whole tile, even past the bottom edge.
      const uint32_t storedRows = plan.tiled ? plan.blockHeight : blockRows;
      const std::size_t storedBytes = static_cast<std::size_t>(bytesOfRows(storedRows));
      bool direct = false;
      for (unsigned plane = 0; plane < planes; ++plane) {
        const uint64_t block = plane * perPlane + uint64_t{by} * plan.across + bx;
        const uint64_t offset = block < plan.offsets.size() ? plan.offsets[block] : 0;
        const uint64_t available = offset < in.Size() ? in.Size() - offset : 0;
        if (decoder == nullptr) {
          inFile[plane] = block < plan.offsets.size() ? std::min<uint64_t>(storedBytes, available) : 0;
          base[plane] = inFile[plane] > 0 ? in.Span(offset, inFile[plane]).data() : nullptr;
          continue;
        }
        // One-bit strips whose rows are laid out as the bitmap's are decoded into it: a fax page
        // needs no second copy of itself.
        const bool intoBitmap = !plan.tiled && planes == 1 && bitsPerBlockPixel == 1 && BitsPerPixel() == 1 &&
                                RowSize() == *blockRow && blockRows > 0 &&
                                ScanLine(static_cast<int>(y0 + blockRows - 1)) ==
                                    ScanLine(static_cast<int>(y0)) + std::size_t{blockRows - 1} * RowSize();
        if (!intoBitmap && buffer.empty()) {
          bufferCharge.Set(blockBytes * planes);
          buffer.assign(static_cast<std::size_t>(blockBytes * planes), 0);
        }
        const std::span<uint8_t> out(intoBitmap ? ScanLine(static_cast<int>(y0)) : buffer.data() + plane * blockBytes,
                                     storedBytes);
        direct = intoBitmap;
        base[plane] = out.data();
        std::fill(out.begin(), out.end(), 0);
        if (block >= plan.offsets.size()) continue;
        p.CurrentStrip = static_cast<uint32_t>(block);
        p.CurrentRow = plan.tiled ? 0 : y0;
        {
          if (block >= plan.counts.size()) InvalidImage();
          const uint64_t take = std::min<uint64_t>(plan.counts[block], available);
          std::span<const uint8_t> source = take > 0 ? in.Span(offset, take) : std::span<const uint8_t>();
          if (reverseBits) {
            reversedCharge.Set(source.size());
            reversed_.assign(source.begin(), source.end());
            ReverseBits(reversed_);
            source = reversed_;
          }
          decoder->Decode(source, out);
        }
      }
      if (subsampled) {
        const std::size_t stride = std::size_t{plan.blockWidth} * 3;
        for (uint32_t r = 0; r < blockRows; r += subV_) {
          const uint32_t count = std::min(subV_, blockRows - r);
          ExpandYCbCrGroup(unitOf(0, r / subV_), pixels, count, rgbRows_.data(), stride);
          for (uint32_t i = 0; i < count; ++i) {
            const std::span<const uint8_t> rgb(rgbRows_.data() + i * stride, stride);
            EmitRow(y0 + r + i, x0, pixels, std::span(&rgb, 1), false);
            if (!plan.tiled) RowProgress(++rowsDone, height);
          }
        }
        continue;
      }
      if (direct) {
        for (uint32_t r = 0; r < blockRows; ++r) RowProgress(++rowsDone, height);
        continue;
      }
      if (identityRows_ && !predictor && x0 == 0 && pixels == width) {
        // Copied as they are; uncompressed rows past the end of the file are left as the bitmap
        // was made, black or white as its palette says of 0.
        const std::size_t copy = static_cast<std::size_t>(std::min<uint64_t>(*blockRow, RowSize()));
        for (uint32_t r = 0; r < blockRows; ++r) {
          if (decoder != nullptr || uint64_t{r} * *blockRow < inFile[0]) {
            std::memcpy(ScanLine(static_cast<int>(y0 + r)), unitOf(0, r), copy);
          }
          RowProgress(++rowsDone, height);
        }
        continue;
      }
      for (uint32_t r = 0; r < blockRows; ++r) {
        for (unsigned plane = 0; plane < planes; ++plane) {
          const uint8_t* row = unitOf(plane, r);
          // Differencing comes only with compression, so its rows are in the buffer.
          if (predictor) UndoPredictor(buffer.data() + plane * blockBytes + r * *blockRow, plan.blockWidth, rowSamples);
          rows[plane] = std::span<const uint8_t>(row, static_cast<std::size_t>(*blockRow));
          if (unpack_) {
            const std::size_t n = std::size_t{plan.blockWidth} * rowSamples;
            uint8_t* to = unpacked_.data() + plane * n;
            UnpackTo8(row, n, to);
            rows[plane] = std::span<const uint8_t>(to, n);
          }
        }
        if (ycbcr_) {
          // Full-resolution YCbCr, from planes or with extra samples after the three.
          const std::size_t step = planar ? 1 : p.SamplesPerPixel;
          for (uint32_t x = 0; x < pixels; ++x) {
            const std::size_t at = x * step;
            const uint8_t* y = rows[0].data() + at;
            YCbCrToRGB(*y, planar ? rows[1][x] : y[1], planar ? rows[2][x] : y[2], rgbRows_.data() + x * 3);
          }
          const std::span<const uint8_t> rgb(rgbRows_.data(), std::size_t{plan.blockWidth} * 3);
          EmitRow(y0 + r, x0, pixels, std::span(&rgb, 1), false);
        } else {
          EmitRow(y0 + r, x0, pixels, std::span(rows.data(), planes), planar);
        }
        if (!plan.tiled) RowProgress(++rowsDone, height);
      }
    }
    if (plan.tiled) {
      for (uint32_t r = 0; r < blockRows; ++r) RowProgress(++rowsDone, height);
    }
  }
}

void TTIFFGraphic::Decode(TByteReader& data) {
  TImageProperties& p = ImageProperties;
  if (p.Width == 0 || p.Height == 0) InvalidImage();
  // All samples must share one depth, and the pixel must fit the record.
  TCardinalArray depths;
  ReadTagIntegers(data, kBitsPerSample, depths, 255);
  if (uint32_t{p.BitsPerSample} * p.SamplesPerPixel > 255 ||
      std::any_of(depths.begin(), depths.end(), [&](uint32_t d) { return d != p.BitsPerSample; }) ||
      p.SamplesPerPixel == 0 || TagIntValue(data, kSamplesPerPixel, 1) > 255) {
    FormatError(gesInvalidColorFormat);
  }
  if (p.PlanarConfig != 1 && p.PlanarConfig != 2) InvalidImage();
  if ((p.Options & ioTiled) == 0 && (TagIntValue(data, kTileWidth, 0) != 0 || TagIntValue(data, kTileLength, 0) != 0)) {
    InvalidImage();
  }
  // An unknown compression fails before anything is allocated for the picture.
  switch (p.Compression) {
    case ctNone: case ctPackBits: case ctLZW: case ctLZ77: case ctThunderScan: case ctFax3:
    case ctFaxRLE: case ctFaxRLEW: case ctFax4: case ctJPEG: case ctNeXT: case ctOldJPEG: break;
    default: RaiseImageErrorFmt(gesNotSupported, gesCompressionScheme, FormatName());
  }
  // Floating-point samples are not integers of the same width; unsigned and signed ones are read
  // alike, as libtiff draws them.
  // IEEE samples of 16, 24, 32 and 64 bits are mapped from 0.0 .. 1.0. The floating-point
  // predictor belongs to them alone; horizontal differencing of their bit patterns is taken as
  // for integers of the same width.
  float_ = TagIntValue(data, kSampleFormat, 1) == 3;
  if (float_ && p.BitsPerSample != 16 && p.BitsPerSample != 24 && p.BitsPerSample != 32 && p.BitsPerSample != 64) {
    FormatError(gesInvalidColorFormat);
  }
  if (p.Predictor == 3 && !float_ && p.Compression != ctNone) FormatError(gesInvalidColorFormat);
  if (p.Compression == ctNeXT && (p.BitsPerSample != 2 || p.SamplesPerPixel != 1)) FormatError(gesInvalidColorFormat);
  if (p.Compression == ctThunderScan && (p.BitsPerSample != 4 || p.SamplesPerPixel != 1)) {
    FormatError(gesInvalidColorFormat);
  }
  {
    const bool tiled = (p.Options & ioTiled) != 0;
    const uint64_t planes = p.PlanarConfig == 2 ? p.SamplesPerPixel : 1;
    const uint64_t across = tiled ? (uint64_t{p.Width} + p.TileWidth - 1) / p.TileWidth : 1;
    const uint64_t tiles = tiled ? across * ((uint64_t{p.Height} + p.TileLength - 1) / p.TileLength) * planes : 0;
    const uint64_t blockRows = uint64_t{p.Height} * across * planes;
    auto refuse = [&](uint64_t count, const char* what, uint64_t limit) {
      throw EInvalidGraphic(Format("Image too large: %u x %u pixels in %llu %s exceed the limit of %llu", p.Width,
                                   p.Height, static_cast<unsigned long long>(count), what,
                                   static_cast<unsigned long long>(limit)));
    };
    if (tiles > kMaxTiles) refuse(tiles, "tiles", kMaxTiles);
    if (blockRows > kMaxBlockRows) refuse(blockRows, "block rows", kMaxBlockRows);
  }
  if (p.Compression == ctOldJPEG) {
    // Baseline YCbCr, the files old cameras and scanners wrote, in one strip or tile or in strips
    // that continue one another.
    const bool tiled = (p.Options & ioTiled) != 0;
    if (TagIntValue(data, kJPEGProc, 1) != 1 ||
        (tiled && (p.TileWidth < p.Width || p.TileLength < p.Height)) || p.PlanarConfig != 1) {
      RaiseImageErrorFmt(gesNotSupported, gesCompressionScheme, FormatName());
    }
    if (photometric_ != 6 || p.SamplesPerPixel != 3 || p.BitsPerSample != 8) FormatError(gesInvalidColorFormat);
    SetUpColors(data);
    EndPhase();
    StartPhase(kTransfering);
    DecodeOldJPEG(data);
    return;
  }
  SetUpColors(data);
  const std::unique_ptr<TDecoder> decoder = CreateDecoder(data);
  if (decoder) decoder->StartDecoding();
  struct TFinish {
    TDecoder* decoder;
    ~TFinish() {
      // An error of the release must not hide the one that ended the load.
      try {
        if (decoder != nullptr) decoder->FinishDecoding();
      } catch (...) {
      }
    }
  } finish{decoder.get()};
  EndPhase();
  StartPhase(kTransfering);
  DecodeBlocks(data, decoder.get());
}

}  // namespace tablora
