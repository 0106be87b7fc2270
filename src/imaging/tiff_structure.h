#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "imaging/byte_reader.h"

namespace tablora {

// The directories of a TIFF structure — a TIFF or BigTIFF file, an EXIF block, a TIFF-structured
// RAW or a CR3's CMT boxes — read through the bounded reader: an entry's value is found where it
// stands, inline or at its offset. Anything outside the data is an EReadError.
class TTiffStructure {
 public:
  // Reads the byte-order mark and the first directory's offset; the two bytes between them (42,
  // 43 for BigTIFF, or a RAW's own magic) are not checked beyond BigTIFF's.
  explicit TTiffStructure(std::span<const uint8_t> bytes);
  uint64_t First() const { return first_; }
  bool Little() const { return little_; }

  struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint64_t count = 0;
    uint64_t offset = 0;  // of the value, inline or not
  };
  // The entries of the directory at `ifd`, one by one; false from `visit` stops the walk. The
  // whole table must lie in the data.
  template <typename Visit>
  void ForEach(uint64_t ifd, Visit visit) {
    const uint64_t entries = Table(ifd);
    const uint64_t table = data_.Position();
    for (uint64_t i = 0; i < entries; ++i) {
      data_.Seek(table + i * EntryBytes());
      if (!visit(ReadEntry())) return;
    }
  }
  std::optional<Entry> Find(uint64_t ifd, uint16_t tag);
  // The entry's first value as an unsigned integer (BYTE, SHORT, LONG, IFD and their 64-bit kinds).
  uint64_t Number(const Entry& entry);
  // The entry's value bytes: its count times its type's size (1 for unknown types).
  std::span<const uint8_t> Bytes(const Entry& entry);
  // A reader of those bytes in the structure's byte order is U16/U32 below.
  uint16_t U16(TByteReader& reader) const { return little_ ? reader.U16LE() : reader.U16BE(); }
  uint32_t U32(TByteReader& reader) const { return little_ ? reader.U32LE() : reader.U32BE(); }

 private:
  uint64_t EntryBytes() const { return big_ ? 20 : 12; }
  uint64_t Table(uint64_t ifd);
  Entry ReadEntry();
  uint64_t U64();
  uint64_t Offset() { return big_ ? U64() : U32(data_); }
  TByteReader data_;
  bool little_ = false;
  bool big_ = false;
  uint64_t first_ = 0;
};

// The size in bytes of one value of a TIFF field type; 0 for a type not known.
uint64_t TiffTypeSize(uint16_t type);

}  // namespace tablora
