#include "platform/canvas_factory.h"

#include "platform/qt_drawing_surface.h"

namespace tablora {

std::unique_ptr<DrawingSurface> QtCanvasFactory::CanvasFor(TBitmap& bitmap) {
  return std::make_unique<QtDrawingSurface>(bitmap);
}

}  // namespace tablora
