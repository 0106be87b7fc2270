#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "imaging/color_manager.h"
#include "imaging/exceptions.h"

namespace tablora {
namespace {

constexpr const char* kInvalidDepth =
    "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
constexpr const char* kInvalidSampleCount =
    "Sample count per pixel does not correspond to the given color scheme.";
constexpr const char* kInvalidSubsampling =
    "Subsampling value is invalid. Allowed are 1, 2 and 4.";
constexpr const char* kVerticalSubsampling =
    "Vertical subsampling value must be <= horizontal subsampling value.";
constexpr const char* kNoMethod = "Color conversion failed. Could not find a proper method.";

template <class Action>
std::string ErrorOf(Action&& action) {
  try {
    action();
  } catch (const EColorConversionError& e) {
    return e.what();
  }
  return "<no error>";
}

// Runs one conversion so that the pending preparation happens and Changed is cleared.
void Prepare(TColorManager& manager) {
  std::vector<uint8_t> source(4, 0);
  std::vector<uint8_t> target(4, 0);
  manager.ConvertRow({source.data()}, target.data(), 1, 0xFF);
}

TEST(ColorManagerSetUp, DefaultsOfANewManager) {
  TColorManager manager;
  EXPECT_TRUE(manager.Changed());
  EXPECT_EQ(manager.SourceBitsPerSample(), 8);
  EXPECT_EQ(manager.TargetBitsPerSample(), 8);
  EXPECT_EQ(manager.SourceSamplesPerPixel(), 3);
  EXPECT_EQ(manager.TargetSamplesPerPixel(), 3);
  EXPECT_FLOAT_EQ(manager.MainGamma(), 1.0f);
  EXPECT_FLOAT_EQ(manager.DisplayGamma(), 2.2f);
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[0], 0.299f);
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[1], 0.587f);
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[2], 0.114f);
  EXPECT_EQ(manager.HSubsampling(), 1);
  EXPECT_EQ(manager.VSubsampling(), 1);
  EXPECT_TRUE(manager.CrToRed().empty());
  EXPECT_TRUE(manager.CbToGreen().empty());
  EXPECT_EQ(manager.SourceColorScheme(), csRGB);
  EXPECT_EQ(manager.TargetColorScheme(), csBGR);
  EXPECT_TRUE(manager.SourceOptions().Empty());
  EXPECT_TRUE(manager.TargetOptions().Empty());
}

TEST(ColorManagerSetUp, OrdinalsMatchWhatReadersStore) {
  EXPECT_EQ(csUnknown, 0);
  EXPECT_EQ(csGrayAlpha, 3);
  EXPECT_EQ(csBGRA, 7);
  EXPECT_EQ(csCIELab, 10);
  EXPECT_EQ(csPhotoYCC, 12);
  EXPECT_EQ(TConversionOptions(coAlphaChannel).Bits(), 1);
  EXPECT_EQ((coGammaCorrect + coByteSwap).Bits(), 6);
  EXPECT_EQ(TConversionOptions(coLabScaledL).Bits(), 8);
  EXPECT_EQ(TConversionOptions(coLabOffsetAB).Bits(), 16);
  TConversionOptions options = coByteSwap + coLabScaledL;
  options = options - coByteSwap;
  EXPECT_EQ(options, TConversionOptions(coLabScaledL));
  EXPECT_EQ(plPacked16x3, 4);
  EXPECT_EQ(plPlanar16x4, 7);
}

TEST(ColorManagerSetUp, DepthChecksAndMessages) {
  TColorManager manager;
  EXPECT_EQ(ErrorOf([&] { manager.SetSourceBitsPerSample(0); }), kInvalidDepth);
  EXPECT_EQ(ErrorOf([&] { manager.SetTargetBitsPerSample(17); }), kInvalidDepth);
  EXPECT_EQ(ErrorOf([&] { manager.SetSourceBitsPerSample(256 + 8); }), kInvalidDepth);
  EXPECT_EQ(manager.SourceBitsPerSample(), 8);
  EXPECT_EQ(manager.TargetBitsPerSample(), 8);
  // The setter admits every depth from 1 to 16; only the row routines are choosy.
  for (unsigned bits : {1u, 3u, 5u, 7u, 9u, 15u, 16u}) {
    EXPECT_NO_THROW(manager.SetSourceBitsPerSample(bits));
    EXPECT_EQ(manager.SourceBitsPerSample(), bits);
  }
}

