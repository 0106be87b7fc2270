// The BMP reader on files built byte by byte: each variant, each refusal and each choice.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/stream.h"
#include "bmp_test_util.h"

namespace tablora {
namespace {

using test::BmpFields;
using test::LoadBytes;
using test::LoadError;
using test::MakeBmp;

constexpr char kInvalid[] = "Bitmap image is not valid";
constexpr char kReadError[] = "Stream read error";

// 2 x 2 pixels, 24 bits, bottom-up.
const std::vector<uint8_t> kRgb24BottomUp = {
    'B', 'M',                // type
    70, 0, 0, 0,             // file size
    0, 0, 0, 0,              // reserved
    54, 0, 0, 0,             // pixel data offset
    40, 0, 0, 0,             // info header size
    2, 0, 0, 0,              // width 2
    2, 0, 0, 0,              // height 2: bottom row first
    1, 0,                    // planes
    24, 0,                   // bit count
    0, 0, 0, 0,              // compression: none
    16, 0, 0, 0,             // pixel data size: 2 rows of 8 bytes
    0x13, 0x0B, 0, 0,        // 2835 pixels per metre across
    0x12, 0x0B, 0, 0,        // 2834 pixels per metre down
    0, 0, 0, 0,              // colours used
    0, 0, 0, 0,              // colours important
    0xFF, 0, 0, 0, 0xFF, 0, 0, 0,           // bottom row: blue, green, 2 bytes padding
    0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,     // top row: red, white, 2 bytes padding
};

TEST(BmpReader, BottomUpRowsAreStoredTopRowFirst) {
  TBitmap bitmap;
  LoadBytes(bitmap, kRgb24BottomUp);
  EXPECT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.PixelColor(0, 1), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.PixelColor(1, 1), RGB(0, 255, 0));
  EXPECT_EQ(bitmap.XPelsPerMeter, 2835);
  EXPECT_EQ(bitmap.YPelsPerMeter, 2834);
  EXPECT_TRUE(bitmap.Palette().empty());
  EXPECT_TRUE(bitmap.FileData.empty());
}

TEST(BmpReader, TopDownFileKeepsItsRowOrderAndReportsPositiveHeight) {
  std::vector<uint8_t> bytes = kRgb24BottomUp;
  const uint8_t minusTwo[] = {0xFE, 0xFF, 0xFF, 0xFF};
  std::copy(std::begin(minusTwo), std::end(minusTwo), bytes.begin() + 22);
  TBitmap bitmap;
  LoadBytes(bitmap, bytes);
  EXPECT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.PixelColor(1, 1), RGB(255, 255, 255));
}

// 3 x 2 pixels, 1 bit, OS/2 core header with 3-byte colour table entries.
const std::vector<uint8_t> kCore1Bit = {
    'B', 'M', 40, 0, 0, 0, 0, 0, 0, 0,
    32, 0, 0, 0,             // pixel data offset: 14 + 12 + 6
    12, 0, 0, 0,             // core header
    3, 0,                    // width (16 bits)
    2, 0,                    // height (16 bits)
    1, 0,                    // planes
    1, 0,                    // bit count
    0x10, 0x20, 0x30,        // entry 0: blue, green, red
    0xF0, 0xE0, 0xD0,        // entry 1
    0xA0, 0, 0, 0,           // bottom row: 1 0 1
    0x40, 0, 0, 0,           // top row: 0 1 0
};

TEST(BmpReader, CoreHeaderReadsThreeByteColourEntries) {
  TBitmap bitmap;
  LoadBytes(bitmap, kCore1Bit);
  EXPECT_EQ(bitmap.PixelFormat(), pf1bit);
  ASSERT_EQ(bitmap.Palette().size(), 2u);
  EXPECT_EQ(bitmap.Palette()[0], (TPaletteEntry{0x30, 0x20, 0x10, 0}));
  EXPECT_EQ(bitmap.Palette()[1], (TPaletteEntry{0xD0, 0xE0, 0xF0, 0}));
  EXPECT_TRUE(bitmap.PaletteModified());
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0x40);
  EXPECT_EQ(bitmap.ScanLine(1)[0], 0xA0);
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(0xD0, 0xE0, 0xF0));
  EXPECT_EQ(bitmap.PixelColor(1, 1), RGB(0x30, 0x20, 0x10));
}

