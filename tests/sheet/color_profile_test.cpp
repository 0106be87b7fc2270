#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

#include "imaging/icc_profile.h"
#include "imaging/icc_transform.h"
#include "imaging/image_format.h"
#include "sheet/thumbnail_image.h"
#include "sheet/thumbnail_pipeline.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using test::DataDir;

std::filesystem::path Icc(const std::string& name) { return DataDir() / "icc" / name; }
const std::filesystem::path kColord = "/usr/share/color/icc/colord";

// The picture a cell draws, at the file's own size.
TBitmap CellPixels(const std::filesystem::path& path) {
  ExtensionThumbnailLoader loader;
  std::unique_ptr<ThumbnailImage> image = loader.Load(path.string());
  if (!image) return {};
  const CellPicture picture = ThumbnailPipeline::Produce(loader, {path.string(), image->Width(), image->Height()});
  return picture.pixels ? *picture.pixels : TBitmap{};
}

// Share of pixels whose every channel is within tolerance of the reference.
double ShareWithin(const TBitmap& bitmap, const test::RgbaImage& reference, int tolerance) {
  if (bitmap.Width() != reference.width || bitmap.Height() != reference.height) return 0;
  const test::RgbaImage got = test::ToRgba(bitmap);
  std::size_t near = 0;
  for (int y = 0; y < got.height; ++y) {
    for (int x = 0; x < got.width; ++x) {
      bool ok = true;
      for (int c = 0; c < 3; ++c) ok = ok && std::abs(got.At(x, y)[c] - reference.At(x, y)[c]) <= tolerance;
      near += ok;
    }
  }
  return static_cast<double>(near) / (static_cast<double>(got.width) * got.height);
}

// libheif's own decode of a file converted to sRGB by lcms2's tificc: the reference for HEIF files,
// whose encoder here does not keep even lossless pictures exact.
std::optional<test::RgbaImage> LcmsToolReference(const std::filesystem::path& file) {
  return test::ToolDecode(
      "sh",
      {"-c", "heif-convert -q 100 \"$0\" \"$1.png\" >/dev/null && convert \"$1.png\" \"$1.in.tif\" && "
             "tificc -t0 -b \"$1.in.tif\" \"$1\" >/dev/null 2>&1 && rm -f \"$1.png\" \"$1.in.tif\"",
       "{in}", "{out}"},
      file, ".tif");
}

// A photograph converted into a wide space comes back as close to its sRGB original as
// ImageMagick's own conversion allows: lossless files within 5 levels (Adobe RGB) and 8
// (ProPhoto), lossy ones within 8 and 12, on 98 % of the pixels. Also a BigTIFF, a PNG whose gAMA
// (1/1.8) disagrees with its profile (the profile wins), and a lossless AVIF in Display P3 given
// by its nclx primaries alone.
TEST(ColorProfile, WideSpacePhotographsComeBackAsTheirSrgbOriginal) {
  const std::optional<test::RgbaImage> original = test::MagickDecode(Icc("photo.png"));
  ASSERT_TRUE(original);
  const struct {
    const char* file;
    int tolerance;
  } cases[] = {
      {"adobe.png", 5},     {"adobe.tif", 5},     {"adobe.psd", 5},     {"adobe.webp", 5},
      {"adobe.heic", 5},    {"adobe.jpg", 8},     {"prophoto.png", 8},  {"prophoto.tif", 8},
      {"prophoto.psd", 8},  {"prophoto.webp", 8}, {"prophoto.heic", 8}, {"prophoto.jpg", 12},
      {"adobe-big.tif", 5}, {"adobe-gama.png", 5}, {"p3-nclx.avif", 5},
  };
  for (const auto& c : cases) {
    const bool heif = std::string_view(c.file).ends_with(".heic");
    const std::optional<test::RgbaImage> reference = heif ? LcmsToolReference(Icc(c.file)) : original;
    ASSERT_TRUE(reference) << c.file;
    EXPECT_GE(ShareWithin(CellPixels(Icc(c.file)), *reference, c.tolerance), 0.98) << c.file;
  }
}

