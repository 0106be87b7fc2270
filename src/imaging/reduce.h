#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/bitmap.h"

namespace tablora {

// The image scaled to width × height with a real filter: an area average (every source pixel
// weighted by how much of it each target pixel covers) when reducing, linear interpolation when
// enlarging. Any pixel format goes in; transparent pixels are first laid over white, the page they
// are shown on, so they never average in as black. The result is 24-bit.
TBitmap ReduceImage(const TBitmap& source, int width, int height);

// ReduceImage of a decoder's own plane of red, green, blue bytes (rows `stride` bytes apart),
// read where it lies; the result is the usual blue, green, red bitmap.
TBitmap ReduceRgbPlane(const uint8_t* plane, std::size_t stride, int sourceWidth, int sourceHeight, int width,
                       int height);

// One row of the source as blue, green, red bytes over white: palettes looked up, 1- to 16-bit
// formats widened, straight alpha, palette alpha and the colour key composited.
void ExpandRowOverWhite(const TBitmap& source, int y, uint8_t* bgr);

// The eight EXIF orientations: 1 as stored, 2 mirrored, 3 turned half round, 4 flipped,
// 5 transposed, 6 turned a quarter clockwise to view, 7 transversed, 8 turned a quarter
// anticlockwise to view. Returns the image as a person views it (5 to 8 swap width and height);
// other values leave it as it is.
TBitmap ApplyOrientation(const TBitmap& image, int orientation);
constexpr bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }
// The stored pixel of a w x h image that shows at (x, y) once the orientation turns it upright.
constexpr void StoredPixel(int orientation, int w, int h, int x, int y, int& sx, int& sy) {
  sx = x;
  sy = y;
  switch (orientation) {
    case 2: sx = w - 1 - x; break;
    case 3: sx = w - 1 - x; sy = h - 1 - y; break;
    case 4: sy = h - 1 - y; break;
    case 5: sx = y; sy = x; break;
    case 6: sx = y; sy = h - 1 - x; break;
    case 7: sx = w - 1 - y; sy = h - 1 - x; break;
    case 8: sx = w - 1 - y; sy = x; break;
    default: break;
  }
}
// The part of an image from (left, top), width x height pixels, as a 24-bit bitmap; the part must
// lie within the image.
TBitmap CropImage(const TBitmap& image, int left, int top, int width, int height);

}  // namespace tablora