TEST(BmpReader, CoreHeaderWith8BitsReadsA256EntryTable) {
  BmpFields fields;
  fields.headerSize = 12;
  fields.width = 1;
  fields.bitCount = 8;
  for (int i = 0; i < 256; ++i) {
    fields.colorTable.insert(fields.colorTable.end(), {static_cast<uint8_t>(i), 0, static_cast<uint8_t>(255 - i)});
  }
  fields.pixels = {200, 0, 0, 0};
  TBitmap bitmap;
  LoadBytes(bitmap, MakeBmp(fields));
  ASSERT_EQ(bitmap.Palette().size(), 256u);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(55, 0, 200));
}

// 4 x 3 pixels, BI_RLE8 with every escape.
const std::vector<uint8_t> kRle8 = {
    'B', 'M', 84, 0, 0, 0, 0, 0, 0, 0,
    66, 0, 0, 0,             // pixel data offset: 14 + 40 + 3 * 4
    40, 0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 1, 0,
    8, 0,                    // bit count
    1, 0, 0, 0,              // compression: RLE8
    18, 0, 0, 0,             // compressed size
    0, 0, 0, 0, 0, 0, 0, 0,
    3, 0, 0, 0,              // colours used
    0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0,   // black, red, green
    2, 1,                    // run: 2 x index 1
    0, 2, 1, 1,              // delta: right 1, up 1 (skips the rest of row 0 and x 0..2 of row 1)
    1, 2,                    // run: 1 x index 2
    0, 0,                    // end of line
    0, 3, 2, 1, 2, 0,        // absolute: 3 pixels, padded to an even count of bytes
    0, 1,                    // end of bitmap
};

TEST(BmpReader, Rle8EscapesDecodeAndTheFileStaysAttached) {
  TBitmap bitmap;
  LoadBytes(bitmap, kRle8);
  EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
  ASSERT_EQ(bitmap.Height(), 3);
  const std::vector<std::vector<uint8_t>> rows = {{2, 1, 2, 0}, {0, 0, 0, 2}, {1, 1, 0, 0}};
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(std::vector<uint8_t>(bitmap.ScanLine(y), bitmap.ScanLine(y) + 4), rows[y]) << y;
  }
  EXPECT_EQ(bitmap.FileData, kRle8);
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(255, 0, 0));
}

// 5 x 2 pixels, BI_RLE4.
const std::vector<uint8_t> kRle4 = {
    'B', 'M', 80, 0, 0, 0, 0, 0, 0, 0,
    70, 0, 0, 0,             // pixel data offset: 14 + 40 + 4 * 4
    40, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 1, 0,
    4, 0,                    // bit count
    2, 0, 0, 0,              // compression: RLE4
    0, 0, 0, 0,              // compressed size 0: the rest of the file
    0, 0, 0, 0, 0, 0, 0, 0,
    4, 0, 0, 0,              // colours used
    0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0,
    5, 0x12,                 // run of 5 alternating nibbles: 1 2 1 2 1
    0, 0,                    // end of line
    0, 3, 0x34, 0x50,        // absolute: 3 nibbles 3 4 5 in 2 bytes (already even)
    0, 1,                    // end of bitmap
};

TEST(BmpReader, Rle4RunsAlternateNibbles) {
  TBitmap bitmap;
  LoadBytes(bitmap, kRle4);
  EXPECT_EQ(bitmap.PixelFormat(), pf4bit);
  EXPECT_EQ(std::vector<uint8_t>(bitmap.ScanLine(1), bitmap.ScanLine(1) + 3),
            (std::vector<uint8_t>{0x12, 0x12, 0x10}));
  EXPECT_EQ(std::vector<uint8_t>(bitmap.ScanLine(0), bitmap.ScanLine(0) + 3),
            (std::vector<uint8_t>{0x34, 0x50, 0x00}));
  EXPECT_EQ(bitmap.FileData.size(), kRle4.size());
}

