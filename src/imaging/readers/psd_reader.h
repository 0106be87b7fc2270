#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "imaging/raster_graphic.h"

namespace tablora {

// The image resources the program uses, from a block of Photoshop image resources (a
// document's, or a JPEG's APP13 after "Photoshop 3.0"): "8BIM", id, a padded Pascal name, a
// length and padded data. A damaged block ends the walk; what was found before it stands.
struct PsdResources {
  std::span<const uint8_t> iptc;  // 1028
  std::span<const uint8_t> iccProfile;  // 1039
  std::optional<uint16_t> transparentIndex;  // 1047
  std::span<const uint8_t> exif;  // 1058
  std::span<const uint8_t> displayInfo;  // 1077
};
PsdResources ReadPsdResources(std::span<const uint8_t> block);
// The resources of a whole document; none when it is no document or its header is damaged.
PsdResources PsdFileResources(std::span<const uint8_t> file);

// The EXIF orientation (1 to 8) of a document's image resource 1058, or 1 when it gives none.
int PsdOrientation(std::span<const uint8_t> file);

// Photoshop documents (.psd, .pdd): the merged image at the end of the file.
class TPSDGraphic : public TRasterGraphic {
 public:
  bool CanLoad(TStream& stream) override;
  bool ReadImageProperties(TStream& stream, uint32_t imageIndex) override;
  const char* FormatName() const override { return "PSD or PDD"; }
  // Whether the last load encoded floating-point samples (linear light) with the sRGB curve:
  // the document's profile then applies through its primaries alone.
  bool SrgbCurveSamples() const { return srgbCurve_; }

 protected:
  void Decode(TByteReader& data) override;

 private:
  bool srgbCurve_ = false;
};

}  // namespace tablora
