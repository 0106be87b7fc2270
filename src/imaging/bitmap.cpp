#include "imaging/bitmap.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"

namespace tablora {

namespace {

bool IsIndexed(TPixelFormat format) {
  return format == pf1bit || format == pf4bit || format == pf8bit;
}

uint8_t Expand5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
uint8_t Expand6(unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

TColor ReadColor(const uint8_t* row, int x, TPixelFormat format, const TPalette& palette) {
  switch (format) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
      const uint8_t index = PackedIndex(row, x, TBitmap::BitsPerPixelOf(format));
      if (index >= palette.size()) return clBlack;
      const TPaletteEntry& e = palette[index];
      return RGB(e.peRed, e.peGreen, e.peBlue);
    }
    case pf15bit: {
      const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return RGB(Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
    }
    case pf16bit: {
      const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return RGB(Expand5((v >> 11) & 31), Expand6((v >> 5) & 63), Expand5(v & 31));
    }
    case pf24bit: return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default: return RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
  }
}

// Nearest palette entry by squared distance; a cache over 15-bit colours keeps conversions linear.
class NearestColor {
 public:
  explicit NearestColor(const TPalette& palette) : palette_(palette) { cache_.fill(-1); }

  uint8_t operator()(TColor color) {
    const unsigned key = ((GetRValue(color) >> 3) << 10) | ((GetGValue(color) >> 3) << 5) |
                         (GetBValue(color) >> 3);
    if (cache_[key] >= 0 && exact_[key] == color) return static_cast<uint8_t>(cache_[key]);
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      const int dr = palette_[i].peRed - GetRValue(color);
      const int dg = palette_[i].peGreen - GetGValue(color);
      const int db = palette_[i].peBlue - GetBValue(color);
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<int>(i);
      }
    }
    cache_[key] = static_cast<int16_t>(best);
    exact_[key] = color;
    return static_cast<uint8_t>(best);
  }

 private:
  const TPalette& palette_;
  std::array<int16_t, 32768> cache_;
  std::array<TColor, 32768> exact_{};
};

void WriteColor(uint8_t* row, int x, TPixelFormat format, TColor color, NearestColor* nearest) {
  const uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  switch (format) {
    case pf1bit:
    case pf4bit:
    case pf8bit: SetPackedIndex(row, x, TBitmap::BitsPerPixelOf(format), (*nearest)(color)); break;
    case pf15bit: {
      const unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      row[2 * x] = static_cast<uint8_t>(v);
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case pf16bit: {
      const unsigned v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      row[2 * x] = static_cast<uint8_t>(v);
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case pf24bit:
      row[3 * x] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
      break;
    default:
      row[4 * x] = b;
      row[4 * x + 1] = g;
      row[4 * x + 2] = r;
      row[4 * x + 3] = 0;
  }
}

TPalette DefaultPaletteFor(TPixelFormat format) {
  switch (format) {
    case pf1bit: return TBitmap::MonochromePalette();
    case pf4bit: return TBitmap::SystemPalette16();
    case pf8bit: return TBitmap::HalftonePalette();
    default: return {};
  }
}

}  // namespace

uint8_t PackedIndex(const uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default: return row[x];
  }
}

void SetPackedIndex(uint8_t* row, int x, int bits, uint8_t index) {
  switch (bits) {
    case 1: {
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = (index & 1) ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask);
      break;
    }
    case 4:
      if (x & 1) {
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
      } else {
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | (index << 4));
      }
      break;
    default: row[x] = index;
  }
}

TPixelMemory::TPixelMemory(std::size_t size) : size_(size) {
  if (size == 0) return;
  bytes_.reset(static_cast<uint8_t*>(std::calloc(size, 1)));
  if (!bytes_) {
    size_ = 0;
    throw std::bad_alloc();
  }
}

TPixelMemory::TPixelMemory(const TPixelMemory& other) : TPixelMemory(other.size_) {
  if (size_ != 0) std::memcpy(bytes_.get(), other.bytes_.get(), size_);
}

TPixelMemory& TPixelMemory::operator=(const TPixelMemory& other) {
  if (this != &other) *this = TPixelMemory(other);
  return *this;
}

void TPixelMemory::Free::operator()(uint8_t* bytes) const { std::free(bytes); }

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