// Matrix-and-curves profiles go through tables; over a cube of colours they agree with lcms2 as
// ImageMagick runs it within a level or two, out-of-gamut colours clipped alike.
TEST(ColorProfile, MatrixProfileTablesAgreeWithLcms) {
  for (const char* file : {"cube-adobe.png", "cube-prophoto.png"}) {
    const std::optional<test::RgbaImage> reference =
        test::MagickDecode(Icc(file), "-intent perceptual -profile " + (kColord / "sRGB.icc").string());
    ASSERT_TRUE(reference) << file;
    EXPECT_GE(ShareWithin(CellPixels(Icc(file)), *reference, 2), 0.999) << file;
  }
}

// One pixel of each picture: a red square tagged with a profile that swaps red and green comes
// out green in every format; the EXIF Adobe RGB marks saturate it; sRGB marks (an sRGB chunk, an
// nclx of BT.709 primaries and the sRGB curve) leave it alone, and the sRGB chunk keeps a gAMA of
// 1.0 beside it from applying; BT.709 primaries in linear light take the sRGB curve. A damaged
// iCCP is ignored: the gAMA beside it applies (to 2.2: 255 * (v / 255)^(1 / 2.2)), and so do
// chromaticities.
TEST(ColorProfile, EachFormatsColourDescriptionIsApplied) {
  const struct {
    const char* file;
    uint8_t r, g, b;
    const char* description;
  } cases[] = {
      {"swapped.png", 30, 220, 30, "Swapped Red and Green"},  {"swapped.tif", 30, 220, 30, "Swapped Red and Green"},
      {"swapped.psd", 30, 220, 30, "Swapped Red and Green"},  {"swapped.jpg", 30, 220, 30, "Swapped Red and Green"},
      {"swapped.webp", 30, 220, 30, "Swapped Red and Green"}, {"swapped.heic", 30, 220, 30, "Swapped Red and Green"},
      {"chrm-swapped.png", 24, 221, 24, "PNG chromaticities"},
      {"exif-adobe.jpg", 255, 24, 24, "Adobe RGB (1998)"},     {"exif-r03.jpg", 255, 24, 24, "Adobe RGB (1998)"},
      {"swapped.nef", 30, 220, 30, "Swapped Red and Green"},  {"exif-adobe.nef", 255, 24, 24, "Adobe RGB (1998)"},
      {"exif-srgb.jpg", 220, 30, 30, ""},                      {"chrm-srgb.png", 220, 30, 30, ""},
      {"swapped.avif", 30, 220, 30, "Swapped Red and Green"}, {"swapped-big.tif", 30, 220, 30, "Swapped Red and Green"},
      {"srgb-nclx.avif", 220, 30, 30, ""},                     {"srgb-gama.png", 220, 30, 30, ""},
      {"linear-nclx.avif", 239, 96, 96, "HEIF colour primaries"},
      {"bad-iccp-gama.png", 238, 96, 96, ""},                  {"chrm-bad-iccp.png", 24, 221, 24, "PNG chromaticities"},
  };
  for (const auto& c : cases) {
    const TBitmap pixels = CellPixels(Icc(c.file));
    ASSERT_FALSE(pixels.Empty()) << c.file;
    const TColor colour = pixels.PixelColor(3, 3);
    EXPECT_NEAR(colour & 0xFF, c.r, 4) << c.file;
    EXPECT_NEAR((colour >> 8) & 0xFF, c.g, 4) << c.file;
    EXPECT_NEAR((colour >> 16) & 0xFF, c.b, 4) << c.file;
    const std::vector<uint8_t> bytes = test::FileBytes(Icc(c.file));
    const TImageFormat* format = FormatForFile(std::filesystem::path(c.file).extension().string(), bytes);
    EXPECT_EQ(IccDescription(EmbeddedProfile(*format, bytes)), c.description) << c.file;
  }
}

