#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tablora {

// The shooting data of a photograph that captions, the date order and the rating filter use.
// Every field is optional: a text left empty, a number not there.
struct TPhotoMetadata {
  // "YYYY-MM-DD HH:MM:SS" from the EXIF DateTimeOriginal (else CreateDate); sorts as text.
  std::string dateTaken;
  std::string camera;  // the model, with the maker's name when the model does not carry it
  std::string lens;
  // Exposure time as the file's rational, in seconds.
  uint32_t exposureNumerator = 0;
  uint32_t exposureDenominator = 0;
  std::optional<double> fNumber;
  std::optional<double> focalLength;  // millimetres
  std::optional<uint32_t> iso;
  // -1 (rejected) to 5; not there when the file has none. From xmp:Rating, else ACDSee's
  // acdsee:rating, else Windows' MicrosoftPhoto:Rating (a percentage, as Explorer shows it).
  std::optional<int> rating;
  std::string title;  // dc:title, else the IPTC object name
  // A video clip's, from its container.
  std::optional<double> duration;   // seconds
  std::optional<double> frameRate;  // frames a second
  std::string codec;                // "H.264", "HEVC"
  // The values of the exiv2 keys the reader was asked for ("Exif.Image.Model"), as text to show;
  // a key the file does not have is not there.
  std::map<std::string, std::string, std::less<>> byKey;

  friend bool operator==(const TPhotoMetadata&, const TPhotoMetadata&) = default;
};

// How much of a file the metadata reader looks at: the metadata of every format it reads itself
// stands before the picture data, and a file is never read further for a caption — but for a
// TIFF-structured file, whose directories may follow its pictures and are read where they stand.
constexpr std::size_t kMetadataHeaderBytes = std::size_t{1} << 20;

// The metadata of a file's bytes through the metadata reader of the format registry's row that
// takes them (its header is enough but for TIFF-structured files). Returns false when no row's
// reader takes them; damaged metadata gives what could be read.
bool ReadEmbeddedMetadata(std::span<const uint8_t> bytes, TPhotoMetadata& metadata);

// The formats' metadata readers, named by their rows of the format registry. Each answers false,
// reading nothing, for bytes that are not its own.
// JPEG: Exif and XMP APP1, Photoshop IPTC.
bool JpegMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata);
// TIFF-structured files (Olympus's and Panasonic's RAWs included): IFD0 and the Exif directory,
// wherever they stand in the file.
bool TiffMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata);
// Camera RAW: Canon CR3's CMT boxes, and the directories of TIFF-structured RAWs; the other RAWs
// are left to exiv2.
bool RawMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata);
// The HEIF container, AVIF's included, through libheif: Exif and XMP items.
bool HeifMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata);

// A camera's name from EXIF Make and Model, the maker's name once: "Canon" + "Canon EOS R5" is
// "Canon EOS R5"; "SONY" + "ILCE-7M3" is "SONY ILCE-7M3"; "NIKON CORPORATION" + "NIKON D850" is
// "NIKON D850".
std::string CameraName(const std::string& make, const std::string& model);

// The rating and dc:title of an XMP packet; fields the packet lacks are left as they are.
void ReadXmpPacket(std::string_view xmp, TPhotoMetadata& metadata);

// Everything the reader finds for a file: its header bytes through ReadEmbeddedMetadata, exiv2
// for the other formats it knows, then the sidecar's rating and title, which win over the file's
// own (the sidecar is where catalogue programs keep later edits): "IMG_0001.CR3.xmp", else
// "IMG_0001.xmp". A file that cannot be opened has no metadata. Safe on several threads.
TPhotoMetadata ReadPhotoMetadata(const std::string& path);
// The same, with the values of these exiv2 keys in byKey, read in the same pass through exiv2
// (the sidecar's XMP wins here too). EXIF values in their printed form ("1/250 s"), repeated
// IPTC datasets and XMP arrays joined with ", ", a language alternative in its x-default.
// Without keys exiv2 is not asked at all.
TPhotoMetadata ReadPhotoMetadata(const std::string& path, std::span<const std::string> keys);

// Whether a text has the form of an exiv2 key: "Exif.<group>.<tag>", "Iptc.<record>.<dataset>" or
// "Xmp.<prefix>.<property path>". Only the form: whether exiv2 knows the group or the tag depends
// on the maker notes and namespaces each file brings.
bool IsMetadataKey(std::string_view text);

}  // namespace tablora
