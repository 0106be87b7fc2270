#pragma once

#include <cstddef>
#include <cstdint>

namespace tablora {

// The one home of byte-order reads from memory; files of every format pass through these.
constexpr uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
constexpr uint16_t LoadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
constexpr uint32_t LoadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
constexpr uint32_t LoadBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
constexpr uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
constexpr uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }

// The value with its four bytes reversed.
constexpr uint32_t SwapLong(uint32_t value) { return Swap32(value); }
// Reverse the bytes of count consecutive 16- or 32-bit values in place (unaligned data is fine).
void SwapShorts(void* data, std::size_t count);
void SwapLongs(void* data, std::size_t count);

}  // namespace tablora
