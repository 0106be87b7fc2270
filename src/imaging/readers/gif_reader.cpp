#include "imaging/readers/gif_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/checked.h"
#include "imaging/decoders/gif_lzw_decoder.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"

namespace tablora {

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;  // ","
constexpr uint8_t kTrailer = 0x3B;         // ";"
constexpr uint8_t kPlainTextLabel = 0x01;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kColorTableFlag = 0x80;
constexpr uint8_t kInterlacedFlag = 0x40;
constexpr int kNoTransparency = -1;

bool IsGifSignature(std::span<const uint8_t> bytes) {
  static constexpr char kSignature[] = "GIF";
  for (std::size_t i = 0; i < 3; ++i) {
    uint8_t c = bytes[i];
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
    if (c != static_cast<uint8_t>(kSignature[i])) return false;
  }
  return true;
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Entries of a colour table whose size field is in the low three bits of flags.
uint32_t TableEntries(uint8_t flags) { return 2u << (flags & 7); }

void SkipSubBlocks(TByteReader& in) {
  for (uint8_t length = in.U8(); length != 0; length = in.U8()) in.Skip(length);
}

struct TScreen {
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t flags = 0;
};

TScreen ReadScreen(TByteReader& in) {
  TScreen screen;
  screen.width = in.U16LE();
  screen.height = in.U16LE();
  screen.flags = in.U8();
  in.Skip(2);  // background index, aspect ratio
  return screen;
}

struct TDescriptor {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t flags = 0;
};

// An image's size of 0 stands for the screen's.
TDescriptor ReadDescriptor(TByteReader& in, const TScreen& screen) {
  TDescriptor d;
  in.Skip(4);  // left, top
  d.width = in.U16LE();
  d.height = in.U16LE();
  d.flags = in.U8();
  if (d.width == 0) d.width = screen.width;
  if (d.height == 0) d.height = screen.height;
  return d;
}

// Passes over extensions up to and including the next image separator or trailer, and returns
// that byte. transparentIndex takes the transparent colour of each graphic control extension
// passed, so the one nearest the image decides.
uint8_t SkipExtensions(TByteReader& in, int& transparentIndex) {
  for (;;) {
    uint8_t b = in.U8();
    if (b == kExtensionIntroducer) {
      b = in.U8();
      if (b == kPlainTextLabel) {
        in.Skip(in.U8());
        SkipSubBlocks(in);
      } else if (b == kGraphicControlLabel) {
        // Packed fields (bit 0: transparent colour given), delay time, transparent index.
        const std::span<const uint8_t> block = in.Bytes(in.U8());
        in.Skip(1);
        if (block.size() >= 4) transparentIndex = (block[0] & 1) != 0 ? block[3] : kNoTransparency;
      } else if (b != kImageSeparator && b != kTrailer) {
        // Comments, application data and labels of no known kind alike are sub-blocks; read
        // byte by byte, their data could pass for a separator or the trailer.
        SkipSubBlocks(in);
      }
    }
    if (b == kImageSeparator || b == kTrailer) return b;
  }
}

// Grey levels for an image without any colour table, spread over the indices it uses so that
// the picture stays recognisable whatever its depth.
TPalette GreyRamp(std::span<const uint8_t> pixels) {
  const uint8_t top = pixels.empty() ? 0 : *std::max_element(pixels.begin(), pixels.end());
  TPalette palette(kMaxPaletteEntries);
  for (uint32_t i = 0; i <= top; ++i) {
    const auto level = static_cast<uint8_t>(top == 0 ? 0 : i * 255 / top);
    palette[i] = {level, level, level, 0};
  }
  return palette;
}

}  // namespace

bool TGIFGraphic::CanLoad(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t signature[3];
  bool result = false;
  if (stream.Remaining() > 22 && stream.Read(signature, sizeof signature) == sizeof signature) {
    result = IsGifSignature(signature);
  }
  stream.SetPosition(start);
  return result;
}

bool TGIFGraphic::ReadImageProperties(TStream& stream, uint32_t imageIndex) {
  bool valid = TRasterGraphic::ReadImageProperties(stream, imageIndex);
  const int64_t start = stream.Position();
  TStreamBytes bytes(stream);
  TByteReader in(bytes.Bytes());
  const std::span<const uint8_t> header = in.Bytes(kHeaderSize);
  // The version's first two characters are its number; anything else is not a GIF we know.
  if (IsGifSignature(header) && IsDigit(header[3]) && IsDigit(header[4])) {
    TImageProperties& p = ImageProperties;
    p.Version = static_cast<uint32_t>((header[3] - '0') * 10 + (header[4] - '0'));
    p.ColorScheme = csIndexed;
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 8;
    p.Compression = ctLZW;
    const TScreen screen = ReadScreen(in);
    if ((screen.flags & kColorTableFlag) != 0) {
      p.BitsPerSample = static_cast<uint8_t>((screen.flags & 7) + 1);
      in.Skip(3 * TableEntries(screen.flags));
    }
    int transparentIndex = kNoTransparency;
    if (SkipExtensions(in, transparentIndex) == kImageSeparator) {
      const TDescriptor image = ReadDescriptor(in, screen);
      p.Width = image.width;
      p.Height = image.height;
      p.LocalColorTable = (image.flags & kColorTableFlag) != 0;
      if (p.LocalColorTable) p.BitsPerSample = static_cast<uint8_t>((image.flags & 7) + 1);
      p.Interlaced = (image.flags & kInterlacedFlag) != 0;
    }
    p.BitsPerPixel = static_cast<uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    valid = true;
  }
  stream.SetPosition(start + static_cast<int64_t>(in.Position()));
  return valid;
}

void TGIFGraphic::Decode(TByteReader& data) {
  data.Skip(kHeaderSize);
  const TScreen screen = ReadScreen(data);
  std::span<const uint8_t> colorTable;
  if ((screen.flags & kColorTableFlag) != 0) colorTable = data.Bytes(3 * TableEntries(screen.flags));
  int transparentIndex = kNoTransparency;
  const uint8_t found = SkipExtensions(data, transparentIndex);
  EndPhase();
  if (found != kImageSeparator) return;  // only a trailer: an empty image, not an error

  StartPhase(kLoadingData);
  const TDescriptor image = ReadDescriptor(data, screen);
  const uint32_t width = image.width;
  const uint32_t height = image.height;
  if (width == 0 || height == 0) InvalidImage();
  // The pixel buffer has a spare row beyond the bitmap's.
  CheckImageSize(width, uint64_t{height} + 1, 8);
  SizeBitmap(width, height, pf8bit);
  if ((image.flags & kColorTableFlag) != 0) colorTable = data.Bytes(3 * TableEntries(image.flags));
  const uint8_t minCodeBits = data.U8();
  if (minCodeBits == 0 || minCodeBits > TGIFLZWDecoder::kMinCodeBitsLimit) InvalidImage();

  // Two passes over the sub-blocks: their sizes, then their data. Sub-blocks cut short by the
  // end of the file give what they hold.
  const std::span<const uint8_t> blocks = data.Rest();
  std::size_t packedSize = 0;
  std::size_t at = 0;
  while (at < blocks.size() && blocks[at] != 0) {
    const std::size_t length = std::min<std::size_t>(blocks[at], blocks.size() - at - 1);
    packedSize += length;
    at += 1 + length;
  }
  data.Skip(std::min(at + 1, blocks.size()));  // the blocks and their terminator
  const TMemoryCharge packedCharge(packedSize);
  const std::unique_ptr<uint8_t[]> packed(new uint8_t[packedSize]);
  for (std::size_t from = 0, to = 0; to < packedSize;) {
    const std::size_t length = std::min<std::size_t>(blocks[from], packedSize - to);
    std::memcpy(packed.get() + to, blocks.data() + from + 1, length);
    from += 1 + length;
    to += length;
  }

  // A plain image decodes straight into the bitmap's memory, its rows packed tight and spread
  // out to their aligned places afterwards; an interlaced one needs its rows reordered and goes
  // through a buffer with a spare row. Pixels the data never reaches are index 0 either way.
  const bool interlaced = (image.flags & kInterlacedFlag) != 0;
  const auto pixelCount = static_cast<std::size_t>(*CheckedProduct({width, height}));
  std::unique_ptr<uint8_t[]> buffer;
  TMemoryCharge bufferCharge;
  std::span<uint8_t> pixels(Bits(), pixelCount);
  if (interlaced) {
    bufferCharge.Set(pixelCount + width);
    buffer.reset(new uint8_t[pixelCount + width]);
    pixels = {buffer.get(), pixelCount + width};
  }
  TGIFLZWDecoder decoder(minCodeBits);
  const std::size_t produced =
      decoder.Decode({packed.get(), packedSize}, pixels, pixelCount).produced;
  if (interlaced) std::fill(pixels.begin() + static_cast<std::ptrdiff_t>(produced), pixels.end(), uint8_t{0});
  EndPhase();

  StartPhase(kTransfering);
  // Indices beyond the colour table show black.
  TPalette palette(kMaxPaletteEntries);
  if (colorTable.empty()) palette = GreyRamp(pixels.first(pixelCount));
  for (std::size_t i = 0; i < colorTable.size() / 3; ++i) {
    palette[i] = {colorTable[3 * i], colorTable[3 * i + 1], colorTable[3 * i + 2], 0};
  }
  SetPalette(std::move(palette));
  if (transparentIndex != kNoTransparency) {
    std::vector<uint8_t> alpha(static_cast<std::size_t>(transparentIndex) + 1, 255);
    alpha[static_cast<std::size_t>(transparentIndex)] = 0;
    SetPaletteAlpha(std::move(alpha));
  }

  if (interlaced) {
    const TGifInterlace order(height);
    for (uint32_t n = 0; n < height; ++n) {
      const uint32_t row = order.RowOf(n);
      std::memcpy(Row(row).data(), pixels.data() + std::size_t{n} * width, width);
      // Progress comes during the last pass, which holds the odd rows.
      if (row % 2 == 1) RowProgress(uint64_t{row} + 2, height);
    }
  } else {
    // Bottom row first: a row's aligned place never lies below the packed rows still to move.
    for (uint32_t y = height; y-- > 1;) {
      const std::span<uint8_t> row = Row(y);
      std::memmove(row.data(), pixels.data() + std::size_t{y} * width, width);
      std::fill(row.begin() + width, row.end(), uint8_t{0});
    }
    std::fill(Row(0).begin() + width, Row(0).end(), uint8_t{0});
    for (uint32_t y = 0; y < height; ++y) RowProgress(y, height);
  }
}

}  // namespace tablora