// Floating-point samples in linear light, tagged with a linear profile (as GIMP writes them):
// converted once, so 0.371 is sRGB's 164, not the 210 of a second pass through a curve; whether
// the profile's curve is a one-entry 'curv' or a 'para', whether the reader encodes the samples
// itself (Photoshop) or hands them on (TIFF); linear ProPhoto's colours still converted. Against
// ImageMagick's conversion through lcms2 (which rounds 0.371 down to 163). The TIFF reader hands
// on 8-bit linear light, whose steps are coarse in the shadows (0.01 is drawn 28 for 25).
TEST(ColorProfile, LinearLightIsConvertedOnce) {
  for (const char* file : {"float-linear-srgb.psd", "float-linear-srgb-para.psd", "float-linear-prophoto.psd",
                           "float-linear-srgb.tif"}) {
    const int tolerance = std::string_view(file).ends_with(".tif") ? 3 : 2;
    const TBitmap pixels = CellPixels(Icc(file));
    ASSERT_FALSE(pixels.Empty()) << file;
    EXPECT_EQ(pixels.PixelColor(0, 0), RGB(164, 164, 164)) << file;
    const std::optional<test::RgbaImage> reference =
        test::MagickDecode(Icc(file), "-intent perceptual -profile " + (kColord / "sRGB.icc").string());
    ASSERT_TRUE(reference) << file;
    test::ExpectPixelsNear(pixels, *reference, tolerance, file);
  }
}

// An HDR picture (10-bit PQ) is tone-mapped to sRGB by its reader: a profile stored beside its
// nclx (here one that swaps red and green) must not be applied to the result again.
TEST(ColorProfile, ToneMappedPicturesAreNotConvertedAgain) {
  const std::filesystem::path dir = DataDir() / "heif";
  const TBitmap plain = CellPixels(dir / "pq10.heic");
  const TBitmap tagged = CellPixels(dir / "pq10-icc.heic");
  ASSERT_FALSE(plain.Empty());
  test::ExpectPixelsNear(tagged, test::ToRgba(plain), 1, "pq10-icc.heic");
}

// A version 4 grey profile whose lightness lives only in its AToB0 tables (L* = 100 v^2.2, no
// grey curve), as some scanners and Photoshop's own grey profiles are made.
std::vector<uint8_t> GreyTableProfile() {
  cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(profile, 4.3);
  cmsSetDeviceClass(profile, cmsSigDisplayClass);
  cmsSetColorSpace(profile, cmsSigGrayData);
  cmsSetPCS(profile, cmsSigLabData);
  cmsPipeline* tables = cmsPipelineAlloc(nullptr, 1, 3);
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
  cmsPipelineInsertStage(tables, cmsAT_END, cmsStageAllocToneCurves(nullptr, 1, &gamma));
  const cmsUInt16Number ends[] = {0, 0x8080, 0x8080, 0xFFFF, 0x8080, 0x8080};
  cmsPipelineInsertStage(tables, cmsAT_END, cmsStageAllocCLut16bit(nullptr, 2, 1, 3, ends));
  cmsPipelineInsertStage(tables, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsWriteTag(profile, cmsSigAToB0Tag, tables);
  cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsMLU* name = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(name, "en", "US", "Grey by tables");
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, name);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsMLUfree(name);
  cmsFreeToneCurve(gamma);
  cmsPipelineFree(tables);
  cmsCloseProfile(profile);
  return bytes;
}

// A grey profile made of tables is applied as lcms2's tificc applies it (mid grey 128 is 50 in
// sRGB, not the 128 it stays when the profile is passed over).
TEST(ColorProfile, GreyProfilesOfTablesApply) {
  const std::vector<uint8_t> profile = GreyTableProfile();
  ASSERT_EQ(IccDescription(profile), "Grey by tables");
  TBitmap ramp;
  ramp.SetPixelFormat(pf24bit);
  ramp.SetSize(256, 32);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 256; ++x) std::fill_n(ramp.ScanLine(y) + 3 * x, 3, static_cast<uint8_t>(x));
  }
  ConvertToSrgb(ramp, profile);
  EXPECT_NEAR(ramp.ScanLine(0)[128 * 3], 50, 1);
  const std::filesystem::path iccFile = std::filesystem::temp_directory_path() / "tablora-grey-tables.icc";
  std::ofstream(iccFile, std::ios::binary).write(reinterpret_cast<const char*>(profile.data()),
                                                 static_cast<std::streamsize>(profile.size()));
  const auto reference =
      test::ToolDecode("tificc", {"-t0", "-i", iccFile.string(), "-o", (kColord / "sRGB.icc").string(), "{in}", "{out}"},
                       DataDir() / "avif" / "grey-ramp.tif", ".tif");
  std::filesystem::remove(iccFile);
  ASSERT_TRUE(reference);
  test::ExpectPixelsNear(ramp, *reference, 2, "grey ramp through a table profile");
}

