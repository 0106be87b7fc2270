#include "imaging/image_probe.h"

#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/byte_reader.h"
#include "imaging/exceptions.h"
#include "imaging/readers/psd_reader.h"

namespace tablora {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;

int Valid(uint32_t value) { return value >= 1 && value <= 8 ? static_cast<int>(value) : 1; }

}  // namespace

std::optional<uint32_t> TiffStructureTag(std::span<const uint8_t> tiff, uint16_t wanted) {
  try {
    TByteReader in(tiff);
    const std::span<const uint8_t> order = in.Bytes(2);
    const bool little = order[0] == 'I' && order[1] == 'I';
    if (!little && !(order[0] == 'M' && order[1] == 'M')) return std::nullopt;
    auto u16 = [&](TByteReader& r) { return little ? r.U16LE() : r.U16BE(); };
    auto u32 = [&](TByteReader& r) { return little ? r.U32LE() : r.U32BE(); };
    if (u16(in) != 42) return std::nullopt;
    in.Seek(u32(in));
    const uint16_t entries = u16(in);
    for (uint16_t i = 0; i < entries; ++i) {
      const uint16_t tag = u16(in);
      const uint16_t type = u16(in);
      const uint32_t count = u32(in);
      TByteReader value(in.Bytes(4));
      if (tag != wanted || count < 1) continue;
      if (type == 3) return u16(value);  // SHORT
      if (type == 4) return u32(value);  // LONG
      return std::nullopt;
    }
  } catch (const EReadError&) {
  }
  return std::nullopt;
}

int TiffStructureOrientation(std::span<const uint8_t> tiff) {
  return Valid(TiffStructureTag(tiff, kOrientationTag).value_or(1));
}

namespace {

// Calls visit(marker, segment) for each marker segment before the first scan, until it answers
// true; false when the file is not a JPEG, is damaged there, or no segment was wanted.
template <typename Visit>
bool WalkJpegSegments(std::span<const uint8_t> file, Visit visit) {
  try {
    TByteReader in(file);
    if (in.U16BE() != 0xFFD8) return false;
    while (in.Remaining() >= 4) {
      if (in.U8() != 0xFF) return false;
      uint8_t marker = in.U8();
      while (marker == 0xFF) marker = in.U8();  // fill bytes
      if (marker == 0xDA || marker == 0xD9) return false;  // the header ends at the scans
      if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
      const uint16_t length = in.U16BE();
      if (length < 2) return false;
      if (visit(marker, in.Bytes(length - 2u))) return true;
    }
  } catch (const EReadError&) {
  }
  return false;
}

}  // namespace

int JpegOrientation(std::span<const uint8_t> file) {
  int orientation = 1;
  WalkJpegSegments(file, [&](uint8_t marker, std::span<const uint8_t> segment) {
    if (marker != 0xE1 || segment.size() <= 6 || std::memcmp(segment.data(), "Exif\0\0", 6) != 0) {
      return false;
    }
    orientation = TiffStructureOrientation(segment.subspan(6));
    return true;
  });
  return orientation;
}

int PngOrientation(std::span<const uint8_t> file) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  try {
    TByteReader in(file);
    if (std::memcmp(in.Bytes(8).data(), kSignature, 8) != 0) return 1;
    while (in.Remaining() >= 12) {
      const uint32_t length = in.U32BE();
      const std::span<const uint8_t> type = in.Bytes(4);
      const std::span<const uint8_t> data = in.Bytes(length);
      in.Skip(4);  // CRC
      if (std::memcmp(type.data(), "eXIf", 4) == 0) return TiffStructureOrientation(data);
      if (std::memcmp(type.data(), "IDAT", 4) == 0 || std::memcmp(type.data(), "IEND", 4) == 0) return 1;
    }
  } catch (const EReadError&) {
  }
  return 1;
}

namespace {

// The frame header's size: the first SOFn marker before the scans.
std::optional<std::pair<uint32_t, uint32_t>> JpegSize(std::span<const uint8_t> file) {
  std::optional<std::pair<uint32_t, uint32_t>> size;
  WalkJpegSegments(file, [&](uint8_t marker, std::span<const uint8_t> segment) {
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                       marker != 0xCC;
    if (!frame || segment.size() < 5) return false;
    size = std::pair<uint32_t, uint32_t>{LoadBE16(&segment[3]), LoadBE16(&segment[1])};
    return true;
  });
  return size;
}

}  // namespace

std::optional<std::pair<uint32_t, uint32_t>> HeaderSize(std::span<const uint8_t> file,
                                                        std::string_view ext) {
  try {
    TByteReader in(file);
    if (ext == ".jpg" || ext == ".jpeg") return JpegSize(file);
    if (ext == ".png") {
      in.Skip(16);
      const uint32_t width = in.U32BE();
      return std::pair<uint32_t, uint32_t>{width, in.U32BE()};
    }
    if (ext == ".gif") {
      in.Skip(6);
      const uint32_t width = in.U16LE();
      return std::pair<uint32_t, uint32_t>{width, in.U16LE()};
    }
    if (ext == ".psd" || ext == ".pdd") {
      in.Skip(14);
      const uint32_t height = in.U32BE();
      return std::pair<uint32_t, uint32_t>{in.U32BE(), height};
    }
    if (ext == ".bmp" || ext == ".dib" || ext == ".rle") {
      in.Skip(14);
      if (in.U32LE() == 12) {
        const uint32_t width = in.U16LE();
        return std::pair<uint32_t, uint32_t>{width, in.U16LE()};
      }
      const uint32_t width = in.U32LE();
      const auto height = static_cast<int32_t>(in.U32LE());
      return std::pair<uint32_t, uint32_t>{width, static_cast<uint32_t>(height < 0 ? -int64_t{height} : height)};
    }
    if (ext == ".tif" || ext == ".tiff") {
      const auto width = TiffStructureTag(file, 256);
      const auto height = TiffStructureTag(file, 257);
      if (width && height) return std::pair<uint32_t, uint32_t>{*width, *height};
    }
  } catch (const EReadError&) {
  }
  return std::nullopt;
}

int OrientationOf(std::span<const uint8_t> file, std::string_view lowerExtension) {
  if (lowerExtension == ".jpg" || lowerExtension == ".jpeg") return JpegOrientation(file);
  if (lowerExtension == ".tif" || lowerExtension == ".tiff") return TiffStructureOrientation(file);
  if (lowerExtension == ".png") return PngOrientation(file);
  if (lowerExtension == ".psd" || lowerExtension == ".pdd") return PsdOrientation(file);
  return 1;
}

}  // namespace tablora