BmpFields Rle8Fields(int width, int height, std::vector<uint8_t> data) {
  BmpFields fields;
  fields.width = width;
  fields.height = height;
  fields.bitCount = 8;
  fields.compression = 1;
  fields.colorsUsed = 2;
  fields.colorTable.assign(8, 0);
  fields.pixels = std::move(data);
  return fields;
}

TEST(BmpReader, RleDamageIsClippedNotWrittenOutside) {
  TBitmap bitmap;
  // A run far past the right edge, then a literal run cut off by the end of the data.
  LoadBytes(bitmap, MakeBmp(Rle8Fields(3, 2, {200, 1, 0, 0, 0, 9, 1, 1})));
  EXPECT_EQ(std::vector<uint8_t>(bitmap.ScanLine(1), bitmap.ScanLine(1) + 3), (std::vector<uint8_t>{1, 1, 1}));
  EXPECT_EQ(std::vector<uint8_t>(bitmap.ScanLine(0), bitmap.ScanLine(0) + 3), (std::vector<uint8_t>{1, 1, 0}));
  // A delta that leaves the picture ends the decode; what came before stays.
  LoadBytes(bitmap, MakeBmp(Rle8Fields(2, 2, {1, 1, 0, 2, 255, 255, 2, 1})));
  EXPECT_EQ(bitmap.ScanLine(1)[0], 1);
  EXPECT_EQ(bitmap.ScanLine(1)[1], 0);
  // Runs without any end of line do not wrap into the next row.
  std::vector<uint8_t> endless;
  for (int i = 0; i < 1000; ++i) endless.insert(endless.end(), {255, 1});
  LoadBytes(bitmap, MakeBmp(Rle8Fields(4, 2, endless)));
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0);
  EXPECT_EQ(bitmap.ScanLine(1)[3], 1);
}

TEST(BmpReader, RleWithoutACompressedSizeDecodesTheWholeRest) {
  // Run-length data may be longer than the uncompressed rows (here 8 bytes): with no size given
  // the rest of the file is the data, so the run on the second row is still reached.
  BmpFields fields = Rle8Fields(1, 2, {0, 5, 3, 3, 3, 3, 3, 0,  // absolute run of 5, clipped to 1 pixel
                                 0, 0,                    // end of line
                                 1, 7,                    // run: 1 x index 7
                                 0, 1});
  TBitmap bitmap;
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.ScanLine(1)[0], 3);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 7);
  fields.sizeImage = 10;  // a size that ends before the second row's run is honoured
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0);
}

TEST(BmpReader, EmptyStreamIsAnEmptyBitmap) {
  TBitmap bitmap;
  LoadBytes(bitmap, kRgb24BottomUp);
  TBufferStream empty(nullptr, 0);
  EXPECT_NO_THROW(bitmap.LoadFromStream(empty));
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
  EXPECT_EQ(bitmap.XPelsPerMeter, 0);
}

TEST(BmpReader, ReadsFromTheStreamPosition) {
  std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
  bytes.insert(bytes.end(), kRle8.begin(), kRle8.end());
  TBufferStream stream(bytes.data(), bytes.size());
  stream.SetPosition(5);
  TBitmap bitmap;
  bitmap.LoadFromStream(stream);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 2);
  EXPECT_EQ(bitmap.FileData, kRle8);
}

TEST(BmpReader, ShortOrForeignFileHeader) {
  EXPECT_EQ(LoadError({'B', 'M', 1, 2, 3}), kReadError);
  std::vector<uint8_t> foreign = kRgb24BottomUp;
  foreign[0] = 'P';
  EXPECT_EQ(LoadError(foreign), kInvalid);
}

TEST(BmpReader, InfoHeadersCutShortAreRefused) {
  // Size field missing or partial, then a body that ends before the size it announces.
  EXPECT_EQ(LoadError(std::vector<uint8_t>(kRgb24BottomUp.begin(), kRgb24BottomUp.begin() + 14)), kInvalid);
  EXPECT_EQ(LoadError(std::vector<uint8_t>(kRgb24BottomUp.begin(), kRgb24BottomUp.begin() + 16)), kInvalid);
  EXPECT_EQ(LoadError(std::vector<uint8_t>(kRgb24BottomUp.begin(), kRgb24BottomUp.begin() + 40)), kInvalid);
  EXPECT_EQ(LoadError(std::vector<uint8_t>(kCore1Bit.begin(), kCore1Bit.begin() + 24)), kInvalid);
  std::vector<uint8_t> huge = kRgb24BottomUp;
  huge[14] = 0xF0;  // header size 0xFFFFFFF0
  huge[15] = huge[16] = huge[17] = 0xFF;
  EXPECT_EQ(LoadError(huge), kInvalid);
}