// A damaged profile is no profile: nothing is converted, nothing breaks.
TEST(ColorProfile, DamagedProfilesAreIgnored) {
  const std::vector<uint8_t> good = test::FileBytes(kColord / "SwappedRedAndGreen.icc");
  ASSERT_TRUE(TIccTransform::ToSrgb(good, false));
  const std::vector<uint8_t> press = EmbeddedProfile(*FormatByExtension(".tif"), test::FileBytes(Icc("cyan.tif")));
  ASSERT_TRUE(TIccTransform::CmykToSrgb(press));
  const struct {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
  } cases[] = {
      {"cut", [](std::vector<uint8_t>& p) { p.resize(p.size() / 2); }},
      {"header only", [](std::vector<uint8_t>& p) { p.resize(128); }},
      {"size field beyond the data", [](std::vector<uint8_t>& p) { p[1] = 0x7F; }},
      {"wrong signature", [](std::vector<uint8_t>& p) { p[36] = 'x'; }},
      {"tag table beyond the data", [](std::vector<uint8_t>& p) { p[128] = p[129] = 0x7F; }},
      {"over 4 MiB", [](std::vector<uint8_t>& p) { p.resize(kMaxIccProfileBytes + 1); }},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> profile = good;
    c.damage(profile);
    EXPECT_FALSE(TIccTransform::ToSrgb(profile, false)) << c.what;
    std::vector<uint8_t> cmyk = press;
    c.damage(cmyk);
    EXPECT_FALSE(TIccTransform::CmykToSrgb(cmyk)) << c.what;
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(4, 4);
    bitmap.SetPixelColor(1, 1, 0x1E1EDC);
    ConvertToSrgb(bitmap, profile);
    EXPECT_EQ(bitmap.PixelColor(1, 1), 0x1E1EDCu) << c.what;
  }
  // A BigTIFF's 8-byte counts and offsets, read whole: a reader of their low halves would find
  // the profile in most of these.
  const std::vector<uint8_t> big = test::FileBytes(Icc("swapped-big.tif"));
  const uint8_t tag[] = {0x73, 0x87, 7, 0};  // 34675, UNDEFINED, little-endian
  const std::size_t entry = static_cast<std::size_t>(std::search(big.begin(), big.end(), tag, tag + 4) - big.begin());
  ASSERT_LT(entry + 20, big.size());
  ASSERT_EQ(TiffProfile(big).size(), good.size());
  const std::size_t ifd = big[8];
  const struct {
    const char* what;
    std::size_t at;
    uint8_t value;
  } bigCases[] = {
      {"offset size 4", 4, 4},
      {"first directory beyond 4 GiB", 12, 1},
      {"2^63 entries", ifd + 7, 0x80},
      {"2^32 entries", ifd + 4, 1},
      {"profile count beyond the file", entry + 6, 1},
      {"profile count beyond 4 GiB", entry + 8, 1},
      {"profile beyond 4 GiB", entry + 16, 1},
  };
  for (const auto& c : bigCases) {
    std::vector<uint8_t> file = big;
    file[c.at] = c.value;
    EXPECT_TRUE(TiffProfile(file).empty()) << c.what;
  }
}

// Damaged files of every tagged format: the profile is found, ignored or converted through,
// never a crash or a foreign exception.
TEST(ColorProfile, DamagedTaggedFilesSurviveTheSweep) {
  for (const char* file : {"swapped.jpg", "swapped.png", "swapped.tif", "swapped.psd", "swapped.webp", "swapped.heic",
                           "swapped.avif", "swapped-big.tif", "chrm-swapped.png", "exif-r03.jpg", "exif-adobe.nef",
                           "cmyk-adobe.jpg", "cmyk.tif", "cmyk.psd", "cmyk-jpeg.tif"}) {
    const std::vector<uint8_t> good = test::FileBytes(Icc(file));
    const TImageFormat* format = FormatForFile(std::filesystem::path(file).extension().string(), good);
    ASSERT_NE(format, nullptr);
    const test::LoadBytesFn load = [format](const std::vector<uint8_t>& bytes) {
      TBitmap bitmap;
      bitmap.SetPixelFormat(pf24bit);
      bitmap.SetSize(8, 8);
      ConvertToSrgb(bitmap, EmbeddedProfile(*format, bytes));
      // CMYK files convert inside their reader.
      const std::unique_ptr<TFormatReader> reader = format->create();
      reader->Load(bytes);
      reader->Pixels();
    };
    test::DamageSweep(load, good, file, 60, std::min<std::size_t>(good.size(), 4096));
  }
}

