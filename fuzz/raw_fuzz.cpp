// Feeds arbitrary bytes to the camera RAW preview reader, once decoded to a small box and once at full size: it
// must load them or raise one of the library's exceptions, never touch memory it does not own nor
// loop without end.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/readers/raw_preview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Headers claiming huge pictures are legal up to the limit; a small one keeps each run fast
  // and within the fuzzer's memory budget while exercising the same checks.
  static const bool limited = (tablora::SetImageSizeLimit(uint64_t{32} << 20), true);
  (void)limited;
  for (const int box : {48, 0}) {
    tablora::TRawReader reader;
    try {
      reader.Load(std::span<const uint8_t>(data, size));
      if (box > 0) reader.PrepareFor(box, box);
      const tablora::TBitmap& pixels = reader.Pixels();
      for (int y = 0; y < pixels.Height(); ++y) (void)pixels.PixelColor(pixels.Width() - 1, y);
    } catch (const tablora::Exception&) {
    }
  }
  return 0;
}
