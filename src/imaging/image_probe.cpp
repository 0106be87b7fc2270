#include "imaging/image_probe.h"

#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/byte_reader.h"
#include "imaging/exceptions.h"
#include "imaging/tiff_structure.h"

namespace tablora {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;

int Valid(uint32_t value) { return value >= 1 && value <= 8 ? static_cast<int>(value) : 1; }

}  // namespace

std::optional<uint32_t> TiffStructureTag(std::span<const uint8_t> tiff, uint16_t wanted) {
  try {
    TTiffStructure structure(tiff);
    const std::optional<TTiffStructure::Entry> entry = structure.Find(structure.First(), wanted);
    // SHORT or LONG
    if (entry && entry->count >= 1 && (entry->type == 3 || entry->type == 4)) {
      return static_cast<uint32_t>(structure.Number(*entry));
    }
  } catch (const EReadError&) {
  }
  return std::nullopt;
}

int TiffStructureOrientation(std::span<const uint8_t> tiff) {
  return Valid(TiffStructureTag(tiff, kOrientationTag).value_or(1));
}

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

std::optional<std::pair<uint32_t, uint32_t>> JpegFrameSize(std::span<const uint8_t> file, uint8_t* frameMarker) {
  std::optional<std::pair<uint32_t, uint32_t>> size;
  WalkJpegSegments(file, [&](uint8_t marker, std::span<const uint8_t> segment) {
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                       marker != 0xCC;
    if (!frame || segment.size() < 5) return false;
    size = std::pair<uint32_t, uint32_t>{LoadBE16(&segment[3]), LoadBE16(&segment[1])};
    if (frameMarker != nullptr) *frameMarker = marker;
    return true;
  });
  return size;
}

std::optional<std::pair<uint32_t, uint32_t>> BmpInfoSize(std::span<const uint8_t> file) {
  try {
    TByteReader in(file);
    in.Skip(14);
    if (in.U32LE() == 12) {
      const uint32_t width = in.U16LE();
      return std::pair<uint32_t, uint32_t>{width, in.U16LE()};
    }
    const uint32_t width = in.U32LE();
    const auto height = static_cast<int32_t>(in.U32LE());
    const uint32_t rows = static_cast<uint32_t>(height < 0 ? -int64_t{height} : height);
    return std::pair<uint32_t, uint32_t>{width, rows};
  } catch (const EReadError&) {
  }
  return std::nullopt;
}

}  // namespace tablora
