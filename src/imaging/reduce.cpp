#include "imaging/reduce.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/cancel.h"
#include "imaging/memory_budget.h"
#include "imaging/work_budget.h"

namespace tablora {

namespace {

constexpr int kWeightBits = 14;
constexpr int32_t kWeightOne = 1 << kWeightBits;

// Cancel and the work budget are looked at after about this much work (pixels read or written),
// a fraction of a millisecond.
constexpr uint64_t kWorkBetweenChecks = uint64_t{1} << 18;

// Pixels of formats that are widened to 24 bits first are widened in pieces of this many, so
// that a row of any width costs one small buffer.
constexpr int kPiece = 1 << 14;

// Indexed pixels of a span longer than this are counted per palette index rather than summed one
// by one.
constexpr int kCountFrom = 2048;

// Spans up to this long weigh their inner pixels with the same 14-bit weight as their edges
// (which keeps the result of every ordinary reduction as it always was); longer ones, where a
// 14-bit weight per pixel would round to nothing, weigh the sum of their inner pixels exactly.
constexpr int kFixedSpanUpTo = 4096;

class WorkMeter {
 public:
  void Add(uint64_t units) {
    done_ += units;
    if (done_ >= kWorkBetweenChecks) {
      done_ = 0;
      CheckCancel();
    }
  }

