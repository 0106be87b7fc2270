#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/raster_graphic.h"

namespace tablora {

class TLZ77Decoder;

// Portable Network Graphics (.png). The bitmap keeps the file's colours; alpha goes into 32-bit
// pixels (RGBA, grey with alpha, a tRNS key of RGB and 16-bit grey images) or per palette entry
// (indexed tRNS, a tRNS key of grey images of up to 8 bits), and whoever draws the image decides
// how it shows.
class TPNGGraphic : public TRasterGraphic {
 public:
  TPNGGraphic();
  ~TPNGGraphic() override;

  bool CanLoad(TStream& stream) override;
  bool ReadImageProperties(TStream& stream, uint32_t imageIndex) override;
  const char* FormatName() const override { return "PNG"; }
  // The uncompressed text chunks (tEXt) of the last load, keyword and text, in file order.
  using TTextEntries = std::vector<std::pair<std::string, std::string>>;
  const TTextEntries& TextEntries() const { return text_; }
  // The text of the first tEXt chunk with this keyword, or nothing.
  std::optional<std::string> Text(std::string_view keyword) const;

 protected:
  void Decode(TByteReader& data) override;

 private:
  using TChunkType = std::array<uint8_t, 4>;

  void ReadChunkHeader();
  void LoadChunkData();
  void SkipChunk();
  bool IsChunk(const char* type) const;
  uint32_t ConfigureColorManager(uint8_t colourType, uint8_t bitDepth);
  void ApplyGamma(float fileGamma);
  void ReadImageData(bool adam7);
  void SetUpBitmap();
  void FillBackground(uint32_t fromRow, uint32_t toRow);
  bool ReadRow(std::span<uint8_t> row);
  void ConvertPassRow(uint32_t y, std::span<const uint8_t> pixels, uint32_t count, uint8_t mask);
  bool KeyUsable() const;
  void ReadBackground();
  void ReadTransparency();
  void ReleaseLoadState();
  void ReadText();

  // State of one load; the spans point into the file's bytes and live only as long as it.
  std::unique_ptr<TLZ77Decoder> Decoder;
  int32_t DataChunkSize = 0;
  std::span<const uint8_t> ChunkData;
  const uint8_t* DataPosition = nullptr;
  uint32_t ChunkLength = 0;
  TChunkType ChunkType{};
  uint32_t RunningCRC = 0;
  uint32_t FilterDistance = 1;
  std::optional<TPalette> PaletteHandle;
  TColor BackgroundFill = clWhite;

  TByteReader* in_ = nullptr;
  uint8_t colourType_ = 0;
  uint8_t bitDepth_ = 0;
  bool configured_ = false;
  TPixelFormat pixelFormat_ = pfDevice;
  // What tRNS and bKGD said, turned into bitmap terms once the colour set-up is known.
  std::vector<uint16_t> transparentSamples_;
  std::vector<uint8_t> paletteAlpha_;
  std::vector<uint16_t> backgroundSamples_;
  // A tRNS key of an RGB or 16-bit grey image becomes alpha of 32-bit pixels, set where the
  // file's samples equal the key exactly.
  bool keyed_ = false;
  // Grey samples widened to grey, grey, grey (and the alpha), for 32-bit targets.
  bool widenGrey_ = false;
  std::vector<uint8_t> expanded_;
  bool dataEnded_ = false;
  TTextEntries text_;
};

}  // namespace tablora
