#include "imaging/icc_transform.h"

#include <lcms2.h>

#include <atomic>
#include <list>
#include <mutex>
#include <vector>

#include "imaging/icc_profile.h"

namespace tablora {

namespace {

struct TCacheEntry {
  uint64_t hash = 0;
  bool fourBytes = false;
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

void TIccTransform::Convert(uint8_t* pixels, uint32_t count) const {
  cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), pixels, pixels, count);
}

uint64_t TIccTransform::BuiltCount() { return built.load(); }

std::shared_ptr<const TIccTransform> TIccTransform::ToSrgb(std::span<const uint8_t> profile, bool fourBytes) {
  if (profile.size() < 128 || profile.size() > kMaxIccProfileBytes) return nullptr;
  // A profile whose header claims more bytes than it has was cut short; lcms2 would read the
  // tags that remain.
  const uint32_t declared = uint32_t{profile[0]} << 24 | uint32_t{profile[1]} << 16 | uint32_t{profile[2]} << 8 | profile[3];
  if (declared > profile.size()) return nullptr;
  const uint64_t hash = IccHash(profile);
  {
    std::lock_guard lock(CacheMutex());
    std::list<TCacheEntry>& cache = Cache();
    for (auto it = cache.begin(); it != cache.end(); ++it) {
      if (it->hash == hash && it->fourBytes == fourBytes && it->profile.size() == profile.size() &&
          std::equal(profile.begin(), profile.end(), it->profile.begin())) {
        cache.splice(cache.begin(), cache, it);
        return it->transform;
      }
    }
  }
  // Built outside the lock: two threads meeting a new profile at once both build it, and the
  // later one's is dropped, which costs less than holding every other picture back.
  std::shared_ptr<TIccTransform> made(new TIccTransform);
  made->fourBytes_ = fourBytes;
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  made->context_ = context;
  cmsHPROFILE source = nullptr;
  cmsHPROFILE srgb = nullptr;
  if (context != nullptr) {
    source = cmsOpenProfileFromMemTHR(context, profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    srgb = cmsCreate_sRGBProfileTHR(context);
  }
  if (source != nullptr && srgb != nullptr && cmsGetColorSpace(source) == cmsSigRgbData) {
    const cmsUInt32Number format = fourBytes ? TYPE_BGRA_8 : TYPE_BGR_8;
    cmsUInt32Number flags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;
    if (fourBytes) flags |= cmsFLAGS_COPY_ALPHA;
    made->transform_ = cmsCreateTransformTHR(context, source, format, srgb, format, INTENT_PERCEPTUAL, flags);
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
  cache.push_front({hash, fourBytes, {profile.begin(), profile.end()}, transform});
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