 private:
  uint64_t done_ = 0;
};

// The source pixels one target pixel draws from, with fixed-point weights summing to one. An area
// average weighs every pixel but the edges of its span alike, so a span holds four weights
// whatever its length: the tables grow with the target, never with the source.
struct Span {
  int first = 0;
  int count = 1;
  int32_t head = kWeightOne;  // pixel first
  int32_t second = 0;         // pixel first + 1, when count > 2
  int32_t inner = 0;          // each of first + 2 .. first + count - 2, when count > 3
  int32_t tail = 0;           // pixel first + count - 1, when count > 1
  double exactInner = 0;      // inner's exact value, used when count > kFixedSpanUpTo
};

std::vector<Span> Spans(int sourceSize, int targetSize) {
  std::vector<Span> list(static_cast<std::size_t>(targetSize));
  const double scale = static_cast<double>(sourceSize) / targetSize;
  for (int t = 0; t < targetSize; ++t) {
    if ((t & 0xFFF) == 0xFFF) CheckCancel();
    Span& c = list[static_cast<std::size_t>(t)];
    double head = 1.0;
    double tail = 0.0;
    if (scale >= 1.0) {
      // Area average: the overlap of [t, t+1) · scale with each source pixel; the inner ones are
      // covered whole.
      const double begin = t * scale;
      const double end = std::min<double>((t + 1) * scale, sourceSize);
      c.first = static_cast<int>(begin);
      c.count = std::max(1, static_cast<int>(std::ceil(end)) - c.first);
      head = std::min<double>(c.first + 1, end) - std::max<double>(c.first, begin);
      if (c.count > 1) tail = end - (c.first + c.count - 1);
    } else {
      // Linear interpolation between the two nearest source centres.
      const double centre = std::clamp((t + 0.5) * scale - 0.5, 0.0, sourceSize - 1.0);
      c.first = static_cast<int>(centre);
      const double f = centre - c.first;
      head = 1.0 - f;
      tail = f;
      c.count = c.first + 1 < sourceSize ? 2 : 1;
    }
    const int inners = std::max(c.count - 2, 0);
    const double total = head + inners + (c.count > 1 ? tail : 0.0);
    auto weight = [&](double v) { return static_cast<int32_t>(std::lround(v / total * kWeightOne)); };
    c.head = weight(head);
    c.tail = c.count > 1 ? weight(tail) : 0;
    const int32_t one = inners > 0 ? weight(1.0) : 0;
    c.second = one;
    c.inner = one;
    c.exactInner = kWeightOne / total;
    if (c.count > kFixedSpanUpTo) continue;
    // Rounding leftovers go to the largest weight (the first of equals), so flat areas stay
    // exactly flat.
    const auto leftover = static_cast<int32_t>(kWeightOne - (int64_t{c.head} + int64_t{one} * inners + c.tail));
    const int32_t largest = std::max({c.head, one, c.tail});
    if (c.head == largest) {
      c.head += leftover;
    } else if (inners > 0 && one == largest) {
      c.second += leftover;
    } else {
      c.tail += leftover;
    }
  }
  return list;
}

inline uint8_t OverWhite(uint8_t value, uint8_t alpha) {
  return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// The colour of a palette index over white as ExpandRange gives it.
std::array<uint8_t, 3> IndexOverWhite(const TBitmap& source, unsigned index) {
  const TPalette& palette = source.Palette();
  const std::vector<uint8_t>& alpha = source.PaletteAlpha();
  const TPaletteEntry e = index < palette.size() ? palette[index] : TPaletteEntry{};
  if (source.Transparent() && (RGB(e.peRed, e.peGreen, e.peBlue) & 0xFFFFFF) == (source.TransparentColor() & 0xFFFFFF)) {
    return {255, 255, 255};
  }
  const uint8_t a = index < alpha.size() ? alpha[index] : 255;
  return {OverWhite(e.peBlue, a), OverWhite(e.peGreen, a), OverWhite(e.peRed, a)};
}

// Pixels x0 .. x0 + count - 1 of row y as blue, green, red bytes over white.
void ExpandRange(const TBitmap& source, int y, int x0, int count, uint8_t* bgr) {
  const uint8_t* row = source.ScanLine(y);
  const TPixelFormat format = source.PixelFormat();
  uint8_t* out = bgr;
  const int end = x0 + count;
  if (format == pf24bit) {
    std::memcpy(out, row + static_cast<std::size_t>(x0) * 3, static_cast<std::size_t>(count) * 3);
  } else if (format == pf32bit || format == pfDevice) {
    const bool alpha = source.AlphaChannel();
    row += static_cast<std::size_t>(x0) * 4;
    for (int x = x0; x < end; ++x, row += 4, out += 3) {
      const uint8_t a = alpha ? row[3] : 255;
      out[0] = OverWhite(row[0], a);
      out[1] = OverWhite(row[1], a);
      out[2] = OverWhite(row[2], a);
    }
  } else if (format >= pf1bit && format <= pf8bit) {
    const TPalette& palette = source.Palette();
    const std::vector<uint8_t>& alpha = source.PaletteAlpha();
    const int bits = source.BitsPerPixel();
    for (int x = x0; x < end; ++x, out += 3) {
      const uint8_t index = PackedIndex(row, x, bits);
      const TPaletteEntry e = index < palette.size() ? palette[index] : TPaletteEntry{};
      const uint8_t a = index < alpha.size() ? alpha[index] : 255;
      out[0] = OverWhite(e.peBlue, a);
      out[1] = OverWhite(e.peGreen, a);
      out[2] = OverWhite(e.peRed, a);
    }
  } else {
    for (int x = x0; x < end; ++x, out += 3) {
      const TColor c = source.PixelColor(x, y);
      out[0] = GetBValue(c);
      out[1] = GetGValue(c);
      out[2] = GetRValue(c);
    }
  }
  if (source.Transparent()) {
    // The colour key is matched on the stored colour, before any compositing.
    const TColor key = source.TransparentColor() & 0xFFFFFF;
    for (int x = x0; x < end; ++x) {
      if ((source.PixelColor(x, y) & 0xFFFFFF) == key) std::memset(bgr + (x - x0) * 3, 255, 3);
    }
  }
}

// Sums of blue, green and red over bgr pixels [0, count), in pieces small enough for 32-bit sums.
// A short span is left to the meter of its row.
inline void SumBgr(const uint8_t* p, int64_t count, int64_t* sum, WorkMeter& meter) {
  const bool metered = count > kPiece;
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, kPiece);
    uint32_t b = 0, g = 0, r = 0;
    for (int64_t i = 0; i < n; ++i, p += 3) {
      b += p[0];
      g += p[1];
      r += p[2];
    }
    sum[0] += b;
    sum[1] += g;
    sum[2] += r;
    count -= n;
    if (metered) meter.Add(static_cast<uint64_t>(n));
  }
}

// Row y of the source; the spans keep y within the picture.
inline const uint8_t* RowOf(const TBitmap& source, int y) {
  return source.Bits() + source.RowSize() * static_cast<std::size_t>(y);
}

// A row of 24-bit pixels is read as it is stored.
class DirectRow {
 public:
  explicit DirectRow(const TBitmap& source) : source_(source) {}
  void Begin(int y) { row_ = RowOf(source_, y); }
  const uint8_t* At(int s) const { return row_ + static_cast<std::size_t>(s) * 3; }
  void Sum(int a, int b, int64_t* sum, WorkMeter& meter) const { SumBgr(At(a), b - a, sum, meter); }