TBitmap::TBitmap(const TBitmap& other) { Assign(other); }

TBitmap& TBitmap::operator=(const TBitmap& other) {
  if (this != &other) Assign(other);
  return *this;
}

void TBitmap::Assign(const TBitmap& source) {
  if (this == &source) return;
  width_ = source.width_;
  height_ = source.height_;
  pixelFormat_ = source.pixelFormat_;
  rowSize_ = source.rowSize_;
  TMemoryCharge pixelsCharge(source.pixels_.size());
  TMemoryCharge fileDataCharge(source.FileData.size());
  pixels_ = source.pixels_;
  pixelsCharge_ = std::move(pixelsCharge);
  fileDataCharge_ = std::move(fileDataCharge);
  palette_ = source.palette_;
  paletteModified_ = source.paletteModified_;
  transparent_ = source.transparent_;
  transparentColor_ = source.transparentColor_;
  alphaChannel_ = source.alphaChannel_;
  paletteAlpha_ = source.paletteAlpha_;
  XPelsPerMeter = source.XPelsPerMeter;
  YPelsPerMeter = source.YPelsPerMeter;
  ColorsUsed = source.ColorsUsed;
  ColorsImportant = source.ColorsImportant;
  FileData = source.FileData;
}

int TBitmap::BitsPerPixelOf(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pfDevice:
    case pf32bit: return 32;
    default: return 0;
  }
}

void TBitmap::SetWidth(int width) { SetSize(width, height_); }
void TBitmap::SetHeight(int height) { SetSize(width_, height); }

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  Reallocate(width, height, pixelFormat_, true);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format > pfCustom || format == pfCustom) throw EInvalidGraphic("Invalid pixel format");
  if (format == pixelFormat_) return;
  Reallocate(width_, height_, format, true);
}

void TBitmap::Reallocate(int width, int height, TPixelFormat format, bool keepPixels) {
  const int bits = BitsPerPixelOf(format);
  CheckImageSize(width, height, static_cast<unsigned>(bits));
  const std::size_t rowSize =
      width > 0 && height > 0
          ? static_cast<std::size_t>(
                AlignedRowSize(static_cast<uint64_t>(width), static_cast<unsigned>(bits)).value_or(0))
          : 0;
  const std::size_t total = rowSize * static_cast<std::size_t>(std::max(height, 0));
  TMemoryCharge charge(total);
  TPixelMemory pixels(total);

  TPalette palette = palette_;
  if (format != pixelFormat_) {
    const std::size_t capacity = IsIndexed(format) ? (std::size_t{1} << bits) : 0;
    const bool keepIndices =
        IsIndexed(format) && IsIndexed(pixelFormat_) && !palette_.empty() && palette_.size() <= capacity;
    if (IsIndexed(format) && !keepIndices) palette = DefaultPaletteFor(format);
    if (!IsIndexed(format) && !palette_.empty() && !IsIndexed(pixelFormat_)) palette = palette_;
    if (IsIndexed(format)) paletteModified_ = true;
  }

  if (keepPixels && !pixels_.empty() && !pixels.empty()) {
    const int rows = std::min(height, height_);
    const int columns = std::min(width, width_);
    // A conversion of a large bitmap takes seconds; it looks at Cancel every few hundred thousand
    // pixels (the bitmap stays as it was when it stops).
    uint64_t sinceCheck = 0;
    auto rowDone = [&] {
      sinceCheck += static_cast<uint64_t>(columns);
      if (sinceCheck >= (uint64_t{1} << 18)) {
        sinceCheck = 0;
        CheckCancel();
      }
    };
    if (format == pixelFormat_) {
      const std::size_t bytes = std::min(rowSize, (static_cast<std::size_t>(columns) * bits + 7) / 8);
      for (int y = 0; y < rows; ++y) {
        std::memcpy(pixels.data() + rowSize * y, pixels_.data() + rowSize_ * y, bytes);
      }
    } else if (IsIndexed(format) && IsIndexed(pixelFormat_) && palette == palette_) {
      const int oldBits = BitsPerPixelOf(pixelFormat_);
      for (int y = 0; y < rows; ++y) {
        const uint8_t* src = pixels_.data() + rowSize_ * y;
        uint8_t* dst = pixels.data() + rowSize * y;
        for (int x = 0; x < columns; ++x) SetPackedIndex(dst, x, bits, PackedIndex(src, x, oldBits));
        rowDone();
      }
    } else {
      NearestColor nearest(palette);
      for (int y = 0; y < rows; ++y) {
        const uint8_t* src = pixels_.data() + rowSize_ * y;
        uint8_t* dst = pixels.data() + rowSize * y;
        for (int x = 0; x < columns; ++x) {
          WriteColor(dst, x, format, ReadColor(src, x, pixelFormat_, palette_), &nearest);
        }
        rowDone();
      }
    }
  } else if (format != pixelFormat_ && IsIndexed(format) && palette_.empty()) {
    palette = DefaultPaletteFor(format);
  }

  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixelFormat_ = format;
  rowSize_ = rowSize;
  pixels_ = std::move(pixels);
  pixelsCharge_ = std::move(charge);
  palette_ = std::move(palette);
}

