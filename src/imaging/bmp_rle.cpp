#include "imaging/bmp_rle.h"

#include <algorithm>
#include <cstring>

#include "imaging/cancel.h"

namespace tablora {

namespace {

// Row writer that clips at the right edge and keeps x at most width, so a stream of runs without
// any end of line can never push the column position into overflow.
class RleRowWriter {
 public:
  RleRowWriter(TBitmap& bitmap, int bitsPerPixel)
      : bitmap_(bitmap), width_(bitmap.Width()), height_(bitmap.Height()), bits_(bitsPerPixel) {
    SelectRow();
  }

  bool Done() const { return y_ >= height_; }

  void Run(int count, uint8_t value) {
    const int n = std::min(count, width_ - x_);
    if (n <= 0) return;
    if (bits_ == 8) {
      std::memset(row_ + x_, value, static_cast<std::size_t>(n));
      x_ += n;
      return;
    }
    // RLE4 runs alternate the high and the low nibble of the value byte.
    for (int i = 0; i < n; ++i) Put((i & 1) ? (value & 0x0F) : (value >> 4));
  }

  // Literal pixels of an absolute run, count of them packed in the bytes at data.
  void Literal(const uint8_t* data, int count) {
    const int n = std::min(count, width_ - x_);
    if (n <= 0) return;
    if (bits_ == 8) {
      std::memcpy(row_ + x_, data, static_cast<std::size_t>(n));
      x_ += n;
      return;
    }
    for (int i = 0; i < n; ++i) Put((i & 1) ? (data[i >> 1] & 0x0F) : (data[i >> 1] >> 4));
  }

  void EndOfLine() { Move(-x_, 1); }

  void Move(int dx, int dy) {
    x_ = std::min(x_ + dx, width_);
    if (dy != 0) {
      y_ += dy;
      SelectRow();
    }
  }

 private:
  void SelectRow() {
    CheckCancel();
    // The file's first row is the bottom row of the picture.
    row_ = y_ < height_ ? bitmap_.ScanLine(height_ - 1 - y_) : nullptr;
  }

  void Put(uint8_t index) {
    uint8_t& byte = row_[x_ >> 1];
    byte = (x_ & 1) ? static_cast<uint8_t>((byte & 0xF0) | index)
                    : static_cast<uint8_t>((byte & 0x0F) | (index << 4));
    ++x_;
  }

  TBitmap& bitmap_;
  const int width_;
  const int height_;
  const int bits_;
  int x_ = 0;
  int y_ = 0;
  uint8_t* row_ = nullptr;
};

}  // namespace

void DecodeBmpRle(const uint8_t* data, std::size_t size, int bitsPerPixel, TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  RleRowWriter out(bitmap, bitsPerPixel);
  std::size_t pos = 0;
  uint32_t steps = 0;
  while (!out.Done() && size - pos >= 2) {
    // A row of runs without an end may be long: a cancel request is looked for within it too.
    if ((++steps & 0xFFFF) == 0) CheckCancel();
    const uint8_t count = data[pos];
    const uint8_t value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      out.Run(count, value);
      continue;
    }
    switch (value) {
      case 0: out.EndOfLine(); break;
      case 1: return;
      case 2:
        if (size - pos < 2) return;
        out.Move(data[pos], data[pos + 1]);
        pos += 2;
        break;
      default: {
        // Absolute run: value literal pixels, their bytes padded to a 16-bit boundary.
        const std::size_t bytes = bitsPerPixel == 8 ? value : (value + 1u) / 2;
        const std::size_t available = std::min(bytes, size - pos);
        const int pixels =
            bitsPerPixel == 8 ? static_cast<int>(available) : static_cast<int>(std::min<std::size_t>(value, available * 2));
        out.Literal(data + pos, pixels);
        pos += std::min((bytes + 1) & ~std::size_t{1}, size - pos);
        break;
      }
    }
  }
}

}  // namespace tablora
