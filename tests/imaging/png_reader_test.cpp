#include "imaging/readers/png_reader.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "imaging/byte_order.h"
#include "imaging/decoders/lz77_decoder.h"
#include "imaging/exceptions.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using Bytes = std::vector<uint8_t>;
using test::RgbaImage;

// ---- Building PNG files byte by byte -------------------------------------------------------

void StoreBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

Bytes Chunk(const char* type, const Bytes& data) {
  // Sized once and filled in place: GCC 12 reports an insert at the end of a short vector as out
  // of bounds (its bug 105651's family).
  Bytes out(8 + data.size() + 4);
  StoreBE32(out.data(), static_cast<uint32_t>(data.size()));
  std::memcpy(out.data() + 4, type, 4);
  std::copy(data.begin(), data.end(), out.begin() + 8);
  uint32_t crc =
      static_cast<uint32_t>(crc32(0, out.data() + 4, static_cast<uInt>(data.size() + 4)));
  StoreBE32(out.data() + 8 + data.size(), crc);
  return out;
}

Bytes Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colourType, uint8_t interlace = 0) {
  Bytes d(13);
  StoreBE32(d.data(), w);
  StoreBE32(d.data() + 4, h);
  d[8] = depth;
  d[9] = colourType;
  d[12] = interlace;
  return Chunk("IHDR", d);
}

Bytes Zlib(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
  out.resize(size);
  return out;
}

// A zlib stream that stops after the data without ending: no final block, no checksum.
Bytes Unended(const Bytes& raw) {
  z_stream z{};
  deflateInit(&z, 9);
  Bytes out(raw.size() + 64);
  z.next_in = const_cast<Bytef*>(raw.data());
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_SYNC_FLUSH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes Png(std::initializer_list<Bytes> chunks) {
  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
  const Bytes end = Chunk("IEND", {});
  out.insert(out.end(), end.begin(), end.end());
  return out;
}

// A 3 x 2 RGB image, filter types 1 and 4, and the pixels it decodes to.
const Bytes kRows = {1, 10, 20, 30, 5, 5, 5, 250, 10, 0,  //
                     4, 1,  2,  3,  4, 5, 6, 7,   8,  9};
const uint8_t kPixels[6][3] = {{10, 20, 30}, {15, 25, 35}, {9, 35, 35},
                               {11, 22, 33}, {19, 30, 41}, {22, 43, 50}};

std::string Outcome(const Bytes& bytes) {
  return test::LoadOutcome(test::LoaderOf<TPNGGraphic>(), bytes);
}

void ExpectKPixels(const Bytes& file, const std::string& what) {
  TPNGGraphic png;
  ASSERT_EQ(Outcome(file), "") << what;
  test::LoadInto(png, file);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(png.PixelColor(i % 3, i / 3), RGB(kPixels[i][0], kPixels[i][1], kPixels[i][2]))
        << what << " pixel " << i;
  }
}

TEST(PngReader, ImageDataSplitAnywhereAndCaseBlindTypes) {
  const Bytes z = Zlib(kRows);
  ExpectKPixels(Png({Ihdr(3, 2, 8, 2), Chunk("IDAT", z)}), "one chunk");
  ExpectKPixels(Png({Ihdr(3, 2, 8, 2), Chunk("idat", z)}), "lower-case idat");
  // A palette in an RGB image is read, checked and ignored; unknown ancillary chunks are skipped
  // unchecked.
  Bytes junk = Chunk("juNk", {1, 2, 3});
  junk.back() ^= 1;
  ExpectKPixels(Png({Ihdr(3, 2, 8, 2), Chunk("PLTE", {1, 2, 3}), junk, Chunk("IDAT", z)}),
                "PLTE, juNk");
  for (std::size_t at = 0; at <= z.size(); ++at) {
    ExpectKPixels(Png({Ihdr(3, 2, 8, 2), Chunk("IDAT", Bytes(z.begin(), z.begin() + at)),
                       Chunk("IDAT", {}), Chunk("IDAT", Bytes(z.begin() + at, z.end()))}),
                  "split at " + std::to_string(at));
  }
}