 private:
  const TBitmap& source_;
  const uint8_t* row_ = nullptr;
};

// Rows of 3-byte pixels in a decoder's own plane.
class PlaneRow {
 public:
  PlaneRow(const uint8_t* plane, std::size_t stride) : plane_(plane), stride_(stride) {}
  void Begin(int y) { row_ = plane_ + stride_ * static_cast<std::size_t>(y); }
  const uint8_t* At(int s) const { return row_ + static_cast<std::size_t>(s) * 3; }
  void Sum(int a, int b, int64_t* sum, WorkMeter& meter) const { SumBgr(At(a), b - a, sum, meter); }

 private:
  const uint8_t* plane_;
  std::size_t stride_;
  const uint8_t* row_ = nullptr;
};

// Rows of other formats are widened to 24 bits over white: a narrow row at once, a wide one piece
// by piece as the spans need it.
class ExpandedRow {
 public:
  ExpandedRow(const TBitmap& source, std::vector<uint8_t>& buffer)
      : source_(source), buffer_(buffer), whole_(source.Width() <= kPiece) {}
  void Begin(int y) {
    y_ = y;
    if (whole_) ExpandRange(source_, y, 0, source_.Width(), buffer_.data());
  }
  const uint8_t* At(int s) {
    if (whole_) return buffer_.data() + static_cast<std::size_t>(s) * 3;
    ExpandRange(source_, y_, s, 1, pixel_);
    return pixel_;
  }
  void Sum(int a, int b, int64_t* sum, WorkMeter& meter) {
    if (whole_) return SumBgr(buffer_.data() + static_cast<std::size_t>(a) * 3, b - a, sum, meter);
    for (int s = a; s < b; s += kPiece) {
      const int n = std::min(b - s, kPiece);
      ExpandRange(source_, y_, s, n, buffer_.data());
      SumBgr(buffer_.data(), n, sum, meter);
    }
  }

 private:
  const TBitmap& source_;
  std::vector<uint8_t>& buffer_;
  const bool whole_;
  int y_ = 0;
  uint8_t pixel_[3] = {};
};

// Rows of 1, 4 or 8 bits per pixel are read through the colours of their palette indices; a
// long span counts how often each index occurs (bits set, for one bit per pixel) instead of
// widening its pixels.
template <int kBits>
class IndexedRow {
 public:
  static constexpr int kPerByte = 8 / kBits;
  static constexpr int kIndices = 1 << kBits;

  explicit IndexedRow(const TBitmap& source) : source_(source) {
    for (int i = 0; i < kIndices; ++i) colours_[static_cast<std::size_t>(i)] = IndexOverWhite(source, static_cast<unsigned>(i));
  }
  void Begin(int y) { row_ = RowOf(source_, y); }
  const uint8_t* At(int s) const { return colours_[Index(row_, s)].data(); }
  void Sum(int a, int b, int64_t* sum, WorkMeter& meter) const {
    if constexpr (kBits == 1) {
      const uint64_t ones = OnesIn(row_, a, b, meter);
      const uint64_t zeros = static_cast<uint64_t>(b - a) - ones;
      for (int k = 0; k < 3; ++k) sum[k] += static_cast<int64_t>(ones * colours_[1][k] + zeros * colours_[0][k]);
      return;
    }
    if (b - a < kCountFrom) {
      uint32_t bgr[3] = {};
      for (int s = a; s < b; ++s) {
        const uint8_t* p = At(s);
        bgr[0] += p[0];
        bgr[1] += p[1];
        bgr[2] += p[2];
      }
      for (int k = 0; k < 3; ++k) sum[k] += bgr[k];
      return;
    }
    std::array<uint64_t, kIndices> times{};
    // Whole bytes in the middle, single pixels at either end.
    const int from = (a + kPerByte - 1) / kPerByte * kPerByte;
    const int to = b / kPerByte * kPerByte;
    for (int s = a; s < from; ++s) ++times[Index(row_, s)];
    for (int s = to; s < b; ++s) ++times[Index(row_, s)];
    CountBytes(row_ + from / kPerByte, static_cast<std::size_t>(to - from) / kPerByte, times, meter);
    for (int i = 0; i < kIndices; ++i) {
      const uint8_t* p = colours_[static_cast<std::size_t>(i)].data();
      for (int k = 0; k < 3; ++k) sum[k] += static_cast<int64_t>(times[static_cast<std::size_t>(i)] * p[k]);
    }
  }

