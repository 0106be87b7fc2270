#include "imaging/decoders/next_decoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/cancel.h"

namespace tablora {

TDecodeResult TNeXTDecoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  const std::size_t rowBytes = (static_cast<std::size_t>(Width) * 2 + 7) / 8;
  if (rowBytes == 0) return {};
  // Rows start white, as libtiff has them; those the data does not reach stay so.
  std::memset(destination.data(), 0xFF, destination.size());
  std::size_t in = 0;
  std::size_t out = 0;
  uint32_t rows = 0;
  while (in < source.size() && out < destination.size()) {
    if ((++rows & 0xFF) == 0) CheckCancel();
    uint8_t* row = destination.data() + out;
    const std::size_t room = std::min(rowBytes, destination.size() - out);
    const uint8_t code = source[in++];
    if (code == 0x00) {
      const std::size_t n = std::min(room, source.size() - in);
      std::memcpy(row, source.data() + in, n);
      in += n;
      if (n < rowBytes) return {in, out + n};
    } else if (code == 0x40) {
      if (source.size() - in < 4) break;
      const std::size_t offset = std::size_t{source[in]} << 8 | source[in + 1];
      const std::size_t count = std::size_t{source[in + 2]} << 8 | source[in + 3];
      in += 4;
      if (offset + count > rowBytes || count > source.size() - in) break;
      if (offset < room) std::memcpy(row + offset, source.data() + in, std::min(count, room - offset));
      in += count;
    } else {
      std::memset(row, 0, room);
      uint32_t pixels = 0;
      uint8_t run = code;
      for (;;) {
        const uint8_t grey = run >> 6;
        for (uint32_t count = run & 0x3F; count > 0 && pixels < Width; --count, ++pixels) {
          const std::size_t at = pixels / 4;
          if (at < room) row[at] = static_cast<uint8_t>(row[at] | grey << (6 - 2 * (pixels % 4)));
        }
        if (pixels >= Width || in >= source.size()) break;
        run = source[in++];
      }
      if (pixels < Width) return {in, out + room};
    }
    out += room;
  }
  return {in, out};
}

}  // namespace tablora
