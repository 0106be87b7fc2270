// Feeds arbitrary bytes to the BMP reader: it must load them or raise one of the library's
// exceptions, never touch memory it does not own.
#include <cstddef>
#include <cstdint>

#include "imaging/bitmap.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Headers claiming huge pictures are legal up to the limit; a small one keeps each run fast
  // and within the fuzzer's memory budget while exercising the same checks.
  static const bool limited = (tablora::SetImageSizeLimit(uint64_t{32} << 20), true);
  (void)limited;
  tablora::TBufferStream stream(data, size);
  tablora::TBitmap bitmap;
  try {
    bitmap.LoadFromStream(stream);
    for (int y = 0; y < bitmap.Height(); ++y) (void)bitmap.PixelColor(bitmap.Width() - 1, y);
  } catch (const tablora::Exception&) {
  }
  return 0;
}