// A photograph separated into CMYK with a press profile comes back through that profile as
// ImageMagick's lcms2 conversion of the lossless file does: lossless files within 5 levels, JPEG
// ones within 8, on 98 % of the pixels; Adobe's inverted JPEG and the plain one alike.
TEST(ColorProfile, CmykPicturesConvertThroughTheirProfile) {
  const std::string toSrgb = "-intent perceptual -black-point-compensation -profile " + (kColord / "sRGB.icc").string();
  const std::optional<test::RgbaImage> reference = test::MagickDecode(Icc("cmyk.tif"), toSrgb);
  ASSERT_TRUE(reference);
  const struct {
    const char* file;
    int tolerance;
  } cases[] = {{"cmyk.tif", 5},       {"cmyk16.tif", 5},     {"cmyka.tif", 5},      {"cmyk.psd", 5},
               {"cmyk16.psd", 5},     {"cmyk-jpeg.tif", 8},  {"cmyk-adobe.jpg", 8}, {"cmyk-plain.jpg", 8}};
  for (const auto& c : cases) {
    EXPECT_GE(ShareWithin(CellPixels(Icc(c.file)), *reference, c.tolerance), 0.98) << c.file;
    const std::vector<uint8_t> bytes = test::FileBytes(Icc(c.file));
    const TImageFormat* format = FormatForFile(std::filesystem::path(c.file).extension().string(), bytes);
    EXPECT_EQ(IccDescription(EmbeddedProfile(*format, bytes)), "Tablora test press CMYK") << c.file;
  }
  // Half size, as libjpeg's DCT scaling gives it for a smaller cell.
  const std::optional<test::RgbaImage> half = test::MagickDecode(Icc("cmyk.tif"), toSrgb + " -resize 32x24");
  ASSERT_TRUE(half);
  ExtensionThumbnailLoader loader;
  const CellPicture picture = ThumbnailPipeline::Produce(loader, {Icc("cmyk-adobe.jpg").string(), 32, 24});
  ASSERT_TRUE(picture.pixels);
  EXPECT_GE(ShareWithin(*picture.pixels, *half, 12), 0.95);
}

// Pure cyan ink prints far from the ink formula's (0, 255, 255) on a press; with its profile
// damaged, or of the wrong kind, the same file falls back to the formula. A CMYK profile on an RGB
// picture is ignored.
TEST(ColorProfile, PureCyanInkGoesThroughThePressProfile) {
  const std::optional<test::RgbaImage> lcms = test::MagickDecode(
      Icc("cyan.tif"), "-intent perceptual -black-point-compensation -profile " + (kColord / "sRGB.icc").string());
  ASSERT_TRUE(lcms);
  const TColor cyan = CellPixels(Icc("cyan.tif")).PixelColor(5, 5);
  EXPECT_GT(255 - static_cast<int>((cyan >> 8) & 0xFF), 40);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR((cyan >> (8 * c)) & 0xFF, lcms->At(5, 5)[c], 2) << c;

  std::vector<uint8_t> damaged = test::FileBytes(Icc("cyan.tif"));
  const std::string_view acsp = "acsp";
  const auto signature = std::search(damaged.begin(), damaged.end(), acsp.begin(), acsp.end());
  ASSERT_NE(signature, damaged.end());
  *signature = 'x';
  const std::unique_ptr<TFormatReader> reader = FormatByExtension(".tif")->create();
  reader->Load(damaged);
  EXPECT_EQ(reader->Pixels().PixelColor(5, 5), 0xFFFF00u);
  EXPECT_TRUE(reader->ReaderProfile().empty());
  EXPECT_EQ(CellPixels(Icc("cyan-swapped.tif")).PixelColor(5, 5), 0xFFFF00u);
  const TColor red = CellPixels(Icc("red-press.jpg")).PixelColor(3, 3);
  EXPECT_NEAR(red & 0xFF, 220, 4);
  EXPECT_NEAR((red >> 8) & 0xFF, 30, 4);
}

