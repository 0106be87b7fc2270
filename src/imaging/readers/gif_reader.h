#pragma once

#include "imaging/raster_graphic.h"

namespace tablora {

// GIF 87a and 89a: the first image of the file, as an 8-bit palette bitmap. The transparent
// colour of a graphic control extension before that image is kept as palette alpha.
class TGIFGraphic : public TRasterGraphic {
 public:
  bool CanLoad(TStream& stream) override;
  bool ReadImageProperties(TStream& stream, uint32_t imageIndex) override;
  const char* FormatName() const override { return "GIF"; }

 protected:
  void Decode(TByteReader& data) override;
};

}  // namespace tablora
