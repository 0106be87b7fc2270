#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/image_format.h"
#include "imaging/readers/jpeg_image.h"

namespace tablora {

// The largest JPEG preview a camera RAW file carries, found without decoding anything:
// TIFF-structured RAWs (CR2, NEF, ARW, DNG, PEF, SRW, RW2, ORF and the like) by the directories
// of IFD0, its chain and its SubIFDs (JPEG interchange tags, JPEG strips, Panasonic's JpgFromRaw);
// CR3 by its PRVW and THMB boxes; RAF by the JPEG its header points at; CRW by its CIFF heaps
// (JpgFromRaw and the 160 × 120 ThumbnailImage). Only previews libjpeg can
// decode count (baseline and progressive; not the lossless JPEG of raw sensor data).
struct TRawPreview {
  std::span<const uint8_t> jpeg;
  uint32_t width = 0;
  uint32_t height = 0;
  // The RAW file's own orientation: previews are stored as the sensor saw them.
  int orientation = 1;
};
std::optional<TRawPreview> LocateRawPreview(std::span<const uint8_t> file);

// A camera RAW file shown through its largest preview, decoded by the JPEG image at the scale the
// box needs. Without a preview of its own it shows LibRaw's thumbnail; without either, or when
// the preview is smaller than half the box, LibRaw's half-size demosaic of the sensor data (the
// preview still, should that fail). All come as stored, to be turned by the RAW's orientation.
// A file none of them draws is "Cannot load image. Invalid or unexpected RAW image format."
class TRawReader : public TFormatReader {
 public:
  void Load(std::span<const uint8_t> file) override;
  int Width() override;
  int Height() override;
  void PrepareFor(int32_t width, int32_t height) override;
  const TBitmap& Pixels() override;
  // The camera, and the source drawn: "preview W×H", "thumbnail W×H" or
  // "raw W×H (half-size demosaic)", each the size decoded before any reduction.
  TReaderDetails Details() override;

 private:
  enum class TSource { rsPreview, rsThumbnail, rsRaw };
  [[noreturn]] void Invalid() const;

  std::span<const uint8_t> file_;
  TSource source_ = TSource::rsPreview;
  bool jpeg_ = true;  // the preview or thumbnail is image_; else bitmap_
  bool wantRaw_ = false;
  bool decoded_ = false;
  TJPEGImage image_;
  std::vector<uint8_t> thumbnailJpeg_;
  TBitmap bitmap_;
  uint32_t rawWidth_ = 0;
  uint32_t rawHeight_ = 0;
};

// The camera's make and model as the file names them ("Canon EOS R6"); empty when it does not.
std::string RawCamera(std::span<const uint8_t> file);

// Where the type of the first box of `type` stands at or after `from` in an ISO base media file
// (a CR3), found by the type after a plausible big-endian size; npos when there is none.
std::size_t FindBox(std::span<const uint8_t> file, std::string_view type, std::size_t from);
// The body of the box whose type stands at `at` (as FindBox found it).
std::span<const uint8_t> BoxBody(std::span<const uint8_t> file, std::size_t at);

// The byte-order marks of TIFF-structured RAWs, the RAF magic, a CR3 file type box or a CRW's
// CIFF header.
bool IsRaw(std::span<const uint8_t> file);
// The preview's size and the RAW's orientation; JPEG's scales.
std::optional<TImageHeader> ProbeRaw(std::span<const uint8_t> file);

}  // namespace tablora
