// Reader of Windows and OS/2 bitmap files (.bmp, .dib, .rle) into a TBitmap.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/byte_order.h"
#include "imaging/cancel.h"
#include "imaging/bmp_rle.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"

namespace tablora {

namespace {

constexpr char kInvalidBitmap[] = "Bitmap image is not valid";

[[noreturn]] void ThrowInvalidBitmap() { throw EInvalidGraphic(kInvalidBitmap); }

constexpr std::size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
// V2 (52 bytes) and larger info headers carry the red, green and blue masks at offset 40, V3 (56
// bytes) and larger the alpha mask after them.
constexpr uint32_t kV2HeaderSize = 52;
constexpr uint32_t kV3HeaderSize = 56;
constexpr uint32_t kV4HeaderSize = 108;
// Nothing past the V5 header's fields is used; longer headers are skipped, not stored.
constexpr uint32_t kLargestKnownHeader = 124;

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
// Windows CE: bit fields with an alpha mask, four masks after a 40-byte header.
constexpr uint32_t kBiAlphaBitfields = 6;

constexpr auto Le16 = LoadLE16;
constexpr auto Le32 = LoadLE32;

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The info header widened to the fields of the 40-byte header (a core header's missing fields 0).
struct BmpInfoHeader {
  uint32_t size = 0;
  int64_t width = 0;
  int64_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = kBiRgb;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t colorsUsed = 0;
  uint32_t colorsImportant = 0;
  std::array<uint32_t, 3> masks{};  // red, green, blue; valid for bit fields only
  uint32_t alphaMask = 0;
  bool BitFields() const { return compression == kBiBitfields || compression == kBiAlphaBitfields; }
};

// Reads the info header (its size field included) and refuses one that is shorter than the
// fields it must hold or that runs past the end of the file.
BmpInfoHeader ReadInfoHeader(TStream& stream, int64_t remaining) {
  if (remaining < 4) ThrowInvalidBitmap();
  BmpInfoHeader info;
  info.size = stream.ReadLE32();
  if (info.size != kCoreHeaderSize && info.size < kInfoHeaderSize) ThrowInvalidBitmap();
  if (info.size > static_cast<uint64_t>(remaining)) ThrowInvalidBitmap();

  std::array<uint8_t, kLargestKnownHeader> raw{};
  const uint32_t kept = std::min(info.size, kLargestKnownHeader);
  stream.ReadBuffer(raw.data() + 4, kept - 4);
  if (info.size > kept) stream.Seek(info.size - kept, TSeekOrigin::soCurrent);

  if (info.size == kCoreHeaderSize) {
    info.width = Le16(raw.data() + 4);
    info.height = Le16(raw.data() + 6);
    info.planes = Le16(raw.data() + 8);
    info.bitCount = Le16(raw.data() + 10);
    return info;
  }
  info.width = static_cast<int32_t>(Le32(raw.data() + 4));
  info.height = static_cast<int32_t>(Le32(raw.data() + 8));
  info.planes = Le16(raw.data() + 12);
  info.bitCount = Le16(raw.data() + 14);
  info.compression = Le32(raw.data() + 16);
  info.sizeImage = Le32(raw.data() + 20);
  info.xPelsPerMeter = static_cast<int32_t>(Le32(raw.data() + 24));
  info.yPelsPerMeter = static_cast<int32_t>(Le32(raw.data() + 28));
  info.colorsUsed = Le32(raw.data() + 32);
  info.colorsImportant = Le32(raw.data() + 36);
  if (info.size >= kV2HeaderSize) {
    for (int i = 0; i < 3; ++i) info.masks[i] = Le32(raw.data() + 40 + 4 * i);
  }
  if (info.size >= kV3HeaderSize) info.alphaMask = Le32(raw.data() + 52);
  return info;
}

void ValidateInfoHeader(const BmpInfoHeader& info) {
  if (info.planes != 1) ThrowInvalidBitmap();
  switch (info.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: ThrowInvalidBitmap();
  }
  switch (info.compression) {
    case kBiRgb: break;
    case kBiRle8: if (info.bitCount != 8) ThrowInvalidBitmap(); break;
    case kBiRle4: if (info.bitCount != 4) ThrowInvalidBitmap(); break;
    case kBiBitfields:
    case kBiAlphaBitfields: if (info.bitCount != 16 && info.bitCount != 32) ThrowInvalidBitmap(); break;
    default: ThrowInvalidBitmap();
  }
  // A zero-sized picture in a non-empty file is a broken header, not an empty image; run-length
  // data always runs bottom-up, so a top-down one is refused rather than guessed at.
  if (info.width <= 0 || info.height == 0 || info.height == INT32_MIN) ThrowInvalidBitmap();
  const bool compressed = info.compression == kBiRle8 || info.compression == kBiRle4;
  if (compressed && info.height < 0) ThrowInvalidBitmap();
}

// One colour channel of a bit-field pixel: where it sits and how many bits it spans (from its
// lowest to its highest set bit, so even a mask with holes gives a defined value).
class MaskChannel {
 public:
  explicit MaskChannel(uint32_t mask) : mask_(mask) {
    if (mask == 0) return;
    shift_ = std::countr_zero(mask);
    const int bits = 32 - std::countl_zero(mask) - shift_;
    max_ = (uint64_t{1} << bits) - 1;
  }

  uint8_t Extract(uint32_t pixel) const {
    if (mask_ == 0) return 0;
    // Scaled with rounding so the channel's full range maps onto 0..255 for any width.
    const uint64_t v = (pixel & mask_) >> shift_;
    return static_cast<uint8_t>((v * 255 + max_ / 2) / max_);
  }

 private:
  uint32_t mask_;
  int shift_ = 0;
  uint64_t max_ = 1;
};

// How the file's pixels become the bitmap's: copied as they are, or converted through masks.
struct PixelLayout {
  TPixelFormat format = pf24bit;
  bool convert = false;
  std::array<uint32_t, 3> masks{};
  // Byte 3 of the pf32bit pixels is the file's alpha.
  bool alpha = false;
  uint32_t alphaMask = 0;
};

PixelLayout ChooseLayout(const BmpInfoHeader& info) {
  PixelLayout layout;
  switch (info.bitCount) {
    case 1: layout.format = pf1bit; return layout;
    case 4: layout.format = pf4bit; return layout;
    case 8: layout.format = pf8bit; return layout;
    case 24: layout.format = pf24bit; return layout;
    default: break;
  }
  const bool is16 = info.bitCount == 16;
  if (!info.BitFields()) {
    layout.format = is16 ? pf15bit : pf32bit;
    return layout;
  }
  const std::array<uint32_t, 3> m = info.masks;
  if (info.alphaMask != 0) {
    // Alpha of bit-field pixels is kept as straight alpha in byte 3 of 32-bit pixels.
    layout.format = pf32bit;
    layout.alpha = true;
    layout.alphaMask = info.alphaMask;
    layout.convert = is16 || m != std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF} || info.alphaMask != 0xFF000000;
    layout.masks = m;
  } else if (is16 && m == std::array<uint32_t, 3>{0xF800, 0x07E0, 0x001F}) {
    layout.format = pf16bit;
  } else if (is16 && m == std::array<uint32_t, 3>{0x7C00, 0x03E0, 0x001F}) {
    layout.format = pf15bit;
  } else if (!is16 && m == std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF}) {
    layout.format = pf32bit;
  } else {
    // Any other layout is spelled out in full colour: 16-bit pixels widen to 24 bits so no mask
    // loses precision, 32-bit pixels keep their size and are rewritten in place.
    layout.format = is16 ? pf24bit : pf32bit;
    layout.convert = true;
    layout.masks = m;
  }
  return layout;
}

// Converts one row of bit-field pixels (16 or 32 bits each) into blue-green-red-alpha order
// (alpha 0 without an alpha mask). source and target may be the same memory for 32-bit pixels
// written as 32-bit pixels.
void ConvertMaskedRow(const uint8_t* source, int sourceBits, uint8_t* target, TPixelFormat format,
                      int width, const std::array<MaskChannel, 4>& channels) {
  const int targetBytes = format == pf32bit ? 4 : 3;
  for (int x = 0; x < width; ++x) {
    const uint32_t pixel = sourceBits == 16 ? Le16(source + 2 * x) : Le32(source + 4 * x);
    uint8_t* out = target + targetBytes * x;
    out[0] = channels[2].Extract(pixel);
    out[1] = channels[1].Extract(pixel);
    out[2] = channels[0].Extract(pixel);
    if (targetBytes == 4) out[3] = channels[3].Extract(pixel);
  }
}

// Byte 3 of every pixel is 0: the file wrote no alpha into its alpha bits, as many writers of
// 32-bit files do, and the picture is opaque, as other readers show it.
bool AlphaAllZero(const TBitmap& bitmap) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (row[4 * x + 3] != 0) return false;
    }
  }
  return true;
}