 private:
  static uint8_t Index(const uint8_t* row, int x) {
    if constexpr (kBits == 8) return row[x];
    if constexpr (kBits == 4) return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
  }

  // Bits set among pixels [a, b) of a row of one bit per pixel, the leftmost in the high bit.
  static uint64_t OnesIn(const uint8_t* row, int a, int b, WorkMeter& meter) {
    const std::size_t firstByte = static_cast<std::size_t>(a) >> 3;
    const std::size_t lastByte = static_cast<std::size_t>(b - 1) >> 3;
    const auto headMask = static_cast<uint8_t>(0xFF >> (a & 7));
    const auto tailMask = static_cast<uint8_t>(0xFF << (7 - ((b - 1) & 7)));
    if (firstByte == lastByte) return static_cast<uint64_t>(std::popcount(static_cast<uint8_t>(row[firstByte] & headMask & tailMask)));
    uint64_t ones = static_cast<uint64_t>(std::popcount(static_cast<uint8_t>(row[firstByte] & headMask))) +
                    static_cast<uint64_t>(std::popcount(static_cast<uint8_t>(row[lastByte] & tailMask)));
    std::array<uint64_t, kIndices> times{};
    CountBytes(row + firstByte + 1, lastByte - firstByte - 1, times, meter);
    return ones + times[1];
  }

  static void CountBytes(const uint8_t* bytes, std::size_t size, std::array<uint64_t, kIndices>& times,
                         WorkMeter& meter) {
    constexpr std::size_t kBytesPerPiece = std::size_t{1} << 16;
    while (size > 0) {
      const std::size_t n = std::min(size, kBytesPerPiece);
      if constexpr (kBits == 1) {
        uint64_t ones = 0;
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
          uint64_t word;
          std::memcpy(&word, bytes + i, 8);
          ones += static_cast<uint64_t>(std::popcount(word));
        }
        for (; i < n; ++i) ones += static_cast<uint64_t>(std::popcount(bytes[i]));
        times[1] += ones;
        times[0] += n * 8 - ones;
      } else {
        // Four tables, so that runs of one value do not wait on their own increments.
        uint32_t tables[4][256] = {};
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4) {
          ++tables[0][bytes[i]];
          ++tables[1][bytes[i + 1]];
          ++tables[2][bytes[i + 2]];
          ++tables[3][bytes[i + 3]];
        }
        for (; i < n; ++i) ++tables[0][bytes[i]];
        for (int v = 0; v < 256; ++v) {
          const uint64_t c = uint64_t{tables[0][v]} + tables[1][v] + tables[2][v] + tables[3][v];
          if (c == 0) continue;
          if constexpr (kBits == 8) {
            times[static_cast<std::size_t>(v)] += c;
          } else {
            times[static_cast<std::size_t>(v >> 4)] += c;
            times[static_cast<std::size_t>(v & 15)] += c;
          }
        }
      }
      bytes += n;
      size -= n;
      meter.Add(n * kPerByte / 4 + 1);
    }
  }

  const TBitmap& source_;
  const uint8_t* row_ = nullptr;
  std::array<std::array<uint8_t, 3>, kIndices> colours_{};
};

