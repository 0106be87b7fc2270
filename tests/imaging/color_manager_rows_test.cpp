// Row conversion, grouped by routine. Every buffer is a heap vector of exactly the size the row
// needs, so the sanitizer build catches any routine that reads or writes one byte too far.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/color_manager.h"
#include "imaging/exceptions.h"

namespace tablora {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char* kIndexedMismatch =
    "Conversion between indexed and non-indexed pixel formats is not supported.";
constexpr const char* kNoMethod = "Color conversion failed. Could not find a proper method.";

struct RowSetup {
  TColorScheme source = csRGB;
  TColorScheme target = csBGR;
  unsigned sourceBits = 8;
  unsigned targetBits = 8;
  TConversionOptions sourceOptions = {};
  TConversionOptions targetOptions = {};
};

void Configure(TColorManager& manager, const RowSetup& setup) {
  manager.SetSourceOptions(setup.sourceOptions);
  manager.SetTargetOptions(setup.targetOptions);
  manager.SetSourceBitsPerSample(setup.sourceBits);
  manager.SetTargetBitsPerSample(setup.targetBits);
  manager.SetSourceColorScheme(setup.source);
  manager.SetTargetColorScheme(setup.target);
}

// Converts one interleaved row into a target of targetBytes bytes prefilled with fill.
Bytes Convert(const RowSetup& setup, const Bytes& source, std::size_t targetBytes, uint32_t count,
              uint8_t mask = 0xFF, uint8_t fill = 0xEE) {
  TColorManager manager;
  Configure(manager, setup);
  Bytes target(targetBytes, fill);
  manager.ConvertRow({source.data()}, target.data(), count, mask);
  return target;
}

template <class Action>
std::string ErrorOf(Action&& action) {
  try {
    action();
  } catch (const EColorConversionError& e) {
    return e.what();
  }
  return "<no error>";
}

Bytes RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// ---- Helpers ----

TEST(ColorHelpers, MulDiv16TruncatesProductAndQuotient) {
  EXPECT_EQ(MulDiv16(256, 255, 65535), 0);
  EXPECT_EQ(MulDiv16(65535, 255, 65535), 255);
  EXPECT_EQ(MulDiv16(2, 15, 3), 10);
  EXPECT_EQ(MulDiv16(65535, 65535, 1), 1);  // 0xFFFE0001 keeps its low 16 bits
  EXPECT_EQ(MulDiv16(7, 9, 0), 0xFFFF);
}

TEST(ColorHelpers, ClampByte) {
  EXPECT_EQ(ClampByte(-1), 0);
  EXPECT_EQ(ClampByte(0), 0);
  EXPECT_EQ(ClampByte(255), 255);
  EXPECT_EQ(ClampByte(256), 255);
  EXPECT_EQ(ClampByte(-100000), 0);
}

TEST(ColorHelpers, WordScalingAgreesWithMulDiv16ForEveryValue) {
  for (uint32_t v = 0; v <= 0xFFFF; ++v) {
    const auto value = static_cast<uint16_t>(v);
    ASSERT_EQ(ScaleWord(value), MulDiv16(value, 255, 65535)) << v;
    ASSERT_EQ(SwapScaleWord(value), MulDiv16(SwapWord(value), 255, 65535)) << v;
  }
  EXPECT_EQ(SwapWord(0x1234), 0x3412);
  EXPECT_EQ(KeepWord(0x1234), 0x1234);
  EXPECT_EQ(KeepByte(7), 7);
  TColorManager manager;
  EXPECT_EQ(manager.GammaByte(128), 186);
  EXPECT_EQ(manager.ScaleWordGamma(0x8080), 186);
  EXPECT_EQ(manager.SwapScaleWordGamma(0x8080), 186);
  EXPECT_EQ(manager.SwapScaleWordGamma(0x00FF), 255);
}

// ---- Colour copy family ----

TEST(ColorCopyRow, RgbToBgrExchangesRedAndBlue) {
  EXPECT_EQ(Convert({}, {10, 20, 30}, 3, 1), (Bytes{30, 20, 10}));
  EXPECT_EQ(Convert({.source = csBGR, .target = csRGB}, {10, 20, 30}, 3, 1),
            (Bytes{30, 20, 10}));
  EXPECT_EQ(Convert({.source = csRGB, .target = csRGB}, {10, 20, 30}, 3, 1),
            (Bytes{10, 20, 30}));
  EXPECT_EQ(Convert({.source = csBGR, .target = csBGR}, {10, 20, 30}, 3, 1),
            (Bytes{10, 20, 30}));
}

TEST(ColorCopyRow, AlphaIsCopiedOnlyWhenBothSidesHaveIt) {
  EXPECT_EQ(Convert({.source = csRGBA, .target = csBGRA}, {10, 20, 30, 40}, 4, 1),
            (Bytes{30, 20, 10, 40}));
  EXPECT_EQ(Convert({.source = csRGBA, .target = csBGR}, {10, 20, 30, 40, 1, 2, 3, 4}, 6, 2),
            (Bytes{30, 20, 10, 3, 2, 1}));
  // A target with room for alpha keeps its alpha byte when the source has none.
  EXPECT_EQ(Convert({.source = csRGB, .target = csBGRA}, {10, 20, 30, 1, 2, 3}, 8, 2),
            (Bytes{30, 20, 10, 0xEE, 3, 2, 1, 0xEE}));
  EXPECT_EQ(Convert({.source = csBGRA, .target = csBGRA}, {1, 2, 3, 4}, 4, 1),
            (Bytes{1, 2, 3, 4}));
}

TEST(ColorCopyRow, RoundTripRgbBgrRgbAtEveryLength) {
  // Lengths around the vector widths exercise the block loops and their scalar tails.
  for (uint32_t count = 0; count <= 70; ++count) {
    for (bool alpha : {false, true}) {
      const std::size_t size = count * (alpha ? 4u : 3u);
      const Bytes original = RandomBytes(size, count);
      const RowSetup there{.source = alpha ? csRGBA : csRGB, .target = alpha ? csBGRA : csBGR};
      const RowSetup back{.source = alpha ? csBGRA : csBGR, .target = alpha ? csRGBA : csRGB};
      const Bytes bgr = Convert(there, original, size, count);
      for (std::size_t i = 0; i + 2 < size; i += alpha ? 4 : 3) {
        ASSERT_EQ(bgr[i], original[i + 2]) << count;
        ASSERT_EQ(bgr[i + 1], original[i + 1]) << count;
        ASSERT_EQ(bgr[i + 2], original[i]) << count;
        if (alpha) {
          ASSERT_EQ(bgr[i + 3], original[i + 3]) << count;
        }
      }
      ASSERT_EQ(Convert(back, bgr, size, count), original) << count << " alpha " << alpha;
    }
  }
}

TEST(ColorCopyRow, ConversionInPlace) {
  const Bytes original = RandomBytes(3 * 40, 7);
  Bytes row = original;
  TColorManager manager;
  manager.ConvertRow({row.data()}, row.data(), 40, 0xFF);
  manager.ConvertRow({row.data()}, row.data(), 40, 0xFF);
  EXPECT_EQ(row, original);
}

TEST(ColorCopyRow, MaskSelectsTargetPixelsFromConsecutiveSourcePixels) {
  // Mask 0x80 with 9 pixels: target pixels 0 and 8 receive source pixels 0 and 1.
  const Bytes target = Convert({}, {1, 2, 3, 4, 5, 6}, 27, 9, 0x80);
  for (std::size_t pixel = 0; pixel < 9; ++pixel) {
    const uint8_t* p = target.data() + 3 * pixel;
    if (pixel == 0) {
      EXPECT_EQ(Bytes(p, p + 3), (Bytes{3, 2, 1}));
    } else if (pixel == 8) {
      EXPECT_EQ(Bytes(p, p + 3), (Bytes{6, 5, 4}));
    } else {
      EXPECT_EQ(Bytes(p, p + 3), (Bytes{0xEE, 0xEE, 0xEE})) << pixel;
    }
  }
}

TEST(ColorCopyRow, SixteenBitSamplesInEitherByteOrder) {
  const RowSetup swapped{.sourceBits = 16, .sourceOptions = coByteSwap};
  // Big-endian 0xFFFF -> 255, 0x0100 -> MulDiv16(256, 255, 65535) = 0, 0x8080 -> 128.
  EXPECT_EQ(Convert(swapped, {0xFF, 0xFF, 0x01, 0x00, 0x80, 0x80}, 3, 1), (Bytes{128, 0, 255}));
  const RowSetup little{.sourceBits = 16};
  // Little-endian 0xFFFF -> 255, 0x0001 -> 0, 0x0100 -> 0, 0x7F00 -> 126.
  EXPECT_EQ(Convert(little, {0xFF, 0xFF, 0x01, 0x00, 0x00, 0x7F}, 3, 1), (Bytes{126, 0, 255}));
  const RowSetup alpha{.source = csRGBA, .target = csBGRA, .sourceBits = 16,
                    .sourceOptions = coByteSwap};
  EXPECT_EQ(Convert(alpha, {0, 0, 0, 0, 0xFF, 0xFF, 0x40, 0x00}, 4, 1), (Bytes{255, 0, 0, 63}));
}

TEST(ColorCopyRow, GammaCorrectsColoursButNeverAlpha) {
  const RowSetup eight{.source = csRGBA, .target = csBGRA, .targetOptions = coGammaCorrect};
  EXPECT_EQ(Convert(eight, {128, 0, 255, 128}, 4, 1), (Bytes{255, 0, 186, 128}));
  const RowSetup sixteen{.source = csRGBA, .target = csBGRA, .sourceBits = 16,
                      .sourceOptions = coByteSwap, .targetOptions = coGammaCorrect};
  EXPECT_EQ(Convert(sixteen, {0x80, 0x80, 0, 0, 0, 0, 0x80, 0x80}, 4, 1),
            (Bytes{0, 0, 186, 128}));
  const RowSetup little{.sourceBits = 16, .targetOptions = coGammaCorrect};
  EXPECT_EQ(Convert(little, {0x80, 0x80, 0, 0, 0, 0}, 3, 1), (Bytes{0, 0, 186}));
}

TEST(ColorCopyRow, OptionsWrittenAfterPreparationTakeEffect) {
  TColorManager manager;
  const Bytes source = {128, 128, 128};
  Bytes target(3);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  EXPECT_EQ(target, (Bytes{128, 128, 128}));
  manager.SetTargetOptions(coGammaCorrect);
  ASSERT_FALSE(manager.Changed());
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  EXPECT_EQ(target, (Bytes{186, 186, 186}));
}

TEST(ColorCopyRow, PlanarSources) {
  const Bytes red = {1, 2}, green = {3, 4}, blue = {5, 6}, alpha = {7, 8};
  TColorManager manager;
  Bytes target(6);
  manager.ConvertRow({red.data(), green.data(), blue.data()}, target.data(), 2, 0xFF);
  EXPECT_EQ(target, (Bytes{5, 3, 1, 6, 4, 2}));

  manager.SetSourceColorScheme(csRGBA);
  manager.SetTargetColorScheme(csBGRA);
  Bytes withAlpha(8, 0xEE);
  manager.ConvertRow({red.data(), green.data(), blue.data(), alpha.data()}, withAlpha.data(), 2,
                     0xFF);
  EXPECT_EQ(withAlpha, (Bytes{5, 3, 1, 7, 6, 4, 2, 8}));
  // Without a fourth plane there is no alpha to copy: the target keeps its own.
  Bytes noPlane(8, 0xEE);
  manager.ConvertRow({red.data(), green.data(), blue.data()}, noPlane.data(), 2, 0xFF);
  EXPECT_EQ(noPlane, (Bytes{5, 3, 1, 0xEE, 6, 4, 2, 0xEE}));
  // Two planes cannot be a colour row.
  EXPECT_EQ(ErrorOf([&] { manager.ConvertRow({red.data(), green.data()}, noPlane.data(), 2, 0xFF); }),
            kNoMethod);
}

TEST(ColorCopyRow, SubByteColourSourcesWriteNothing) {
  const RowSetup setup{.sourceBits = 4};
  EXPECT_EQ(Convert(setup, {0x12, 0x34}, 6, 2), Bytes(6, 0xEE));
}

// ---- Mask rule, for every routine with byte-sized pixels ----

struct MaskCase {
  const char* name;
  RowSetup setup;
  std::size_t sourcePixelBytes;
  std::size_t targetPixelBytes;
};

TEST(ColorMaskRule, SelectedPixelsMatchTheFullConversionAndOthersStayUntouched) {
  const MaskCase cases[] = {
      {"rgb8", {}, 3, 3},
      {"rgba8", {.source = csRGBA, .target = csBGRA}, 4, 4},
      {"rgb8 gamma", {.targetOptions = coGammaCorrect}, 3, 3},
      {"rgb16 swap", {.sourceBits = 16, .sourceOptions = coByteSwap}, 6, 3},
      {"bgra16", {.source = csBGRA, .target = csRGBA, .sourceBits = 16}, 8, 4},
      {"gray alpha8", {.source = csGrayAlpha, .target = csGray}, 2, 1},
      {"gray16", {.source = csGray, .target = csGray, .sourceBits = 16,
                  .sourceOptions = coByteSwap}, 2, 1},
      {"indexed8", {.source = csIndexed, .target = csIndexed}, 1, 1},
      {"indexed16", {.source = csIndexed, .target = csIndexed, .sourceBits = 16,
                     .targetBits = 16, .sourceOptions = coByteSwap}, 2, 2},
      {"indexed16 to 8", {.source = csIndexed, .target = csIndexed, .sourceBits = 16}, 2, 1},
      {"indexed8 to 16", {.source = csIndexed, .target = csIndexed, .targetBits = 16}, 1, 2},
      {"cmyk8", {.source = csCMYK}, 4, 3},
      {"cmyk16", {.source = csCMYK, .target = csRGBA, .sourceBits = 16}, 8, 4},
      {"lab8", {.source = csCIELab, .sourceOptions = coLabScaledL + coLabOffsetAB}, 3, 3},
      {"lab16", {.source = csCIELab, .sourceBits = 16, .sourceOptions = coByteSwap}, 6, 3},
      {"ycbcr8", {.source = csYCbCr}, 3, 3},
      {"ycbcr16", {.source = csYCbCr, .target = csRGB, .sourceBits = 16}, 6, 3},
      {"photo ycc", {.source = csPhotoYCC, .target = csRGB}, 3, 3},
  };
  for (const MaskCase& c : cases) {
    for (uint32_t count : {1u, 9u, 17u, 23u}) {
      const Bytes all = RandomBytes(count * c.sourcePixelBytes, count);
      const Bytes full = Convert(c.setup, all, count * c.targetPixelBytes, count);
      for (uint8_t mask : {0x80, 0xAA, 0x55, 0x01, 0xF0, 0x00}) {
        Bytes selected;
        for (uint32_t i = 0; i < count; ++i) {
          if (mask & (0x80 >> (i % 8))) {
            selected.insert(selected.end(), all.begin() + i * c.sourcePixelBytes,
                            all.begin() + (i + 1) * c.sourcePixelBytes);
          }
        }
        // An empty selection still needs a valid pointer; it must not be read.
        Bytes source = selected.empty() ? Bytes(1, 0) : selected;
        const Bytes masked =
            Convert(c.setup, source, count * c.targetPixelBytes, count, mask, 0xEE);
        for (uint32_t i = 0; i < count; ++i) {
          const bool on = (mask & (0x80 >> (i % 8))) != 0;
          for (std::size_t b = 0; b < c.targetPixelBytes; ++b) {
            const std::size_t at = i * c.targetPixelBytes + b;
            ASSERT_EQ(masked[at], on ? full[at] : 0xEE)
                << c.name << " count " << count << " mask " << int(mask) << " pixel " << i;
          }
        }
      }
    }
  }
}

// ---- Grey ----

TEST(GrayRow, DropsAlphaAndKeepsEightBitValues) {
  const RowSetup setup{.source = csGrayAlpha, .target = csGray};
  EXPECT_EQ(Convert(setup, {10, 99, 20, 98}, 2, 2), (Bytes{10, 20}));
  const RowSetup gamma{.source = csGrayAlpha, .target = csGray, .targetOptions = coGammaCorrect};
  EXPECT_EQ(Convert(gamma, {128, 0}, 1, 1), (Bytes{128})) << "grey rows are not corrected";
  const RowSetup toIndexed{.source = csGrayAlpha, .target = csIndexed};
  EXPECT_EQ(Convert(toIndexed, {10, 99, 20, 98}, 2, 2), (Bytes{10, 20}));
}

TEST(GrayRow, SixteenBitValuesAreScaledInTheirByteOrder) {
  const RowSetup little{.source = csGray, .target = csGray, .sourceBits = 16};
  EXPECT_EQ(Convert(little, {0x12, 0x34, 0xFF, 0xFF}, 2, 2), (Bytes{51, 255}));  // 0x3412
  const RowSetup big{.source = csGray, .target = csGray, .sourceBits = 16,
                  .sourceOptions = coByteSwap};
  EXPECT_EQ(Convert(big, {0x12, 0x34, 0x00, 0xFF}, 2, 2), (Bytes{18, 0}));  // 0x1234, 0x00FF
  const RowSetup alpha{.source = csGrayAlpha, .target = csGray, .sourceBits = 16,
                    .sourceOptions = coByteSwap};
  EXPECT_EQ(Convert(alpha, {0xFF, 0xFF, 0, 0, 0x80, 0x80, 0xFF, 0xFF}, 2, 2),
            (Bytes{255, 128}));
  // Eight bits into a 16-bit grey target: still one byte per pixel.
  const RowSetup wide{.source = csGray, .target = csGray, .targetBits = 16};
  EXPECT_EQ(Convert(wide, {7, 8}, 2, 2), (Bytes{7, 8}));
}

// ---- Indexed ----

TEST(IndexedRow, TwoBitGreyToFourBits) {
  const RowSetup setup{.source = csGray, .target = csGray, .sourceBits = 2, .targetBits = 4};
  // Values 0, 1, 2, 3 packed in one byte become 0, 5, 10, 15.
  EXPECT_EQ(Convert(setup, {0x1B}, 2, 4), (Bytes{0x05, 0xAF}));
}

TEST(IndexedRow, SameDepthCopiesOnlyTheBytesOfCountPixels) {
  const RowSetup setup{.source = csIndexed, .target = csIndexed, .sourceBits = 1, .targetBits = 1};
  EXPECT_EQ(Convert(setup, {0xA5, 0x80}, 2, 9), (Bytes{0xA5, 0x80}));
  const RowSetup four{.source = csIndexed, .target = csIndexed, .sourceBits = 4, .targetBits = 4};
  EXPECT_EQ(Convert(four, {0x12, 0x30}, 2, 3), (Bytes{0x12, 0x30}));
}

TEST(IndexedRow, WideningAndNarrowing) {
  const RowSetup widen{.source = csIndexed, .target = csIndexed, .sourceBits = 1};
  EXPECT_EQ(Convert(widen, {0xA0}, 3, 3), (Bytes{255, 0, 255}));
  // 8 bits to 1: v * 1 div 255 sets a bit only for 255; the unused low bits keep their value.
  const RowSetup narrow{.source = csIndexed, .target = csIndexed, .targetBits = 1};
  EXPECT_EQ(Convert(narrow, {255, 0, 128, 255}, 1, 4, 0xFF, 0x0F), (Bytes{0x9F}));
}

TEST(IndexedRow, MaskedFieldsChangeNoOtherBits) {
  const RowSetup setup{.source = csIndexed, .target = csIndexed, .sourceBits = 4, .targetBits = 4};
  // Pixel 1 only: the low nibble of the first byte.
  EXPECT_EQ(Convert(setup, {0xA0}, 2, 3, 0x40, 0x12), (Bytes{0x1A, 0x12}));
  // Pixels 0 and 8 of a 1-bit row read two values from the single source byte.
  const RowSetup bits{.source = csIndexed, .target = csIndexed, .sourceBits = 1, .targetBits = 1};
  EXPECT_EQ(Convert(bits, {0x80}, 2, 16, 0x80, 0x00), (Bytes{0x80, 0x00}));
  EXPECT_EQ(Convert(bits, {0x40}, 2, 16, 0x80, 0xFF), (Bytes{0x7F, 0xFF}));
}

TEST(IndexedRow, SixteenBitIndices) {
  const RowSetup copy{.source = csIndexed, .target = csIndexed, .sourceBits = 16, .targetBits = 16};
  EXPECT_EQ(Convert(copy, {0x12, 0x34}, 2, 1), (Bytes{0x12, 0x34}));
  RowSetup swapped = copy;
  swapped.sourceOptions = coByteSwap;
  EXPECT_EQ(Convert(swapped, {0x12, 0x34, 0x56, 0x78}, 4, 2), (Bytes{0x34, 0x12, 0x78, 0x56}));

  const RowSetup toEight{.source = csIndexed, .target = csIndexed, .sourceBits = 16,
                      .sourceOptions = coByteSwap};
  EXPECT_EQ(Convert(toEight, {0xFF, 0xFF, 0x01, 0x00, 0x80, 0x00}, 3, 3), (Bytes{255, 0, 127}));
  const RowSetup toFour{.source = csIndexed, .target = csIndexed, .sourceBits = 16, .targetBits = 4};
  EXPECT_EQ(Convert(toFour, {0xFF, 0xFF, 0x00, 0x80}, 1, 2), (Bytes{0xF7}));  // 15, 7

  const RowSetup fromFour{.source = csIndexed, .target = csIndexed, .sourceBits = 4,
                       .targetBits = 16};
  EXPECT_EQ(Convert(fromFour, {0xF1, 0x80}, 6, 3),
            (Bytes{0xFF, 0xFF, 0x11, 0x11, 0x88, 0x88}));  // 65535, 4369, 34952
  const RowSetup fromEight{.source = csIndexed, .target = csIndexed, .targetBits = 16,
                        .sourceOptions = coByteSwap};
  EXPECT_EQ(Convert(fromEight, {0, 1}, 4, 2), (Bytes{0, 0, 1, 1}));
}

// ---- CMYK ----

TEST(CMYKRow, EightBitInks) {
  const RowSetup setup{.source = csCMYK};
  // C = 255 with K = 0 removes red; K = 255 removes everything; no ink is white.
  EXPECT_EQ(Convert(setup, {255, 0, 0, 0}, 3, 1), (Bytes{255, 255, 0}));
  EXPECT_EQ(Convert(setup, {0, 10, 200, 255}, 3, 1), (Bytes{0, 0, 0}));
  EXPECT_EQ(Convert(setup, {0, 0, 0, 0}, 3, 1), (Bytes{255, 255, 255}));
  // MulDiv16(128, 128, 255) - 128 - 128 + 255 = 64 - 1 = 63.
  EXPECT_EQ(Convert(setup, {128, 0, 0, 128}, 3, 1), (Bytes{127, 127, 63}));
  const RowSetup rgb{.source = csCMYK, .target = csRGB};
  EXPECT_EQ(Convert(rgb, {255, 0, 0, 0}, 3, 1), (Bytes{0, 255, 255}));
  const RowSetup alpha{.source = csCMYK, .target = csBGRA};
  EXPECT_EQ(Convert(alpha, {255, 0, 0, 0}, 4, 1), (Bytes{255, 255, 0, 0xEE}));
}

TEST(CMYKRow, PlanarOnlyWithExactlyFourPointers) {
  const Bytes c = {255, 0}, m = {0, 255}, y = {0, 0}, k = {0, 0};
  TColorManager manager;
  manager.SetSourceColorScheme(csCMYK);
  Bytes target(6);
  manager.ConvertRow({c.data(), m.data(), y.data(), k.data()}, target.data(), 2, 0xFF);
  EXPECT_EQ(target, (Bytes{255, 255, 0, 255, 0, 255}));
  // Three pointers: the first is read as an interleaved row.
  const Bytes interleaved = {0, 0, 255, 0};
  Bytes one(3);
  manager.ConvertRow({interleaved.data(), m.data(), y.data()}, one.data(), 1, 0xFF);
  EXPECT_EQ(one, (Bytes{0, 255, 255}));
}

TEST(CMYKRow, SixteenBitInksInTheFilesByteOrder) {
  const RowSetup little{.source = csCMYK, .sourceBits = 16};
  // 0x8000 ink with 0x8000 black: p = 16384, q = 49152 * 255 div 65535 = 191, out 64.
  EXPECT_EQ(Convert(little, {0x00, 0x80, 0, 0, 0xFF, 0xFF, 0x00, 0x80}, 3, 1),
            (Bytes{0, 128, 64}));
  // Big-endian files: the same bytes read high byte first.
  const RowSetup big{.source = csCMYK, .sourceBits = 16, .sourceOptions = coByteSwap};
  EXPECT_EQ(Convert(big, {0x80, 0x00, 0, 0, 0xFF, 0xFF, 0x80, 0x00}, 3, 1),
            (Bytes{0, 128, 64}));
  EXPECT_EQ(Convert(little, {0x80, 0x00, 0, 0, 0, 0, 0x80, 0x00}, 3, 1),
            (Bytes{255, 255, 255}));  // 0x0080 is almost no ink
}

// ---- CIE L*a*b* ----

// Linear light from the matrix is encoded with the sRGB curve, so neutral greys match what other
// programs show (L* 50 is 119, not the 47 of linear light).
TEST(LabRow, WorkedExamples) {
  const RowSetup setup{.source = csCIELab, .target = csRGB};
  EXPECT_EQ(Convert(setup, {100, 0, 0}, 3, 1), (Bytes{255, 255, 255}));
  EXPECT_EQ(Convert(setup, {0, 0, 0}, 3, 1), (Bytes{0, 0, 0}));
  EXPECT_EQ(Convert(setup, {50, 0, 0}, 3, 1), (Bytes{119, 119, 119}));
  EXPECT_EQ(Convert(setup, {50, 50, 0}, 3, 1), (Bytes{192, 77, 122}));
  EXPECT_EQ(Convert(setup, {50, 0xCE, 30}, 3, 1), (Bytes{3, 138, 66}));  // a = -50
  EXPECT_EQ(Convert(setup, {60, 0, 0xC4}, 3, 1), (Bytes{0, 152, 247}));  // b = -60
  // L below 7.9996 takes the linear branch.
  EXPECT_EQ(Convert(setup, {5, 20, 0xEC}, 3, 1), (Bytes{31, 5, 39}));
  const RowSetup bgr{.source = csCIELab};
  EXPECT_EQ(Convert(bgr, {50, 50, 0}, 3, 1), (Bytes{122, 77, 192}));
  const RowSetup alpha{.source = csCIELab, .target = csBGRA};
  EXPECT_EQ(Convert(alpha, {50, 50, 0}, 4, 1), (Bytes{122, 77, 192, 0xEE}));
}

TEST(LabRow, ScaledLightnessAndOffsetChroma) {
  const RowSetup setup{.source = csCIELab, .target = csRGB,
                    .sourceOptions = coLabScaledL + coLabOffsetAB};
  EXPECT_EQ(Convert(setup, {255, 128, 128}, 3, 1), (Bytes{255, 255, 255}));
  EXPECT_EQ(Convert(setup, {127, 128, 128}, 3, 1), (Bytes{118, 118, 118}));  // L = 49.8
  const RowSetup offset{.source = csCIELab, .target = csRGB, .sourceOptions = coLabOffsetAB};
  EXPECT_EQ(Convert(offset, {50, 178, 128}, 3, 1), (Bytes{192, 77, 122}));  // a = +50
}

TEST(LabRow, OptionsWrittenBetweenRowsTakeEffect) {
  TColorManager manager;
  manager.SetSourceColorScheme(csCIELab);
  manager.SetTargetColorScheme(csRGB);
  const Bytes source = {127, 178, 128};
  Bytes target(3);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  const Bytes plain = target;
  manager.SetSourceOptions(coLabScaledL + coLabOffsetAB);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  const Bytes adjusted = target;
  EXPECT_NE(plain, adjusted);
  // A copy shares what the original prepared and still follows its own options.
  TColorManager copy = manager;
  copy.SetSourceOptions(TConversionOptions());
  copy.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  EXPECT_EQ(target, plain);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  EXPECT_EQ(target, adjusted);
}

TEST(LabRow, PlanarSources) {
  const Bytes l = {50, 100}, a = {50, 0}, b = {0, 0};
  TColorManager manager;
  manager.SetSourceColorScheme(csCIELab);
  Bytes target(6);
  manager.ConvertRow({l.data(), a.data(), b.data()}, target.data(), 2, 0xFF);
  EXPECT_EQ(target, (Bytes{122, 77, 192, 255, 255, 255}));
}

TEST(LabRow, SixteenBitSamplesAreReducedToEightBitsFirst) {
  // PSD style: big-endian, scaled L, offset chroma. L 0xFFFF -> 255 -> 100; a 0xB2xx -> +50.
  const RowSetup psd{.source = csCIELab, .target = csRGB, .sourceBits = 16,
                  .sourceOptions = coByteSwap + coLabScaledL + coLabOffsetAB};
  EXPECT_EQ(Convert(psd, {0xFF, 0xFF, 0xB2, 0x34, 0x80, 0x00}, 3, 1), (Bytes{255, 216, 255}));
  // Little-endian, signed chroma: a 0xCE12 has the high byte -50.
  const RowSetup little{.source = csCIELab, .target = csRGB, .sourceBits = 16};
  EXPECT_EQ(Convert(little, {0x32, 0x32, 0x12, 0xCE, 0x00, 0x1E}, 3, 1), (Bytes{3, 138, 66}));

  // Every 16-bit sample gives what its reduced 8-bit sample gives.
  const Bytes words = RandomBytes(6 * 64, 99);
  for (TConversionOptions options : {TConversionOptions(), coLabScaledL + coLabOffsetAB,
                                     TConversionOptions(coByteSwap)}) {
    RowSetup wide{.source = csCIELab, .target = csRGB, .sourceBits = 16, .sourceOptions = options};
    RowSetup narrow{.source = csCIELab, .target = csRGB,
                 .sourceOptions = options - coByteSwap};
    Bytes reduced;
    const bool swap = options.Contains(coByteSwap);
    for (std::size_t i = 0; i < words.size(); i += 2) {
      const uint16_t value = swap ? uint16_t(words[i] << 8 | words[i + 1])
                                  : uint16_t(words[i + 1] << 8 | words[i]);
      const bool lightness = (i / 2) % 3 == 0;
      reduced.push_back(lightness ? ScaleWord(value) : uint8_t(value >> 8));
    }
    EXPECT_EQ(Convert(wide, words, 3 * 64, 64), Convert(narrow, reduced, 3 * 64, 64));
  }
}

// ---- YCbCr and Photo-CD ----

TEST(YCbCrRow, EightBitSamples) {
  const RowSetup setup{.source = csYCbCr};
  EXPECT_EQ(Convert(setup, {100, 128, 128}, 3, 1), (Bytes{100, 100, 100}));
  EXPECT_EQ(Convert(setup, {0, 128, 255}, 3, 1), (Bytes{0, 0, 178}));  // green 0 - 91
  EXPECT_EQ(Convert(setup, {200, 0, 128}, 3, 1), (Bytes{0, 244, 200}));
  const RowSetup rgb{.source = csYCbCr, .target = csRGB};
  EXPECT_EQ(Convert(rgb, {200, 0, 128}, 3, 1), (Bytes{200, 244, 0}));
  const RowSetup alpha{.source = csYCbCr, .target = csBGRA};
  EXPECT_EQ(Convert(alpha, {200, 0, 128}, 4, 1), (Bytes{0, 244, 200, 0xEE}));
}

TEST(YCbCrRow, SixteenBitAndPlanarSamples) {
  const RowSetup little{.source = csYCbCr, .sourceBits = 16};
  EXPECT_EQ(Convert(little, {0xFF, 0xFF, 0x80, 0x80, 0x80, 0x80}, 3, 1), (Bytes{255, 255, 255}));
  const RowSetup big{.source = csYCbCr, .sourceBits = 16, .sourceOptions = coByteSwap};
  // 0xC800 -> 199, 0x00FF -> 0, 0x8080 -> 128.
  EXPECT_EQ(Convert(big, {0xC8, 0x00, 0x00, 0xFF, 0x80, 0x80}, 3, 1), (Bytes{0, 243, 199}));

  const Bytes y = {100, 200}, cb = {128, 0}, cr = {128, 128};
  TColorManager manager;
  manager.SetSourceColorScheme(csYCbCr);
  manager.SetYCbCrParameters({0.299f, 0.587f, 0.114f}, 2, 2);  // stored, never applied
  Bytes target(6);
  manager.ConvertRow({y.data(), cb.data(), cr.data()}, target.data(), 2, 0xFF);
  EXPECT_EQ(target, (Bytes{100, 100, 100, 0, 244, 200}));
}

TEST(YCbCrRow, WeightsTakeEffectAtTheNextPreparation) {
  TColorManager manager;
  manager.SetSourceColorScheme(csYCbCr);
  const Bytes source = {0, 128, 255};
  Bytes target(3);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  EXPECT_EQ(target[2], 178);
  manager.SetYCbCrParameters({0.5f}, 1, 1);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  EXPECT_EQ(target[2], 178) << "the tables of the last preparation stay in force";
  manager.SetSourceColorScheme(csPhotoYCC);
  manager.SetSourceColorScheme(csYCbCr);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  EXPECT_EQ(target[2], 127);  // f1 = 1.0
}

TEST(PhotoYCCRow, ChromaCentredAt156And137) {
  const RowSetup setup{.source = csPhotoYCC, .target = csRGB};
  EXPECT_EQ(Convert(setup, {100, 156, 137}, 3, 1), (Bytes{100, 100, 100}));
  EXPECT_EQ(Convert(setup, {100, 128, 128}, 3, 1), (Bytes{87, 116, 50}));
  const RowSetup bgr{.source = csPhotoYCC};
  EXPECT_EQ(Convert(bgr, {100, 128, 128}, 3, 1), (Bytes{50, 116, 87}));
}

// ---- Selection ----

TEST(ColorRowSelection, IndexedAndNonIndexedDoNotMix) {
  TColorManager manager;
  manager.SetSourceColorScheme(csGray);
  const Bytes source(3, 0);
  Bytes target(3);
  auto convert = [&] { manager.ConvertRow({source.data()}, target.data(), 1, 0xFF); };
  EXPECT_EQ(ErrorOf(convert), kIndexedMismatch);
  EXPECT_TRUE(manager.Changed());
  EXPECT_EQ(ErrorOf(convert), kIndexedMismatch) << "raised again at every row";
  manager.SetSourceColorScheme(csRGB);
  manager.SetTargetColorScheme(csGray);
  EXPECT_EQ(ErrorOf(convert), kIndexedMismatch);
  manager.SetSourceColorScheme(csGrayAlpha);
  manager.SetTargetColorScheme(csGrayAlpha);  // not an indexed-like target
  EXPECT_EQ(ErrorOf(convert), kIndexedMismatch);
  manager.SetTargetColorScheme(csGray);
  EXPECT_NO_THROW(convert());
}

TEST(ColorRowSelection, CasesWithoutARoutine) {
  struct Case {
    const char* name;
    RowSetup setup;
  };
  const Case cases[] = {
      {"cmy", {.source = csCMY}},
      {"unknown", {.source = csUnknown}},
      {"rgb to cmyk", {.target = csCMYK}},
      {"grey 16 to 4", {.source = csGray, .target = csGray, .sourceBits = 16, .targetBits = 4}},
      {"grey 4 to 16", {.source = csGray, .target = csGray, .sourceBits = 4, .targetBits = 16}},
      {"grey alpha 4", {.source = csGrayAlpha, .target = csGray, .sourceBits = 4, .targetBits = 4}},
      {"indexed 3 bits", {.source = csIndexed, .target = csIndexed, .sourceBits = 3}},
      {"indexed to 6 bits", {.source = csIndexed, .target = csIndexed, .targetBits = 6}},
      {"rgb 12 bits", {.sourceBits = 12}},
      {"rgb to 5 bits", {.targetBits = 5}},
      {"cmyk 4 bits", {.source = csCMYK, .sourceBits = 4}},
      {"lab 2 bits", {.source = csCIELab, .sourceBits = 2}},
      {"ycbcr 1 bit", {.source = csYCbCr, .sourceBits = 1}},
  };
  for (const Case& c : cases) {
    TColorManager manager;
    Configure(manager, c.setup);
    const Bytes source(16, 0);
    Bytes target(16, 0xEE);
    auto convert = [&] { manager.ConvertRow({source.data()}, target.data(), 1, 0xFF); };
    EXPECT_EQ(ErrorOf(convert), kNoMethod) << c.name;
    EXPECT_FALSE(manager.Changed()) << c.name;
    EXPECT_EQ(ErrorOf(convert), kNoMethod) << c.name << ": every later row fails as well";
    EXPECT_EQ(target, Bytes(16, 0xEE)) << c.name;
  }
}

TEST(ColorRowSelection, MissingSourceFails) {
  TColorManager manager;
  Bytes target(3);
  EXPECT_EQ(ErrorOf([&] { manager.ConvertRow(TColorManager::TSourceList(), target.data(), 1, 0xFF); }),
            kNoMethod);
  EXPECT_EQ(ErrorOf([&] { manager.ConvertRow({nullptr}, target.data(), 1, 0xFF); }), kNoMethod);
}

TEST(ColorRowSelection, PreparationMaintainsTheAlphaOption) {
  TColorManager manager;
  manager.SetSourceOptions(coAlphaChannel + coByteSwap);
  manager.SetTargetOptions(coGammaCorrect);
  manager.SetTargetColorScheme(csBGRA);
  const Bytes source(3, 0);
  Bytes target(4);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
  EXPECT_EQ(manager.SourceOptions(), TConversionOptions(coByteSwap));
  EXPECT_EQ(manager.TargetOptions(), coGammaCorrect + coAlphaChannel);
  manager.SetSourceColorScheme(csRGBA);
  manager.SetTargetColorScheme(csBGR);
  manager.ConvertRow({source.data()}, target.data(), 0, 0xFF);
  EXPECT_TRUE(manager.SourceOptions().Contains(coAlphaChannel));
  EXPECT_FALSE(manager.TargetOptions().Contains(coAlphaChannel));
}

TEST(ColorRowSelection, AlphaFollowsTheSchemesWhateverOptionsAReaderAssigns) {
  TColorManager manager;
  manager.SetSourceColorScheme(csRGBA);
  manager.SetTargetColorScheme(csBGRA);
  const Bytes rgba = {10, 20, 30, 40, 50, 60, 70, 80};
  Bytes target(8);
  manager.ConvertRow({rgba.data()}, target.data(), 2, 0xFF);
  // A second load of the same layout assigns its options afresh; no new preparation follows.
  manager.SetSourceOptions(coByteSwap);
  manager.SetTargetOptions(TConversionOptions());
  ASSERT_FALSE(manager.Changed());
  manager.ConvertRow({rgba.data()}, target.data(), 2, 0xFF);
  EXPECT_EQ(target, (Bytes{30, 20, 10, 40, 70, 60, 50, 80}));
  // The reverse, an alpha bit on a three-sample row, must not widen the step past the row.
  manager.SetSourceColorScheme(csRGB);
  manager.SetTargetColorScheme(csBGR);
  const Bytes rgb = {1, 2, 3, 4, 5, 6};
  Bytes narrow(6);
  manager.ConvertRow({rgb.data()}, narrow.data(), 1, 0xFF);
  manager.SetSourceOptions(coAlphaChannel);
  manager.ConvertRow({rgb.data()}, narrow.data(), 2, 0xFF);
  EXPECT_EQ(narrow, (Bytes{3, 2, 1, 6, 5, 4}));
}

// ---- Reader set-ups, in the order a reader performs them, into a real bitmap ----

TEST(ColorReaderSetUp, PngSixteenBitRgbAndAnInterlacedPass) {
  TColorManager manager;
  manager.SetSourceOptions(coByteSwap);
  manager.SetSourceBitsPerSample(16);
  manager.SetTargetBitsPerSample(8);
  manager.SetSourceColorScheme(csRGB);
  manager.SetTargetColorScheme(csBGR);
  manager.SetSourceSamplesPerPixel(3);
  manager.SetTargetSamplesPerPixel(3);
  TBitmap bitmap;
  bitmap.SetPixelFormat(manager.GetPixelFormat(1));
  ASSERT_EQ(bitmap.PixelFormat(), pf24bit);
  bitmap.SetSize(9, 1);
  const Bytes row = {0xFF, 0xFF, 0x80, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF};
  // Adam7 pass 1 puts pixel 0 of every group of eight.
  manager.ConvertRow({row.data()}, bitmap.ScanLine(0), 9, 0x80);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(255, 128, 0));
  EXPECT_EQ(bitmap.PixelColor(8, 0), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.PixelColor(4, 0), RGB(0, 0, 0));
}