struct Refusal {
  const char* what;
  void (*change)(BmpFields&);
};

TEST(BmpReader, HeadersOutsideTheFormatAreRefused) {
  const Refusal refusals[] = {
      {"header of 16 bytes", [](BmpFields& s) { s.headerSize = 16; }},
      {"header of 39 bytes", [](BmpFields& s) { s.headerSize = 39; }},
      {"header of 0 bytes", [](BmpFields& s) { s.headerSize = 0; }},
      {"2 planes", [](BmpFields& s) { s.planes = 2; }},
      {"bit count 0", [](BmpFields& s) { s.bitCount = 0; }},
      {"bit count 2", [](BmpFields& s) { s.bitCount = 2; }},
      {"bit count 64", [](BmpFields& s) { s.bitCount = 64; }},
      {"compression 4 (JPEG)", [](BmpFields& s) { s.compression = 4; }},
      {"compression 6", [](BmpFields& s) { s.compression = 6; }},
      {"RLE8 with 24 bits", [](BmpFields& s) { s.compression = 1; }},
      {"RLE8 with 4 bits", [](BmpFields& s) { s.compression = 1; s.bitCount = 4; }},
      {"RLE4 with 8 bits", [](BmpFields& s) { s.compression = 2; s.bitCount = 8; }},
      {"bit fields with 24 bits", [](BmpFields& s) { s.compression = 3; s.masks = {1, 2, 4}; }},
      {"bit fields with 8 bits", [](BmpFields& s) { s.compression = 3; s.bitCount = 8; s.masks = {1, 2, 4}; }},
      {"257 colours", [](BmpFields& s) { s.colorsUsed = 257; }},
      {"width 0", [](BmpFields& s) { s.width = 0; }},
      {"negative width", [](BmpFields& s) { s.width = -4; }},
      {"height 0", [](BmpFields& s) { s.height = 0; }},
      {"height -2^31", [](BmpFields& s) { s.height = INT32_MIN; }},
      {"top-down RLE", [](BmpFields& s) { s.compression = 1; s.bitCount = 8; s.height = -1; }},
      {"core header width 0", [](BmpFields& s) { s.headerSize = 12; s.width = 0; }},
  };
  for (const Refusal& r : refusals) {
    BmpFields fields;
    fields.pixels.assign(4, 0);
    r.change(fields);
    EXPECT_EQ(LoadError(MakeBmp(fields)), kInvalid) << r.what;
  }
}

TEST(BmpReader, ShortMasksOrColourTableAreReadErrors) {
  BmpFields masked;
  masked.bitCount = 16;
  masked.compression = 3;
  masked.masks = {0xF800, 0x07E0, 0x001F};
  std::vector<uint8_t> bytes = MakeBmp(masked);
  bytes.resize(14 + 40 + 6);
  EXPECT_EQ(LoadError(bytes), kReadError);
  BmpFields indexed;
  indexed.bitCount = 8;
  indexed.colorTable.assign(40, 0);  // 10 of the 256 entries an 8-bit file has by default
  EXPECT_EQ(LoadError(MakeBmp(indexed)), kReadError);
}

TEST(BmpReader, OverTheImageSizeLimitIsRefusedBeforeAllocating) {
  const uint64_t saved = ImageSizeLimit();
  SetImageSizeLimit(20000);  // 100 rows of 300 bytes do not fit
  BmpFields fields;
  fields.width = 100;
  fields.height = 100;
  const std::string error = LoadError(MakeBmp(fields));
  SetImageSizeLimit(saved);
  EXPECT_NE(error.find("Image too large"), std::string::npos) << error;
  // The largest file header values still fail cleanly under the default limit.
  fields.width = INT32_MAX;
  fields.height = INT32_MAX;
  const std::string largest = LoadError(MakeBmp(fields));
  EXPECT_NE(largest.find("Image too large"), std::string::npos) << largest;
}

