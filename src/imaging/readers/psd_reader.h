#pragma once

#include "imaging/raster_graphic.h"

namespace tablora {

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
