#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/stream.h"

namespace tablora {

// The bytes of a stream from its current position to its end, without copying where it can:
// a file is memory-mapped (so a large file costs memory only where it is read), a memory stream
// is borrowed; any other stream is read into memory. More bytes than the image-size limit allows
// for compressed data fail at once (CheckFileDataSize).
class TStreamBytes {
 public:
  explicit TStreamBytes(TStream& stream);
  ~TStreamBytes();
  TStreamBytes(const TStreamBytes&) = delete;
  TStreamBytes& operator=(const TStreamBytes&) = delete;

  std::span<const uint8_t> Bytes() const { return bytes_; }

 private:
  std::span<const uint8_t> bytes_;
  void* mapping_ = nullptr;
  std::size_t mappingSize_ = 0;
  std::vector<uint8_t> copy_;
};

// Bounded reads over a span of file bytes. Every read refuses, with EReadError, before it reads
// or allocates beyond what remains, so a size or offset taken from a damaged file can never
// reach outside the data.
class TByteReader {
 public:
  TByteReader() = default;
  explicit TByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Size() const { return bytes_.size(); }
  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return bytes_.size() - position_; }
  bool Has(uint64_t count) const { return count <= Remaining(); }
  std::span<const uint8_t> All() const { return bytes_; }
  // What remains, without moving.
  std::span<const uint8_t> Rest() const { return bytes_.subspan(position_); }

  // Positions are absolute within the reader; beyond the end is a read error.
  void Seek(uint64_t position);
  void Skip(uint64_t count);

  uint8_t U8();
  uint16_t U16BE();
  uint16_t U16LE();
  uint32_t U32BE();
  uint32_t U32LE();
  // The next count bytes; the reader moves past them.
  std::span<const uint8_t> Bytes(uint64_t count);
  // At most count bytes: what is there when fewer remain.
  std::span<const uint8_t> BytesUpTo(uint64_t count);
  // count values; the vector is allocated only once the data is known to hold them all.
  std::vector<uint16_t> U16BEArray(uint64_t count);

  // A reader over length bytes from an absolute offset of this one.
  TByteReader Slice(uint64_t offset, uint64_t length) const;
  std::span<const uint8_t> Span(uint64_t offset, uint64_t length) const;

 private:
  const uint8_t* Take(uint64_t count);

  std::span<const uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace tablora
