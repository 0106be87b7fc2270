#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tablora {

struct TImageFormat;

// The bytes of an ICC profile; empty when a file has none (its pixels are sRGB).
using TIccProfile = std::vector<uint8_t>;

// A profile larger than this is ignored: no real display or camera profile comes near it, and a
// damaged size field must not make a load allocate much.
inline constexpr std::size_t kMaxIccProfileBytes = std::size_t{4} << 20;

// The colour description of the picture a format's reader decodes from `file`: the profile it
// embeds, or one built from what it says of its colours (PNG cHRM, HEIF nclx, an EXIF Adobe RGB
// mark), through the profile finder of the format's registry row. Empty for sRGB, for a format
// that carries none, and for anything damaged: a profile that cannot be found whole is ignored,
// never a failed load.
TIccProfile EmbeddedProfile(const TImageFormat& format, std::span<const uint8_t> file);

// The profile of samples a reader took from `profile`'s linear light to the sRGB curve: an RGB
// matrix-and-curves profile with its curves replaced by sRGB's. Empty when that is sRGB itself (its
// primaries are sRGB's), and for any other profile, whose primaries cannot be kept apart from
// its curves: the samples are then taken as sRGB.
TIccProfile SrgbCurveProfile(std::span<const uint8_t> profile);

// The profile finders of the formats, named by their registry rows, from the whole file's bytes.
TIccProfile JpegProfile(std::span<const uint8_t> file);
TIccProfile PngProfile(std::span<const uint8_t> file);
TIccProfile TiffProfile(std::span<const uint8_t> file);
TIccProfile PsdProfile(std::span<const uint8_t> file);
TIccProfile WebPProfile(std::span<const uint8_t> file);
TIccProfile HeifProfile(std::span<const uint8_t> file);
TIccProfile RawProfile(std::span<const uint8_t> file);
// The profile in the data of a PNG iCCP chunk; empty when the chunk is damaged.
TIccProfile PngIccpProfile(std::span<const uint8_t> chunk);

// Whether a TIFF-structured EXIF block marks its picture as Adobe RGB: ColorSpace 2, or
// uncalibrated (0xFFFF) with the interoperability index "R03".
bool ExifSaysAdobeRgb(std::span<const uint8_t> tiff);

// An RGB profile from CIE xy chromaticities of white and the three primaries and a tone curve.
struct TRgbPrimaries {
  double whiteX, whiteY, redX, redY, greenX, greenY, blueX, blueY;
};
enum class TToneCurve { tcGamma, tcSrgb, tcBt709 };
TIccProfile BuildRgbProfile(const TRgbPrimaries& primaries, TToneCurve curve, double gamma,
                            const char* description);
// The profile of an nclx colour description (or an AV1 / HEVC one): its colour primaries code,
// their chromaticities and its transfer characteristics code. Empty for sRGB and for PQ and HLG,
// which their readers tone-map to sRGB themselves.
TIccProfile NclxProfile(int primariesCode, int transfer, TRgbPrimaries primaries);
// Adobe RGB (1998), built from its published primaries and gamma 563/256.
const TIccProfile& AdobeRgbProfile();

// The profile's description in English ("Adobe RGB (1998)"); empty when it cannot be read.
std::string IccDescription(std::span<const uint8_t> profile);
// A 64-bit hash of the bytes (FNV-1a): the key of the transforms built for a profile.
uint64_t IccHash(std::span<const uint8_t> profile);

}  // namespace tablora