TEST(PngReader, DamagedAndUnusualStructure) {
  const Bytes z = Zlib(kRows);
  Bytes shortHeader = Ihdr(3, 2, 8, 2);
  shortHeader = Chunk("IHDR", Bytes(shortHeader.begin() + 8, shortHeader.begin() + 20));
  Bytes badPalette = Chunk("PLTE", {1, 2, 3});
  badPalette.back() ^= 1;
  Bytes hugeLength = Chunk("tEXt", {});
  StoreBE32(hugeLength.data(), 0x80000000u);
  Bytes corrupt = z;
  corrupt[2] = 0xFF;  // a reserved block type
  const Bytes whole = Png({Ihdr(3, 2, 8, 2), Chunk("IDAT", z)});
  const Bytes signatureOnly(whole.begin(), whole.begin() + 8);
  const std::string invalid = "Cannot load image. Invalid or unexpected PNG image format.";
  struct Case {
    const char* name;
    Bytes file;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {"short IHDR", Png({shortHeader, Chunk("IDAT", z)}), invalid},
           {"no image data", Png({Ihdr(3, 2, 8, 2)}), invalid},
           {"width 0", Png({Ihdr(0, 2, 8, 2), Chunk("IDAT", z)}), invalid},
           {"IHDR not first",
            Png({Chunk("gAMA", {0, 1, 0x86, 0xA0}), Ihdr(3, 2, 8, 2), Chunk("IDAT", z)}), invalid},
           {"2^31 - 1 square, refused before allocating",
            Png({Ihdr(0x7FFFFFFF, 0x7FFFFFFF, 16, 6), Chunk("IDAT", z)}),
            "Image too large: 2147483647 x 2147483647 pixels exceed the limit of 1024 MiB"},
           {"rows wider than the limit, one row high",
            Png({Ihdr(0x7FFFFFF, 1, 16, 6), Chunk("IDAT", z)}),
            "Image too large: 134217727 x 2 pixels exceed the limit of 1024 MiB"},
           {"bad CRC in PLTE", Png({Ihdr(3, 2, 8, 2), badPalette, Chunk("IDAT", z)}),
            "Cannot load image. CRC error found in PNG file."},
           {"PLTE not of whole entries",
            Png({Ihdr(3, 2, 8, 3), Chunk("PLTE", {1, 2}), Chunk("IDAT", z)}),
            "Cannot load image. Palette in PNG file is invalid."},
           {"unknown critical chunk", Png({Ihdr(3, 2, 8, 2), Chunk("JUNK", {}), Chunk("IDAT", z)}),
            "Cannot load PNG image. Unexpected but critical chunk detected."},
           {"chunk length over 31 bits", Png({Ihdr(3, 2, 8, 2), hugeLength, Chunk("IDAT", z)}),
            invalid},
           {"broken deflate data", Png({Ihdr(3, 2, 8, 2), Chunk("IDAT", corrupt)}),
            "Cannot load image. Compression error found in PNG file."},
           {"compression method 1",
            [] {
              Bytes h = Ihdr(3, 2, 8, 2);
              h[18] = 1;
              return Png({Chunk("IHDR", Bytes(h.begin() + 8, h.begin() + 21)),
                          Chunk("IDAT", Zlib(kRows))});
            }(),
            "Cannot load image. The compression scheme is not supported for PNG files."},
           {"1 x 1 at 2 bits of RGB", Png({Ihdr(1, 1, 2, 2), Chunk("IDAT", Zlib({0, 0}))}),
            "Invalid color format in PNG file."},
           {"file ends before IEND", Bytes(whole.begin(), whole.end() - 13),
            "Stream read error in PNG file."},
       }) {
    EXPECT_EQ(Outcome(c.file), c.message) << c.name;
  }
  TPNGGraphic png;
  TBufferStream eight(signatureOnly.data(), signatureOnly.size());
  EXPECT_FALSE(png.CanLoad(eight));
}

