#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/memory_budget.h"
#include "imaging/stream.h"
#include "imaging/types.h"

namespace tablora {

// Pixel formats by ordinal. pfDevice stands for the screen's format, which is 32 bits here.
enum TPixelFormat : uint8_t {
  pfDevice = 0,
  pf1bit = 1,
  pf4bit = 2,
  pf8bit = 3,
  pf15bit = 4,  // 16 bits per pixel, 5-5-5
  pf16bit = 5,  // 16 bits per pixel, masks 0xF800, 0x07E0, 0x001F
  pf24bit = 6,  // blue, green, red
  pf32bit = 7,  // blue, green, red, unused
  pfCustom = 8,
};

// One palette entry in logical-palette order.
struct TPaletteEntry {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

using TPalette = std::vector<TPaletteEntry>;

constexpr std::size_t kMaxPaletteEntries = 256;

// Palette index of pixel x in a row of 1, 4 or 8 bits per pixel (the leftmost pixel in the high
// bits of a byte), and its counterpart that stores one.
uint8_t PackedIndex(const uint8_t* row, int x, int bits);
void SetPackedIndex(uint8_t* row, int x, int bits, uint8_t index);

// Zeroed pixel memory. It comes from calloc, so the pages of a large bitmap cost nothing until a
// reader writes them: making a bitmap of a gigabyte is instant, and a load cancelled at once does
// not first wait for a gigabyte of zeros to be written. Raises std::bad_alloc when refused.
class TPixelMemory {
 public:
  TPixelMemory() = default;
  explicit TPixelMemory(std::size_t size);
  TPixelMemory(const TPixelMemory& other);
  TPixelMemory& operator=(const TPixelMemory& other);
  TPixelMemory(TPixelMemory&& other) noexcept = default;
  TPixelMemory& operator=(TPixelMemory&& other) noexcept = default;

  uint8_t* data() { return bytes_.get(); }
  const uint8_t* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  struct Free {
    void operator()(uint8_t* bytes) const;
  };
  std::unique_ptr<uint8_t[], Free> bytes_;
  std::size_t size_ = 0;
};

// In-memory raster: rows are stored top row first, each padded to a multiple of 4 bytes; new
// pixel memory starts zeroed. Indexed formats carry a palette of up to 256 entries. Its pixels (and
// a run-length file kept with it) are charged to the memory budget open when they were made.
class TBitmap {
 public:
  TBitmap();
  virtual ~TBitmap();
  TBitmap(const TBitmap& other);
  TBitmap& operator=(const TBitmap& other);

  virtual void Assign(const TBitmap& source);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  virtual void SetWidth(int width);
  virtual void SetHeight(int height);
  // Resizes in one step; pixels of the overlapping area are kept, new pixels are zero.
  void SetSize(int width, int height);

  TPixelFormat PixelFormat() const { return pixelFormat_; }
  // Converts existing pixels into the new format; pfCustom raises "Invalid pixel format".
  void SetPixelFormat(TPixelFormat format);
  int BitsPerPixel() const { return BitsPerPixelOf(pixelFormat_); }
  static int BitsPerPixelOf(TPixelFormat format);

  std::size_t RowSize() const { return rowSize_; }
  // Row 0 is the top row; outside 0..Height()-1 raises "Scan line index out of range".
  uint8_t* ScanLine(int row);
  const uint8_t* ScanLine(int row) const;
  uint8_t* Bits() { return pixels_.data(); }
  const uint8_t* Bits() const { return pixels_.data(); }

  const TPalette& Palette() const { return palette_; }
  // At most 256 entries are kept.
  void SetPalette(TPalette palette);
  bool PaletteModified() const { return paletteModified_; }
  void SetPaletteModified(bool modified) { paletteModified_ = modified; }

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool transparent) { transparent_ = transparent; }
  TColor TransparentColor() const { return transparentColor_; }
  void SetTransparentColor(TColor color) { transparentColor_ = color; }

  // Alpha that readers found in the file. A pf32bit bitmap with AlphaChannel holds straight
  // (unassociated) alpha in byte 3 of each pixel; PaletteAlpha gives the alpha of palette entries
  // (entries beyond it are opaque). Pixels keep the file's colours; whoever draws the image
  // decides how to show transparency (the contact sheet shows it over the white page).
  bool AlphaChannel() const { return alphaChannel_; }
  void SetAlphaChannel(bool present) { alphaChannel_ = present; }
  const std::vector<uint8_t>& PaletteAlpha() const { return paletteAlpha_; }
  void SetPaletteAlpha(std::vector<uint8_t> alpha) { paletteAlpha_ = std::move(alpha); }
  // Any of the above, or a transparent colour key.
  bool HasTransparency() const;

  // Frees the pixels: the bitmap becomes 0 x 0 and loses its palette and file data.
  void ReleaseContents();

  // Colour of one pixel as 0x00BBGGRR (indexed formats through the palette).
  TColor PixelColor(int x, int y) const;
  void SetPixelColor(int x, int y, TColor color);

  // Reads a BMP/DIB/RLE file.
  virtual void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& path);

  // Header values a BMP file carried.
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  uint32_t ColorsUsed = 0;
  uint32_t ColorsImportant = 0;
  // The copy of a compressed (run-length) file that stays attached to the bitmap.
  std::vector<uint8_t> FileData;

  // Default palettes of the indexed formats.
  static TPalette MonochromePalette();
  static TPalette SystemPalette16();
  static TPalette HalftonePalette();

 private:
  void Reallocate(int width, int height, TPixelFormat format, bool keepPixels);

  int width_ = 0;
  int height_ = 0;
  TPixelFormat pixelFormat_ = pfDevice;
  std::size_t rowSize_ = 0;
  TPixelMemory pixels_;
  TPalette palette_;
  bool paletteModified_ = false;
  bool transparent_ = false;
  TColor transparentColor_ = 0;
  bool alphaChannel_ = false;
  std::vector<uint8_t> paletteAlpha_;
  TMemoryCharge pixelsCharge_;
  TMemoryCharge fileDataCharge_;
};

}  // namespace tablora