TEST(BmpReader, FailedLoadLeavesAnEmptyBitmap) {
  TBitmap bitmap;
  LoadBytes(bitmap, kRgb24BottomUp);
  std::vector<uint8_t> broken = kRgb24BottomUp;
  broken[26] = 2;  // planes
  EXPECT_THROW(LoadBytes(bitmap, broken), EInvalidGraphic);
  EXPECT_TRUE(bitmap.Empty());
}

TEST(BmpReader, TruncatedPixelDataLeavesUnreachedRowsZero) {
  BmpFields fields;
  fields.width = 2;
  fields.height = 3;
  fields.pixels = {1, 2, 3, 4, 5, 6, 0, 0,  // bottom row, complete
                 7, 8, 9};                // half of the middle row
  TBitmap bitmap;
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.PixelColor(0, 2), RGB(3, 2, 1));
  EXPECT_EQ(bitmap.PixelColor(0, 1), RGB(9, 8, 7));
  EXPECT_EQ(bitmap.PixelColor(1, 1), 0u);
  EXPECT_EQ(bitmap.PixelColor(0, 0), 0u);
  EXPECT_EQ(bitmap.PixelColor(1, 0), 0u);
}

TEST(BmpReader, PixelDataSizeZeroOrShortDecidesWhatIsRead) {
  BmpFields fields;
  fields.width = 1;
  fields.height = 2;
  fields.pixels = {1, 1, 1, 0, 2, 2, 2, 0};
  TBitmap bitmap;
  LoadBytes(bitmap, MakeBmp(fields));  // size 0: row size x height
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(2, 2, 2));
  fields.sizeImage = 4;  // only the bottom row
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.PixelColor(0, 0), 0u);
  EXPECT_EQ(bitmap.PixelColor(0, 1), RGB(1, 1, 1));
}

TEST(BmpReader, PixelDataOffsetIsHonouredOnlyWhereItMakesSense) {
  BmpFields fields;
  fields.bitCount = 8;
  fields.colorsUsed = 2;
  fields.colorTable = {0, 0, 0, 0, 9, 9, 9, 0};
  fields.pixels = {1, 0, 0, 0};
  TBitmap bitmap;
  // A gap after the table, with the offset pointing past it.
  fields.gapAfterTable = 6;
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.ScanLine(0)[0], 1);
  // The offset points back into the colour table (one that claims more entries than the file
  // holds): the pixels start there, as other readers take them.
  fields.dataOffset = 58;
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.ScanLine(0)[0], 9);
  // Into the headers: not trusted, the pixels follow the table (the gap here).
  fields.dataOffset = 40;
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.ScanLine(0)[0], 0xEE);
  // Without a gap, an offset past the end of the file is ignored the same way.
  fields.gapAfterTable = 0;
  fields.dataOffset = 0x7FFFFFFF;
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.ScanLine(0)[0], 1);
}

TEST(BmpReader, SixteenColourTableIsKeptAsItIs) {
  BmpFields fields;
  fields.bitCount = 4;
  for (int i = 0; i < 16; ++i) fields.colorTable.insert(fields.colorTable.end(), {0, static_cast<uint8_t>(i * 3), 0, 0});
  fields.pixels = {0x5F, 0, 0, 0};
  TBitmap bitmap;
  LoadBytes(bitmap, MakeBmp(fields));
  ASSERT_EQ(bitmap.Palette().size(), 16u);
  EXPECT_NE(bitmap.Palette(), TBitmap::SystemPalette16());
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(0, 15, 0));
}

TEST(BmpReader, HeaderValuesAndTheTableOfATrueColourFileAreKept) {
  BmpFields fields;
  fields.xPelsPerMeter = -5;
  fields.yPelsPerMeter = 3780;
  fields.colorsUsed = 2;
  fields.colorsImportant = 1;
  fields.colorTable = {1, 2, 3, 0, 4, 5, 6, 0};
  fields.pixels = {0, 0, 0, 0};
  TBitmap bitmap;
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
  EXPECT_EQ(bitmap.XPelsPerMeter, -5);
  EXPECT_EQ(bitmap.YPelsPerMeter, 3780);
  EXPECT_EQ(bitmap.ColorsUsed, 2u);
  EXPECT_EQ(bitmap.ColorsImportant, 1u);
  EXPECT_EQ(bitmap.Palette(), (TPalette{{3, 2, 1, 0}, {6, 5, 4, 0}}));
  EXPECT_TRUE(bitmap.PaletteModified());
}

