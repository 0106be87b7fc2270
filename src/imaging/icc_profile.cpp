#include "imaging/icc_profile.h"

#include <lcms2.h>
#include <libheif/heif.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "imaging/byte_reader.h"
#include "imaging/exceptions.h"
#include "imaging/image_format.h"
#include "imaging/image_probe.h"
#include "imaging/readers/heif_reader.h"
#include "imaging/readers/psd_reader.h"
#include "imaging/readers/raw_preview.h"
#include "imaging/tiff_structure.h"

namespace tablora {

namespace {

bool SameBytes(std::span<const uint8_t> bytes, std::string_view text) {
  return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

// A profile shorter than its 128-byte header is no profile.
TIccProfile Plausible(std::span<const uint8_t> bytes) {
  if (bytes.size() < 128 || bytes.size() > kMaxIccProfileBytes) return {};
  return {bytes.begin(), bytes.end()};
}

// ---- JPEG ----

// APP2 chunks "ICC_PROFILE\0", sequence number, count: the profile is their data in sequence
// order. A chunk missing, repeated or counted differently leaves the profile out altogether.
struct TJpegColour {
  TIccProfile profile;
  bool adobeRgb = false;
};

TJpegColour ReadJpegColour(std::span<const uint8_t> file) {
  TJpegColour colour;
  std::map<uint8_t, std::span<const uint8_t>> chunks;
  unsigned count = 0;
  bool damaged = false;
  std::size_t total = 0;
  WalkJpegSegments(file, [&](uint8_t marker, std::span<const uint8_t> body) {
    if (marker == 0xE2 && body.size() >= 14 && SameBytes(body, std::string_view("ICC_PROFILE\0", 12))) {
      const uint8_t sequence = body[12];
      const uint8_t chunkCount = body[13];
      if (count != 0 && chunkCount != count) damaged = true;
      count = chunkCount;
      if (sequence == 0 || sequence > chunkCount || !chunks.emplace(sequence, body.subspan(14)).second) damaged = true;
      total += body.size() - 14;
    } else if (marker == 0xE1 && SameBytes(body, std::string_view("Exif\0\0", 6))) {
      try {
        colour.adobeRgb = colour.adobeRgb || ExifSaysAdobeRgb(body.subspan(6));
      } catch (const Exception&) {
      }
    }
    return false;
  });
  if (damaged || count == 0 || chunks.size() != count || total > kMaxIccProfileBytes) return colour;
  TIccProfile joined;
  joined.reserve(total);
  for (const auto& [sequence, bytes] : chunks) joined.insert(joined.end(), bytes.begin(), bytes.end());
  colour.profile = Plausible(joined);
  return colour;
}

// ---- PNG ----

// zlib data inflated to at most the profile limit; nothing when it is damaged or larger.
TIccProfile Inflate(std::span<const uint8_t> compressed) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return {};
  TIccProfile out;
  int status = Z_OK;
  stream.next_in = const_cast<Bytef*>(compressed.data());
  stream.avail_in = static_cast<uInt>(compressed.size());
  while (status == Z_OK) {
    if (out.size() >= kMaxIccProfileBytes) break;
    const std::size_t done = out.size();
    out.resize(std::min(kMaxIccProfileBytes, std::max<std::size_t>(done * 2, 4096)));
    stream.next_out = out.data() + done;
    stream.avail_out = static_cast<uInt>(out.size() - done);
    status = inflate(&stream, Z_NO_FLUSH);
    out.resize(out.size() - stream.avail_out);
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) return {};
  return Plausible(out);
}

double Chromaticity(std::span<const uint8_t> data, std::size_t index) {
  TByteReader reader(data);
  reader.Seek(index * 4);
  return reader.U32BE() / 100000.0;
}

}  // namespace

bool ExifSaysAdobeRgb(std::span<const uint8_t> tiff) {
  TTiffStructure directories(tiff);
  const auto exifPointer = directories.Find(directories.First(), 0x8769);
  if (!exifPointer) return false;
  const uint64_t exif = directories.Number(*exifPointer);
  const auto colourSpace = directories.Find(exif, 0xA001);
  if (!colourSpace) return false;
  const uint64_t space = directories.Number(*colourSpace);
  if (space == 2) return true;
  if (space != 0xFFFF) return false;
  const auto interopPointer = directories.Find(exif, 0xA005);
  if (!interopPointer) return false;
  const auto index = directories.Find(directories.Number(*interopPointer), 0x0001);
  return index && SameBytes(directories.Bytes(*index), "R03");
}

TIccProfile JpegProfile(std::span<const uint8_t> file) {
  try {
    TJpegColour colour = ReadJpegColour(file);
    if (!colour.profile.empty()) return colour.profile;
    if (colour.adobeRgb) return AdobeRgbProfile();
  } catch (const Exception&) {
  }
  return {};
}

TIccProfile PngIccpProfile(std::span<const uint8_t> chunk) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(chunk.data(), 0, std::min<std::size_t>(chunk.size(), 80)));
  if (end == nullptr) return {};
  const std::size_t name = static_cast<std::size_t>(end - chunk.data());
  if (name + 2 > chunk.size() || chunk[name + 1] != 0) return {};
  return Inflate(chunk.subspan(name + 2));
}

