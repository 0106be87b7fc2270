// Feeds arbitrary bytes to the GIF reader, and the same bytes as raw LZW data to its decoder:
// the reader must load them or raise one of the library's exceptions, the decoder must stay
// inside its buffers and end; neither may touch memory it does not own.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/decoders/gif_lzw_decoder.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/readers/gif_reader.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A small limit keeps each run fast and within the fuzzer's memory budget while exercising
  // the same checks as the default one.
  static const bool limited = (tablora::SetImageSizeLimit(uint64_t{32} << 20), true);
  (void)limited;
  tablora::TBufferStream stream(data, size);
  tablora::TGIFGraphic gif;
  try {
    gif.LoadFromStream(stream);
    for (int y = 0; y < gif.Height(); ++y) (void)gif.PixelColor(gif.Width() - 1, y);
  } catch (const tablora::Exception&) {
  }

  if (size >= 2) {
    // Minimum code sizes 1..12 (12 is refused) and rooms of 64 bytes to 16 KiB, the unpacked
    // size a little short of the room as the reader's spare row makes it.
    const auto minCodeBits = static_cast<uint8_t>(data[0] % 12 + 1);
    std::vector<uint8_t> out((data[1] + 1u) * 64u);
    tablora::TGIFLZWDecoder decoder(minCodeBits);
    const tablora::TDecodeResult r = decoder.Decode({data + 2, size - 2}, out, out.size() - data[1] / 4);
    if (r.produced > out.size() || r.consumed > size - 2) __builtin_trap();
  }
  return 0;
}
