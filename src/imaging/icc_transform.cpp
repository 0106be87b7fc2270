#include "imaging/icc_transform.h"

#include <lcms2.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <list>
#include <mutex>
#include <vector>

#include "imaging/icc_profile.h"

namespace tablora {

namespace {

struct TCacheEntry {
  uint64_t hash = 0;
  int kind = 0;
  std::vector<uint8_t> profile;
  std::shared_ptr<const TIccTransform> transform;  // null: the profile cannot be used
};

// A folder holds few distinct profiles; the most recently used are kept, failures included, so a
// damaged profile shared by many files is looked at once.
constexpr std::size_t kCachedTransforms = 32;

std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}
std::list<TCacheEntry>& Cache() {
  static std::list<TCacheEntry> cache;
  return cache;
}
std::atomic<uint64_t> built{0};

}  // namespace

TIccTransform::~TIccTransform() {
  if (transform_ != nullptr) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
  if (context_ != nullptr) cmsDeleteContext(static_cast<cmsContext>(context_));
}

void TIccTransform::ConvertCmyk(const uint8_t* cmyk, uint8_t* bgr, uint32_t count) const {
  cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), cmyk, bgr, count);
}

void TIccTransform::Convert(uint8_t* pixels, uint32_t count) const {
  if (!tables_) {
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), pixels, pixels, count);
    return;
  }
  const unsigned step = fourBytes_ ? 4 : 3;
  for (uint32_t i = 0; i < count; ++i, pixels += step) {
    const float r = linear_[0][pixels[2]], g = linear_[1][pixels[1]], b = linear_[2][pixels[0]];
    uint8_t out[3];
    for (int c = 0; c < 3; ++c) {
      const float v = matrix_[c][0] * r + matrix_[c][1] * g + matrix_[c][2] * b;
      out[c] = encode_[v <= 0.0f ? 0 : v >= 1.0f ? 4095 : static_cast<int>(v * 4095.0f + 0.5f)];
    }
    pixels[2] = out[0];
    pixels[1] = out[1];
    pixels[0] = out[2];
  }
}

namespace {

// Colorants of a matrix-and-curves profile as the columns of a matrix (D50, as the profile keeps
// them).
bool Colorants(cmsHPROFILE profile, double m[3][3]) {
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
    if (xyz == nullptr) return false;
    m[0][c] = xyz->X;
    m[1][c] = xyz->Y;
    m[2][c] = xyz->Z;
  }
  return true;
}

bool Invert(const double m[3][3], double out[3][3]) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (std::fabs(det) < 1e-9) return false;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  }
  return true;
}

// The lightness a grey profile gives each of 256 levels, read through the profile itself: its
// grey curve, or for a lookup-table profile (no curve, only AToB tables) the luminance the tables
// send each level to. Null when the profile yields neither.
cmsToneCurve* GreyCurveOf(cmsContext context, cmsHPROFILE grey) {
  if (const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(grey, cmsSigGrayTRCTag))) {
    return cmsDupToneCurve(curve);
  }
  cmsHPROFILE xyz = cmsCreateXYZProfileTHR(context);
  if (xyz == nullptr) return nullptr;
  cmsHTRANSFORM toXyz =
      cmsCreateTransformTHR(context, grey, TYPE_GRAY_FLT, xyz, TYPE_XYZ_DBL, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
  cmsCloseProfile(xyz);
  if (toXyz == nullptr) return nullptr;
  constexpr int kLevels = 256;
  float levels[kLevels];
  cmsCIEXYZ measured[kLevels];
  for (int i = 0; i < kLevels; ++i) levels[i] = static_cast<float>(i) / (kLevels - 1);
  cmsDoTransform(toXyz, levels, measured, kLevels);
  cmsDeleteTransform(toXyz);
  float luminance[kLevels];
  for (int i = 0; i < kLevels; ++i) {
    // A table can overshoot its white a little, or come out NaN on a damaged profile.
    const double y = measured[i].Y;
    luminance[i] = std::isfinite(y) ? static_cast<float>(std::clamp(y, 0.0, 1.0)) : 0.0f;
  }
  return cmsBuildTabulatedToneCurveFloat(context, kLevels, luminance);
}

// A grey profile stands for the RGB profile whose three curves are its grey curve: a grey picture
// delivered as RGB (equal channels) then keeps its neutral greys and takes the grey profile's
// lightness, as it would through the grey profile itself, and it converts through the same
// tables as any matrix-and-curves profile. Null when the profile gives no lightness at all.
cmsHPROFILE RgbOfGrey(cmsContext context, cmsHPROFILE grey) {
  cmsToneCurve* curve = GreyCurveOf(context, grey);
  if (curve == nullptr) return nullptr;
  const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* const curves[3] = {curve, curve, curve};
  cmsHPROFILE rgb = cmsCreateRGBProfileTHR(context, cmsD50_xyY(), &primaries, curves);
  cmsFreeToneCurve(curve);
  return rgb;
}

}  // namespace