TEST(ColorManagerSetUp, SampleCountChecksAndMessages) {
  TColorManager manager;
  EXPECT_EQ(ErrorOf([&] { manager.SetSourceSamplesPerPixel(0); }), kInvalidSampleCount);
  EXPECT_EQ(ErrorOf([&] { manager.SetTargetSamplesPerPixel(5); }), kInvalidSampleCount);
  EXPECT_EQ(manager.SourceSamplesPerPixel(), 3);
  EXPECT_EQ(manager.TargetSamplesPerPixel(), 3);
  manager.SetTargetSamplesPerPixel(4);
  EXPECT_EQ(manager.TargetSamplesPerPixel(), 4);
}

TEST(ColorManagerSetUp, ChangedIsSetOnlyByDifferingSetUpValues) {
  TColorManager manager;
  Prepare(manager);
  ASSERT_FALSE(manager.Changed());

  manager.SetSourceBitsPerSample(8);
  manager.SetTargetBitsPerSample(8);
  manager.SetSourceSamplesPerPixel(3);
  manager.SetTargetSamplesPerPixel(3);
  manager.SetSourceColorScheme(csRGB);
  manager.SetTargetColorScheme(csBGR);
  EXPECT_FALSE(manager.Changed());

  manager.SetSourceOptions(coByteSwap);
  manager.SetTargetOptions(coGammaCorrect);
  manager.SetGamma(2.0f, 2.0f);
  manager.SetYCbCrParameters({0.3f}, 2, 1);
  EXPECT_FALSE(manager.Changed());

  EXPECT_THROW(manager.SetSourceBitsPerSample(0), EColorConversionError);
  EXPECT_FALSE(manager.Changed());

  manager.SetTargetSamplesPerPixel(4);
  EXPECT_TRUE(manager.Changed());
  Prepare(manager);
  manager.SetSourceColorScheme(csBGR);
  EXPECT_TRUE(manager.Changed());
}

TEST(ColorManagerSetUp, SetGammaReplacesNonPositiveValuesByDefaults) {
  TColorManager manager;
  manager.SetGamma(0.45f, 1.8f);
  EXPECT_FLOAT_EQ(manager.MainGamma(), 0.45f);
  EXPECT_FLOAT_EQ(manager.DisplayGamma(), 1.8f);
  manager.SetGamma(0, 0);
  EXPECT_FLOAT_EQ(manager.MainGamma(), 1.0f);
  EXPECT_FLOAT_EQ(manager.DisplayGamma(), 2.2f);
  manager.SetGamma(-1.0f, std::numeric_limits<float>::quiet_NaN());
  EXPECT_FLOAT_EQ(manager.MainGamma(), 1.0f);
  EXPECT_FLOAT_EQ(manager.DisplayGamma(), 2.2f);
  EXPECT_TRUE(manager.TargetOptions().Empty()) << "SetGamma must not switch correction on";
}

TEST(ColorManagerSetUp, DefaultGammaTable) {
  TColorManager manager;
  const auto& table = manager.GammaTable();
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[1], 21);  // 20.54
  EXPECT_EQ(table[64], 136);
  EXPECT_EQ(table[128], 186);  // round((128/255)^(1/2.2) * 255) = round(186.4)
  EXPECT_EQ(table[192], 224);
  EXPECT_EQ(table[254], 255);  // 254.54
  EXPECT_EQ(table[255], 255);
  for (int i = 1; i < 256; ++i) EXPECT_LE(table[i - 1], table[i]) << i;
}

TEST(ColorManagerSetUp, GammaTableLastIndexFollowsTheTargetDepthForSubByteSources) {
  TColorManager manager;
  manager.SetSourceBitsPerSample(2);
  manager.SetTargetBitsPerSample(4);
  manager.SetGamma(1.0f, 1.0f);
  const auto& table = manager.GammaTable();
  // n = 2^4 - 1 = 15 although the source has 2 bits; m = 15.
  for (int i = 0; i <= 15; ++i) EXPECT_EQ(table[i], i);
  // Entries above n are left from the constructor's table (1.0 and 2.2 at 8 bits).
  EXPECT_EQ(table[16], TColorManager().GammaTable()[16]);
  EXPECT_EQ(table[128], 186);
}

