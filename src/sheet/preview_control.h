#pragma once

#include <memory>
#include <string>

#include "imaging/bitmap.h"
#include "platform/canvas_factory.h"
#include "platform/drawing_surface.h"

namespace tablora {

// The image control that shows the page preview, with the page label above it.
class PreviewControl {
 public:
  virtual ~PreviewControl() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Copies the bitmap unscaled onto the control's image at (0, 0).
  virtual void ShowBitmap(const TBitmap& bitmap) = 0;
  virtual void SetPageLabel(const std::string& caption) = 0;
};

}  // namespace tablora
