// Loads arbitrary bytes as a JPEG and decodes them at two scales: anything but a clean library exception or a
// decoded bitmap is a bug.
#include <cstddef>
#include <cstdint>

#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/readers/jpeg_image.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Headers can claim 65500 x 65500 pixels in a few bytes; a smaller limit keeps each run quick
  // while still exercising the scaled decode and the refusal path.
  static const bool limited = (tablora::SetImageSizeLimit(uint64_t{48} << 20), true);
  (void)limited;
  // At full size through libjpeg; at an eighth, progressive files through their DC scans alone.
  for (const tablora::TJPEGScale scale : {tablora::jsFullSize, tablora::jsEighth}) {
    try {
      tablora::TBufferStream stream(data, size);
      tablora::TJPEGImage image;
      image.Scale = scale;
      image.LoadFromStream(stream);
      const tablora::TBitmap& bitmap = image.Bitmap();
      volatile uint8_t sink = 0;
      for (int y = 0; y < bitmap.Height(); ++y) sink = sink ^ bitmap.ScanLine(y)[0];
    } catch (const tablora::Exception&) {
    }
  }
  return 0;
}
