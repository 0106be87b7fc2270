#include "imaging/libraries.h"

#include <cstdint>
#include <cstdio>
#include <jconfig.h>
#include <jxl/decode.h>
#include <avif/avif.h>
#include <libheif/heif.h>
#include <webp/decode.h>
#include <zlib.h>

// Colour management, RAW decoding and metadata come with libraries of their own; their versions
// are those of the headers found, where there are any.
#if __has_include(<lcms2.h>)
#include <lcms2.h>
#endif
#if __has_include(<libraw/libraw_version.h>)
#include <libraw/libraw_version.h>
#endif
#if __has_include(<exiv2/exv_conf.h>)
#include <exiv2/exv_conf.h>
#endif

namespace tablora {

namespace {

#define TABLORA_STRING(x) #x
#define TABLORA_EXPAND(x) TABLORA_STRING(x)

// Major, minor and patch packed a byte or more apiece, as several of the libraries report them.
std::string Dotted(uint32_t packed, uint32_t base) {
  char text[40];
  std::snprintf(text, sizeof text, "%u.%u.%u", packed / (base * base), packed / base % base, packed % base);
  return text;
}

}  // namespace

std::vector<LibraryNotice> ImagingLibraries() {
  std::vector<LibraryNotice> libraries;
  libraries.push_back({"libjpeg-turbo", TABLORA_EXPAND(LIBJPEG_TURBO_VERSION), "IJG AND BSD-3-Clause AND Zlib"});
  libraries.push_back({"zlib", zlibVersion(), "Zlib"});
  libraries.push_back({"libwebp", Dotted(static_cast<uint32_t>(WebPGetDecoderVersion()), 256), "BSD-3-Clause"});
  libraries.push_back({"libheif", heif_get_version(), "LGPL-3.0-or-later"});
  libraries.push_back({"libavif", avifVersion(), "BSD-2-Clause"});
  libraries.push_back({"libjxl", Dotted(JxlDecoderVersion(), 1000), "BSD-3-Clause"});
  std::string raw;
#ifdef LIBRAW_VERSION_STR
  raw = LIBRAW_VERSION_STR;
#endif
  libraries.push_back({"LibRaw", raw, "LGPL-2.1-only OR CDDL-1.0"});
  std::string cms;
#ifdef LCMS_VERSION
  cms = std::to_string(LCMS_VERSION / 1000) + "." + std::to_string(LCMS_VERSION / 10 % 100);
#endif
  libraries.push_back({"Little CMS 2", cms, "MIT"});
  std::string exiv2;
#ifdef EXV_PACKAGE_VERSION
  exiv2 = EXV_PACKAGE_VERSION;
#endif
  libraries.push_back({"Exiv2", exiv2, "GPL-2.0-or-later"});
  return libraries;
}

}  // namespace tablora