BmpFields OnePixel(uint16_t bits, uint32_t compression, std::vector<uint32_t> masks, std::vector<uint8_t> pixel,
                 uint32_t headerSize = 40) {
  BmpFields fields;
  fields.headerSize = headerSize;
  fields.bitCount = bits;
  fields.compression = compression;
  fields.masks = std::move(masks);
  fields.pixels = std::move(pixel);
  fields.pixels.resize(4, 0);
  return fields;
}

TEST(BmpReader, BitFieldMasksChooseTheFormat) {
  struct Case {
    const char* what;
    BmpFields fields;
    TPixelFormat format;
    TColor color;
  };
  const Case cases[] = {
      {"16 bits, no masks: 5-5-5", OnePixel(16, 0, {}, {0x1F, 0x7C}), pf15bit, RGB(255, 0, 255)},
      {"565 after a 40-byte header", OnePixel(16, 3, {0xF800, 0x07E0, 0x001F}, {0xE0, 0x07}), pf16bit,
       RGB(0, 255, 0)},
      {"555 after a 40-byte header", OnePixel(16, 3, {0x7C00, 0x03E0, 0x001F}, {0x00, 0x7C}), pf15bit,
       RGB(255, 0, 0)},
      {"565 inside a V4 header", OnePixel(16, 3, {0xF800, 0x07E0, 0x001F}, {0x00, 0xF8}, 108), pf16bit,
       RGB(255, 0, 0)},
      {"V5 header without bit fields ignores its masks", OnePixel(16, 0, {0xF800, 0x07E0, 0x001F}, {0x00, 0x7C}, 124),
       pf15bit, RGB(255, 0, 0)},
      {"4-4-4 in 16 bits widens to 24", OnePixel(16, 3, {0x0F00, 0x00F0, 0x000F}, {0x84, 0x0F}), pf24bit,
       RGB(255, 136, 68)},
      {"6-5-5 inside a V2 header", OnePixel(16, 3, {0xFC00, 0x03E0, 0x001F}, {0x1F, 0x80}, 52), pf24bit,
       RGB(130, 0, 255)},
      {"32 bits, no masks", OnePixel(32, 0, {}, {0x11, 0x22, 0x33, 0x44}), pf32bit, RGB(0x33, 0x22, 0x11)},
      {"888 inside a V3 header", OnePixel(32, 3, {0xFF0000, 0xFF00, 0xFF}, {0x11, 0x22, 0x33}, 56), pf32bit,
       RGB(0x33, 0x22, 0x11)},
      {"red in the low byte", OnePixel(32, 3, {0xFF, 0xFF00, 0xFF0000}, {0x11, 0x22, 0x33, 0x44}), pf32bit,
       RGB(0x11, 0x22, 0x33)},
      {"10-10-10", OnePixel(32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF}, {0xFF, 0x03, 0x00, 0x30}), pf32bit,
       RGB(191, 0, 255)},
      {"a zero mask gives 0", OnePixel(32, 3, {0, 0xFF00, 0xFF}, {0x11, 0x22, 0x33, 0x44}), pf32bit,
       RGB(0, 0x22, 0x11)},
  };
  for (const Case& c : cases) {
    TBitmap bitmap;
    LoadBytes(bitmap, MakeBmp(c.fields));
    EXPECT_EQ(bitmap.PixelFormat(), c.format) << c.what;
    EXPECT_EQ(bitmap.PixelColor(0, 0), c.color) << c.what;
  }
}

