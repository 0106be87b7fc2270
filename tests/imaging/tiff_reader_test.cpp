#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "imaging/byte_order.h"
#include "imaging/exceptions.h"
#include "imaging/readers/tiff_reader.h"
#include "sheet/thumbnail_image.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::LoadOutcome;

constexpr const char* kBadFormat = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";
constexpr const char* kBadColour = "Invalid color format in TIF/TIFF file.";
constexpr const char* kBadPalette = "Cannot load image. Palette in TIF/TIFF file is invalid.";
constexpr const char* kNoScheme = "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";

// libtiff's RGBA image of the first directory, composited over white, and what kind of data it
// holds (which decides the tolerance). Nothing when libtiff cannot read it or the file is
// oriented other than top-left (the reader keeps rows in file order).
struct Reference {
  test::RgbaImage image;
  int tolerance = 0;
};
std::optional<Reference> LibtiffReference(const fs::path& path) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return std::nullopt;
  uint32_t w = 0, h = 0;
  uint16_t orientation = 1, compression = 1, bits = 1, photometric = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  uint16_t extraCount = 0;
  uint16_t* extra = nullptr;
  TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  // libtiff takes an unspecified extra sample of RGB for associated alpha; the reader leaves it
  // opaque, so the reference's colours are taken without compositing.
  const bool opaque = extraCount == 0 || extra[0] == 0;
  const bool straight = photometric <= 1 && !opaque && extra[0] == 2;
  std::optional<Reference> result;
  std::vector<uint32_t> raster(std::size_t(w) * h);
  if (orientation == 1 && w > 0 && h > 0 && uint64_t(w) * h < (1u << 26) &&
      TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
    result = Reference{{int(w), int(h), {}}, 0};
    // Lossless 8-bit data matches exactly; the colour manager's own rounding of 16-bit, CMYK,
    // L*a*b* and YCbCr differs from libtiff's by up to 2; JPEG decoders by up to 2 as well.
    // Palettes of 16-bit colour-map values round to 8 bits differently, by at most 1.
    const bool converted = bits == 16 || photometric >= 5;
    result->tolerance = compression == 7 || converted ? 2 : photometric == 3 ? 1 : 0;
    for (uint32_t p : raster) {
      const int a = opaque ? 255 : int(TIFFGetA(p));
      for (uint32_t c : {TIFFGetR(p), TIFFGetG(p), TIFFGetB(p)}) {
        // libtiff premultiplies colour but passes grey with alpha on as stored.
        const int shown = straight ? (int(c) * a + 127) / 255 : int(c);
        result->image.rgba.push_back(uint8_t(std::min(255, shown + 255 - a)));
      }
      result->image.rgba.push_back(255);
    }
  }
  TIFFClose(tif);
  return result;
}

// libtiff's RGBA reading takes no floating-point samples; ImageMagick reads them through libtiff
// (its predictors included) and scales 0.0 .. 1.0 to the 256 levels, within one of the reader.
std::optional<Reference> FloatReference(const fs::path& path) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return std::nullopt;
  uint16_t format = 1;
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFClose(tif);
  if (format != SAMPLEFORMAT_IEEEFP) return std::nullopt;
  std::optional<test::RgbaImage> image = test::MagickDecode(path, "-colorspace sRGB -background white -alpha remove");
  if (!image) return std::nullopt;
  return Reference{*image, 1};
}

// Files where the picture is right but a component other than the reader draws it unlike libtiff,
// with the largest difference allowed: the colour manager's L*a*b* formula, and the ThunderScan
// and fax decoders' handling of rows libtiff reads otherwise.
const std::map<std::string, int> kKnownDifferences = {
    {"hopper.Lab.tif", 80}, {"lab.tif", 40}, {"lab-red.tif", 20}, {"lab-green.tif", 20},
    {"text.tif", 255}, {"testfax3_bug_513.tiff", 255},
    // libtiff 4.5 draws some blocks of the last block column of 4 x 4 subsampled YCbCr from the
    // wrong samples when the width is not a multiple of 4; checked on their own below.
    {"ycbcr44-none.tif", 255}, {"ycbcr44-none-tiled.tif", 255}, {"ycbcr44-zip-709.tif", 255}};

