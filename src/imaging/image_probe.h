#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "imaging/byte_reader.h"
#include "imaging/exceptions.h"

namespace tablora {

// Cheap looks at a file's header: how it wants to be turned, and how large it decodes.

// The first value of a tag of IFD0 in a TIFF structure (TIFF, BigTIFF, an EXIF block), when it
// is there and SHORT or LONG.
std::optional<uint32_t> TiffStructureTag(std::span<const uint8_t> tiff, uint16_t tag);

// The EXIF orientation (1 to 8) a file's metadata gives, or 1 when it gives none or its metadata
// is damaged: a picture whose tag cannot be read is shown as stored, never refused.
// A TIFF structure: IFD0's Orientation tag.
int TiffStructureOrientation(std::span<const uint8_t> tiff);
// JPEG: the Exif APP1 segment before the first scan.
int JpegOrientation(std::span<const uint8_t> file);
// PNG: the eXIf chunk before the image data.
int PngOrientation(std::span<const uint8_t> file);
// The frame header's width and height: the first SOFn marker before the scans (given in
// frameMarker when asked for).
std::optional<std::pair<uint32_t, uint32_t>> JpegFrameSize(std::span<const uint8_t> file,
                                                           uint8_t* frameMarker = nullptr);
// A BMP file's info header width and height (rows, whichever way they run).
std::optional<std::pair<uint32_t, uint32_t>> BmpInfoSize(std::span<const uint8_t> file);

// Calls visit(marker, segment) for each marker segment before the first scan, until it answers
// true; false when the file is not a JPEG, is damaged there, or no segment was wanted.
template <typename Visit>
inline bool WalkJpegSegments(std::span<const uint8_t> file, Visit visit) {
  try {
    TByteReader in(file);
    if (in.U16BE() != 0xFFD8) return false;
    while (in.Remaining() >= 4) {
      if (in.U8() != 0xFF) return false;
      uint8_t marker = in.U8();
      while (marker == 0xFF) marker = in.U8();  // fill bytes
      if (marker == 0xDA || marker == 0xD9) return false;  // the header ends at the scans
      if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) continue;
      const uint16_t length = in.U16BE();
      if (length < 2) return false;
      if (visit(marker, in.Bytes(length - 2u))) return true;
    }
  } catch (const EReadError&) {
  }
  return false;
}

}  // namespace tablora
