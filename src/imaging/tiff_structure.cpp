#include "imaging/tiff_structure.h"

#include "imaging/checked.h"
#include "imaging/exceptions.h"

namespace tablora {

uint64_t TiffTypeSize(uint16_t type) {
  static constexpr uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
  return type < sizeof kSizes ? kSizes[type] : 0;
}

TTiffStructure::TTiffStructure(std::span<const uint8_t> bytes) : data_(bytes) {
  const std::span<const uint8_t> mark = data_.Span(0, 4);
  if (mark[0] == 'I' && mark[1] == 'I') little_ = true;
  else if (mark[0] != 'M' || mark[1] != 'M') throw EReadError("no TIFF byte-order mark");
  data_.Seek(2);
  if (U16(data_) == 43) {
    // BigTIFF: the offsets' size (8) and a zero, then 8-byte offsets and counts.
    if (U16(data_) != 8 || U16(data_) != 0) throw EReadError("no BigTIFF offset size");
    big_ = true;
  }
  first_ = Offset();
}

uint64_t TTiffStructure::U64() {
  const uint64_t first = U32(data_);
  const uint64_t second = U32(data_);
  return little_ ? first | second << 32 : first << 32 | second;
}

uint64_t TTiffStructure::Table(uint64_t ifd) {
  data_.Seek(ifd);
  const uint64_t entries = big_ ? U64() : U16(data_);
  const std::optional<uint64_t> tableBytes = CheckedMul(entries, EntryBytes());
  if (!tableBytes) throw EReadError("TIFF directory too large");
  // The whole table lies in the data, so a walk over it ends within the data's size.
  if (!data_.Has(*tableBytes)) throw EReadError("TIFF directory beyond the data");
  return entries;
}

TTiffStructure::Entry TTiffStructure::ReadEntry() {
  Entry entry;
  entry.tag = U16(data_);
  entry.type = U16(data_);
  entry.count = big_ ? U64() : U32(data_);
  const uint64_t unit = TiffTypeSize(entry.type) == 0 ? 1 : TiffTypeSize(entry.type);
  const std::optional<uint64_t> bytes = CheckedMul(unit, entry.count);
  entry.offset = bytes && *bytes <= (big_ ? 8u : 4u) ? data_.Position() : Offset();
  return entry;
}

std::optional<TTiffStructure::Entry> TTiffStructure::Find(uint64_t ifd, uint16_t tag) {
  std::optional<Entry> found;
  ForEach(ifd, [&](const Entry& entry) {
    if (entry.tag == tag) found = entry;
    return !found;
  });
  return found;
}

uint64_t TTiffStructure::Number(const Entry& entry) {
  data_.Seek(entry.offset);
  if (entry.type == 3) return U16(data_);
  return entry.type >= 16 ? U64() : U32(data_);
}

std::span<const uint8_t> TTiffStructure::Bytes(const Entry& entry) {
  const uint64_t unit = TiffTypeSize(entry.type) == 0 ? 1 : TiffTypeSize(entry.type);
  const std::optional<uint64_t> size = CheckedMul(unit, entry.count);
  if (!size) throw EReadError("TIFF value too large");
  return data_.Span(entry.offset, *size);
}

}  // namespace tablora