// Largest channel difference between the bitmap (composited over white) and the reference.
int MaxDifference(const TBitmap& bitmap, const test::RgbaImage& ref) {
  const test::RgbaImage ours = test::ToRgba(bitmap);
  if (ours.width != ref.width || ours.height != ref.height) return 1000;
  int most = 0;
  for (std::size_t i = 0; i < ours.rgba.size(); i += 4) {
    const int a = ours.rgba[i + 3];
    for (int c = 0; c < 3; ++c) {
      const int v = (ours.rgba[i + c] * a + 127) / 255 + 255 - a;
      most = std::max(most, std::abs(v - ref.rgba[i + c]));
    }
  }
  return most;
}

std::vector<test::CorpusFile> TiffFiles(const std::string& folder) {
  std::vector<test::CorpusFile> files = test::CorpusFiles(folder, ".tif");
  for (auto& f : test::CorpusFiles(folder, ".tiff")) files.push_back(f);
  return files;
}

// Every good file of a folder matches libtiff or is refused with one of the reader's deliberate
// refusals; broken ones load or fail cleanly.
struct Tally {
  int matched = 0, refused = 0, unreferenced = 0;
};
Tally CheckFolder(const std::vector<test::CorpusFile>& files) {
  Tally tally;
  for (const test::CorpusFile& file : files) {
    const Bytes bytes = test::FileBytes(file.path);
    TTIFFGraphic reader;
    std::string outcome;
    try {
      test::LoadInto(reader, bytes);
    } catch (const tablora::Exception& e) {
      outcome = e.what();
    }
    if (file.status != "good") continue;
    std::optional<Reference> ref = LibtiffReference(file.path);
    if (!ref) ref = FloatReference(file.path);
    if (!outcome.empty()) {
      ++tally.refused;
      if (ref) {
        EXPECT_TRUE(outcome == kBadColour || outcome == kNoScheme) << file.path << ": " << outcome;
      }
      continue;
    }
    if (!ref) {
      ++tally.unreferenced;
      continue;
    }
    const int difference = MaxDifference(reader, ref->image);
    const auto known = kKnownDifferences.find(file.path.filename().string());
    if (known != kKnownDifferences.end()) {
      EXPECT_LE(difference, known->second) << file.path;
    } else {
      EXPECT_LE(difference, ref->tolerance) << file.path;
    }
    ++tally.matched;
  }
  return tally;
}

TEST(TiffReader, CorpusMatchesLibtiff) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "corpus absent";
  // At least this many files of each folder are decoded and compared, so a reader that refuses
  // more than it should is noticed.
  const std::map<std::string, int> least = {
      {"libtiff-pics", 35}, {"libtiff-test", 26}, {"image-tiff", 93}, {"pillow", 80}};
  for (const auto& [folder, minimum] : least) {
    const Tally t = CheckFolder(TiffFiles(folder));
    std::printf("%s: %d matched, %d refused, %d without reference\n", folder.c_str(), t.matched,
                t.refused, t.unreferenced);
    EXPECT_GE(t.matched, minimum) << folder;
  }
}

TEST(TiffReader, MadeFixturesMatchLibtiff) {
  const Tally t = CheckFolder([] {
    std::vector<test::CorpusFile> files;
    for (const auto& entry : fs::directory_iterator(test::DataDir() / "tiff")) {
      if (entry.path().extension() == ".tif") files.push_back({entry.path(), "good", ""});
    }
    std::sort(files.begin(), files.end(), [](auto& a, auto& b) { return a.path < b.path; });
    return files;
  }());
  // With the old-style JPEG files whose Photometric says RGB or nothing, and the grey ones with
  // three extra samples, which libtiff draws as grey alone.
  EXPECT_EQ(t.matched, 50);
}

// Depths libtiff's RGBA reading lacks, and IEEE samples: ImageMagick is the reference, within
// one level of its own rounding.
TEST(TiffReader, EveryIntegerDepthScalesToEightBitsLikeImageMagick) {
  if (!test::HaveImageMagick()) GTEST_SKIP() << "ImageMagick absent";
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(test::DataDir() / "tiff")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("depth-", 0) != 0 && name.rfind("float-", 0) != 0) continue;
    // ImageMagick takes 24-bit samples for a stream of bits, which draws its own files wrong;
    // those are held against the 32-bit file of the same picture.
    const std::map<std::string, std::string> sibling = {{"depth-grey24.tif", "depth-grey32-be-lzw-pred.tif"},
                                                        {"depth-rgb24-be.tif", "depth-rgb32-lzw-pred.tif"}};
    const auto other = sibling.find(name);
    const std::optional<test::RgbaImage> ref =
        test::MagickDecode(other == sibling.end() ? entry.path() : entry.path().parent_path() / other->second);
    ASSERT_TRUE(ref) << name;
    TTIFFGraphic reader;
    test::LoadInto(reader, test::FileBytes(entry.path()));
    test::ExpectPixelsNear(reader, *ref, 1, name);
    ++compared;
  }
  EXPECT_EQ(compared, 20);
}