// Choices where the zlib stream and the rows disagree: every row that arrived is shown and the
// rest keeps the background; bytes after the end of the stream are not image data.
TEST(PngReader, ShortAndOverlongImageData) {
  const Bytes z = Zlib(kRows);
  Bytes trailing = z;
  trailing.insert(trailing.end(), {0xDE, 0xAD});
  ExpectKPixels(Png({Ihdr(3, 2, 8, 2), Chunk("IDAT", trailing), Chunk("IDAT", {7, 7, 7})}),
                "trailing");
  ExpectKPixels(Png({Ihdr(3, 2, 8, 2), Chunk("IDAT", z), Chunk("tEXt", {}), Chunk("IDAT", {7})}),
                "a late IDAT");

  const Bytes firstRowOnly = Zlib(Bytes(kRows.begin(), kRows.begin() + 10));
  const Bytes cut = Unended(Bytes(kRows.begin(), kRows.begin() + 10));
  const Bytes bkgd = Chunk("bKGD", {0, 1, 0, 2, 0, 3});
  for (const Bytes& data : {firstRowOnly, cut}) {
    TPNGGraphic png;
    test::LoadInto(png, Png({Ihdr(3, 2, 8, 2), bkgd, Chunk("IDAT", data)}));
    EXPECT_EQ(png.PixelColor(0, 0), RGB(10, 20, 30));
    EXPECT_EQ(png.PixelColor(2, 1), RGB(1, 2, 3)) << "the background fill";
  }
}