TEST(ColorReaderSetUp, PngTwoBitPaletteRaisedToFourBits) {
  TColorManager manager;
  manager.SetSourceOptions(coByteSwap);
  manager.SetSourceBitsPerSample(2);
  manager.SetTargetBitsPerSample(4);
  manager.SetSourceColorScheme(csIndexed);
  manager.SetTargetColorScheme(csIndexed);
  manager.SetSourceSamplesPerPixel(1);
  manager.SetTargetSamplesPerPixel(1);
  TBitmap bitmap;
  bitmap.SetPixelFormat(manager.GetPixelFormat(1));
  ASSERT_EQ(bitmap.PixelFormat(), pf4bit);
  const Bytes plte = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
  bitmap.SetPalette(manager.CreateColorPalette({plte.data()}, plPacked8x3, plte.size() / 3, false));
  bitmap.SetSize(4, 1);
  const Bytes row = {0x1B};  // indices 0, 1, 2, 3
  manager.ConvertRow({row.data()}, bitmap.ScanLine(0), 4, 0xFF);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(bitmap.PixelColor(2, 0), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.PixelColor(3, 0), RGB(9, 9, 9));
}

TEST(ColorReaderSetUp, PngSixteenBitGreyWithGamma) {
  TColorManager manager;
  manager.SetSourceOptions(coByteSwap);
  manager.SetSourceBitsPerSample(16);
  manager.SetTargetBitsPerSample(8);
  manager.SetSourceColorScheme(csGray);
  manager.SetTargetColorScheme(csGray);
  manager.SetSourceSamplesPerPixel(1);
  manager.SetTargetSamplesPerPixel(1);
  manager.SetGamma(45455 / 100000.0f, 2.2f);  // gAMA of 1/2.2: exponent close to 1
  manager.SetTargetOptions(manager.TargetOptions() + coGammaCorrect);
  TBitmap bitmap;
  bitmap.SetPixelFormat(manager.GetPixelFormat(1));
  ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
  bitmap.SetPalette(manager.CreateGrayscalePalette(false));
  bitmap.SetSize(2, 1);
  const Bytes row = {0x80, 0x80, 0xFF, 0xFF};
  manager.ConvertRow({row.data()}, bitmap.ScanLine(0), 2, 0xFF);
  EXPECT_EQ(bitmap.ScanLine(0)[0], 128);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(128, 128, 128));
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(255, 255, 255));
}