TEST(TiffReader, FourByFourYCbCrBesideLibtiffsFault) {
  const fs::path dir = test::DataDir() / "tiff";
  auto load = [&](const char* name) {
    auto reader = std::make_unique<TTIFFGraphic>();
    test::LoadInto(*reader, test::FileBytes(dir / name));
    return reader;
  };
  const auto strips = load("ycbcr44-none.tif");
  const auto full = load("ycbcr11-none.tif");
  const test::RgbaImage ours = test::ToRgba(*strips);
  const test::RgbaImage sharp = test::ToRgba(*full);
  // Tiles hold the very samples the strips do.
  test::ExpectPixelsNear(*load("ycbcr44-none-tiled.tif"), ours, 0, "tiles against strips");
  for (const char* name : {"ycbcr44-none.tif", "ycbcr44-zip-709.tif"}) {
    const std::optional<Reference> ref = LibtiffReference(dir / name);
    ASSERT_TRUE(ref) << name;
    const test::RgbaImage got = test::ToRgba(*load(name));
    int most = 0, edge = 0;
    for (int y = 0; y < got.height; ++y) {
      for (int x = 0; x < got.width; ++x) {
        for (int c = 0; c < 3; ++c) {
          if (x < got.width / 4 * 4) {
            most = std::max(most, std::abs(got.At(x, y)[c] - ref->image.At(x, y)[c]));
          } else {
            // The last, partial block column: near the picture without subsampling.
            edge = std::max(edge, std::abs(got.At(x, y)[c] - sharp.At(x, y)[c]));
          }
        }
      }
    }
    EXPECT_LE(most, 2) << name;
    EXPECT_LE(edge, 60) << name;
  }
}