TEST(PngReader, TransparencyAndBackgroundOfGreyAndPalette) {
  // 4 x 1 grey at 2 bits: values 0 1 2 3, key 1 (grey 85), background 2 (grey 170).
  const Bytes grey = Png({Ihdr(4, 2, 2, 0), Chunk("tRNS", {0, 1}), Chunk("bKGD", {0, 2}),
                          Chunk("IDAT", Zlib({0, 0x1B}))});
  TPNGGraphic png;
  test::LoadInto(png, grey);
  EXPECT_EQ(png.PixelFormat(), pf4bit);
  RgbaImage rgba = test::ToRgba(png);
  EXPECT_EQ(Bytes(rgba.At(0, 0), rgba.At(0, 0) + 16),
            (Bytes{0, 0, 0, 255, 85, 85, 85, 0, 170, 170, 170, 255, 255, 255, 255, 255}));
  EXPECT_EQ(png.PixelColor(0, 1), RGB(170, 170, 170)) << "missing row shows the bKGD grey";

  // RGB keys match the stored samples exactly, also where 16 bits reduce to the same 8 bits.
  for (uint8_t depth : {8, 16}) {
    const Bytes row =
        depth == 8 ? Bytes{0, 0, 0, 1, 0, 0, 0} : Bytes{0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    test::LoadInto(png, Png({Ihdr(2, 1, depth, 2), Chunk("tRNS", {0, 0, 0, 0, 0, 0}),
                             Chunk("IDAT", Zlib(row))}));
    rgba = test::ToRgba(png);
    EXPECT_EQ(Bytes(rgba.At(0, 0), rgba.At(0, 0) + 8), (Bytes{0, 0, depth == 8, 255, 0, 0, 0, 0}))
        << int(depth);
  }

  // Palette at 2 bits spread over a 4-bit bitmap: alpha follows its entry; bKGD names entry 1.
  test::LoadInto(
      png, Png({Ihdr(4, 2, 2, 3), Chunk("PLTE", {9, 9, 9, 200, 0, 0, 0, 0, 200}),
                Chunk("tRNS", {255, 0, 128}), Chunk("bKGD", {1}), Chunk("IDAT", Zlib({0, 0x1B}))}));
  rgba = test::ToRgba(png);
  EXPECT_EQ(Bytes(rgba.At(0, 0), rgba.At(0, 0) + 16),
            (Bytes{9, 9, 9, 255, 200, 0, 0, 0, 0, 0, 200, 128, 0, 0, 0, 255}));
  EXPECT_EQ(png.PixelColor(3, 1), RGB(200, 0, 0));
}

TEST(PngReader, GammaIsOneFilesAndDoesNotCarryOver) {
  const Bytes gamma =
      Png({Ihdr(3, 2, 8, 2), Chunk("gAMA", {0, 1, 0x86, 0xA0}), Chunk("IDAT", Zlib(kRows))});
  TPNGGraphic png;
  test::LoadInto(png, gamma);
  EXPECT_TRUE(png.ImageProperties.Options & ioUseGamma);
  EXPECT_FLOAT_EQ(png.ImageProperties.FileGamma, 1.0f);
  EXPECT_EQ(png.PixelColor(0, 0), RGB(59, 80, 96)) << "(v / 255)^(1 / 2.2)";
  test::LoadInto(png, Png({Ihdr(3, 2, 8, 2), Chunk("IDAT", Zlib(kRows))}));
  EXPECT_FALSE(png.ImageProperties.Options & ioUseGamma);
  EXPECT_EQ(png.PixelColor(0, 0), RGB(10, 20, 30));
  test::LoadInto(
      png, Png({Ihdr(3, 2, 8, 2), Chunk("gAMA", {0, 0, 0xB1, 0x8F}), Chunk("IDAT", Zlib(kRows))}));
  EXPECT_TRUE(png.ImageProperties.Options & ioUseGamma) << "1/2.2: corrected, and nothing changes";
  EXPECT_EQ(png.PixelColor(0, 0), RGB(10, 20, 30));
}

TEST(PngReader, ProgressPhases) {
  TPNGGraphic png;
  std::string log;
  png.OnProgress = [&](TRasterGraphic&, TProgressStage stage, uint8_t percent, bool, const TRect&,
                       const std::string& msg) {
    log += std::to_string(stage) + (msg.empty() ? "" : " " + msg);
    // Appended piece by piece: GCC 12 takes " " + a temporary string for an overlapping copy.
    if (stage == psRunning) log.append(" ").append(std::to_string(percent));
    log += ";";
  };
  test::LoadInto(png, Png({Ihdr(3, 2, 8, 2), Chunk("IDAT", Zlib(kRows))}));
  EXPECT_EQ(log, "0 Preparing...;2;0 Transfering...;1 0;1 50;2;");
  // Adam7 (a 1 x 2 image has rows in passes 1 and 7 only) reports the last pass.
  log.clear();
  test::LoadInto(png, Png({Ihdr(1, 2, 8, 0, 1), Chunk("IDAT", Zlib({0, 7, 0, 9}))}));
  EXPECT_EQ(log, "0 Preparing...;2;0 Transfering...;1 100;2;");
  EXPECT_EQ(png.PixelColor(0, 1), RGB(9, 9, 9));
}

// ---- The corpus ---------------------------------------------------------------------------

uint8_t Gamma(uint8_t v, float fileGamma) {
  const float e = static_cast<float>(1.0L / (static_cast<long double>(fileGamma) * 2.2f));
  return static_cast<uint8_t>(
      std::nearbyint(std::pow(v / 255.0L, static_cast<long double>(e)) * 255));
}

// Expected RGBA (16-bit values reduced as value / 257) with the gamma of the file applied.
RgbaImage Expected(RgbaImage image, const std::vector<uint32_t>& samples, const TPNGGraphic& png) {
  const bool wide = png.ImageProperties.BitsPerSample == 16;
  const bool gamma = png.ImageProperties.Options & ioUseGamma;
  image.rgba.resize(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    uint8_t v = static_cast<uint8_t>(wide ? samples[i] / 257 : samples[i]);
    if (gamma && i % 4 != 3) v = Gamma(v, png.ImageProperties.FileGamma);
    image.rgba[i] = v;
  }
  return image;
}

std::vector<uint32_t> JsonNumbers(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<uint32_t> numbers;
  std::string token;
  for (char c; in.get(c);) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      token += c;
    } else if (!token.empty()) {
      numbers.push_back(static_cast<uint32_t>(std::stoul(token)));
      token.clear();
    }
  }
  return numbers;
}

