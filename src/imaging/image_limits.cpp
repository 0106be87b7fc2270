#include "imaging/image_limits.h"

#include <atomic>

#include "imaging/checked.h"
#include "imaging/exceptions.h"
#include "imaging/format.h"

namespace tablora {

namespace {
std::atomic<uint64_t> g_limit{kDefaultImageSizeLimit};
std::atomic<uint64_t> g_fileDataLimit{kDefaultImageSizeLimit};
}

uint64_t ImageSizeLimit() { return g_limit.load(std::memory_order_relaxed); }

void SetImageSizeLimit(uint64_t bytes) { g_limit.store(bytes, std::memory_order_relaxed); }

std::optional<uint64_t> AlignedRowSize(uint64_t width, unsigned bitsPerPixel) {
  const std::optional<uint64_t> bits = CheckedMul<uint64_t>(width, bitsPerPixel);
  if (!bits || *bits > UINT64_MAX - 31) return std::nullopt;
  return (*bits + 31) / 32 * 4;
}

bool FitsImageSizeLimit(int64_t width, int64_t height, unsigned bitsPerPixel) {
  if (width < 0 || height < 0) return false;
  if (width == 0 || height == 0) return true;
  const std::optional<uint64_t> row = AlignedRowSize(static_cast<uint64_t>(width), bitsPerPixel);
  if (!row) return false;
  const std::optional<uint64_t> total = CheckedMul(*row, static_cast<uint64_t>(height));
  return total && *total <= ImageSizeLimit();
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

uint64_t FileDataLimit() { return g_fileDataLimit.load(std::memory_order_relaxed); }

void SetFileDataLimit(uint64_t bytes) { g_fileDataLimit.store(bytes, std::memory_order_relaxed); }

void CheckFileDataSize(uint64_t bytes) {
  if (bytes <= FileDataLimit()) return;
  const auto mib = [](uint64_t n) { return static_cast<unsigned long long>((n + (uint64_t{1} << 20) - 1) >> 20); };
  throw EInvalidGraphic(Format("File too large: %llu MiB of data exceed the limit of %llu MiB", mib(bytes),
                               mib(FileDataLimit())));
}

}  // namespace tablora