TIccProfile PngProfile(std::span<const uint8_t> file) {
  try {
    TByteReader data(file);
    data.Skip(8);
    std::optional<TRgbPrimaries> primaries;
    bool gamma = false;
    while (data.Remaining() >= 12) {
      const uint32_t length = data.U32BE();
      const std::span<const uint8_t> type = data.Bytes(4);
      const std::span<const uint8_t> body = data.Bytes(length);
      data.Skip(4);
      if (SameBytes(type, "IDAT") || SameBytes(type, "IEND")) break;
      if (SameBytes(type, "sRGB")) return {};
      // A damaged iCCP is passed over, as a decoder that cannot use it would: the chromaticities
      // and gamma beside it then describe the samples (and the reader applies that gamma).
      if (SameBytes(type, "iCCP")) {
        TIccProfile profile = PngIccpProfile(body);
        if (!profile.empty()) return profile;
      }
      if (SameBytes(type, "gAMA") && length == 4) gamma = true;
      if (SameBytes(type, "cHRM") && length == 32) {
        primaries = TRgbPrimaries{Chromaticity(body, 0), Chromaticity(body, 1), Chromaticity(body, 2),
                                  Chromaticity(body, 3), Chromaticity(body, 4), Chromaticity(body, 5),
                                  Chromaticity(body, 6), Chromaticity(body, 7)};
      }
    }
    // The reader has already brought the samples from the file's gamma to 2.2; the primaries
    // still need their conversion.
    if (primaries && gamma) return BuildRgbProfile(*primaries, TToneCurve::tcGamma, 2.2, "PNG chromaticities");
  } catch (const Exception&) {
  }
  return {};
}

TIccProfile TiffProfile(std::span<const uint8_t> file) {
  try {
    TTiffStructure directories(file);
    const auto entry = directories.Find(directories.First(), 34675);
    if (entry && entry->count <= kMaxIccProfileBytes) return Plausible(directories.Bytes(*entry));
  } catch (const Exception&) {
  }
  return {};
}

TIccProfile PsdProfile(std::span<const uint8_t> file) { return Plausible(PsdFileResources(file).iccProfile); }

TIccProfile WebPProfile(std::span<const uint8_t> file) {
  try {
    TByteReader data(file);
    if (!SameBytes(data.Bytes(4), "RIFF")) return {};
    data.Skip(4);
    if (!SameBytes(data.Bytes(4), "WEBP")) return {};
    while (data.Remaining() >= 8) {
      const std::span<const uint8_t> type = data.Bytes(4);
      const uint32_t size = data.U32LE();
      const std::span<const uint8_t> body = data.Bytes(size);
      if (SameBytes(type, "ICCP")) return Plausible(body);
      // The profile comes before the image data.
      if (SameBytes(type, "VP8 ") || SameBytes(type, "VP8L") || SameBytes(type, "ANIM")) break;
      data.BytesUpTo(size & 1u);
    }
  } catch (const Exception&) {
  }
  return {};
}

