#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace tablora {

// Cheap looks at a file's header: how it wants to be turned, and how large it decodes.

// The first value of a tag of IFD0 in a TIFF structure ("II*\0" or "MM\0*"), when it is there
// and of an integer type.
std::optional<uint32_t> TiffStructureTag(std::span<const uint8_t> tiff, uint16_t tag);

// The EXIF orientation (1 to 8) a file's metadata gives, or 1 when it gives none or its metadata
// is damaged: a picture whose tag cannot be read is shown as stored, never refused.
// A TIFF structure ("II*\0" or "MM\0*"): IFD0's Orientation tag.
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

}  // namespace tablora
