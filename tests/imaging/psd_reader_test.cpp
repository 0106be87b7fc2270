#include <gtest/gtest.h>

#include <bit>
#include <map>

#include "imaging/exceptions.h"
#include "imaging/image_probe.h"
#include "imaging/readers/psd_reader.h"
#include "sheet/thumbnail_image.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

// Documents are written with designated initializers that leave most fields at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::LoadOutcome;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v >> 16);
  Put16(b, v);
}

// A document field by field; data is everything after the compression word (row table included).
struct Psd {
  uint16_t version = 1, channels = 3;
  uint32_t height = 1, width = 1;
  uint16_t depth = 8, mode = 3, compression = 0;
  Bytes colourData, data;
  Bytes resources, layers;  // the sections' contents
  Bytes Build() const {
    Bytes b = {'8', 'B', 'P', 'S'};
    Put16(b, version);
    b.insert(b.end(), 6, 0);
    Put16(b, channels);
    Put32(b, height);
    Put32(b, width);
    Put16(b, depth);
    Put16(b, mode);
    Put32(b, static_cast<uint32_t>(colourData.size()));
    b.insert(b.end(), colourData.begin(), colourData.end());
    if (resources.empty()) {
      Put32(b, 4);  // image resources, not one of them a block
      b.insert(b.end(), {1, 2, 3, 4});
    } else {
      Put32(b, static_cast<uint32_t>(resources.size()));
      b.insert(b.end(), resources.begin(), resources.end());
    }
    Put32(b, static_cast<uint32_t>(layers.size()));
    b.insert(b.end(), layers.begin(), layers.end());
    Put16(b, compression);
    b.insert(b.end(), data.begin(), data.end());
    return b;
  }
};

// One image resource block.
Bytes Resource(uint16_t id, const Bytes& data) {
  Bytes b = {'8', 'B', 'I', 'M'};
  Put16(b, id);
  b.insert(b.end(), {0, 0});  // empty name, padded
  Put32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() % 2 != 0) b.push_back(0);
  return b;
}

