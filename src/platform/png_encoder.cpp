#include "platform/png_encoder.h"

#include <zlib.h>

#include <cstdlib>
#include <stdexcept>

#include "imaging/reduce.h"

namespace tablora {

namespace {

void PutBE32(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 24));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, std::size_t size) {
  PutBE32(out, static_cast<uint32_t>(size));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  if (size > 0) out.insert(out.end(), data, data + size);
  PutBE32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(size + 4))));
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

}  // namespace

std::vector<uint8_t> EncodePng(const TBitmap& bitmap, const std::vector<std::pair<std::string, std::string>>& text,
                               int level) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  if (width <= 0 || height <= 0) throw std::invalid_argument("an empty bitmap has no PNG");
  const bool alpha = bitmap.PixelFormat() == pf32bit && bitmap.AlphaChannel();
  const std::size_t channels = alpha ? 4 : 3;
  const std::size_t rowBytes = channels * static_cast<std::size_t>(width);

  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBE32(header, static_cast<uint32_t>(width));
  PutBE32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, static_cast<uint8_t>(alpha ? 6 : 2), 0, 0, 0});
  PutChunk(out, "IHDR", header.data(), header.size());
  for (const auto& [key, value] : text) {
    if (key.empty() || key.size() > 79) throw std::invalid_argument("a PNG keyword has 1 to 79 bytes");
    std::vector<uint8_t> chunk(key.begin(), key.end());
    chunk.push_back(0);
    chunk.insert(chunk.end(), value.begin(), value.end());
    PutChunk(out, "tEXt", chunk.data(), chunk.size());
  }

  z_stream z{};
  if (deflateInit(&z, level) != Z_OK) throw std::bad_alloc();
  std::vector<uint8_t> compressed(deflateBound(&z, static_cast<uLong>((rowBytes + 1) * height)));
  z.next_out = compressed.data();
  z.avail_out = static_cast<uInt>(compressed.size());
  std::vector<uint8_t> previous(rowBytes, 0);
  std::vector<uint8_t> current(rowBytes);
  std::vector<uint8_t> bgr(alpha ? 0 : rowBytes);
  std::vector<uint8_t> filtered(rowBytes + 1);
  filtered[0] = 4;  // Paeth
  for (int y = 0; y < height; ++y) {
    if (alpha) {
      const uint8_t* source = bitmap.ScanLine(y);
      for (int x = 0; x < width; ++x) {
        const std::size_t i = 4 * static_cast<std::size_t>(x);
        current[i] = source[i + 2];
        current[i + 1] = source[i + 1];
        current[i + 2] = source[i];
        current[i + 3] = source[i + 3];
      }
    } else {
      ExpandRowOverWhite(bitmap, y, bgr.data());
      for (std::size_t i = 0; i < rowBytes; i += 3) {
        current[i] = bgr[i + 2];
        current[i + 1] = bgr[i + 1];
        current[i + 2] = bgr[i];
      }
    }
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int left = i >= channels ? current[i - channels] : 0;
      const int upLeft = i >= channels ? previous[i - channels] : 0;
      filtered[i + 1] = static_cast<uint8_t>(current[i] - Paeth(left, previous[i], upLeft));
    }
    z.next_in = filtered.data();
    z.avail_in = static_cast<uInt>(filtered.size());
    if (deflate(&z, y + 1 == height ? Z_FINISH : Z_NO_FLUSH) == Z_STREAM_ERROR) {
      deflateEnd(&z);
      throw std::runtime_error("deflate failed");
    }
    previous.swap(current);
  }
  const std::size_t size = compressed.size() - z.avail_out;
  deflateEnd(&z);
  PutChunk(out, "IDAT", compressed.data(), size);
  PutChunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace tablora
