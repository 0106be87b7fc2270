// Feeds arbitrary bytes to the PNG reader: it must load them or raise one of the library's
// exceptions, never touch memory it does not own nor loop without end.
#include <cstddef>
#include <cstdint>

#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/readers/png_reader.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Headers claiming huge pictures are legal up to the limit; a small one keeps each run fast
  // and within the fuzzer's memory budget while exercising the same checks.
  static const bool limited = (tablora::SetImageSizeLimit(uint64_t{32} << 20), true);
  (void)limited;
  tablora::TBufferStream stream(data, size);
  tablora::TPNGGraphic png;
  try {
    png.LoadFromStream(stream);
  } catch (const tablora::Exception&) {
  }
  // Whatever was decoded before a failure stays readable.
  for (int y = 0; y < png.Height(); ++y) (void)png.PixelColor(png.Width() - 1, y);
  return 0;
}