// libpng's decode, every sample widened to 16 bits and tRNS turned into alpha.
std::optional<RgbaImage> LibpngDecode(const Bytes& file) {
  std::vector<uint16_t> pixels;
  std::vector<png_bytep> rows;
  RgbaImage out;
  struct Source {
    const Bytes* bytes;
    std::size_t at;
  } source{&file, 8};
  png_structp read = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(read);
  if (setjmp(png_jmpbuf(read))) {
    png_destroy_read_struct(&read, &info, nullptr);
    return std::nullopt;
  }
  png_set_sig_bytes(read, 8);
  png_set_read_fn(read, &source, [](png_structp p, png_bytep data, png_size_t n) {
    auto* s = static_cast<Source*>(png_get_io_ptr(p));
    if (s->at + n > s->bytes->size()) png_error(p, "short");
    std::memcpy(data, s->bytes->data() + s->at, n);
    s->at += n;
  });
  png_read_info(read, info);
  png_set_expand_16(read);
  png_set_gray_to_rgb(read);
  png_set_add_alpha(read, 0xFFFF, PNG_FILLER_AFTER);
  png_set_swap(read);
  png_set_interlace_handling(read);
  png_read_update_info(read, info);
  out.width = static_cast<int>(png_get_image_width(read, info));
  out.height = static_cast<int>(png_get_image_height(read, info));
  pixels.resize(std::size_t(out.width) * out.height * 4);
  rows.resize(out.height);
  for (int y = 0; y < out.height; ++y) {
    rows[y] = reinterpret_cast<png_bytep>(&pixels[std::size_t(y) * out.width * 4]);
  }
  png_read_image(read, rows.data());
  png_destroy_read_struct(&read, &info, nullptr);
  out.rgba.resize(pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    out.rgba[i] = static_cast<uint8_t>(pixels[i] / 257);
  }
  return out;
}

class PngCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveCorpus()) GTEST_SKIP() << "the conformance corpus is absent";
  }
};

TEST_F(PngCorpus, PngSuiteDecodesToTheExpectedPixels) {
  int compared = 0;
  for (const test::CorpusFile& f : test::CorpusFiles("pngsuite/png/", ".png")) {
    if (f.status != "good") continue;
    const Bytes bytes = test::FileBytes(f.path);
    TPNGGraphic png;
    ASSERT_EQ(Outcome(bytes), "") << f.path;
    test::LoadInto(png, bytes);
    const auto json =
        f.path.parent_path().parent_path() / "json" / f.path.filename().replace_extension(".json");
    RgbaImage expected{png.Width(), png.Height(), {}};
    expected = Expected(expected, JsonNumbers(json), png);
    ASSERT_EQ(expected.rgba.size(), std::size_t(png.Width()) * png.Height() * 4) << json;
    test::ExpectPixelsNear(png, expected, png.ImageProperties.BitsPerSample == 16 ? 1 : 0,
                           f.path.filename().string(), true);
    ++compared;
  }
  EXPECT_GE(compared, 150);
}

TEST_F(PngCorpus, BrokenSuiteFilesFailWithTheirMessage) {
  const std::string invalid = "Cannot load image. Invalid or unexpected PNG image format.";
  const std::string colour = "Invalid color format in PNG file.";
  const std::string crc = "Cannot load image. CRC error found in PNG file.";
  const std::map<std::string, std::string> expected = {
      {"xc1n0g08", colour},  {"xc9n2c08", colour},  {"xd0n2c08", colour},  {"xd3n2c08", colour},
      {"xd9n2c08", colour},  {"xcrn0g04", invalid}, {"xlfn0g04", invalid}, {"xs1n0g01", invalid},
      {"xs2n0g01", invalid}, {"xs4n0g01", invalid}, {"xs7n0g01", invalid}, {"xdtn0g01", invalid},
      {"xcsn0g01", crc},     {"xhdn0g08", crc}};
  int seen = 0;
  for (const test::CorpusFile& f : test::CorpusFiles("pngsuite/png/x", ".png")) {
    const std::string name = f.path.stem().string();
    ASSERT_TRUE(expected.count(name)) << name;
    EXPECT_EQ(Outcome(test::FileBytes(f.path)), expected.at(name)) << name;
    ++seen;
  }
  EXPECT_EQ(seen, static_cast<int>(expected.size()));
}

