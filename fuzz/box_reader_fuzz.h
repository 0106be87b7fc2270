#pragma once

// The driver of the readers that decode to the box they are drawn in: arbitrary bytes are loaded
// once for a small box and once at full size, and every row of the result is touched. A reader
// must load them or raise one of the library's exceptions, never touch memory it does not own nor
// loop without end.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"

namespace tablora::fuzz {

template <typename MakeReader>
int FuzzBoxReader(const uint8_t* data, size_t size, MakeReader make) {
  // Headers claiming huge pictures are legal up to the limit; a small one keeps each run fast
  // and within the fuzzer's memory budget while exercising the same checks.
  static const bool limited = (SetImageSizeLimit(uint64_t{32} << 20), true);
  (void)limited;
  for (const int box : {48, 0}) {
    auto reader = make();
    try {
      reader.Load(std::span<const uint8_t>(data, size));
      if (box > 0) reader.PrepareFor(box, box);
      const TBitmap& pixels = reader.Pixels();
      for (int y = 0; y < pixels.Height(); ++y) (void)pixels.PixelColor(pixels.Width() - 1, y);
    } catch (const Exception&) {
    }
  }
  return 0;
}

}  // namespace tablora::fuzz
