// Arbitrary bytes through the video reader: FFmpeg's demuxers and decoders over the bytes alone.
#include "imaging/readers/video_reader.h"
#include "box_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return tablora::fuzz::FuzzBoxReader(data, size, [] { return tablora::TVideoReader(); });
}
