#include "imaging/decoders/thunder_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace tablora {

namespace {

constexpr int kSkip = 100;  // a delta field that produces no pixel
constexpr int kTwoBitDeltas[4] = {0, 1, kSkip, -1};
constexpr int kThreeBitDeltas[8] = {0, 1, 2, 3, kSkip, -3, -2, -1};

// One row: pixels are counted up to the image width, but only those that fit the row's bytes
// in the destination are written.
class TRowWriter {
 public:
  TRowWriter(uint8_t* row, uint64_t width, uint64_t room) : row_(row), width_(width), room_(room) {}

  bool Full() const { return count_ >= width_; }
  uint64_t Count() const { return count_; }

  void Set(int value) {
    last_ = static_cast<unsigned>(value) & 0x0F;
    if (count_ >= width_) return;
    if (count_ < room_) {
      uint8_t& byte = row_[count_ / 2];
      if (count_ & 1) {
        byte = static_cast<uint8_t>(byte | last_);
      } else {
        byte = static_cast<uint8_t>(last_ << 4);
      }
    }
    ++count_;
  }

  void Delta(int delta) {
    if (delta != kSkip) Set(static_cast<int>(last_) + delta);
  }

  // n more copies of the last pixel.
  void Run(unsigned n) {
    uint64_t count = std::min<uint64_t>(n, width_ - count_);
    if (count == 0) return;
    if (count_ & 1) {
      Set(static_cast<int>(last_));
      --count;
    }
    // Now on a byte: whole bytes of two pixels, then perhaps a high nibble.
    const uint64_t end = std::min(count_ + count, room_);
    if (end > count_) {
      const uint64_t pixels = end - count_;
      std::memset(row_ + count_ / 2, static_cast<int>(last_ * 0x11), static_cast<std::size_t>(pixels / 2));
      if (pixels & 1) row_[(end - 1) / 2] = static_cast<uint8_t>(last_ << 4);
    }
    count_ += count;
  }

 private:
  uint8_t* row_;
  uint64_t width_;
  uint64_t room_;  // pixels the destination holds of this row
  uint64_t count_ = 0;
  unsigned last_ = 0;
};

}  // namespace

TDecodeResult TThunderDecoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  const uint64_t rowBytes = (uint64_t{Width} + 1) / 2;
  if (rowBytes == 0) return {};
  const uint8_t* in = source.data();
  const uint8_t* const inEnd = in + source.size();
  std::size_t produced = 0;
  for (uint64_t rowStart = 0; rowStart < destination.size() && in < inEnd; rowStart += rowBytes) {
    const uint64_t room = std::min<uint64_t>(rowBytes, destination.size() - rowStart) * 2;
    TRowWriter row(destination.data() + rowStart, Width, room);
    while (!row.Full() && in < inEnd) {
      const unsigned code = *in++;
      switch (code >> 6) {
        case 0:
          row.Run(code & 0x3F);
          break;
        case 1:
          row.Delta(kTwoBitDeltas[(code >> 4) & 3]);
          row.Delta(kTwoBitDeltas[(code >> 2) & 3]);
          row.Delta(kTwoBitDeltas[code & 3]);
          break;
        case 2:
          row.Delta(kThreeBitDeltas[(code >> 3) & 7]);
          row.Delta(kThreeBitDeltas[code & 7]);
          break;
        default:
          row.Set(static_cast<int>(code));
          break;
      }
    }
    produced = static_cast<std::size_t>(rowStart + (std::min(row.Count(), room) + 1) / 2);
  }
  return {static_cast<std::size_t>(in - source.data()), produced};
}

}  // namespace tablora
