// Arbitrary bytes through the AVIF reader. The header probe and the profile lookup see the same
// bytes first, as they do in the program before a picture is decoded.
#include "imaging/readers/avif_reader.h"
#include "box_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  try {
    (void)tablora::ProbeAvif(file);
    (void)tablora::AvifProfile(file);
  } catch (const tablora::Exception&) {
  }
  return tablora::fuzz::FuzzBoxReader(data, size, [] { return tablora::TAvifReader(); });
}
