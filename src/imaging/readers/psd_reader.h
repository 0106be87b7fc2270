#pragma once

#include <span>

#include "imaging/raster_graphic.h"

namespace tablora {

// The EXIF orientation (1 to 8) of a document's image resource 1058, or 1 when it gives none.
int PsdOrientation(std::span<const uint8_t> file);

// Photoshop documents (.psd, .pdd): the merged image at the end of the file.
class TPSDGraphic : public TRasterGraphic {
 public:
  bool CanLoad(TStream& stream) override;
  bool ReadImageProperties(TStream& stream, uint32_t imageIndex) override;
  const char* FormatName() const override { return "PSD or PDD"; }

 protected:
  void Decode(TByteReader& data) override;
};

}  // namespace tablora
