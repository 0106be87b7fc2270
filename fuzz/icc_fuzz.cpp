// Feeds arbitrary bytes to the colour-profile code: as a file of every format whose embedded
// profile is looked for and converted through, and as a profile itself. Profiles that cannot be
// used are ignored; nothing may touch memory it does not own, loop without end or throw.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/icc_profile.h"
#include "imaging/icc_transform.h"
#include "imaging/image_format.h"

namespace {

void ConvertSample(std::span<const uint8_t> profile) {
  for (const tablora::TPixelFormat format : {tablora::pf24bit, tablora::pf32bit}) {
    tablora::TBitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(3, 2);
    bitmap.SetPixelColor(1, 1, 0x2040C0);
    tablora::ConvertToSrgb(bitmap, profile);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  for (const tablora::TImageFormat& format : tablora::ImageFormats()) {
    ConvertSample(tablora::EmbeddedProfile(format, bytes));
  }
  ConvertSample(bytes);
  (void)tablora::IccDescription(bytes);
  return 0;
}
