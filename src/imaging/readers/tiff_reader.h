#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "imaging/memory_budget.h"
#include "imaging/raster_graphic.h"

namespace tablora {

class TDecoder;

// One entry of an image file directory, with its numbers in the machine's order; the value
// field keeps the file's bytes (four, or eight in BigTIFF), so values that fit there are read like
// values elsewhere.
struct TTIFFDirEntry {
  uint16_t Tag = 0;
  uint16_t FieldType = 0;
  uint64_t ValueCount = 0;
  uint64_t ValueOffset = 0;
  std::array<uint8_t, 8> Inline{};
};

using TFloatArray = std::vector<float>;

// Tagged Image File Format (.tif, .tiff), classic or BigTIFF: the first image of the file, in
// strips or tiles, contiguous or in separate planes. Alpha from ExtraSamples 1 and 2 goes into 32-bit pixels with
// straight alpha; unspecified extra samples are dropped.
class TTIFFGraphic : public TRasterGraphic {
 public:
  bool CanLoad(TStream& stream) override;
  bool ReadImageProperties(TStream& stream, uint32_t imageIndex) override;
  const char* FormatName() const override { return "TIF/TIFF"; }

 protected:
  void Decode(TByteReader& data) override;

 private:
  struct TBlockPlan;
  struct TTableView;
  // The first maxCount integers of a tag where they lie in the file (or in the entry).
  TTableView TableOf(TByteReader& in, uint16_t tag, uint64_t maxCount) const;

  bool ReadDirectory(TByteReader& in, uint64_t offset);
  // The first `length` bytes of an entry's values: in the entry when they all fit there.
  std::span<const uint8_t> ValueBytes(TByteReader& in, const TTIFFDirEntry& e, uint64_t length) const;
  void SortDirectory();
  bool LocateTag(uint16_t tag, std::size_t& index) const;
  // The tag's first value (integer types only), or def when absent or of another type.
  uint32_t TagIntValue(TByteReader& in, uint16_t tag, uint32_t def) const;
  uint32_t TagIntValueAndCount(TByteReader& in, uint16_t tag, uint32_t& count, uint32_t def) const;
  float TagFloatValue(TByteReader& in, uint16_t tag, float def) const;
  // Values by number; maxCount bounds how many are wanted (0: all). For short lists.
  std::vector<double> ReadTagNumbers(TByteReader& in, uint16_t tag, uint64_t maxCount) const;
  // At most maxCount values (0: all, up to a few thousand); the block tables are read in place.
  void ReadTagIntegers(TByteReader& in, uint16_t tag, TCardinalArray& list, uint64_t maxCount) const;
  void ReadTagBytes(TByteReader& in, uint16_t tag, TByteArray& list, uint64_t maxCount) const;
  void ReadTagFloats(TByteReader& in, uint16_t tag, TFloatArray& list, uint64_t maxCount) const;
  float OptionalFloat(TByteReader& in, uint16_t tag, float def) const;
  void ReadOptionalFloats(TByteReader& in, uint16_t tag, TFloatArray& list, uint64_t maxCount) const;

  void SetUpColors(TByteReader& in);
  std::unique_ptr<TDecoder> CreateDecoder(TByteReader& in);
  void DecodeBlocks(TByteReader& in, TDecoder* decoder);
  void UndoPredictor(uint8_t* row, uint32_t pixels, unsigned samples);
  void EmitRow(uint32_t y, uint32_t x0, uint32_t pixels, std::span<const std::span<const uint8_t>> planes,
               bool planar);
  void SetUpYCbCr(TByteReader& in);
  // Compression 6: one JPEG stream for the picture, from the interchange-format stream the file
  // holds or put together from its table tags and its strips.
  std::vector<uint8_t> OldJPEGStream(TByteReader& in);
  void DecodeOldJPEG(TByteReader& in);
  // count samples of the file's depth from a row into 8-bit samples.
  void UnpackTo8(const uint8_t* row, std::size_t count, uint8_t* to) const;
  void YCbCrToRGB(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* rgb) const;
  // One group of subsampled rows (blocks of luma samples, then Cb and Cr) into `rows` RGB rows.
  void ExpandYCbCrGroup(const uint8_t* group, uint32_t pixels, uint32_t rows, uint8_t* rgb,
                        std::size_t rgbStride) const;

  std::vector<TTIFFDirEntry> FDirectory;
  // BigTIFF: 8-byte offsets and counts, 20-byte entries.
  bool bigTiff_ = false;
  std::array<uint16_t, 3 * 256> FColorMapWords{};
  uint32_t FChromaSiting = 1;
  TFloatArray FLumaWeights;

  uint16_t photometric_ = 0;
  uint16_t compressionTag_ = 1;
  uint16_t extraKind_ = 0;      // first ExtraSamples value when present
  bool hasExtraSamples_ = false;
  // Which file samples feed each colour-manager sample, in order.
  std::vector<uint8_t> sampleMap_;
  bool repack_ = false;
  // Rows go into the bitmap as they stand: one-sample grey or palette data at the bitmap's depth.
  bool identityRows_ = false;
  bool unpack_ = false;
  bool float_ = false;
  std::vector<uint8_t> unpacked_;
  bool unpremultiply_ = false;
  uint32_t targetBits_ = 8;
  // YCbCr outside JPEG is turned into RGB here, with the file's reference black and white.
  bool ycbcr_ = false;
  unsigned subH_ = 1;
  unsigned subV_ = 1;
  struct TYCbCrTables {
    std::array<int32_t, 256> y, crR, cbB, crG, cbG;
  };
  std::unique_ptr<TYCbCrTables> yccTables_;
  std::vector<uint8_t> rgbRows_;
  std::vector<uint8_t> packed_;
  std::vector<uint8_t> tileRow_;
  std::vector<uint8_t> reversed_;
  std::vector<uint8_t> bytePlanes_;
  TMemoryCharge jpegTablesCharge_;
};

}  // namespace tablora
