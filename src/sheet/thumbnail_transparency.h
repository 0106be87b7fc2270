#pragma once

#include <optional>

#include "imaging/bitmap.h"
#include "imaging/types.h"
#include "platform/drawing_surface.h"

namespace tablora {

// How a thumbnail with transparency shows on the sheet: as over the white page. Straight alpha
// of 32-bit pixels and of palette entries is blended over white, and the colour key turns white
// (the compositing of ExpandRowOverWhite, which the reduction for a cell uses too). Readers only
// record what their file says.

// An opaque 24-bit copy of the bitmap as it looks over white, or nothing when it has no
// transparency.
std::optional<TBitmap> OverWhite(const TBitmap& bitmap);

// The whole bitmap scaled into rect, transparency shown over white.
void DrawOverWhite(DrawingSurface& surface, const TRect& rect, const TBitmap& bitmap);

}  // namespace tablora