// A little-endian file of one directory. Values of up to 4 bytes go inline, longer ones after the
// directory; the pixel data follows at the offset `data` names.
struct Field {
  uint16_t tag, type;
  std::vector<uint32_t> values;
};
Bytes MakeTiff(std::vector<Field> fields, const Bytes& pixels) {
  std::sort(fields.begin(), fields.end(), [](auto& a, auto& b) { return a.tag < b.tag; });
  Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put = [](Bytes& b, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  put(out, fields.size(), 2);
  Bytes extra;
  const std::size_t extraAt = 8 + 2 + fields.size() * 12 + 4;
  const std::size_t pixelsAt = extraAt + 4096;
  for (const Field& f : fields) {
    const int size = f.type == 3 ? 2 : f.type == 5 || f.type == 12 ? 8 : f.type == 1 ? 1 : 4;
    Bytes value;
    for (uint32_t v : f.values) {
      const uint32_t actual = v == 0xDA7A ? uint32_t(pixelsAt) : v;
      put(value, f.type == 5 ? uint64_t(actual) | uint64_t(1) << 32 : actual, size);
    }
    put(out, f.tag, 2);
    put(out, f.type, 2);
    put(out, f.values.size(), 4);
    if (value.size() <= 4) {
      value.resize(4);
      out.insert(out.end(), value.begin(), value.end());
    } else {
      put(out, extraAt + extra.size(), 4);
      extra.insert(extra.end(), value.begin(), value.end());
    }
  }
  put(out, 0, 4);
  extra.resize(4096);
  out.insert(out.end(), extra.begin(), extra.end());
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}
constexpr uint32_t kData = 0xDA7A;  // stands for the pixel data's offset

// 4 x 2 grey pixels, 8 bits, uncompressed, and the same less or more one tag.
std::vector<Field> Grey(std::vector<Field> changes, std::vector<uint16_t> drop = {}) {
  std::vector<Field> fields = {{256, 3, {4}}, {257, 3, {2}}, {258, 3, {8}}, {259, 3, {1}},
                               {262, 3, {1}}, {273, 4, {kData}}, {278, 3, {2}}, {279, 4, {8}}};
  for (const Field& c : changes) {
    std::erase_if(fields, [&](const Field& f) { return f.tag == c.tag; });
    fields.push_back(c);
  }
  for (uint16_t d : drop) std::erase_if(fields, [&](const Field& f) { return f.tag == d; });
  return fields;
}

TEST(TiffReader, TagRulesAndRefusals) {
  const Bytes pixels = {0, 50, 100, 150, 200, 250, 255, 10};
  std::vector<uint32_t> map768(768, 0x8080), map6(6, 0xFFFF);
  struct Case {
    const char* what;
    std::vector<Field> fields;
    std::string outcome;
  } cases[] = {
      {"plain grey", Grey({}), ""},
      {"no Compression tag means none", Grey({}, {259}), ""},
      {"no StripByteCounts, uncompressed", Grey({}, {279}), ""},
      {"no StripByteCounts, PackBits", Grey({{259, 3, {32773}}}, {279}), kBadFormat},
      {"no width", Grey({}, {256}), kBadFormat},
      {"unknown compression", Grey({{259, 3, {34712}}}), kNoScheme},
      {"old JPEG of grey", Grey({{259, 3, {6}}}), kBadColour},
      {"old JPEG, lossless process", Grey({{259, 3, {6}}, {512, 3, {14}}}), kNoScheme},
      {"NeXT on 8-bit data", Grey({{259, 3, {32766}}}), kBadColour},
      {"depths differ", Grey({{258, 3, {8, 16}}, {277, 3, {2}}}), kBadColour},
      {"12-bit grey", Grey({{258, 3, {12}}}), ""},
      {"33-bit grey", Grey({{258, 3, {33}}}), kBadColour},
      {"floating-point grey", Grey({{258, 3, {32}}, {279, 4, {32}}, {339, 3, {3}}}), ""},
      {"24-bit floating point", Grey({{258, 3, {24}}, {279, 4, {24}}, {339, 3, {3}}}), ""},
      {"48-bit floating point", Grey({{258, 3, {48}}, {279, 4, {48}}, {339, 3, {3}}}), kBadColour},
      {"floating-point predictor, uncompressed, ignored",
       Grey({{258, 3, {32}}, {279, 4, {32}}, {317, 3, {3}}, {339, 3, {3}}}), ""},
      {"floating-point predictor on integers", Grey({{259, 3, {5}}, {317, 3, {3}}}), kBadColour},
      {"predictor 2 on 24-bit floating point",
       Grey({{258, 3, {24}}, {259, 3, {5}}, {279, 4, {24}}, {317, 3, {2}}, {339, 3, {3}}}), kBadColour},
      {"predictor 2 on 12-bit data", Grey({{258, 3, {12}}, {259, 3, {5}}, {317, 3, {2}}}), kBadColour},
      {"depth x samples above 255", Grey({{258, 3, {16}}, {277, 3, {16}}}), kBadColour},
      {"YCbCr subsampled 2 x 2 by default", Grey({{262, 3, {6}}, {277, 3, {3}}, {258, 3, {8, 8, 8}}}), ""},
      {"YCbCr subsampled 3 x 1", Grey({{262, 3, {6}}, {277, 3, {3}}, {258, 3, {8, 8, 8}}, {530, 3, {3, 1}}}),
       kBadColour},
      {"subsampled YCbCr in planes",
       Grey({{262, 3, {6}}, {277, 3, {3}}, {258, 3, {8, 8, 8}}, {284, 3, {2}}}), kBadColour},
      {"subsampled YCbCr with an extra sample",
       Grey({{262, 3, {6}}, {277, 3, {4}}, {258, 3, {8, 8, 8, 8}}, {530, 3, {2, 1}}}), kBadColour},
      {"16-bit YCbCr", Grey({{262, 3, {6}}, {277, 3, {3}}, {258, 3, {16, 16, 16}}, {530, 3, {1, 1}}}),
       kBadColour},
      {"palette without ColorMap", Grey({{262, 3, {3}}}), kBadPalette},
      {"ColorMap short of 3 x 2^8", Grey({{262, 3, {3}}, {320, 3, map6}}), kBadPalette},
      {"ColorMap of 768", Grey({{262, 3, {3}}, {320, 3, map768}}), ""},
      {"ColorMap longer than 768", Grey({{262, 3, {3}}, {320, 3, std::vector<uint32_t>(771, 1)}}), kBadPalette},
      {"a BigTIFF-typed entry is ignored", Grey({{262, 16, {1}}}), ""},
      {"predictor 2 on 4-bit data", Grey({{258, 3, {4}}, {259, 3, {5}}, {317, 3, {2}}}), kBadColour},
      {"huge size", Grey({{256, 4, {1u << 30}}, {257, 4, {1u << 30}}}),
       "Image too large"},
  };
  for (const Case& c : cases) {
    std::string outcome = LoadOutcome(test::LoaderOf<TTIFFGraphic>(), MakeTiff(c.fields, pixels));
    if (c.outcome == "Image too large") outcome = outcome.substr(0, c.outcome.size());
    EXPECT_EQ(outcome, c.outcome) << c.what;
  }
}

// 24-bit floating point: sign, 7 exponent bits biased by 63, 16 of fraction; 0.0 .. 1.0 over the
// levels, rounded and clamped, not-a-number black.
TEST(TiffReader, TwentyFourBitFloatingPointLevels) {
  const std::vector<std::pair<uint32_t, int>> cases = {
      {0x3F0000, 255}, {0x3E0000, 128}, {0x3D8000, 96}, {0x7F0001, 0},
      {0x400000, 255}, {0xBF0000, 0},   {0x00FFFF, 0},  {0x7F0000, 255}};
  Bytes pixels;
  for (const auto& c : cases) {
    for (int b = 0; b < 3; ++b) pixels.push_back(uint8_t(c.first >> (8 * b)));
  }
  const uint32_t n = uint32_t(cases.size());
  TTIFFGraphic reader;
  test::LoadInto(reader, MakeTiff(Grey({{256, 3, {n}}, {257, 3, {1}}, {258, 3, {24}}, {278, 3, {1}},
                                        {279, 4, {3 * n}}, {339, 3, {3}}}),
                                  pixels));
  const test::RgbaImage got = test::ToRgba(reader);
  for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(got.At(int(i), 0)[0], cases[i].second) << std::hex << cases[i].first;
}

TEST(TiffReader, RecordAndBitmapDetails) {
  const Bytes pixels = {0x1B, 0xE4, 0x00, 0x00};  // 2-bit grey: 0 1 2 3 / 3 2 1 0
  // Resolution with a zero denominator, a DOUBLE-typed entry (8 bytes, never inline) and
  // resolution in centimetres.
  std::vector<Field> fields = Grey({{258, 3, {2}}, {279, 4, {2}}, {282, 5, {300}}, {296, 3, {3}},
                                    {33550, 12, {0, 0x40590000}}});
  Bytes file = MakeTiff(fields, pixels);
  TTIFFGraphic reader;
  test::LoadInto(reader, file);
  EXPECT_FLOAT_EQ(reader.ImageProperties.XResolution, 300 * 2.54f);
  EXPECT_EQ(reader.ImageProperties.YResolution, 0);
  EXPECT_EQ(reader.ImageProperties.Compression, ctNone);
  EXPECT_EQ(reader.ImageProperties.PlanarConfig, 1u);
  // 2-bit grey lands in a 4-bit bitmap with its four levels spread over 0..15.
  ASSERT_EQ(reader.PixelFormat(), pf4bit);
  EXPECT_EQ(reader.ScanLine(0)[0], 0x05);
  EXPECT_EQ(reader.ScanLine(0)[1], 0xAF);
  // The zero denominator: XResolution's denominator set to 0 by hand.
  for (std::size_t i = 0; i + 8 <= file.size(); ++i) {
    if (file[i] == 44 && file[i + 1] == 1 && file[i + 4] == 1 && file[i + 5] == 0) {  // 300 / 1
      file[i + 4] = 0;
      break;
    }
  }
  TTIFFGraphic zero;
  test::LoadInto(zero, file);
  EXPECT_EQ(zero.ImageProperties.XResolution, 0);
}

// Values of a tag the picture can do without that lie past the end of the file are ignored;
// those it needs fail with the read error.
TEST(TiffReader, TagValuesPastTheEndOfTheFile) {
  auto pointPastEnd = [](Bytes file, uint16_t tag) {
    for (std::size_t at = 10; at + 12 <= file.size(); at += 12) {
      if (file[at] == (tag & 0xFF) && file[at + 1] == tag >> 8) {
        file[at + 8] = file[at + 9] = file[at + 10] = 0xF0;
        break;
      }
    }
    return file;
  };
  const Bytes pixels(8, 100);
  const Bytes withResolution = MakeTiff(Grey({{282, 5, {300}}}), pixels);
  TTIFFGraphic reader;
  test::LoadInto(reader, pointPastEnd(withResolution, 282));
  EXPECT_EQ(reader.ImageProperties.XResolution, 0);
  EXPECT_EQ(reader.Width(), 4);
  const Bytes twoStrips = MakeTiff(Grey({{273, 4, {kData, kData}}, {278, 3, {1}}, {279, 4, {4, 4}}}), pixels);
  EXPECT_EQ(LoadOutcome(test::LoaderOf<TTIFFGraphic>(), twoStrips), "");
  EXPECT_EQ(LoadOutcome(test::LoaderOf<TTIFFGraphic>(), pointPastEnd(twoStrips, 273)),
            "Stream read error in TIF/TIFF file.");
}

// BigTIFF's header and directory sizes are checked before anything is read by them.
TEST(TiffReader, DamagedBigTiffHeaders) {
  const Bytes good = test::FileBytes(test::DataDir() / "tiff" / "bigtiff-be-bw-g4.tif");
  const uint64_t directory = LoadBE32(good.data() + 12);
  struct Case {
    const char* what;
    std::size_t at;
    std::vector<uint8_t> bytes;
    std::string outcome;
  } cases[] = {
      {"as made", 0, {}, ""},
      {"offsets of 4 bytes", 4, {0, 4}, kBadFormat},
      {"reserved word set", 6, {0, 1}, kBadFormat},
      {"first directory past the end", 8, {0, 0, 0, 1, 0, 0, 0, 0}, "Stream read error in TIF/TIFF file."},
      {"2^40 entries", directory, {0, 0, 1, 0, 0, 0, 0, 0}, kBadFormat},
      {"65536 entries", directory, {0, 0, 0, 0, 0, 1, 0, 0}, kBadFormat},
  };
  for (const Case& c : cases) {
    Bytes file = good;
    std::copy(c.bytes.begin(), c.bytes.end(), file.begin() + c.at);
    EXPECT_EQ(LoadOutcome(test::LoaderOf<TTIFFGraphic>(), file), c.outcome) << c.what;
  }
}

TEST(TiffReader, DirectoryChainThatPointsBackEnds) {
  Bytes file = MakeTiff(Grey({}), Bytes(8, 0));
  // The next-IFD offset of the only directory points at itself.
  const std::size_t next = 8 + 2 + 8 * 12;
  file[next] = 8;
  TTIFFGraphic reader;
  TBufferStream stream(file.data(), file.size());
  EXPECT_FALSE(reader.ReadImageProperties(stream, 100000));
  EXPECT_TRUE(reader.ReadImageProperties(stream, 3));
}

TEST(TiffReader, ThumbnailTableReadsBothExtensions) {
  for (const char* extension : {".tif", ".tiff"}) {
    const std::unique_ptr<ThumbnailImage> reader = CreateThumbnailReader(extension);
    ASSERT_TRUE(reader) << extension;
    reader->LoadFromFile(test::DataDir() / "tiff" / "bw-g4-tiled.tif");
    EXPECT_EQ(reader->Height(), 45);
    EXPECT_EQ(reader->Width(), 67);
  }
}

TEST(TiffReader, DamagedFilesFailCleanly) {
  for (const char* name : {"rgb8-lzw-pred.tif", "rgb8-be-tiled-planar-lzw-pred.tif",
                           "ycbcr-jpeg-tiled.tif", "bw-g3-2d-fill2.tif", "palette2-lzw.tif",
                           "rgb16-planar-zip-pred.tif", "ycbcr42-lzw-tiled.tif", "ycbcr22-none.tif",
                           "grey2-next.tif", "bigtiff-rgb8-lzw-pred.tif", "bigtiff-be-bw-g4.tif",
                           "rgba8-jpeg-strips.tif", "ojpeg-interchange.tif", "ojpeg-tables-strips.tif"}) {
    test::DamageSweep(test::LoaderOf<TTIFFGraphic>(), test::FileBytes(test::DataDir() / "tiff" / name),
                      name);
  }
}

}  // namespace
}  // namespace tablora