TEST(ColorReaderSetUp, PsdPlanarCmykAndLab) {
  TColorManager manager;
  manager.SetSourceOptions(coByteSwap);
  manager.SetSourceBitsPerSample(8);
  manager.SetTargetBitsPerSample(8);
  manager.SetSourceSamplesPerPixel(4);
  manager.SetTargetSamplesPerPixel(3);
  manager.SetSourceColorScheme(csCMYK);
  manager.SetTargetColorScheme(csBGR);
  TBitmap bitmap;
  bitmap.SetPixelFormat(manager.GetPixelFormat(1));
  ASSERT_EQ(bitmap.PixelFormat(), pf24bit);
  bitmap.SetSize(2, 1);
  // Planes as the reader hands them over, its inks already inverted so that 0 means none.
  const Bytes c = {255, 0}, m = {0, 0}, y = {0, 255}, k = {0, 0};
  manager.ConvertRow({c.data(), m.data(), y.data(), k.data()}, bitmap.ScanLine(0), 2, 0xFF);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(0, 255, 255));
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(255, 255, 0));

  manager.SetSourceOptions(coByteSwap + coLabScaledL + coLabOffsetAB);
  manager.SetSourceSamplesPerPixel(3);
  manager.SetSourceColorScheme(csCIELab);
  const Bytes l = {255, 127}, a = {128, 128}, b = {128, 128};
  manager.ConvertRow({l.data(), a.data(), b.data()}, bitmap.ScanLine(0), 2, 0xFF);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(118, 118, 118));
}

