// Feeds arbitrary bytes to the colour-profile code: as a file of every format whose embedded
// profile is looked for and converted through (RGB and CMYK), and as a profile itself. Profiles that cannot be
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

void ConvertCmykSample(std::span<const uint8_t> profile) {
  if (const auto transform = tablora::TIccTransform::CmykToSrgb(profile)) {
    const uint8_t inks[8] = {255, 0, 0, 0, 10, 200, 30, 90};
    uint8_t bgr[6];
    transform->ConvertCmyk(inks, bgr, 2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  for (const tablora::TImageFormat& format : tablora::ImageFormats()) {
    const tablora::TIccProfile profile = tablora::EmbeddedProfile(format, bytes);
    ConvertSample(profile);
    ConvertCmykSample(profile);
  }
  ConvertSample(bytes);
  ConvertCmykSample(bytes);
  (void)tablora::IccDescription(bytes);
  return 0;
}
