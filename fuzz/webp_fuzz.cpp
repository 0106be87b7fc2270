// Arbitrary bytes through the WebP reader.
#include "imaging/readers/webp_reader.h"
#include "box_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return tablora::fuzz::FuzzBoxReader(data, size, [] { return tablora::TWebPReader(); });
}