TEST(ColorManagerSetUp, GammaTableStaysInsideItsEntriesForWideTargets) {
  // A sub-byte source with a 16-bit target would ask for 65536 entries; the table has 256.
  TColorManager manager;
  manager.SetSourceBitsPerSample(4);
  manager.SetTargetBitsPerSample(16);
  manager.SetGamma(1.0f, 1.0f);
  const auto& table = manager.GammaTable();
  for (int i = 0; i < 256; ++i) EXPECT_EQ(table[i], i);
}

TEST(ColorManagerSetUp, SetYCbCrParametersChecksAndStores) {
  TColorManager manager;
  manager.SetYCbCrParameters({0.2125f, 0.7154f, 0.0721f}, 2, 2);
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[0], 0.2125f);
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[1], 0.7154f);
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[2], 0.0721f);
  EXPECT_EQ(manager.HSubsampling(), 2);
  EXPECT_EQ(manager.VSubsampling(), 2);

  manager.SetYCbCrParameters({0.3f}, 4, 1);  // one weight replaces red only
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[0], 0.3f);
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[1], 0.7154f);
  manager.SetYCbCrParameters({}, 1, 1);
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[0], 0.3f);

  EXPECT_EQ(ErrorOf([&] { manager.SetYCbCrParameters({0.5f}, 3, 1); }), kInvalidSubsampling);
  EXPECT_EQ(ErrorOf([&] { manager.SetYCbCrParameters({0.5f}, 2, 0); }), kInvalidSubsampling);
  EXPECT_EQ(ErrorOf([&] { manager.SetYCbCrParameters({0.5f}, 2 + 256, 1); }),
            kInvalidSubsampling);
  EXPECT_EQ(ErrorOf([&] { manager.SetYCbCrParameters({0.5f}, 1, 2); }), kVerticalSubsampling);
  // A refused call changes nothing, weights included.
  EXPECT_FLOAT_EQ(manager.YCbCrCoefficients()[0], 0.3f);
  EXPECT_EQ(manager.HSubsampling(), 1);
  EXPECT_EQ(manager.VSubsampling(), 1);
}

TEST(ColorManagerSetUp, YCbCrTablesAreBuiltAtPreparation) {
  TColorManager manager;
  manager.SetSourceColorScheme(csYCbCr);
  EXPECT_TRUE(manager.CrToRed().empty());
  Prepare(manager);
  ASSERT_EQ(manager.CrToRed().size(), 256u);
  // Factors 1.402, 1.772, 0.71414 and 0.34414 for the default weights.
  EXPECT_EQ(manager.CrToRed()[255], 178);
  EXPECT_EQ(manager.CrToRed()[0], -179);
  EXPECT_EQ(manager.CbToBlue()[255], 225);
  EXPECT_EQ(manager.CbToBlue()[0], -227);
  EXPECT_EQ(manager.CrToGreen()[255], -91);
  EXPECT_EQ(manager.CbToGreen()[255], -44);
  EXPECT_EQ(manager.CrToGreen()[0], 91);
  for (const auto* table : {&manager.CrToRed(), &manager.CbToBlue(), &manager.CrToGreen(),
                            &manager.CbToGreen()}) {
    EXPECT_EQ((*table)[128], 0);
  }
}

TEST(ColorManagerSetUp, PhotoYCCTablesCentreTheChromaAt156And137) {
  TColorManager manager;
  manager.SetSourceColorScheme(csPhotoYCC);
  Prepare(manager);
  EXPECT_EQ(manager.CrToRed()[137], 0);
  EXPECT_EQ(manager.CrToGreen()[137], 0);
  EXPECT_EQ(manager.CbToBlue()[156], 0);
  EXPECT_EQ(manager.CbToGreen()[156], 0);
  EXPECT_EQ(manager.CrToRed()[255], 165);   // 1.402 * 118
  EXPECT_EQ(manager.CbToBlue()[255], 175);  // 1.772 * 99
  EXPECT_EQ(manager.CbToBlue()[0], -276);   // 1.772 * -156
}

