#include "imaging/reduce.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/cancel.h"

namespace tablora {

namespace {

constexpr int kWeightBits = 14;
constexpr int32_t kWeightOne = 1 << kWeightBits;

// The source pixels one target pixel draws from, with fixed-point weights summing to one.
struct Contribution {
  int first = 0;
  std::vector<int32_t> weights;
};

std::vector<Contribution> Contributions(int sourceSize, int targetSize) {
  std::vector<Contribution> list(static_cast<std::size_t>(targetSize));
  const double scale = static_cast<double>(sourceSize) / targetSize;
  for (int t = 0; t < targetSize; ++t) {
    std::vector<double> w;
    int first = 0;
    if (scale >= 1.0) {
      // Area average: the overlap of [t, t+1) · scale with each source pixel.
      const double begin = t * scale;
      const double end = std::min<double>((t + 1) * scale, sourceSize);
      first = static_cast<int>(begin);
      for (int s = first; s < end; ++s) w.push_back(std::min<double>(s + 1, end) - std::max<double>(s, begin));
    } else {
      // Linear interpolation between the two nearest source centres.
      const double centre = std::clamp((t + 0.5) * scale - 0.5, 0.0, sourceSize - 1.0);
      first = static_cast<int>(centre);
      const double f = centre - first;
      w = {1.0 - f};
      if (first + 1 < sourceSize) w.push_back(f);
    }
    double total = 0;
    for (double v : w) total += v;
    Contribution& c = list[static_cast<std::size_t>(t)];
    c.first = first;
    int32_t given = 0;
    for (double v : w) given += c.weights.emplace_back(static_cast<int32_t>(std::lround(v / total * kWeightOne)));
    // Rounding leftovers go to the largest weight, so flat areas stay exactly flat.
    *std::max_element(c.weights.begin(), c.weights.end()) += kWeightOne - given;
  }
  return list;
}

inline uint8_t OverWhite(uint8_t value, uint8_t alpha) {
  return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace

void ExpandRowOverWhite(const TBitmap& source, int y, uint8_t* bgr) {
  const uint8_t* row = source.ScanLine(y);
  const int width = source.Width();
  const TPixelFormat format = source.PixelFormat();
  uint8_t* out = bgr;
  if (format == pf24bit) {
    std::memcpy(out, row, static_cast<std::size_t>(width) * 3);
  } else if (format == pf32bit || format == pfDevice) {
    const bool alpha = source.AlphaChannel();
    for (int x = 0; x < width; ++x, row += 4, out += 3) {
      const uint8_t a = alpha ? row[3] : 255;
      out[0] = OverWhite(row[0], a);
      out[1] = OverWhite(row[1], a);
      out[2] = OverWhite(row[2], a);
    }
  } else if (format >= pf1bit && format <= pf8bit) {
    const TPalette& palette = source.Palette();
    const std::vector<uint8_t>& alpha = source.PaletteAlpha();
    const int bits = source.BitsPerPixel();
    for (int x = 0; x < width; ++x, out += 3) {
      const uint8_t index = PackedIndex(row, x, bits);
      const TPaletteEntry e = index < palette.size() ? palette[index] : TPaletteEntry{};
      const uint8_t a = index < alpha.size() ? alpha[index] : 255;
      out[0] = OverWhite(e.peBlue, a);
      out[1] = OverWhite(e.peGreen, a);
      out[2] = OverWhite(e.peRed, a);
    }
  } else {
    for (int x = 0; x < width; ++x, out += 3) {
      const TColor c = source.PixelColor(x, y);
      out[0] = GetBValue(c);
      out[1] = GetGValue(c);
      out[2] = GetRValue(c);
    }
  }
  if (source.Transparent()) {
    // The colour key is matched on the stored colour, before any compositing.
    const TColor key = source.TransparentColor() & 0xFFFFFF;
    for (int x = 0; x < width; ++x) {
      if ((source.PixelColor(x, y) & 0xFFFFFF) == key) std::memset(bgr + x * 3, 255, 3);
    }
  }
}

TBitmap ReduceImage(const TBitmap& source, int width, int height) {
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  if (width <= 0 || height <= 0 || source.Empty()) return target;
  target.SetSize(width, height);
  const int sourceWidth = source.Width();
  const std::vector<Contribution> columns = Contributions(sourceWidth, width);
  const std::vector<Contribution> rows = Contributions(source.Height(), height);

  // Horizontally filtered source rows, each made once, in a ring as deep as the widest row span.
  std::size_t depth = 1;
  for (const Contribution& c : rows) depth = std::max(depth, c.weights.size());
  std::vector<int32_t> ring(depth * static_cast<std::size_t>(width) * 3);
  std::vector<int> ringRow(depth, -1);
  std::vector<uint8_t> expanded(static_cast<std::size_t>(sourceWidth) * 3);
  const bool direct = source.PixelFormat() == pf24bit && !source.Transparent();
  auto filtered = [&](int y) -> const int32_t* {
    int32_t* out = ring.data() + (static_cast<std::size_t>(y) % depth) * width * 3;
    if (ringRow[static_cast<std::size_t>(y) % depth] == y) return out;
    ringRow[static_cast<std::size_t>(y) % depth] = y;
    CheckCancel();
    const uint8_t* in = direct ? source.ScanLine(y) : expanded.data();
    if (!direct) ExpandRowOverWhite(source, y, expanded.data());
    for (int x = 0; x < width; ++x) {
      const Contribution& c = columns[static_cast<std::size_t>(x)];
      const uint8_t* p = in + static_cast<std::size_t>(c.first) * 3;
      int32_t b = 0, g = 0, r = 0;
      for (int32_t w : c.weights) {
        b += p[0] * w;
        g += p[1] * w;
        r += p[2] * w;
        p += 3;
      }
      out[x * 3] = b;
      out[x * 3 + 1] = g;
      out[x * 3 + 2] = r;
    }
    return out;
  };

  std::vector<int64_t> sum(static_cast<std::size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    const Contribution& c = rows[static_cast<std::size_t>(y)];
    std::fill(sum.begin(), sum.end(), 0);
    for (std::size_t k = 0; k < c.weights.size(); ++k) {
      const int32_t* h = filtered(c.first + static_cast<int>(k));
      const int64_t w = c.weights[k];
      for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += h[i] * w;
    }
    uint8_t* out = target.ScanLine(y);
    constexpr int64_t kHalf = int64_t{1} << (2 * kWeightBits - 1);
    for (std::size_t i = 0; i < sum.size(); ++i) {
      out[i] = static_cast<uint8_t>(std::clamp<int64_t>((sum[i] + kHalf) >> (2 * kWeightBits), 0, 255));
    }
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
      // The stored pixel that shows at (x, y) once the image is turned upright.
      int sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x; sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = h - 1 - x; break;
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;
        case 8: sx = w - 1 - y; sy = x; break;
      }
      std::memcpy(out + x * 3, source.ScanLine(sy) + sx * 3, 3);
    }
  }
  return target;
}

}  // namespace tablora
