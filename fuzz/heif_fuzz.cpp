// Arbitrary bytes through the HEIF reader.
#include "imaging/readers/heif_reader.h"
#include "box_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return tablora::fuzz::FuzzBoxReader(data, size, [] { return tablora::THeifReader("HEIF"); });
}