inline int64_t InnerPart(const Span& c, int64_t sum) {
  return c.count > kFixedSpanUpTo ? std::llround(static_cast<double>(sum) * c.exactInner) : sum * c.inner;
}

// One source row filtered across: a fixed-point sum (weights summing to one) per target pixel.
template <class Row>
void FilterRow(Row& row, const std::vector<Span>& columns, int32_t* out, WorkMeter& meter) {
  for (const Span& c : columns) {
    int64_t acc[3];
    const uint8_t* p = row.At(c.first);
    for (int k = 0; k < 3; ++k) acc[k] = int64_t{p[k]} * c.head;
    if (c.count > 1) {
      p = row.At(c.first + c.count - 1);
      for (int k = 0; k < 3; ++k) acc[k] += int64_t{p[k]} * c.tail;
    }
    if (c.count > 2) {
      p = row.At(c.first + 1);
      for (int k = 0; k < 3; ++k) acc[k] += int64_t{p[k]} * c.second;
    }
    if (c.count > 3) {
      int64_t inner[3] = {};
      row.Sum(c.first + 2, c.first + c.count - 1, inner, meter);
      for (int k = 0; k < 3; ++k) acc[k] += InnerPart(c, inner[k]);
    }
    for (int k = 0; k < 3; ++k) out[k] = static_cast<int32_t>(acc[k]);
    out += 3;
  }
  meter.Add(columns.size() + static_cast<uint64_t>(columns.back().first + columns.back().count));
}

template <class Row>
void Reduce(Row& row, const std::vector<Span>& columns, const std::vector<Span>& rows, TBitmap& target) {
  const std::size_t values = columns.size() * 3;
  // Horizontally filtered rows, each made once: consecutive target rows share one source row at
  // most, so two are kept.
  std::vector<int32_t> ring(2 * values);
  int ringRow[2] = {-1, -1};
  WorkMeter meter;
  auto filtered = [&](int y) -> const int32_t* {
    int32_t* out = ring.data() + static_cast<std::size_t>(y & 1) * values;
    if (ringRow[y & 1] == y) return out;
    ringRow[y & 1] = -1;
    row.Begin(y);
    FilterRow(row, columns, out, meter);
    ringRow[y & 1] = y;
    return out;
  };

  std::vector<int64_t> sum(values);
  std::vector<int64_t> inner(values);
  constexpr int64_t kHalf = int64_t{1} << (2 * kWeightBits - 1);
  for (std::size_t ty = 0; ty < rows.size(); ++ty) {
    const Span& c = rows[ty];
    auto add = [&](int y, int64_t w) {
      const int32_t* h = filtered(y);
      for (std::size_t i = 0; i < values; ++i) sum[i] += h[i] * w;
    };
    std::fill(sum.begin(), sum.end(), 0);
    // Source rows in increasing order, so that the ring still holds the shared one.
    add(c.first, c.head);
    if (c.count > 2) add(c.first + 1, c.second);
    if (c.count > 3) {
      std::fill(inner.begin(), inner.end(), 0);
      for (int y = c.first + 2; y < c.first + c.count - 1; ++y) {
        const int32_t* h = filtered(y);
        for (std::size_t i = 0; i < values; ++i) inner[i] += h[i];
      }
      for (std::size_t i = 0; i < values; ++i) sum[i] += InnerPart(c, inner[i]);
    }
    if (c.count > 1) add(c.first + c.count - 1, c.tail);
    uint8_t* out = target.ScanLine(static_cast<int>(ty));
    for (std::size_t i = 0; i < values; ++i) {
      out[i] = static_cast<uint8_t>(std::clamp<int64_t>((sum[i] + kHalf) >> (2 * kWeightBits), 0, 255));
    }
    meter.Add(values);
  }
}

}  // namespace

void ExpandRowOverWhite(const TBitmap& source, int y, uint8_t* bgr) {
  ExpandRange(source, y, 0, source.Width(), bgr);
}