TEST(ColorManagerSetUp, YCbCrTableRoundingTiesGoToEven) {
  TColorManager manager;
  manager.SetYCbCrParameters({0.25f, 0.5f, 0.25f}, 1, 1);  // f1 = f2 = 1.5, f3 = f4 = 0.75
  manager.SetSourceColorScheme(csYCbCr);
  Prepare(manager);
  EXPECT_EQ(manager.CrToRed()[129], 2);    // 1.5
  EXPECT_EQ(manager.CrToRed()[131], 4);    // 4.5
  EXPECT_EQ(manager.CrToRed()[127], -2);   // -1.5
  EXPECT_EQ(manager.CbToBlue()[133], 8);   // 7.5
  EXPECT_EQ(manager.CrToGreen()[130], -2); // -round(1.5)
  EXPECT_EQ(manager.CbToGreen()[126], 2);  // -round(-1.5)
}

TEST(ColorManagerSetUp, YCbCrTablesStayFiniteForADegenerateGreenWeight) {
  // TIFF files carry their own weights; a green weight of 0 divides by zero.
  TColorManager manager;
  manager.SetYCbCrParameters({0.5f, 0.0f, 0.5f}, 1, 1);
  manager.SetSourceColorScheme(csYCbCr);
  std::vector<uint8_t> source = {128, 128, 255, 128, 128, 128};
  std::vector<uint8_t> target(6, 0);
  manager.ConvertRow({source.data()}, target.data(), 2, 0xFF);
  EXPECT_EQ(manager.CrToGreen()[255], -32767);
  EXPECT_EQ(manager.CrToGreen()[128], 0);  // 0 / 0 is NaN: no contribution
  EXPECT_EQ(target[0], 128);  // blue: Cb at its centre
  EXPECT_EQ(target[1], 0);    // green: 128 + 0 - 32767, clamped
  EXPECT_EQ(target[2], 255);  // red: 128 + round(1.0 * 127)
}

TEST(ColorManagerSetUp, PixelFormatBySamplesAndBits) {
  struct Case {
    unsigned samples;
    unsigned bits;
    TPixelFormat format;
  };
  const Case cases[] = {
      {1, 1, pf1bit},   {1, 2, pf4bit},   {1, 4, pf4bit},   {1, 5, pfCustom}, {1, 7, pfCustom},
      {1, 8, pf8bit},   {1, 16, pf8bit},  {2, 8, pfCustom}, {3, 1, pf15bit},  {3, 5, pf15bit},
      {3, 6, pf24bit},  {3, 8, pf24bit},  {3, 16, pf24bit}, {4, 4, pfCustom}, {4, 8, pf32bit},
      {4, 16, pf32bit},
  };
  for (const Case& c : cases) {
    TColorManager manager;
    manager.SetTargetSamplesPerPixel(c.samples);
    manager.SetTargetBitsPerSample(c.bits);
    EXPECT_EQ(manager.GetPixelFormat(1), c.format) << c.samples << " x " << c.bits;
    EXPECT_EQ(manager.GetPixelFormat(0), pf24bit) << "index 0 answers for the source";
    manager.SetSourceSamplesPerPixel(c.samples);
    manager.SetSourceBitsPerSample(c.bits);
    EXPECT_EQ(manager.GetPixelFormat(0), c.format);
  }
}

