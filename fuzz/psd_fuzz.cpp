// Feeds arbitrary bytes to the Photoshop reader: it must load them or raise one of the library's
// exceptions, never touch memory it does not own.
#include <cstddef>
#include <cstdint>

#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/readers/psd_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool limited = (tablora::SetImageSizeLimit(uint64_t{32} << 20), true);
  (void)limited;
  tablora::TBufferStream stream(data, size);
  tablora::TPSDGraphic psd;
  try {
    psd.LoadFromStream(stream);
    for (int y = 0; y < psd.Height(); ++y) (void)psd.PixelColor(psd.Width() - 1, y);
  } catch (const tablora::Exception&) {
  }
  return 0;
}