TBitmap ReduceImage(const TBitmap& source, int width, int height) {
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  if (width <= 0 || height <= 0 || source.Empty()) return target;
  const TPixelFormat format = source.PixelFormat();
  const bool direct = format == pf24bit && !source.Transparent();
  const bool indexed = format >= pf1bit && format <= pf8bit;
  const double pixels = static_cast<double>(source.Width()) * source.Height();
  const double perPixel = direct                ? work_cost::kReduceDirect
                          : format == pf1bit    ? work_cost::kReduceBilevel
                          : indexed             ? work_cost::kReduceIndexed
                                                : work_cost::kReduceExpanded;
  // Each source row costs its spans as well, which counts for a very tall, narrow image.
  CheckWorkEstimate(pixels * perPixel + static_cast<double>(source.Height()) * (width + 8.0) * 1.5, 1.0);

  const uint64_t values = uint64_t(width) * 3;
  const uint64_t buffer = direct || indexed ? 0 : uint64_t(std::min(source.Width(), kPiece)) * 3;
  TMemoryCharge charge((uint64_t(width) + uint64_t(height)) * sizeof(Span) + values * (2 * 4 + 2 * 8) + buffer);
  target.SetSize(width, height);
  const std::vector<Span> columns = Spans(source.Width(), width);
  const std::vector<Span> rows = Spans(source.Height(), height);
  std::vector<uint8_t> expanded(buffer);
  switch (direct ? pf24bit : indexed ? format : pfCustom) {
    case pf24bit: {
      DirectRow row(source);
      Reduce(row, columns, rows, target);
      break;
    }
    case pf1bit: {
      IndexedRow<1> row(source);
      Reduce(row, columns, rows, target);
      break;
    }
    case pf4bit: {
      IndexedRow<4> row(source);
      Reduce(row, columns, rows, target);
      break;
    }
    case pf8bit: {
      IndexedRow<8> row(source);
      Reduce(row, columns, rows, target);
      break;
    }
    default: {
      ExpandedRow row(source, expanded);
      Reduce(row, columns, rows, target);
    }
  }
  return target;
}

TBitmap ReduceRgbPlane(const uint8_t* plane, std::size_t stride, int sourceWidth, int sourceHeight, int width,
                       int height) {
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return target;
  CheckWorkEstimate(static_cast<double>(sourceWidth) * sourceHeight * work_cost::kReduceDirect +
                        static_cast<double>(sourceHeight) * (width + 8.0) * 1.5,
                    1.0);
  const uint64_t values = uint64_t(width) * 3;
  TMemoryCharge charge((uint64_t(width) + uint64_t(height)) * sizeof(Span) + values * (2 * 4 + 2 * 8));
  target.SetSize(width, height);
  const std::vector<Span> columns = Spans(sourceWidth, width);
  const std::vector<Span> rows = Spans(sourceHeight, height);
  PlaneRow row(plane, stride);
  // Channels are filtered alike, so the order is put right on the small result.
  Reduce(row, columns, rows, target);
  for (int y = 0; y < height; ++y) {
    uint8_t* out = target.ScanLine(y);
    for (int x = 0; x < width; ++x, out += 3) std::swap(out[0], out[2]);
  }
  return target;
}

TBitmap ApplyOrientation(const TBitmap& image, int orientation) {
  if (orientation < 2 || orientation > 8 || image.Empty()) return image;
  TBitmap source = image;
  source.SetPixelFormat(pf24bit);
  const int w = source.Width();
  const int h = source.Height();
  const bool swap = SwapsSides(orientation);
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(swap ? h : w, swap ? w : h);
  for (int y = 0; y < target.Height(); ++y) {
    uint8_t* out = target.ScanLine(y);
    for (int x = 0; x < target.Width(); ++x) {
      int sx = 0, sy = 0;
      StoredPixel(orientation, w, h, x, y, sx, sy);
      std::memcpy(out + x * 3, source.ScanLine(sy) + sx * 3, 3);
    }
  }
  return target;
}

TBitmap CropImage(const TBitmap& image, int left, int top, int width, int height) {
  TBitmap source = image;
  source.SetPixelFormat(pf24bit);
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    std::memcpy(target.ScanLine(y), source.ScanLine(top + y) + static_cast<std::size_t>(left) * 3,
                static_cast<std::size_t>(width) * 3);
  }
  return target;
}

}  // namespace tablora
