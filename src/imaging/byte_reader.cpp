#include "imaging/byte_reader.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "imaging/byte_order.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"

namespace tablora {

void SwapShorts(void* data, std::size_t count) {
  auto* p = static_cast<uint8_t*>(data);
  for (std::size_t i = 0; i < count; ++i, p += 2) std::swap(p[0], p[1]);
}

void SwapLongs(void* data, std::size_t count) {
  auto* p = static_cast<uint8_t*>(data);
  for (std::size_t i = 0; i < count; ++i, p += 4) {
    std::swap(p[0], p[3]);
    std::swap(p[1], p[2]);
  }
}

TStreamBytes::TStreamBytes(TStream& stream) {
  const int64_t position = stream.Position();
  if (auto* buffer = dynamic_cast<TBufferStream*>(&stream)) {
    bytes_ = std::span<const uint8_t>(buffer->Data(), static_cast<std::size_t>(buffer->Size()))
                 .subspan(static_cast<std::size_t>(position));
    return;
  }
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    bytes_ = std::span<const uint8_t>(memory->Bytes()).subspan(static_cast<std::size_t>(position));
    return;
  }
  CheckFileDataSize(static_cast<uint64_t>(std::max<int64_t>(stream.Remaining(), 0)));
  if (auto* file = dynamic_cast<TFileStream*>(&stream)) {
    const int64_t size = file->Size();
    if (size > 0 && static_cast<uint64_t>(size) <= SIZE_MAX) {
      void* mapping = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE,
                             file->Handle(), 0);
      if (mapping != MAP_FAILED) {
        mapping_ = mapping;
        mappingSize_ = static_cast<std::size_t>(size);
        bytes_ = std::span<const uint8_t>(static_cast<const uint8_t*>(mapping), mappingSize_)
                     .subspan(static_cast<std::size_t>(position));
        return;
      }
    }
  }
  const int64_t remaining = stream.Remaining();
  copy_.resize(static_cast<std::size_t>(remaining > 0 ? remaining : 0));
  copy_.resize(stream.Read(copy_.data(), copy_.size()));
  stream.SetPosition(position);
  bytes_ = copy_;
}

TStreamBytes::~TStreamBytes() {
  if (mapping_ != nullptr) ::munmap(mapping_, mappingSize_);
}

const uint8_t* TByteReader::Take(uint64_t count) {
  if (count > Remaining()) throw EReadError();
  const uint8_t* p = bytes_.data() + position_;
  position_ += static_cast<std::size_t>(count);
  return p;
}

void TByteReader::Seek(uint64_t position) {
  if (position > bytes_.size()) throw EReadError();
  position_ = static_cast<std::size_t>(position);
}

void TByteReader::Skip(uint64_t count) { Take(count); }

uint8_t TByteReader::U8() { return *Take(1); }
uint16_t TByteReader::U16BE() { return LoadBE16(Take(2)); }
uint16_t TByteReader::U16LE() { return LoadLE16(Take(2)); }
uint32_t TByteReader::U32BE() { return LoadBE32(Take(4)); }
uint32_t TByteReader::U32LE() { return LoadLE32(Take(4)); }

std::span<const uint8_t> TByteReader::Bytes(uint64_t count) {
  const uint8_t* p = Take(count);
  return {p, static_cast<std::size_t>(count)};
}

std::span<const uint8_t> TByteReader::BytesUpTo(uint64_t count) {
  return Bytes(count < Remaining() ? count : Remaining());
}

std::vector<uint16_t> TByteReader::U16BEArray(uint64_t count) {
  if (count > Remaining() / 2) throw EReadError();
  std::vector<uint16_t> values(static_cast<std::size_t>(count));
  for (uint16_t& v : values) v = LoadBE16(Take(2));
  return values;
}

std::span<const uint8_t> TByteReader::Span(uint64_t offset, uint64_t length) const {
  if (offset > bytes_.size() || length > bytes_.size() - offset) throw EReadError();
  return bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

TByteReader TByteReader::Slice(uint64_t offset, uint64_t length) const {
  return TByteReader(Span(offset, length));
}

}  // namespace tablora