TEST(ColorManagerGrayscalePalette, OneBitMinimumIsWhite) {
  TColorManager manager;
  manager.SetTargetBitsPerSample(1);
  manager.SetTargetSamplesPerPixel(1);
  const TPalette palette = manager.CreateGrayscalePalette(true);
  ASSERT_EQ(palette.size(), 2u);
  EXPECT_EQ(palette[0], (TPaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(palette[1], (TPaletteEntry{0, 0, 0, 0}));
  const TPalette normal = manager.CreateGrayscalePalette(false);
  EXPECT_EQ(normal[0], (TPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(normal[1], (TPaletteEntry{255, 255, 255, 0}));
}

TEST(ColorManagerGrayscalePalette, DepthIsBitsTimesSamplesCappedAtEight) {
  TColorManager manager;
  manager.SetTargetBitsPerSample(4);
  manager.SetTargetSamplesPerPixel(1);
  TPalette palette = manager.CreateGrayscalePalette(false);
  ASSERT_EQ(palette.size(), 16u);
  EXPECT_EQ(palette[1].peGreen, 17);
  EXPECT_EQ(palette[15].peBlue, 255);

  manager.SetTargetBitsPerSample(8);
  manager.SetTargetSamplesPerPixel(3);  // 24 bits, capped at 8
  palette = manager.CreateGrayscalePalette(false);
  ASSERT_EQ(palette.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(palette[i], (TPaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0}));
}

TEST(ColorManagerGrayscalePalette, GammaCorrectionGoesThroughTheTable) {
  TColorManager manager;
  manager.SetTargetSamplesPerPixel(1);
  manager.SetTargetOptions(coGammaCorrect);
  const TPalette palette = manager.CreateGrayscalePalette(false);
  EXPECT_EQ(palette[128].peRed, 186);
  const TPalette inverted = manager.CreateGrayscalePalette(true);
  EXPECT_EQ(inverted[255 - 128].peRed, 186);
  EXPECT_EQ(inverted[0].peRed, 255);
}

TEST(ColorManagerColorPalette, Packed8x3InRGBAndBGROrder) {
  TColorManager manager;
  const std::vector<uint8_t> data = {10, 20, 30, 40, 50, 60};
  TPalette palette = manager.CreateColorPalette({data.data()}, plPacked8x3, 2, false);
  ASSERT_EQ(palette.size(), 2u);
  EXPECT_EQ(palette[0], (TPaletteEntry{10, 20, 30, 0}));
  EXPECT_EQ(palette[1], (TPaletteEntry{40, 50, 60, 0}));
  palette = manager.CreateColorPalette({data.data()}, plPacked8x3, 2, true);
  EXPECT_EQ(palette[0], (TPaletteEntry{30, 20, 10, 0}));
  EXPECT_EQ(palette[1], (TPaletteEntry{60, 50, 40, 0}));
}

TEST(ColorManagerColorPalette, Packed8x4SkipsTheFourthByte) {
  TColorManager manager;
  const std::vector<uint8_t> data = {1, 2, 3, 99, 4, 5, 6, 99};
  const TPalette palette = manager.CreateColorPalette({data.data()}, plPacked8x4, 2, true);
  EXPECT_EQ(palette[0], (TPaletteEntry{3, 2, 1, 0}));
  EXPECT_EQ(palette[1], (TPaletteEntry{6, 5, 4, 0}));
}

TEST(ColorManagerColorPalette, PlanarLayoutsReadThreePlanes) {
  TColorManager manager;
  const std::vector<uint8_t> red = {1, 2}, green = {3, 4}, blue = {5, 6};
  TPalette palette =
      manager.CreateColorPalette({red.data(), green.data(), blue.data()}, plPlanar8x4, 2, true);
  EXPECT_EQ(palette[1], (TPaletteEntry{2, 4, 6, 0}));

  // Three 16-bit planes as a Motorola TIFF stores its colour map.
  manager.SetSourceOptions(coByteSwap);
  const std::vector<uint8_t> red16 = {0xFF, 0xFF, 0x80, 0x00};
  const std::vector<uint8_t> green16 = {0x00, 0xFF, 0x01, 0x01};
  const std::vector<uint8_t> blue16 = {0x01, 0x00, 0x00, 0x00};
  palette = manager.CreateColorPalette({red16.data(), green16.data(), blue16.data()},
                                       plPlanar16x3, 2, false);
  EXPECT_EQ(palette[0], (TPaletteEntry{255, 0, 0, 0}));  // 0xFFFF, 0x00FF, 0x0100
  EXPECT_EQ(palette[1], (TPaletteEntry{127, 1, 0, 0}));  // 0x8000, 0x0101, 0x0000

  EXPECT_EQ(ErrorOf([&] {
              manager.CreateColorPalette({red.data(), green.data()}, plPlanar8x3, 2, false);
            }),
            kNoMethod);
}

TEST(ColorManagerColorPalette, Packed16BitLayoutsHonourBGROrder) {
  TColorManager manager;
  // Little-endian values 0xFFFF, 0x8080, 0x0000, then 0x0101 skipped in the 4-value layout.
  const std::vector<uint8_t> data = {0xFF, 0xFF, 0x80, 0x80, 0x00, 0x00, 0x01, 0x01};
  TPalette palette = manager.CreateColorPalette({data.data()}, plPacked16x4, 1, false);
  EXPECT_EQ(palette[0], (TPaletteEntry{255, 128, 0, 0}));
  palette = manager.CreateColorPalette({data.data()}, plPacked16x4, 1, true);
  EXPECT_EQ(palette[0], (TPaletteEntry{0, 128, 255, 0}));
  const std::vector<uint8_t> three = {0x00, 0xFF, 0x00, 0x80, 0x00, 0x01};
  palette = manager.CreateColorPalette({three.data()}, plPacked16x3, 1, true);
  EXPECT_EQ(palette[0], (TPaletteEntry{0, 127, 254, 0}));  // 0x0100, 0x8000, 0xFF00
}

TEST(ColorManagerColorPalette, GammaAppliesToEightAndSixteenBitComponents) {
  TColorManager manager;
  manager.SetTargetOptions(coGammaCorrect);
  const std::vector<uint8_t> bytes = {128, 0, 255};
  EXPECT_EQ(manager.CreateColorPalette({bytes.data()}, plPacked8x3, 1, false)[0],
            (TPaletteEntry{186, 0, 255, 0}));
  const std::vector<uint8_t> words = {0x80, 0x80, 0, 0, 0xFF, 0xFF};  // 0x8080 -> 128
  EXPECT_EQ(manager.CreateColorPalette({words.data()}, plPacked16x3, 1, false)[0],
            (TPaletteEntry{186, 0, 255, 0}));
}

TEST(ColorManagerColorPalette, AtMost256Entries) {
  TColorManager manager;
  std::vector<uint8_t> data(300 * 3);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 3);
  const TPalette palette = manager.CreateColorPalette({data.data()}, plPacked8x3, 300, false);
  ASSERT_EQ(palette.size(), 256u);
  EXPECT_EQ(palette[255].peRed, 255);
}

TEST(ColorManagerColorPalette, TwoBitSourceSpreadOverAFourBitTarget) {
  TColorManager manager;
  manager.SetSourceBitsPerSample(2);
  manager.SetTargetBitsPerSample(4);
  const std::vector<uint8_t> data = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
  const TPalette palette = manager.CreateColorPalette({data.data()}, plPacked8x3, 4, false);
  ASSERT_EQ(palette.size(), 16u);
  EXPECT_EQ(palette[0].peRed, 1);
  EXPECT_EQ(palette[5].peRed, 2);
  EXPECT_EQ(palette[10].peRed, 3);
  EXPECT_EQ(palette[15].peRed, 4);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[i].peRed, 1 + i * 3 / 15) << i;
}

TEST(ColorManagerColorPalette, NarrowingReindexPicksEveryNthEntry) {
  TColorManager manager;
  manager.SetSourceBitsPerSample(4);
  manager.SetTargetBitsPerSample(2);
  std::vector<uint8_t> data(16 * 3);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(10 * (i / 3));
  const TPalette palette = manager.CreateColorPalette({data.data()}, plPacked8x3, 16, false);
  ASSERT_EQ(palette.size(), 4u);
  EXPECT_EQ(palette[0].peRed, 0);
  EXPECT_EQ(palette[1].peRed, 50);
  EXPECT_EQ(palette[2].peRed, 100);
  EXPECT_EQ(palette[3].peRed, 150);
}

TEST(ColorManagerColorPalette, ReindexedEntriesBeyondTheFileColoursAreBlack) {
  // A file that gives fewer colours than its depth allows: the spread must not read past them.
  TColorManager manager;
  manager.SetSourceBitsPerSample(2);
  manager.SetTargetBitsPerSample(4);
  const std::vector<uint8_t> data = {9, 9, 9, 8, 8, 8};
  const TPalette palette = manager.CreateColorPalette({data.data()}, plPacked8x3, 2, false);
  ASSERT_EQ(palette.size(), 16u);
  EXPECT_EQ(palette[5].peRed, 8);
  EXPECT_EQ(palette[10], (TPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(palette[15], (TPaletteEntry{0, 0, 0, 0}));
}

TEST(ColorManagerColorPalette, WideTargetsKeepTheCount) {
  TColorManager manager;
  manager.SetSourceBitsPerSample(8);
  manager.SetTargetBitsPerSample(16);
  const std::vector<uint8_t> data = {1, 2, 3};
  EXPECT_EQ(manager.CreateColorPalette({data.data()}, plPacked8x3, 1, false).size(), 1u);
}

}  // namespace
}  // namespace tablora
