// Feeds arbitrary bytes to the TIFF reader, as the first image and as the second: it must load
// them or raise one of the library's exceptions, and never touch memory it does not own.
#include <cstddef>
#include <cstdint>

#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/readers/tiff_reader.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A small limit keeps each run fast and within the fuzzer's memory budget while exercising
  // the same checks as the default one.
  static const bool limited = (tablora::SetImageSizeLimit(uint64_t{32} << 20), true);
  (void)limited;
  tablora::TBufferStream stream(data, size);
  tablora::TTIFFGraphic tiff;
  try {
    tiff.LoadFromStream(stream);
    for (int y = 0; y < tiff.Height(); ++y) (void)tiff.PixelColor(tiff.Width() - 1, y);
  } catch (const tablora::Exception&) {
  }
  try {
    tablora::TBufferStream again(data, size);
    (void)tiff.ReadImageProperties(again, 1);
  } catch (const tablora::Exception&) {
  }
  return 0;
}