// An ICC profile reduced to what the reader looks at: a green (and grey) tone curve of one gamma.
Bytes IccProfileOfGamma(uint16_t gamma) {
  Bytes b(128, 0);
  Put32(b, 2);
  for (const uint32_t tag : {0x67545243u, 0x6B545243u}) {  // gTRC, kTRC
    Put32(b, tag);
    Put32(b, 156);
    Put32(b, 14);
  }
  for (const char c : {'c', 'u', 'r', 'v', '\0', '\0', '\0', '\0'}) b.push_back(uint8_t(c));
  Put32(b, 1);
  Put16(b, gamma);
  return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A layer section whose layer count is n.
Bytes LayersOfCount(int16_t n) { return {0, 0, 0, 2, uint8_t(uint16_t(n) >> 8), uint8_t(n)}; }

std::string Load(const Bytes& bytes) { return LoadOutcome(test::LoaderOf<TPSDGraphic>(), bytes); }

constexpr const char* kBadColour = "Invalid color format in PSD or PDD file.";
constexpr const char* kBadFormat = "Cannot load image. Invalid or unexpected PSD or PDD image format.";
constexpr const char* kShort = "Stream read error in PSD or PDD file.";

TEST(PsdReader, FixturesMatchImageMagick) {
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick not installed";
  const std::map<std::string, int> tolerance = {
      {"rgb8.psd", 0}, {"rgb8raw.psd", 0}, {"rgb8.pdd", 0}, {"indexed8.psd", 0}, {"gray8.psd", 0},
      {"rgb16.psd", 1}, {"gray16.psd", 1}, {"gray16raw.psd", 1}, {"cmyk8.psd", 1}};
  const std::map<std::string, std::string> options = {{"cmyk8.psd", "-colorspace sRGB"}};
  for (const auto& [name, tol] : tolerance) {
    const fs::path path = test::DataDir() / "psd" / name;
    // Through the thumbnail table, as a cell loads it: .pdd is a Photoshop document too.
    std::unique_ptr<ThumbnailImage> image = CreateThumbnailReader(path.extension().string());
    ASSERT_NE(image, nullptr) << name;
    image->LoadFromFile(path.string());
    const fs::path ppm = fs::path(path).replace_extension(".ppm");
    const auto reference = fs::exists(ppm) ? test::ParsePnm(test::FileBytes(ppm))
                                           : test::MagickDecode(path, options.count(name) != 0 ? options.at(name) : "");
    ASSERT_TRUE(reference) << name;
    test::ExpectPixelsNear(image->Pixels(), *reference, tol, name);
    EXPECT_FALSE(image->Pixels().HasTransparency()) << name;  // a 4th channel stays opaque
  }
}

// Every colour mode of the same 4 x 4 picture decodes to the colours of its 8-bit RGB version,
// within what a conversion without colour profiles gives for L*a*b* and CMYK (ImageMagick is no reference for layered documents: it recomposes the layers instead of showing
// the merged image).
// ImageMagick "unblends" the merged image of a document with alpha; the stored colours are what
// Photoshop shows, and the 4th channel lands in the alpha byte. Its layer count is negative, so
// that channel is the merged image's transparency.
TEST(PsdReader, FourthChannelIsKeptAsAlphaByte) {
  TPSDGraphic psd;
  test::LoadInto(psd, test::FileBytes(test::DataDir() / "psd" / "rgba8.psd"));
  ASSERT_EQ(psd.PixelFormat(), pf32bit);
  const uint8_t* row = psd.ScanLine(0);
  EXPECT_EQ(Bytes(row, row + 12), (Bytes{0, 0, 255, 0, 0, 0, 255, 11, 0, 0, 255, 22}));
  EXPECT_TRUE(psd.AlphaChannel());
}

TEST(PsdReader, ColourModesOfTheCorpus) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " << test::CorpusDir();
  const fs::path dir = test::CorpusDir() / "psd-tools" / "colormodes";
  TPSDGraphic rgb;
  test::LoadInto(rgb, test::FileBytes(dir / "4x4_8bit_rgb.psd"));
  const test::RgbaImage want = test::ToRgba(rgb);
  const std::map<std::string, int> tolerance = {
      {"4x4_16bit_rgb.psd", 1}, {"4x4_8bit_rgba.psd", 1}, {"4x4_8bit_lab.psd", 40},
      {"4x4_16bit_lab.psd", 40}, {"4x4_8bit_cmyk.psd", 80}, {"4x4_16bit_cmyk.psd", 80}};
  for (const auto& [name, tol] : tolerance) {
    TPSDGraphic psd;
    ASSERT_EQ(LoadOutcome([&](const Bytes& b) { test::LoadInto(psd, b); }, test::FileBytes(dir / name)), "")
        << name;
    test::ExpectPixelsNear(psd, want, tol, name);
  }
  // The other modes have no colours to compare with; they must load.
  for (const char* name : {"4x4_8bit_grayscale.psd", "4x4_16bit_grayscale.psd",
                           "4x4_8bit_duotone.psd", "4x4_1bit_bitmap.psd", "4x4_8bit_index_color.psd",
                           "4x4_16bit_multichannel.psd"}) {
    EXPECT_EQ(Load(test::FileBytes(dir / name)), "") << name;
  }
  int loaded = 0;
  for (const test::CorpusFile& file : test::CorpusFiles("psd-tools/", ".psd")) {
    const std::string outcome = Load(test::FileBytes(file.path));
    EXPECT_EQ(outcome, "") << file.path;
    loaded += outcome.empty();
  }
  EXPECT_GT(loaded, 70);
}

// 32-bit documents hold linear light (their profiles say gamma 1.0): clamped and encoded with the
// sRGB curve, as ImageMagick shows them when told the samples are linear.
TEST(PsdReader, FloatDocumentsMatchImageMagickWithTheSrgbCurve) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " << test::CorpusDir();
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick not installed";
  const fs::path dir = test::CorpusDir() / "psd-tools";
  for (const char* name : {"colormodes/4x4_32bit_rgb.psd", "colormodes/4x4_32bit_grayscale.psd", "32bit5x5.psd",
                           "300dpi.psd"}) {
    SCOPED_TRACE(name);
    TPSDGraphic psd;
    test::LoadInto(psd, test::FileBytes(dir / name));
    const auto reference = test::MagickDecode(dir / name, "-set colorspace RGB -colorspace sRGB");
    ASSERT_TRUE(reference);
    test::ExpectPixelsNear(psd, *reference, 1, name);
  }
}