TEST(ColorReaderSetUp, TiffMotorolaPaletteAndRgb) {
  TColorManager manager;
  manager.SetSourceOptions(coByteSwap);
  manager.SetSourceBitsPerSample(4);
  manager.SetTargetBitsPerSample(4);
  manager.SetSourceColorScheme(csIndexed);
  manager.SetTargetColorScheme(csIndexed);
  manager.SetSourceSamplesPerPixel(1);
  manager.SetTargetSamplesPerPixel(1);
  // ColorMap: 16 red values, then 16 green, then 16 blue, 16 bits each, big-endian.
  Bytes map(3 * 16 * 2, 0);
  map[2 * 1] = 0xFF;                 // red[1] = 0xFF00
  map[2 * (16 + 2)] = 0x80;          // green[2] = 0x8000
  map[2 * (32 + 15)] = 0xFF;         // blue[15] = 0xFFFF
  map[2 * (32 + 15) + 1] = 0xFF;
  TBitmap bitmap;
  bitmap.SetPixelFormat(manager.GetPixelFormat(1));
  bitmap.SetPalette(manager.CreateColorPalette({map.data(), map.data() + 32, map.data() + 64},
                                               plPlanar16x3, 16, false));
  bitmap.SetSize(3, 1);
  const Bytes row = {0x12, 0xF0};
  manager.ConvertRow({row.data()}, bitmap.ScanLine(0), 3, 0xFF);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(254, 0, 0));
  EXPECT_EQ(bitmap.PixelColor(1, 0), RGB(0, 127, 0));
  EXPECT_EQ(bitmap.PixelColor(2, 0), RGB(0, 0, 255));

  manager.SetSourceBitsPerSample(16);
  manager.SetTargetBitsPerSample(8);
  manager.SetSourceSamplesPerPixel(3);
  manager.SetTargetSamplesPerPixel(3);
  manager.SetSourceColorScheme(csRGB);
  manager.SetTargetColorScheme(csBGR);
  TBitmap colour;
  colour.SetPixelFormat(manager.GetPixelFormat(1));
  colour.SetSize(1, 1);
  const Bytes rgb = {0x12, 0x34, 0xFF, 0x00, 0x00, 0xFF};
  manager.ConvertRow({rgb.data()}, colour.ScanLine(0), 1, 0xFF);
  EXPECT_EQ(colour.PixelColor(0, 0), RGB(18, 254, 0));
}