uint8_t* TBitmap::ScanLine(int row) {
  if (row < 0 || row >= height_ || pixels_.empty()) {
    throw EInvalidGraphicOperation("Scan line index out of range");
  }
  return pixels_.data() + rowSize_ * static_cast<std::size_t>(row);
}

const uint8_t* TBitmap::ScanLine(int row) const {
  return const_cast<TBitmap*>(this)->ScanLine(row);
}

void TBitmap::SetPalette(TPalette palette) {
  if (palette.size() > kMaxPaletteEntries) palette.resize(kMaxPaletteEntries);
  palette_ = std::move(palette);
  paletteModified_ = true;
}

bool TBitmap::HasTransparency() const {
  if (transparent_ || (alphaChannel_ && pixelFormat_ == pf32bit)) return true;
  for (std::size_t i = 0; i < paletteAlpha_.size() && i < palette_.size(); ++i) {
    if (paletteAlpha_[i] != 255) return true;
  }
  return false;
}

void TBitmap::ReleaseContents() {
  alphaChannel_ = false;
  paletteAlpha_.clear();
  width_ = 0;
  height_ = 0;
  rowSize_ = 0;
  pixels_ = TPixelMemory();
  pixelsCharge_.Set(0);
  palette_.clear();
  FileData.clear();
  FileData.shrink_to_fit();
  fileDataCharge_.Set(0);
}

TColor TBitmap::PixelColor(int x, int y) const {
  if (x < 0 || x >= width_) throw EInvalidGraphicOperation("Pixel index out of range");
  return ReadColor(ScanLine(y), x, pixelFormat_, palette_);
}

void TBitmap::SetPixelColor(int x, int y, TColor color) {
  if (x < 0 || x >= width_) throw EInvalidGraphicOperation("Pixel index out of range");
  uint8_t* row = ScanLine(y);
  if (IsIndexed(pixelFormat_)) {
    NearestColor nearest(palette_);
    WriteColor(row, x, pixelFormat_, color, &nearest);
  } else {
    WriteColor(row, x, pixelFormat_, color, nullptr);
  }
}

void TBitmap::LoadFromFile(const std::string& path) {
  TFileStream file(path);
  LoadFromStream(file);
}

TPalette TBitmap::MonochromePalette() { return {{0, 0, 0, 0}, {255, 255, 255, 0}}; }

TPalette TBitmap::SystemPalette16() {
  // The classic 16 VGA colours: the first eight dark, the last eight bright.
  static const uint8_t colours[16][3] = {
      {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
      {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
      {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  TPalette palette;
  for (const auto& c : colours) palette.push_back({c[0], c[1], c[2], 0});
  return palette;
}

TPalette TBitmap::HalftonePalette() {
  // A 6 x 6 x 6 colour cube followed by a ramp of greys.
  TPalette palette;
  palette.reserve(256);
  for (int r = 0; r < 6; ++r) {
    for (int g = 0; g < 6; ++g) {
      for (int b = 0; b < 6; ++b) {
        palette.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                           static_cast<uint8_t>(b * 51), 0});
      }
    }
  }
  for (int i = 0; palette.size() < 256; ++i) {
    const auto v = static_cast<uint8_t>((i + 1) * 255 / 41);
    palette.push_back({v, v, v, 0});
  }
  return palette;
}

}  // namespace tablora