TIccProfile NclxProfile(int primariesCode, int transfer, TRgbPrimaries primaries) {
  // Codes of the colour primaries (1 BT.709, 2 unspecified) and transfer characteristics (16 PQ,
  // 18 HLG; the rest below).
  const bool srgbPrimaries = primariesCode == 1 || primariesCode == 2;
  // PQ and HLG pictures are tone-mapped to sRGB by the reader itself.
  const bool hdr = transfer == 16 || transfer == 18;
  TToneCurve curve = TToneCurve::tcSrgb;
  double gamma = 1.0;
  switch (transfer) {
    case 1:    // BT.709
    case 6:    // BT.601
    case 14:   // BT.2020 10-bit
    case 15: curve = TToneCurve::tcBt709; break;  // BT.2020 12-bit
    case 4: curve = TToneCurve::tcGamma; gamma = 2.2; break;  // BT.470 System M
    case 5: curve = TToneCurve::tcGamma; gamma = 2.8; break;  // BT.470 System B, G
    case 8: curve = TToneCurve::tcGamma; break;  // linear
    default: break;  // sRGB, and what is not known
  }
  // sRGB's primaries with the sRGB curve, or with BT.709's (the label most encoders give sRGB
  // pictures), need nothing; with a plain gamma or linear light they still need their curve.
  if (hdr || (srgbPrimaries && curve != TToneCurve::tcGamma)) return {};
  // Libraries leave unspecified primaries at zero.
  if (primariesCode == 2) primaries = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
  return BuildRgbProfile(primaries, curve, gamma, "HEIF colour primaries");
}

TIccProfile HeifProfile(std::span<const uint8_t> file) {
  if (file.empty()) return {};
  heif_context* context = heif_context_alloc();
  if (context == nullptr) return {};
  TIccProfile profile;
  heif_image_handle* handle = nullptr;
  if (heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr).code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    THeifNclx nclx;
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
      const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
      if (size >= 128 && size <= kMaxIccProfileBytes) {
        profile.resize(size);
        if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok) profile.clear();
      }
    } else if ((nclx = HeifNclx(handle))) {
      TRgbPrimaries primaries{nclx->color_primary_white_x, nclx->color_primary_white_y,
                              nclx->color_primary_red_x,   nclx->color_primary_red_y,
                              nclx->color_primary_green_x, nclx->color_primary_green_y,
                              nclx->color_primary_blue_x,  nclx->color_primary_blue_y};
      profile = NclxProfile(nclx->color_primaries, nclx->transfer_characteristics, primaries);
    }
  }
  if (handle != nullptr) heif_image_handle_release(handle);
  heif_context_free(context);
  return profile;
}

TIccProfile RawProfile(std::span<const uint8_t> file) {
  try {
    if (const std::optional<TRawPreview> preview = LocateRawPreview(file)) {
      TIccProfile profile = JpegProfile(preview->jpeg);
      if (!profile.empty()) return profile;
    }
    // The camera's own EXIF, in the directories of a TIFF-structured RAW.
    if (file.size() >= 4 && (SameBytes(file, "II") || SameBytes(file, "MM")) && ExifSaysAdobeRgb(file)) {
      return AdobeRgbProfile();
    }
  } catch (const Exception&) {
  }
  return {};
}

