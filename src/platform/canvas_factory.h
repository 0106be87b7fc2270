#pragma once

#include <memory>

#include "imaging/bitmap.h"
#include "platform/drawing_surface.h"

namespace tablora {

// Makes a drawing surface that paints into a bitmap (the preview bitmap, a cell bitmap).
class CanvasFactory {
 public:
  virtual ~CanvasFactory() = default;
  virtual std::unique_ptr<DrawingSurface> CanvasFor(TBitmap& bitmap) = 0;
};

// Canvases that paint straight into the bitmap's rows through Qt.
class QtCanvasFactory : public CanvasFactory {
 public:
  std::unique_ptr<DrawingSurface> CanvasFor(TBitmap& bitmap) override;
};

}  // namespace tablora
