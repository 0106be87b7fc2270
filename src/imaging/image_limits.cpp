#include "imaging/image_limits.h"

#include <atomic>

#include "imaging/exceptions.h"
#include "imaging/format.h"

namespace tablora {

namespace {
std::atomic<uint64_t> g_limit{kDefaultImageSizeLimit};
}

uint64_t ImageSizeLimit() { return g_limit.load(std::memory_order_relaxed); }

void SetImageSizeLimit(uint64_t bytes) { g_limit.store(bytes, std::memory_order_relaxed); }

uint64_t AlignedRowSize(uint64_t width, unsigned bitsPerPixel) {
  if (width > (uint64_t{1} << 40)) return 0;
  return ((width * bitsPerPixel + 31) / 32) * 4;
}

bool FitsImageSizeLimit(int64_t width, int64_t height, unsigned bitsPerPixel) {
  if (width < 0 || height < 0) return false;
  if (width == 0 || height == 0) return true;
  const uint64_t row = AlignedRowSize(static_cast<uint64_t>(width), bitsPerPixel);
  if (row == 0) return false;
  const uint64_t h = static_cast<uint64_t>(height);
  if (h > ImageSizeLimit() / row) return false;
  return row * h <= ImageSizeLimit();
}

void CheckImageSize(int64_t width, int64_t height, unsigned bitsPerPixel) {
  if (width < 0 || height < 0) {
    throw EInvalidGraphic(Format("Invalid image size %lld x %lld", static_cast<long long>(width),
                                 static_cast<long long>(height)));
  }
  if (!FitsImageSizeLimit(width, height, bitsPerPixel)) {
    throw EInvalidGraphic(Format("Image too large: %lld x %lld pixels exceed the limit of %llu MiB",
                                 static_cast<long long>(width), static_cast<long long>(height),
                                 static_cast<unsigned long long>(ImageSizeLimit() >> 20)));
  }
}

}  // namespace tablora
