#pragma once

// Small TIFF files that claim a lot, made on the fly: sparse where their tables are large. The
// hostile-file tests and the benchmark share them.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tablora::test {

struct TiffEntry {
  uint16_t tag, type;
  uint32_t count;
  uint32_t value;  // inline value (SHORT or LONG), or the offset of the values
};

// A little-endian TIFF of one directory at offset 8; `blobs` are written at their offsets and the
// file is extended (sparse, reading as zeros) to `size` bytes when that is larger.
inline void WriteTiff(const std::string& path, std::vector<TiffEntry> entries,
                      const std::vector<std::pair<uint64_t, std::vector<uint8_t>>>& blobs = {},
                      uint64_t size = 0) {
  std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
  std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put = [&](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(entries.size(), 2);
  for (const TiffEntry& e : entries) {
    put(e.tag, 2);
    put(e.type, 2);
    put(e.count, 4);
    put(e.value, 4);
  }
  put(0, 4);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot write " + path);
  bool ok = ::pwrite(fd, out.data(), out.size(), 0) == static_cast<ssize_t>(out.size());
  for (const auto& [at, bytes] : blobs) {
    ok = ok && ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(bytes.size());
  }
  if (size > 0) ok = ok && ::ftruncate(fd, static_cast<off_t>(std::max<uint64_t>(size, out.size()))) == 0;
  ::close(fd);
  if (!ok) throw std::runtime_error("cannot write " + path);
}

// 1 x `height` 1-bit rows in one uncompressed strip whose data lies past the end of the file:
// about a hundred bytes.
inline void TallTiff(const std::string& path, uint32_t height) {
  WriteTiff(path, {{256, 3, 1, 1}, {257, 4, 1, height}, {258, 3, 1, 1}, {259, 3, 1, 1}, {262, 3, 1, 1},
                   {273, 4, 1, 4096}, {278, 4, 1, height}, {279, 4, 1, 0}});
}

// 1 x `height` 1-bit rows, one row to the strip, with strip tables of `entries` SHORT values each
// (zeros, sparse).
inline void StripTableTiff(const std::string& path, uint32_t height, uint32_t entries) {
  const uint64_t tables = 4096;
  const uint64_t size = tables + uint64_t{entries} * 4;
  WriteTiff(path,
            {{256, 3, 1, 1}, {257, 4, 1, height}, {258, 3, 1, 1}, {259, 3, 1, 1}, {262, 3, 1, 1},
             {273, 3, entries, static_cast<uint32_t>(tables)}, {278, 3, 1, 1},
             {279, 3, entries, static_cast<uint32_t>(tables + uint64_t{entries} * 2)}},
            {}, size);
}

// width x height in tiles of tileWidth x tileLength, with tables of one tile.
inline void TinyTileTiff(const std::string& path, uint32_t width, uint32_t height, uint32_t tileWidth,
                         uint32_t tileLength) {
  WriteTiff(path, {{256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
                   {322, 4, 1, tileWidth}, {323, 4, 1, tileLength}, {324, 4, 1, 0}, {325, 4, 1, 1}});
}

// A fax page of width x height (compression 3 or 4) in one strip of a few bytes of codes.
inline void FaxTiff(const std::string& path, uint16_t compression, uint32_t width, uint32_t height) {
  // Group 4: vertical-0 codes (one bit a row) for the first rows. Group 3: EOLs and all-white rows.
  std::vector<uint8_t> codes = compression == 4 ? std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}
                                                : std::vector<uint8_t>{0x00, 0x1D, 0x98, 0x00, 0x1D, 0x98};
  WriteTiff(path,
            {{256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 1, 1}, {259, 3, 1, compression}, {262, 3, 1, 0},
             {273, 4, 1, 512}, {278, 4, 1, height}, {279, 4, 1, static_cast<uint32_t>(codes.size())}},
            {{512, codes}});
}

}  // namespace tablora::test