TEST(PsdReader, HandMadeDocuments) {
  struct Case {
    const char* name;
    Psd psd;
    std::string message;
    std::vector<TColor> pixels;  // row by row
  };
  Psd bitmapMode{.channels = 1, .height = 2, .width = 9, .depth = 1, .mode = 0, .compression = 1};
  // Row table (2 rows), then PackBits rows of two bytes: 1 means black in bitmap mode.
  bitmapMode.data = {0, 3, 0, 2, 1, 0x80, 0x00, 0xFF, 0xFF};  // rows: 1000 0000 0 / a run of FF
  Psd grayWithExtra{.channels = 2, .height = 1, .width = 2, .mode = 1, .data = {10, 200, 7, 7}};
  Psd twoChannelMulti{.channels = 2, .height = 1, .width = 1, .mode = 7, .data = {99, 5}};
  Psd indexedLong{.channels = 1, .height = 1, .width = 2, .mode = 2, .data = {0, 255}};
  indexedLong.colourData.assign(3 * 260, 0);
  indexedLong.colourData[0] = 11;          // red[0]
  indexedLong.colourData[255] = 12;        // red[255]
  indexedLong.colourData[260 + 255] = 13;  // green[255]: planes start every 260 bytes
  Psd indexedShort{.channels = 1, .height = 1, .width = 2, .mode = 2, .data = {0, 1}};
  indexedShort.colourData = {1, 2, 3, 4, 5, 6};  // two entries
  Psd cmyk{.channels = 4, .height = 1, .width = 1, .mode = 4, .data = {0, 255, 255, 255}};
  Psd rgbPastEnd{.height = 1, .width = 1, .compression = 1, .data = {0, 2, 0, 2, 0x30, 0, 1}};
  Psd huge{.height = 100000, .width = 100000, .data = {}};
  Psd floatRgb{.depth = 32, .data = {0x3F, 0, 0, 0, 0x40, 0, 0, 0, 0x7F, 0xC0, 0, 0}};
  Psd floatGamma = floatRgb;
  floatGamma.resources = Resource(1039, IccProfileOfGamma(0x0233));  // 2.2 as u8.8
  // Inks of its own (display information, RGB): yellow in full, red at half coverage.
  Psd twoInksOfItsOwn{.channels = 2, .height = 1, .width = 2, .mode = 7, .data = {0, 255, 255, 128}};
  Bytes display = {0, 0, 0, 1};
  for (const Bytes& ink : {Bytes{255, 255, 255, 255, 0, 0}, Bytes{255, 255, 0, 0, 0, 0}}) {
    display.insert(display.end(), {0, 0});  // RGB
    display.insert(display.end(), ink.begin(), ink.end());
    display.insert(display.end(), {0, 0, 0, 100, 0});  // fourth component, opacity, kind
  }
  twoInksOfItsOwn.resources = Resource(1077, display);
  const std::vector<Case> cases = {
      {"bitmap mode, 1 bit", bitmapMode, "",
       {0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
        0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"grey with an extra channel", grayWithExtra, "", {RGB(10, 10, 10), RGB(200, 200, 200)}},
      // Cyan at 61 % (0 is full ink) and magenta at 98 % over white.
      {"multichannel of two", twoChannelMulti, "", {RGB(99, 5, 255)}},
      {"multichannel of two in inks of its own", twoInksOfItsOwn, "", {RGB(255, 255, 0), RGB(255, 128, 128)}},
      {"palette longer than 768", indexedLong, "", {RGB(11, 0, 0), RGB(12, 13, 0)}},
      {"palette of two", indexedShort, "", {RGB(1, 3, 5), RGB(2, 4, 6)}},
      {"cyan ink", cmyk, "", {RGB(0, 255, 255)}},
      {"duotone", Psd{.channels = 1, .mode = 8, .data = {77}}, "", {RGB(77, 77, 77)}},
      {"mode 5", Psd{.mode = 5, .data = {1, 2, 3}}, kBadColour, {}},
      {"mode 6", Psd{.mode = 6, .data = {1, 2, 3}}, kBadColour, {}},
      {"mode 10", Psd{.mode = 10, .data = {1, 2, 3}}, kBadColour, {}},
      // Linear 0.5 is 188 in sRGB; past 1 is 255, NaN 0.
      {"depth 32", floatRgb, "", {RGB(188, 255, 0)}},
      {"depth 32 by a profile's gamma 2.2", floatGamma, "", {RGB(129, 255, 0)}},
      {"depth 32 in CMYK", Psd{.channels = 4, .depth = 32, .mode = 4, .data = Bytes(16)}, kBadColour, {}},
      {"depth 4", Psd{.channels = 1, .depth = 4, .mode = 1, .data = Bytes(1)}, kBadColour, {}},
      {"RGB of two channels", Psd{.channels = 2, .data = Bytes(2)}, kBadColour, {}},
      {"version 2", Psd{.version = 2, .data = {1, 2, 3}}, kBadFormat, {}},
      {"no width", Psd{.width = 0}, kBadFormat, {}},
      {"row counts past the end", rgbPastEnd, kShort, {}},
      {"raw data cut short", Psd{.height = 2, .width = 2, .data = Bytes(11)}, kShort, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPSDGraphic psd;
    const std::string outcome =
        LoadOutcome([&](const Bytes& b) { test::LoadInto(psd, b); }, c.psd.Build());
    EXPECT_EQ(outcome, c.message);
    if (!c.message.empty()) continue;
    ASSERT_EQ(static_cast<std::size_t>(psd.Width()) * psd.Height(), c.pixels.size());
    for (std::size_t i = 0; i < c.pixels.size(); ++i) {
      EXPECT_EQ(psd.PixelColor(int(i % psd.Width()), int(i / psd.Width())), c.pixels[i]) << i;
    }
  }
  // Far over the image-size limit: refused before any allocation, by the limit's message.
  EXPECT_NE(Load(huge.Build()).find("Image too large"), std::string::npos);
}

// A negative layer count makes the first channel past the colour channels the merged image's
// transparency (straight alpha in 32-bit pixels, drawn over white); with any other count extra
// channels are selections and the picture is opaque. The transparent index of resource 1047
// makes that palette entry transparent. Expected: red, green, blue, alpha of each pixel.
TEST(PsdReader, MergedTransparency) {
  struct Case {
    const char* name;
    Psd psd;
    Bytes rgba;
  };
  Psd indexed{.channels = 1, .height = 1, .width = 2, .mode = 2, .data = {0, 1}};
  indexed.colourData = {1, 2, 3, 4, 5, 6};
  indexed.resources = Resource(1047, {0, 1});
  const float half = 0.5f;
  Bytes floatAlpha(12, 0);  // grey 0, then alpha 0.5: no tone curve for alpha
  const uint32_t bits = std::bit_cast<uint32_t>(half);
  for (int k = 0; k < 4; ++k) floatAlpha[4 + k] = uint8_t(bits >> (24 - 8 * k));
  const std::vector<Case> cases = {
      {"grey and alpha", Psd{.channels = 2, .height = 1, .width = 2, .mode = 1, .data = {10, 200, 0, 128},
                             .layers = LayersOfCount(-1)},
       {10, 10, 10, 0, 200, 200, 200, 128}},
      {"grey and a selection", Psd{.channels = 2, .height = 1, .width = 2, .mode = 1, .data = {10, 200, 0, 128},
                                   .layers = LayersOfCount(1)},
       {10, 10, 10, 255, 200, 200, 200, 255}},
      {"RGB and alpha", Psd{.channels = 4, .data = {1, 2, 3, 77}, .layers = LayersOfCount(-3)}, {1, 2, 3, 77}},
      {"RGB and a selection", Psd{.channels = 4, .data = {1, 2, 3, 77}}, {1, 2, 3, 255}},
      {"CMYK and alpha", Psd{.channels = 5, .mode = 4, .data = {255, 255, 255, 255, 9}, .layers = LayersOfCount(-1)},
       {255, 255, 255, 9}},
      {"16-bit grey and alpha", Psd{.channels = 2, .depth = 16, .mode = 1, .data = {0x80, 0, 0x12, 0x34},
                                    .layers = LayersOfCount(-1)},
       {127, 127, 127, 18}},
      {"float grey and alpha", Psd{.channels = 2, .depth = 32, .mode = 1, .data = floatAlpha, .layers = LayersOfCount(-1)},
       {0, 0, 0, 128}},
      {"indexed with a transparent index", indexed, {1, 3, 5, 255, 2, 4, 6, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPSDGraphic psd;
    ASSERT_EQ(LoadOutcome([&](const Bytes& b) { test::LoadInto(psd, b); }, c.psd.Build()), "");
    EXPECT_EQ(test::ToRgba(psd).rgba, c.rgba);
  }
}

// Resource 1058 holds the document's EXIF data: its orientation turns the thumbnail like a
// JPEG's, with or without the "Exif" prefix; a document without it is upright.
TEST(PsdReader, OrientationComesFromTheExifResource) {
  Bytes exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1};  // header, IFD0 of one entry
  exif.insert(exif.end(), {0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0});
  Bytes prefixed = {'E', 'x', 'i', 'f', 0, 0};
  prefixed.insert(prefixed.end(), exif.begin(), exif.end());
  Psd document{.data = {1, 2, 3}};
  EXPECT_EQ(OrientationOf(document.Build(), ".psd"), 1);
  document.resources = Resource(1005, Bytes(16)) + Resource(1058, exif);
  EXPECT_EQ(OrientationOf(document.Build(), ".psd"), 6);
  EXPECT_EQ(OrientationOf(document.Build(), ".pdd"), 6);
  document.resources = Resource(1058, prefixed);
  EXPECT_EQ(PsdOrientation(document.Build()), 6);
  EXPECT_EQ(PsdOrientation(Bytes{'8', 'B', 'P', 'S', 0, 1}), 1);  // cut short
}

TEST(PsdReader, ProgressAndRecord) {
  TPSDGraphic psd;
  EXPECT_EQ(psd.ImageProperties.FileGamma, 1.0f);
  std::vector<std::string> events;
  psd.OnProgress = [&](TRasterGraphic&, TProgressStage stage, uint8_t percent, bool, const TRect& r,
                       const std::string& msg) {
    events.push_back(std::to_string(stage) + ":" + std::to_string(percent) + ":" + msg + "@" +
                     std::to_string(r.Top));
  };
  const Bytes file = Psd{.height = 2, .width = 1, .data = Bytes(6, 9)}.Build();
  test::LoadInto(psd, file);
  EXPECT_EQ(events, (std::vector<std::string>{
                        "0:0:Preparing...@0", "0:0:Loading data...@0", "2:0:@0",
                        "0:0:Transfering...@0", "1:0:@0", "1:50:@1", "2:0:@2", "2:0:@2"}));
  EXPECT_EQ(psd.ImageProperties.Compression, ctNone);
  EXPECT_EQ(psd.ImageProperties.Options, ioBigEndian);
  EXPECT_EQ(psd.ImageProperties.ColorScheme, csRGB);
  // A failing load still sends the ending notification.
  events.clear();
  EXPECT_THROW(test::LoadInto(psd, Bytes(file.begin(), file.end() - 1)), EInvalidGraphic);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().substr(0, 2), "2:");

  // CanLoad restores the position whatever it answers; the version must be 1.
  TBufferStream stream(file.data(), file.size());
  stream.SetPosition(0);
  EXPECT_TRUE(psd.CanLoad(stream));
  EXPECT_EQ(stream.Position(), 0);
  Bytes lower = file;
  lower[1] = 'b';
  TBufferStream lowerStream(lower.data(), lower.size());
  EXPECT_TRUE(psd.CanLoad(lowerStream));  // the probe ignores case, the reader does not
  EXPECT_EQ(Load(lower), kBadFormat);
  const Bytes junk(40, 'x');
  TBufferStream junkStream(junk.data(), junk.size());
  junkStream.SetPosition(3);
  EXPECT_FALSE(psd.CanLoad(junkStream));
  EXPECT_EQ(junkStream.Position(), 3);
  // An unrecognised header leaves the record reset, not holding the last image's values.
  EXPECT_FALSE(psd.ReadImageProperties(junkStream, 0));
  EXPECT_EQ(psd.ImageProperties.Width, 0u);

  TPSDGraphic copy;
  psd.ImageProperties.RowsPerStrip = {7, 8};
  copy.Assign(psd);
  EXPECT_EQ(copy.ImageProperties.RowsPerStrip, (TCardinalArray{7, 8}));
}

TEST(PsdReader, DamagedFixturesFailCleanly) {
  for (const auto& entry : fs::directory_iterator(test::DataDir() / "psd")) {
    if (entry.path().extension() != ".psd") continue;
    test::DamageSweep(test::LoaderOf<TPSDGraphic>(), test::FileBytes(entry.path()),
                      entry.path().filename().string());
  }
}

}  // namespace
}  // namespace tablora