TEST(ColorReaderSetUp, TiffCmykYCbCrAndGreyWithAlpha) {
  TColorManager manager;
  manager.SetSourceBitsPerSample(8);
  manager.SetTargetBitsPerSample(8);
  manager.SetSourceColorScheme(csCMYK);
  manager.SetTargetColorScheme(csBGR);
  manager.SetSourceSamplesPerPixel(4);
  manager.SetTargetSamplesPerPixel(3);
  TBitmap bitmap;
  bitmap.SetPixelFormat(manager.GetPixelFormat(1));
  bitmap.SetSize(1, 1);
  const Bytes cmyk = {0, 255, 0, 0};
  manager.ConvertRow({cmyk.data()}, bitmap.ScanLine(0), 1, 0xFF);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(255, 0, 255));

  manager.SetSourceColorScheme(csYCbCr);
  manager.SetSourceSamplesPerPixel(3);
  manager.SetYCbCrParameters({0.299f, 0.587f, 0.114f}, 2, 2);
  const Bytes ycc = {200, 0, 128};
  manager.ConvertRow({ycc.data()}, bitmap.ScanLine(0), 1, 0xFF);
  EXPECT_EQ(bitmap.PixelColor(0, 0), RGB(200, 244, 0));

  // A palette image with an extra alpha sample is converted as grey with alpha.
  manager.SetSourceColorScheme(csGrayAlpha);
  manager.SetTargetColorScheme(csIndexed);
  manager.SetSourceSamplesPerPixel(2);
  manager.SetTargetSamplesPerPixel(1);
  TBitmap indexed;
  indexed.SetPixelFormat(pf8bit);
  indexed.SetSize(2, 1);
  const Bytes withAlpha = {5, 255, 6, 0};
  manager.ConvertRow({withAlpha.data()}, indexed.ScanLine(0), 2, 0xFF);
  EXPECT_EQ(indexed.ScanLine(0)[0], 5);
  EXPECT_EQ(indexed.ScanLine(0)[1], 6);
}

}  // namespace
}  // namespace tablora