// Sets up the tables when the profile is matrix and curves with black at zero (where black-point
// compensation changes nothing); otherwise lcms2's transform does the work.
void TIccTransform::SetUpTables(void* source, void* srgb) {
  auto* from = static_cast<cmsHPROFILE>(source);
  auto* to = static_cast<cmsHPROFILE>(srgb);
  if (!cmsIsMatrixShaper(from) || cmsIsCLUT(from, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)) return;
  double colorants[3][3], srgbColorants[3][3], toSrgb[3][3];
  if (!Colorants(from, colorants) || !Colorants(to, srgbColorants) || !Invert(srgbColorants, toSrgb)) return;
  const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  for (int c = 0; c < 3; ++c) {
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(from, curves[c]));
    if (curve == nullptr || cmsEvalToneCurveFloat(curve, 0.0f) > 1e-4f) return;
    for (int v = 0; v < 256; ++v) linear_[c][v] = cmsEvalToneCurveFloat(curve, v / 255.0f);
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += toSrgb[r][k] * colorants[k][c];
      matrix_[r][c] = static_cast<float>(sum);
    }
  }
  const auto* srgbCurve = static_cast<const cmsToneCurve*>(cmsReadTag(to, cmsSigRedTRCTag));
  cmsToneCurve* encode = srgbCurve != nullptr ? cmsReverseToneCurve(srgbCurve) : nullptr;
  if (encode == nullptr) return;
  for (int i = 0; i < 4096; ++i) {
    const float v = cmsEvalToneCurveFloat(encode, i / 4095.0f) * 255.0f + 0.5f;
    encode_[i] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
  }
  cmsFreeToneCurve(encode);
  tables_ = true;
}

uint64_t TIccTransform::BuiltCount() { return built.load(); }

bool IsCmykProfile(std::span<const uint8_t> profile) {
  return profile.size() >= 20 && std::equal(profile.begin() + 16, profile.begin() + 20, "CMYK");
}

std::shared_ptr<const TIccTransform> TIccTransform::ToSrgb(std::span<const uint8_t> profile, bool fourBytes) {
  return Cached(profile, fourBytes ? TKind::tkBgra : TKind::tkBgr);
}

std::shared_ptr<const TIccTransform> TIccTransform::CmykToSrgb(std::span<const uint8_t> profile) {
  // Every RGB picture of the CMYK-capable formats asks; its profile is turned away before any
  // hashing or lcms2 work.
  if (!IsCmykProfile(profile)) return nullptr;
  return Cached(profile, TKind::tkCmyk);
}

std::shared_ptr<const TIccTransform> TIccTransform::Cached(std::span<const uint8_t> profile, TKind kind) {
  if (profile.size() < 128 || profile.size() > kMaxIccProfileBytes) return nullptr;
  // A profile whose header claims more bytes than it has was cut short; lcms2 would read the
  // tags that remain.
  const uint32_t declared = uint32_t{profile[0]} << 24 | uint32_t{profile[1]} << 16 | uint32_t{profile[2]} << 8 | profile[3];
  if (declared > profile.size()) return nullptr;
  const uint64_t hash = IccHash(profile);
  const int kindKey = static_cast<int>(kind);
  {
    std::lock_guard lock(CacheMutex());
    std::list<TCacheEntry>& cache = Cache();
    for (auto it = cache.begin(); it != cache.end(); ++it) {
      if (it->hash == hash && it->kind == kindKey && it->profile.size() == profile.size() &&
          std::equal(profile.begin(), profile.end(), it->profile.begin())) {
        cache.splice(cache.begin(), cache, it);
        return it->transform;
      }
    }
  }
  // Built outside the lock: two threads meeting a new profile at once both build it, and the
  // later one's is dropped, which costs less than holding every other picture back.
  std::shared_ptr<TIccTransform> made(new TIccTransform);
  made->fourBytes_ = kind == TKind::tkBgra;
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  made->context_ = context;
  cmsHPROFILE source = nullptr;
  cmsHPROFILE srgb = nullptr;
  if (context != nullptr) {
    source = cmsOpenProfileFromMemTHR(context, profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    srgb = cmsCreate_sRGBProfileTHR(context);
  }
  if (source != nullptr && kind != TKind::tkCmyk && cmsGetColorSpace(source) == cmsSigGrayData) {
    cmsHPROFILE rgb = RgbOfGrey(context, source);
    cmsCloseProfile(source);
    source = rgb;
  }
  const cmsColorSpaceSignature space = kind == TKind::tkCmyk ? cmsSigCmykData : cmsSigRgbData;
  if (source != nullptr && srgb != nullptr && cmsGetColorSpace(source) == space) {
    cmsUInt32Number flags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;
    if (kind == TKind::tkCmyk) {
      made->transform_ =
          cmsCreateTransformTHR(context, source, TYPE_CMYK_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, flags);
    } else {
      const cmsUInt32Number format = made->fourBytes_ ? TYPE_BGRA_8 : TYPE_BGR_8;
      if (made->fourBytes_) flags |= cmsFLAGS_COPY_ALPHA;
      made->transform_ = cmsCreateTransformTHR(context, source, format, srgb, format, INTENT_PERCEPTUAL, flags);
      if (made->transform_ != nullptr) made->SetUpTables(source, srgb);
    }
  }
  if (source != nullptr) cmsCloseProfile(source);
  if (srgb != nullptr) cmsCloseProfile(srgb);
  std::shared_ptr<const TIccTransform> transform;
  if (made->transform_ != nullptr) {
    transform = std::move(made);
    built.fetch_add(1);
  }

  std::lock_guard lock(CacheMutex());
  std::list<TCacheEntry>& cache = Cache();
  cache.push_front({hash, kindKey, {profile.begin(), profile.end()}, transform});
  if (cache.size() > kCachedTransforms) cache.pop_back();
  return transform;
}

void ConvertToSrgb(TBitmap& bitmap, std::span<const uint8_t> profile) {
  const TPixelFormat format = bitmap.PixelFormat();
  if (profile.empty() || bitmap.Empty() || (format != pf24bit && format != pf32bit)) return;
  const std::shared_ptr<const TIccTransform> transform = TIccTransform::ToSrgb(profile, format == pf32bit);
  if (!transform) return;
  for (int y = 0; y < bitmap.Height(); ++y) {
    transform->Convert(bitmap.ScanLine(y), static_cast<uint32_t>(bitmap.Width()));
  }
}

}  // namespace tablora
