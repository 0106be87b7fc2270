#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>

namespace tablora {

// Sizes formed from file data go through these, so an overflow is a refusal rather than a wrap.
template <typename T>
[[nodiscard]] constexpr std::optional<T> CheckedMul(T a, T b) {
  static_assert(std::is_unsigned_v<T>);
  T out{};
  if (__builtin_mul_overflow(a, b, &out)) return std::nullopt;
  return out;
}

template <typename T>
[[nodiscard]] constexpr std::optional<T> CheckedAdd(T a, T b) {
  static_assert(std::is_unsigned_v<T>);
  T out{};
  if (__builtin_add_overflow(a, b, &out)) return std::nullopt;
  return out;
}

// Product of several 64-bit factors, or nothing when it does not fit.
[[nodiscard]] constexpr std::optional<uint64_t> CheckedProduct(std::initializer_list<uint64_t> factors) {
  uint64_t product = 1;
  for (uint64_t factor : factors) {
    if (__builtin_mul_overflow(product, factor, &product)) return std::nullopt;
  }
  return product;
}

// Bytes of width pixels at bitsPerPixel, rounded up to whole bytes (no alignment).
[[nodiscard]] constexpr std::optional<uint64_t> PackedRowBytes(uint64_t width, uint64_t bitsPerPixel) {
  const std::optional<uint64_t> bits = CheckedMul(width, bitsPerPixel);
  if (!bits) return std::nullopt;
  return *bits / 8 + (*bits % 8 != 0 ? 1 : 0);
}

}  // namespace tablora