TIccProfile SrgbCurveProfile(std::span<const uint8_t> profile) {
  if (profile.size() < 128 || profile.size() > kMaxIccProfileBytes) return {};
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  if (context == nullptr) return {};
  TIccProfile result;
  cmsHPROFILE source = cmsOpenProfileFromMemTHR(context, profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context);
  const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  if (source != nullptr && srgb != nullptr && cmsGetColorSpace(source) == cmsSigRgbData && cmsIsMatrixShaper(source) &&
      !cmsIsCLUT(source, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)) {
    bool same = true;
    for (const cmsTagSignature tag : colorants) {
      const auto* a = static_cast<const cmsCIEXYZ*>(cmsReadTag(source, tag));
      const auto* b = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb, tag));
      // Within the rounding of the profiles' 16.16 numbers and of their white's adaptation.
      same = same && a != nullptr && b != nullptr && std::fabs(a->X - b->X) < 2e-3 && std::fabs(a->Y - b->Y) < 2e-3 &&
             std::fabs(a->Z - b->Z) < 2e-3;
    }
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(srgb, cmsSigRedTRCTag));
    cmsUInt32Number size = 0;
    if (!same && curve != nullptr && cmsWriteTag(source, cmsSigRedTRCTag, curve) &&
        cmsWriteTag(source, cmsSigGreenTRCTag, curve) && cmsWriteTag(source, cmsSigBlueTRCTag, curve) &&
        cmsSaveProfileToMem(source, nullptr, &size) && size >= 128 && size <= kMaxIccProfileBytes) {
      result.resize(size);
      if (!cmsSaveProfileToMem(source, result.data(), &size)) result.clear();
      result.resize(std::min<std::size_t>(result.size(), size));
    }
  }
  if (source != nullptr) cmsCloseProfile(source);
  if (srgb != nullptr) cmsCloseProfile(srgb);
  cmsDeleteContext(context);
  return result;
}

TIccProfile EmbeddedProfile(const TImageFormat& format, std::span<const uint8_t> file) {
  return format.profile != nullptr ? format.profile(file) : TIccProfile{};
}

TIccProfile BuildRgbProfile(const TRgbPrimaries& p, TToneCurve curve, double gamma, const char* description) {
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  if (context == nullptr) return {};
  const cmsCIExyY white{p.whiteX, p.whiteY, 1.0};
  const cmsCIExyYTRIPLE primaries{{p.redX, p.redY, 1.0}, {p.greenX, p.greenY, 1.0}, {p.blueX, p.blueY, 1.0}};
  cmsToneCurve* tone = nullptr;
  if (curve == TToneCurve::tcSrgb) {
    const cmsFloat64Number params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    tone = cmsBuildParametricToneCurve(context, 4, params);
  } else if (curve == TToneCurve::tcBt709) {
    const cmsFloat64Number params[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
    tone = cmsBuildParametricToneCurve(context, 4, params);
  } else {
    tone = cmsBuildGamma(context, gamma);
  }
  TIccProfile bytes;
  cmsToneCurve* curves[3] = {tone, tone, tone};
  cmsHPROFILE profile = tone != nullptr ? cmsCreateRGBProfileTHR(context, &white, &primaries, curves) : nullptr;
  if (profile != nullptr) {
    cmsMLU* text = cmsMLUalloc(context, 1);
    if (text != nullptr && cmsMLUsetASCII(text, "en", "US", description)) {
      cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    }
    if (text != nullptr) cmsMLUfree(text);
    cmsUInt32Number size = 0;
    if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
      bytes.resize(size);
      if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
    }
    cmsCloseProfile(profile);
  }
  if (tone != nullptr) cmsFreeToneCurve(tone);
  cmsDeleteContext(context);
  return bytes;
}

const TIccProfile& AdobeRgbProfile() {
  static const TIccProfile profile = BuildRgbProfile({0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06},
                                                     TToneCurve::tcGamma, 563.0 / 256, "Adobe RGB (1998)");
  return profile;
}

std::string IccDescription(std::span<const uint8_t> profile) {
  if (profile.empty() || profile.size() > kMaxIccProfileBytes) return {};
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  if (context == nullptr) return {};
  std::string description;
  if (cmsHPROFILE handle = cmsOpenProfileFromMemTHR(context, profile.data(), static_cast<cmsUInt32Number>(profile.size()))) {
    char text[256] = {};
    if (cmsGetProfileInfoASCII(handle, cmsInfoDescription, "en", "US", text, sizeof text) > 0) description = text;
    cmsCloseProfile(handle);
  }
  cmsDeleteContext(context);
  return description;
}

uint64_t IccHash(std::span<const uint8_t> profile) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const uint8_t byte : profile) hash = (hash ^ byte) * 0x100000001b3ull;
  return hash;
}

}  // namespace tablora
