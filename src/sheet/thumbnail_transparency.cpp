#include "sheet/thumbnail_transparency.h"

#include "imaging/reduce.h"

namespace tablora {

std::optional<TBitmap> OverWhite(const TBitmap& bitmap) {
  if (bitmap.Empty() || !bitmap.HasTransparency()) return std::nullopt;
  // The rows as the reduction for a cell composites them, so a thumbnail looks the same whether
  // it is drawn reduced or at full size.
  TBitmap flat;
  flat.SetPixelFormat(pf24bit);
  flat.SetSize(bitmap.Width(), bitmap.Height());
  for (int y = 0; y < bitmap.Height(); ++y) ExpandRowOverWhite(bitmap, y, flat.ScanLine(y));
  return flat;
}

void DrawOverWhite(DrawingSurface& surface, const TRect& rect, const TBitmap& bitmap) {
  if (const std::optional<TBitmap> flat = OverWhite(bitmap)) {
    surface.StretchDraw(rect, *flat);
  } else {
    surface.StretchDraw(rect, bitmap);
  }
}

}  // namespace tablora