// An alpha mask (V3 headers and later, or compression 6 with four masks after a 40-byte header)
// gives straight alpha in 32-bit pixels; alpha bits that are all 0 say nothing and the picture
// is opaque. Expected: red, green, blue, alpha of the pixel, and whether the bitmap has alpha.
TEST(BmpReader, AlphaMasksGiveStraightAlpha) {
  struct Case {
    const char* what;
    BmpFields fields;
    std::array<uint8_t, 4> rgba;
    bool alpha;
  };
  const std::vector<uint32_t> bgra = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  const Case cases[] = {
      {"V5, 8-8-8-8", OnePixel(32, 3, bgra, {10, 20, 30, 128}, 124), {30, 20, 10, 128}, true},
      {"V5, alpha all 0", OnePixel(32, 3, bgra, {10, 20, 30, 0}, 124), {30, 20, 10, 255}, false},
      {"V4, alpha in the low byte", OnePixel(32, 3, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}, {64, 10, 20, 30}, 108),
       {30, 20, 10, 64}, true},
      {"V3, 4-4-4-4 in 16 bits", OnePixel(16, 3, {0xF00, 0xF0, 0xF, 0xF000}, {0x42, 0x8F}, 56), {255, 68, 34, 136},
       true},
      {"compression 6, masks after the header", OnePixel(32, 6, bgra, {10, 20, 30, 200}), {30, 20, 10, 200}, true},
      {"V2 has no alpha mask", OnePixel(32, 3, bgra, {10, 20, 30, 200}, 52), {30, 20, 10, 255}, false},
      {"no bit fields, no alpha", OnePixel(32, 0, {}, {10, 20, 30, 200}, 124), {30, 20, 10, 255}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap bitmap;
    LoadBytes(bitmap, MakeBmp(c.fields));
    EXPECT_EQ(bitmap.PixelFormat(), pf32bit);
    EXPECT_EQ(bitmap.AlphaChannel(), c.alpha);
    const test::RgbaImage got = test::ToRgba(bitmap);
    EXPECT_EQ((std::array<uint8_t, 4>{got.rgba[0], got.rgba[1], got.rgba[2], got.rgba[3]}), c.rgba);
  }
}

// A DIB without its file header (a clipboard dump) loads by its info header's size; other sizes
// and a core header are not taken for one.
TEST(BmpReader, HeaderlessDibsLoadByTheirHeaderSize) {
  for (const uint32_t size : {40u, 52u, 56u, 108u, 124u}) {
    SCOPED_TRACE(size);
    BmpFields fields = OnePixel(8, 0, {}, {1, 0, 0, 0}, size);
    fields.colorsUsed = 2;
    fields.colorTable = {0, 0, 0, 0, 9, 8, 7, 0};
    const std::vector<uint8_t> file = MakeBmp(fields);
    TBitmap bitmap;
    LoadBytes(bitmap, std::vector<uint8_t>(file.begin() + 14, file.end()));
    EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(7, 8, 9));
  }
  for (const uint32_t size : {12u, 16u, 64u}) {
    BmpFields fields = OnePixel(24, 0, {}, {}, size);
    const std::vector<uint8_t> file = MakeBmp(fields);
    EXPECT_EQ(LoadError(std::vector<uint8_t>(file.begin() + 14, file.end())), kInvalid) << size;
  }
}

TEST(BmpReader, MaskedRowsKeepTheirOrderAndPadding) {
  // 3 x 2 pixels of 4-4-4 with 2 bytes of padding per row: bottom row first.
  BmpFields fields = OnePixel(16, 3, {0x0F00, 0x00F0, 0x000F}, {});
  fields.width = 3;
  fields.height = 2;
  fields.pixels = {0x00, 0x0F, 0xF0, 0x00, 0x0F, 0x00, 0xAA, 0xAA,   // red, green, blue
                 0xFF, 0x0F, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xAA};  // white, black, black
  TBitmap bitmap;
  LoadBytes(bitmap, MakeBmp(fields));
  EXPECT_EQ(bitmap.PixelColor(0, 1), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.PixelColor(1, 1), RGB(0, 255, 0));
  EXPECT_EQ(bitmap.PixelColor(2, 1), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.PixelColor(2, 0), 0u);
}

TEST(BmpReader, LoadFromFileOpensTheFile) {
  TBitmap bitmap;
  EXPECT_THROW(bitmap.LoadFromFile("/nonexistent/picture.bmp"), EFOpenError);
}

}  // namespace
}  // namespace tablora
