// Arbitrary bytes through the camera RAW preview reader.
#include "imaging/readers/raw_preview.h"
#include "box_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return tablora::fuzz::FuzzBoxReader(data, size, [] { return tablora::TRawReader(); });
}