// JPEG XL colours as djxl gives them, made sRGB: XYB pictures by djxl itself (a grey picture with a
// linear curve), the others through ImageMagick's lcms2 from the profile djxl writes beside the
// data (the BT.709 curve, 16-bit ProPhoto); CMYK with black as its own channel as ImageMagick
// converts the CMYK TIFF it was made from. Each cell is drawn once: no conversion is repeated.
TEST(ColorProfile, JpegXlColoursComeOutAsSrgb) {
  const std::string toSrgb = "-intent perceptual -black-point-compensation -profile " + (kColord / "sRGB.icc").string();
  const auto djxlSrgb = [](const char* space) {
    return [space](const std::filesystem::path& file) {
      return test::ToolDecode("djxl", {"{in}", "{out}", "--quiet", std::string("--color_space=") + space}, file, ".pgm");
    };
  };
  const auto djxlThenLcms = [&toSrgb](const std::filesystem::path& file) {
    return test::ToolDecode("sh", {"-c", "djxl --quiet \"$0\" \"$1.png\" && convert \"$1.png\" " + toSrgb +
                                             " -depth 8 \"$1\" && rm -f \"$1.png\"",
                                   "{in}", "{out}"},
                            file, ".pam");
  };
  const auto cmykTiff = [&toSrgb](const std::filesystem::path&) { return test::MagickDecode(Icc("cmyk.tif"), toSrgb); };
  const struct {
    const char* file;
    std::function<std::optional<test::RgbaImage>(const std::filesystem::path&)> reference;
    int tolerance;
  } cases[] = {{"grey-linear.jxl", djxlSrgb("Gra_D65_Rel_SRG"), 1},
               {"bt709.jxl", djxlThenLcms, 2},
               {"prophoto16.jxl", djxlThenLcms, 4},
               {"cmyk.jxl", cmykTiff, 5}};
  for (const auto& c : cases) {
    const std::filesystem::path file = DataDir() / "jxl" / c.file;
    const std::optional<test::RgbaImage> reference = c.reference(file);
    ASSERT_TRUE(reference) << c.file;
    test::ExpectPixelsNear(CellPixels(file), *reference, c.tolerance, c.file);
  }
}

// The iPhone's Display P3 picture, against libheif's own decode converted by lcms2's tificc.
TEST(ColorProfile, DisplayP3PhoneHeicMatchesLcmsTools) {
#ifdef __SANITIZE_THREAD__
  // Its 24-megapixel HEVC decode alone takes most of a cell's 8 s of processor time here, and all
  // of it on a loaded machine; the colour is checked by the other builds, threads are not in play.
  GTEST_SKIP() << "too slow under ThreadSanitizer for a cell's work budget";
#endif
  const std::filesystem::path file = test::CorpusDir() / "modern/photoprism/iphone_15_pro.heic";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "no corpus";
  const std::optional<test::RgbaImage> reference = LcmsToolReference(file);
  if (!reference) GTEST_SKIP() << "no heif-convert or tificc";
  EXPECT_GE(ShareWithin(CellPixels(file), *reference, 8), 0.98);
}

// Worker threads share one transform per profile, RGB or CMYK: a page of tagged files built each
// once.
TEST(ColorProfile, TransformsAreBuiltOncePerProfile) {
  ExtensionThumbnailLoader loader;
  std::vector<ThumbnailPipeline::Request> requests;
  const char* files[] = {"prophoto.png", "prophoto.jpg", "cmyk-adobe.jpg", "cmyk.tif"};
  for (int i = 0; i < 16; ++i) requests.push_back({Icc(files[i % 4]).string(), 32, 24});
  TIccTransform::ToSrgb(test::FileBytes(kColord / "ProPhotoRGB.icc"), false);
  TIccTransform::CmykToSrgb(EmbeddedProfile(*FormatByExtension(".tif"), test::FileBytes(Icc("cyan.tif"))));
  const uint64_t before = TIccTransform::BuiltCount();
  ThumbnailPipeline pipeline(loader, nullptr, 2, uint64_t{1} << 30, requests);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const std::optional<CellPicture> picture = pipeline.Take(i, [] { return true; });
    ASSERT_TRUE(picture && picture->pixels) << i;
  }
  // The colord file and the embedded copies may differ in bytes; at most one more transform.
  EXPECT_LE(TIccTransform::BuiltCount() - before, 1u);
}

}  // namespace
}  // namespace tablora