TEST_F(PngCorpus, LibpngTestFilesDecodeLikeLibpng) {
  int compared = 0;
  for (const test::CorpusFile& f : test::CorpusFiles("libpng-contrib/", ".png")) {
    const Bytes bytes = test::FileBytes(f.path);
    const std::string outcome = Outcome(bytes);
    if (f.status != "good") continue;  // broken ones only need to fail cleanly, checked above
    ASSERT_EQ(outcome, "") << f.path;
    TPNGGraphic png;
    test::LoadInto(png, bytes);
    std::optional<RgbaImage> reference = LibpngDecode(bytes);
    ASSERT_TRUE(reference) << f.path;
    if (png.ImageProperties.Options & ioUseGamma) {
      for (std::size_t i = 0; i < reference->rgba.size(); ++i) {
        if (i % 4 == 3) continue;
        reference->rgba[i] = Gamma(reference->rgba[i], png.ImageProperties.FileGamma);
      }
    }
    test::ExpectPixelsNear(png, *reference, 0, f.path.string(), true);
    ++compared;
  }
  EXPECT_GE(compared, 150);
}

TEST(PngReader, FixturesDecodeLikeLibpngAndSurviveDamage) {
  for (const char* name :
       {"rgb8.png", "logo-rgba.png", "palette-trns.png", "grey16-adam7.png", "rgba16.png",
        // a profile and a gamma beside it that is not applied
        "../icc/adobe-gama.png"}) {
    const Bytes bytes = test::FileBytes(test::DataDir() / "png" / name);
    ASSERT_FALSE(bytes.empty()) << name;
    TPNGGraphic png;
    test::LoadInto(png, bytes);
    test::ExpectPixelsNear(png, *LibpngDecode(bytes), 0, name, true);
    test::DamageSweep(test::LoaderOf<TPNGGraphic>(), bytes, name, 120, 120);
  }
}

// ---- The Deflate decoder ------------------------------------------------------------------

TEST(LZ77Decoder, SlicesResetsAndEnds) {
  Bytes raw(3000);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * i % 251);
  const Bytes z = Zlib(raw);
  for (std::size_t at :
       {std::size_t{0}, std::size_t{1}, std::size_t{2}, z.size() / 2, z.size() - 1}) {
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, false);
    decoder.StartDecoding();
    Bytes out(raw.size() + 10, 0xAA);
    const TDecodeResult first = decoder.Decode({z.data(), at}, out);
    EXPECT_EQ(decoder.InputLeft(), at - first.consumed);
    const TDecodeResult second =
        decoder.Decode({z.data() + first.consumed, z.size() - first.consumed},
                       {out.data() + first.produced, out.size() - first.produced});
    EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
    EXPECT_EQ(first.produced + second.produced, raw.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + raw.size()), raw) << "split at " << at;
    Bytes after(4, 0x55);
    EXPECT_EQ(decoder.Decode(z, after).produced, 0u);
    EXPECT_EQ(after, Bytes(4, 0x55));
    EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
    decoder.FinishDecoding();
  }

  TLZ77Decoder small(Z_PARTIAL_FLUSH, false);
  small.StartDecoding();
  Bytes ten(10);
  small.Decode(z, ten);
  EXPECT_EQ(small.LastResult(), Z_OK);
  EXPECT_EQ(small.OutputLeft(), 0u);
  EXPECT_GT(small.InputLeft(), 0u);

  // Strips: each a zlib stream of its own through one decoder.
  TLZ77Decoder strips(Z_PARTIAL_FLUSH, true);
  strips.StartDecoding();
  for (int strip = 0; strip < 2; ++strip) {
    Bytes out(raw.size());
    strips.Decode(z, out);
    EXPECT_EQ(strips.LastResult(), Z_STREAM_END);
    EXPECT_EQ(out, raw);
  }
  Bytes broken = z;
  broken[0] = 0x79;  // not a zlib header
  Bytes out(10);
  strips.Decode(broken, out);
  EXPECT_LT(strips.LastResult(), 0);
}

}  // namespace
}  // namespace tablora