// Entries past the 256 a palette holds are skipped.
TPalette ReadColorTable(TStream& stream, uint32_t count, std::size_t entrySize) {
  const uint32_t kept = std::min<uint32_t>(count, kMaxPaletteEntries);
  std::vector<uint8_t> raw(kept * entrySize);
  stream.ReadBuffer(raw.data(), raw.size());
  stream.Seek(static_cast<int64_t>((count - kept) * entrySize), TSeekOrigin::soCurrent);
  count = kept;
  TPalette palette(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = raw.data() + i * entrySize;
    palette[i] = TPaletteEntry{e[2], e[1], e[0], 0};
  }
  return palette;
}

}  // namespace

void TBitmap::LoadFromStream(TStream& stream) {
  ReleaseContents();
  XPelsPerMeter = 0;
  YPelsPerMeter = 0;
  ColorsUsed = 0;
  ColorsImportant = 0;
  try {
    const int64_t start = stream.Position();
    const int64_t size = stream.Size() - start;
    if (size <= 0) return;
    CheckFileDataSize(static_cast<uint64_t>(size));

    // A file starts with its file header; a DIB of the clipboard starts with the info header of
    // one of the sizes Windows writes there, and its pixels follow the colour table.
    std::array<uint8_t, kFileHeaderSize> fileHeader{};
    const std::size_t peeked = stream.Read(fileHeader.data(), 4);
    const uint32_t firstWord = peeked == 4 ? Le32(fileHeader.data()) : 0;
    const bool headerless = firstWord == kInfoHeaderSize || firstWord == kV2HeaderSize ||
                            firstWord == kV3HeaderSize || firstWord == kV4HeaderSize ||
                            firstWord == kLargestKnownHeader;
    const std::size_t fileHeaderSize = headerless ? 0 : kFileHeaderSize;
    uint32_t dataOffset = 0;
    if (headerless) {
      stream.SetPosition(start);
    } else {
      stream.ReadBuffer(fileHeader.data() + peeked, kFileHeaderSize - peeked);
      if (fileHeader[0] != 'B' || fileHeader[1] != 'M') ThrowInvalidBitmap();
      dataOffset = Le32(fileHeader.data() + 10);
    }

    const BmpInfoHeader info = ReadInfoHeader(stream, size - static_cast<int64_t>(fileHeaderSize));
    ValidateInfoHeader(info);
    const bool core = info.size == kCoreHeaderSize;
    const bool rle = info.compression == kBiRle8 || info.compression == kBiRle4;

    uint64_t tableEnd = fileHeaderSize + info.size;
    BmpInfoHeader withMasks = info;
    if (info.BitFields() && info.size < kV2HeaderSize) {
      for (uint32_t& mask : withMasks.masks) mask = stream.ReadLE32();
      tableEnd += 12;
    }
    if (info.compression == kBiAlphaBitfields && info.size < kV3HeaderSize) {
      withMasks.alphaMask = stream.ReadLE32();
      tableEnd += 4;
    }
    const uint64_t headersEnd = tableEnd;
    const PixelLayout layout = ChooseLayout(withMasks);

    uint32_t colorCount = info.colorsUsed;
    if (colorCount == 0 && info.bitCount <= 8) colorCount = 1u << info.bitCount;
    const std::size_t entrySize = core ? 3 : 4;
    // More entries than a palette holds are taken when the file holds them (writers pad tables
    // that way); more than the file holds is a broken header, not a short read.
    if (colorCount > kMaxPaletteEntries &&
        uint64_t{colorCount} * entrySize > static_cast<uint64_t>(size) - std::min<uint64_t>(tableEnd, size)) {
      ThrowInvalidBitmap();
    }
    TPalette palette = ReadColorTable(stream, colorCount, entrySize);
    tableEnd += uint64_t{colorCount} * entrySize;

    // The file header says where the pixels start: after a gap past the colour table, or inside a
    // table that claims more entries than the file holds. An offset into the headers or past the
    // end of the file is not trusted, and the pixels follow the table.
    uint64_t dataStart = tableEnd;
    if (dataOffset >= headersEnd && dataOffset < static_cast<uint64_t>(size)) dataStart = dataOffset;
    const uint64_t bytesLeft = static_cast<uint64_t>(size) - std::min<uint64_t>(dataStart, size);

    const int width = static_cast<int>(info.width);
    const bool topDown = info.height < 0;
    const int height = static_cast<int>(topDown ? -info.height : info.height);
    CheckImageSize(width, height, static_cast<unsigned>(BitsPerPixelOf(layout.format)));
    // Within the limit just checked, so the row size cannot overflow.
    const uint64_t fileRowSize = AlignedRowSize(static_cast<uint64_t>(width), info.bitCount).value_or(0);

    SetPixelFormat(layout.format);
    SetSize(width, height);
    // The file's table is the palette as it stands, a 16-entry one included: there is no palette
    // device here whose system colours it would have to give way to.
    if (!palette.empty()) SetPalette(std::move(palette));

    if (rle) {
      // The compressed file stays attached to the bitmap, so it is read whole once and decoded
      // from that copy; a DIB gets the file header it lacks.
      const std::size_t added = kFileHeaderSize - fileHeaderSize;
      fileDataCharge_.Set(static_cast<uint64_t>(size) + added);
      FileData.assign(static_cast<std::size_t>(size) + added, 0);
      if (headerless) {
        FileData[0] = 'B';
        FileData[1] = 'M';
        PutLe32(FileData.data() + 2, static_cast<uint32_t>(FileData.size()));
        PutLe32(FileData.data() + 10, static_cast<uint32_t>(dataStart + added));
      }
      stream.SetPosition(start);
      stream.ReadBuffer(FileData.data() + added, static_cast<std::size_t>(size));
      const uint64_t amount = info.sizeImage != 0 ? std::min<uint64_t>(info.sizeImage, bytesLeft) : bytesLeft;
      DecodeBmpRle(FileData.data() + added + dataStart, static_cast<std::size_t>(amount), info.bitCount, *this);
    } else {
      const uint64_t wanted = info.sizeImage != 0 ? info.sizeImage : fileRowSize * static_cast<uint64_t>(height);
      uint64_t amount = std::min(wanted, bytesLeft);
      stream.SetPosition(start + static_cast<int64_t>(dataStart));
      std::vector<uint8_t> rowBuffer;
      std::array<MaskChannel, 4> channels{MaskChannel(layout.masks[0]), MaskChannel(layout.masks[1]),
                                          MaskChannel(layout.masks[2]), MaskChannel(layout.alphaMask)};
      const bool separateRow = layout.convert && info.bitCount != 32;
      if (separateRow) rowBuffer.resize(static_cast<std::size_t>(fileRowSize));
      for (int i = 0; i < height && amount > 0; ++i) {
        CheckCancel();
        const std::size_t n = static_cast<std::size_t>(std::min(fileRowSize, amount));
        amount -= n;
        uint8_t* row = ScanLine(topDown ? i : height - 1 - i);
        if (!layout.convert) {
          stream.ReadBuffer(row, n);
        } else if (separateRow) {
          std::fill(rowBuffer.begin() + static_cast<std::ptrdiff_t>(n), rowBuffer.end(), 0);
          stream.ReadBuffer(rowBuffer.data(), n);
          ConvertMaskedRow(rowBuffer.data(), info.bitCount, row, layout.format, width, channels);
        } else {
          stream.ReadBuffer(row, n);
          ConvertMaskedRow(row, info.bitCount, row, layout.format, width, channels);
        }
      }
      SetAlphaChannel(layout.alpha && !AlphaAllZero(*this));
    }

    XPelsPerMeter = info.xPelsPerMeter;
    YPelsPerMeter = info.yPelsPerMeter;
    ColorsUsed = info.colorsUsed;
    ColorsImportant = info.colorsImportant;
    SetPaletteModified(!Palette().empty());
  } catch (const std::bad_alloc&) {
    ReleaseContents();
    throw EInvalidGraphic("Out of memory");
  } catch (...) {
    ReleaseContents();
    throw;
  }
}

}  // namespace tablora
