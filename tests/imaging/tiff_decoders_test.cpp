// The TIFF strip decoders against libtiff: every strip of the fixtures, of the conformance corpus
// and of fax files written here is decoded by both and compared (exactly, JPEG within 2 per
// channel), with a damaged copy of each file's first strip on the side. Hand-made strips pin the
// behaviour the pictures do not reach.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <tiffio.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/decoders/ccitt_decoder.h"
#include "imaging/decoders/thunder_decoder.h"
#include "imaging/decoders/tiff_jpeg_decoder.h"
#include "imaging/decoders/tiff_lzw_decoder.h"
#include "imaging/exceptions.h"
#include "imaging/raster_graphic.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr OpenTiff(const fs::path& path, const char* mode = "rm") {
  static const bool quiet = (TIFFSetWarningHandler(nullptr), TIFFSetErrorHandler(nullptr), true);
  (void)quiet;
  return TiffPtr(TIFFOpen(path.c_str(), mode));
}

template <typename T>
T Field(TIFF* tif, ttag_t tag) {
  T value{};
  TIFFGetFieldDefaulted(tif, tag, &value);
  return value;
}

// A decoder set up from the tags as the TIFF reader sets it up; the record outlives it.
struct StripDecoder {
  TImageProperties properties;
  std::unique_ptr<TDecoder> decoder;
  std::string family;
  bool nearOnly = false;  // JPEG: within 2 per channel
  bool bgr = false;       // JPEG colour comes blue, green, red; libtiff gives red, green, blue
};

std::unique_ptr<StripDecoder> DecoderFor(TIFF* tif) {
  if (TIFFIsTiled(tif)) return nullptr;
  auto d = std::make_unique<StripDecoder>();
  const auto width = Field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH);
  const bool reversed = Field<uint16_t>(tif, TIFFTAG_FILLORDER) == FILLORDER_LSB2MSB;
  const auto photometric = Field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC);
  switch (Field<uint16_t>(tif, TIFFTAG_COMPRESSION)) {
    case COMPRESSION_LZW:
      // Differencing is undone by the reader, not the decoder.
      TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
      d->family = "lzw";
      d->decoder = std::make_unique<TTIFFLZWDecoder>();
      break;
    case COMPRESSION_THUNDERSCAN:
      d->family = "thunder";
      d->decoder = std::make_unique<TThunderDecoder>(width);
      break;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW: {
      const bool word = Field<uint16_t>(tif, TIFFTAG_COMPRESSION) == COMPRESSION_CCITTRLEW;
      d->family = word ? "mh-word" : "mh";
      d->decoder = std::make_unique<TCCITTMHDecoder>(0, reversed, word, width);
      break;
    }
    case COMPRESSION_CCITTFAX3: {
      const auto options = Field<uint32_t>(tif, TIFFTAG_GROUP3OPTIONS);
      d->family = options & GROUP3OPT_2DENCODING ? "g3-2d" : "g3-1d";
      d->decoder = std::make_unique<TCCITTFax3Decoder>(options, reversed, false, width);
      break;
    }
    case COMPRESSION_CCITTFAX4:
      d->family = "g4";
      d->decoder = std::make_unique<TCCITTFax4Decoder>(Field<uint32_t>(tif, TIFFTAG_GROUP4OPTIONS), reversed,
                                                       false, width);
      break;
    case COMPRESSION_JPEG: {
      TImageProperties& p = d->properties;
      p.Width = width;
      p.Height = Field<uint32_t>(tif, TIFFTAG_IMAGELENGTH);
      p.RowsPerStrip = {Field<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP)};
      p.SamplesPerPixel = static_cast<uint8_t>(Field<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL));
      p.BitsPerSample = static_cast<uint8_t>(Field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE));
      p.PlanarConfig = Field<uint16_t>(tif, TIFFTAG_PLANARCONFIG);
      const std::map<uint16_t, TColorScheme> schemes = {{PHOTOMETRIC_MINISBLACK, csGray},
                                                        {PHOTOMETRIC_MINISWHITE, csGray},
                                                        {PHOTOMETRIC_RGB, csRGB},
                                                        {PHOTOMETRIC_SEPARATED, csCMYK},
                                                        {PHOTOMETRIC_YCBCR, csYCbCr}};
      p.ColorScheme = schemes.count(photometric) ? schemes.at(photometric) : csUnknown;
      if (photometric == PHOTOMETRIC_YCBCR) {
        uint16_t h = 0, v = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &h, &v);
        p.YCbCrSubsampling = {static_cast<uint8_t>(h), static_cast<uint8_t>(v)};
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
      }
      uint32_t count = 0;
      const uint8_t* tables = nullptr;
      if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &count, &tables) && tables != nullptr) {
        p.JPEGTables.assign(tables, tables + count);
      }
      p.BytesPerLine = static_cast<uint32_t>(TIFFScanlineSize(tif));
      d->family = "jpeg";
      d->nearOnly = true;
      d->bgr = photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_YCBCR;
      d->decoder = std::make_unique<TTIFFJPEGDecoder>(p);
      break;
    }
    default:
      return nullptr;
  }
  return d;
}

// Index of the first byte out of tolerance, or -1. Bytes that the reference leaves unwritten
// (they differ between two decodes into differently filled buffers) are not compared: libtiff
// does not write a ThunderScan run that ends a row.
long FirstDifference(const Bytes& ours, const Bytes& reference, const Bytes& again, const StripDecoder& d) {
  for (std::size_t i = 0; i < reference.size(); ++i) {
    if (reference[i] != again[i]) continue;
    const uint8_t theirs = d.bgr ? reference[i - i % 3 + 2 - i % 3] : reference[i];
    if (std::abs(int{ours[i]} - int{theirs}) > (d.nearOnly ? 2 : 0)) return static_cast<long>(i);
  }
  return -1;
}

// Strips compared per family, over all files.
std::map<std::string, int>& Compared() {
  static std::map<std::string, int> counts;
  return counts;
}

// Every strip of the file decoded by the decoder the tags call for, compared with libtiff's
// decode or, when given, with the true pixels of the whole image.
void CompareFile(const fs::path& path, const Bytes* truth = nullptr) {
  SCOPED_TRACE(path.string());
  TiffPtr tif = OpenTiff(path);
  if (!tif) return;
  std::unique_ptr<StripDecoder> d = DecoderFor(tif.get());
  if (!d) return;
  const uint32_t strips = TIFFNumberOfStrips(tif.get());
  const uint32_t planes =
      d->properties.PlanarConfig == PLANARCONFIG_SEPARATE ? d->properties.SamplesPerPixel : 1;
  const uint32_t perPlane = std::max<uint32_t>(1, strips / std::max<uint32_t>(1, planes));
  const auto stripSize = static_cast<std::size_t>(std::max<tmsize_t>(0, TIFFStripSize(tif.get())));
  bool started = false;
  for (uint32_t s = 0; s < strips; ++s) {
    const tmsize_t rawSize = TIFFRawStripSize(tif.get(), s);
    if (rawSize <= 0 || rawSize > (64 << 20)) continue;
    Bytes raw(static_cast<std::size_t>(rawSize));
    if (TIFFReadRawStrip(tif.get(), s, raw.data(), rawSize) != rawSize) continue;
    // libtiff's LZW of before 1992, least significant bit first.
    const bool oldLzw = d->family == "lzw" && raw.size() >= 2 && raw[0] == 0 && (raw[1] & 1);
    Bytes reference(stripSize, 0), again(stripSize, 0xFF);
    if (truth != nullptr) {
      const auto first = truth->begin() + static_cast<long>(s * stripSize);
      reference.assign(first, first + std::min<long>(static_cast<long>(stripSize), truth->end() - first));
    } else {
      const tmsize_t size =
          TIFFReadEncodedStrip(tif.get(), s, reference.data(), static_cast<tmsize_t>(stripSize));
      if (size <= 0) continue;  // libtiff refuses the strip: nothing to compare with
      TIFFReadEncodedStrip(tif.get(), s, again.data(), size);
      reference.resize(static_cast<std::size_t>(size));
    }
    again.resize(reference.size());
    if (truth != nullptr) again = reference;
    if (!d->properties.RowsPerStrip.empty())
      d->properties.CurrentRow = (s % perPlane) * d->properties.RowsPerStrip[0];
    Bytes ours(reference.size(), 0xA5);
    try {
      if (!started) d->decoder->StartDecoding();
      started = true;
      d->decoder->Decode(raw, ours);
    } catch (const Exception& e) {
      ADD_FAILURE() << d->family << " strip " << s << ": " << e.what();
      return;
    }
    if (TIFFIsByteSwapped(tif.get()) && d->family == "lzw") {  // libtiff hands out native order
      const auto bits = Field<uint16_t>(tif.get(), TIFFTAG_BITSPERSAMPLE);
      if (bits == 16) TIFFSwabArrayOfShort(reinterpret_cast<uint16_t*>(ours.data()), ours.size() / 2);
      if (bits == 32) TIFFSwabArrayOfLong(reinterpret_cast<uint32_t*>(ours.data()), ours.size() / 4);
      if (bits == 64) TIFFSwabArrayOfDouble(reinterpret_cast<double*>(ours.data()), ours.size() / 8);
    }
    const long at = FirstDifference(ours, reference, again, *d);
    EXPECT_EQ(at, -1) << d->family << " strip " << s << " of " << strips << ", byte " << at << " of "
                      << ours.size();
    if (at >= 0) return;
    ++Compared()[oldLzw ? "lzw-old" : d->family];
    if (s == 0) {
      // Damaged copies: cut and flipped. Anything goes but a crash, a hang or a foreign exception.
      std::mt19937 random(13);
      for (int round = 0; round < 12; ++round) {
        Bytes broken(raw.begin(), raw.begin() + static_cast<long>(raw.size() * (round + 1) / 13));
        for (int flip = 0; flip < round && !broken.empty(); ++flip)
          broken[random() % broken.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        try {
          d->decoder->Decode(broken, ours);
        } catch (const Exception&) {
        }
      }
    }
  }
  d->decoder->FinishDecoding();
}

TEST(TiffDecoders, FixturesMatchLibtiff) {
  Compared().clear();
  for (const auto& entry : fs::directory_iterator(test::DataDir() / "tiff_decoders")) {
    if (entry.path().extension() == ".tif") CompareFile(entry.path());
  }
  for (const char* family : {"lzw", "g3-1d", "g3-2d", "g4", "jpeg"})
    EXPECT_GT(Compared()[family], 0) << family;
}

TEST(TiffDecoders, CorpusStripsMatchLibtiff) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "conformance corpus not found at " << test::CorpusDir();
  Compared().clear();
  for (const char* folder :
       {"libtiff-pics/", "libtiff-test/", "image-tiff/", "pillow/", "image-rs/", "bmpsuite/"}) {
    for (const char* extension : {".tif", ".tiff"}) {
      for (const test::CorpusFile& file : test::CorpusFiles(folder, extension)) CompareFile(file.path);
    }
  }
  for (const char* family : {"lzw", "lzw-old", "thunder", "mh", "g3-1d", "g4", "jpeg"}) {
    EXPECT_GT(Compared()[family], 0) << family;
  }
}

// Fax files written here by libtiff, decoded to the pixels written: modified Huffman in both
// forms, T.4 one- and two-dimensional with fill bits and in fill order 2, and T.6. The rows hold
// every make-up code and every terminating code of both colours, rows that start black and runs
// above 2560. (libtiff's own decoder loses the word alignment of some rows.)
TEST(TiffDecoders, FaxWrittenByLibtiffGivesItsPixels) {
  constexpr uint32_t kWidth = 5203, kRowBytes = (kWidth + 7) / 8;
  std::vector<std::vector<uint32_t>> rows;  // run lengths, white first
  for (uint32_t k = 1; k <= 40; ++k) rows.push_back({64 * k + k % 7, 64 * k + k % 5});
  std::vector<uint32_t> every, everyBlackFirst = {0};
  for (uint32_t n = 1; n <= 71; ++n) {
    every.insert(every.end(), {n, n});
    everyBlackFirst.insert(everyBlackFirst.end(), {n, n});
  }
  rows.insert(rows.end(), {every, everyBlackFirst, {0, 2700}, {2600, 2400, 1, 202}, {kWidth - 1, 1}, {}});
  const auto kHeight = static_cast<uint32_t>(rows.size());
  Bytes truth(kRowBytes * kHeight);
  for (uint32_t y = 0; y < kHeight; ++y) {
    uint32_t x = 0;
    for (std::size_t r = 0; r < rows[y].size(); x += rows[y][r++]) {
      for (uint32_t i = x; r % 2 == 1 && i < x + rows[y][r]; ++i)
        truth[y * kRowBytes + i / 8] |= 0x80 >> (i % 8);
    }
  }
  struct Variant {
    uint16_t compression;
    uint32_t options;
    uint16_t fillOrder;
  };
  const Variant variants[] = {
      {COMPRESSION_CCITTRLE, 0, FILLORDER_MSB2LSB},
      {COMPRESSION_CCITTRLEW, 0, FILLORDER_MSB2LSB},
      {COMPRESSION_CCITTRLEW, 0, FILLORDER_LSB2MSB},
      {COMPRESSION_CCITTFAX3, 0, FILLORDER_MSB2LSB},
      {COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, FILLORDER_LSB2MSB},
      {COMPRESSION_CCITTFAX4, 0, FILLORDER_MSB2LSB}};
  Compared().clear();
  for (const Variant& v : variants) {
    const fs::path path = fs::path(testing::TempDir()) /
                          ("fax-" + std::to_string(v.compression) + "-" + std::to_string(v.options) + "-" +
                           std::to_string(v.fillOrder) + ".tif");
    {
      TiffPtr out = OpenTiff(path, "w");
      ASSERT_TRUE(out);
      TIFFSetField(out.get(), TIFFTAG_IMAGEWIDTH, kWidth);
      TIFFSetField(out.get(), TIFFTAG_IMAGELENGTH, kHeight);
      TIFFSetField(out.get(), TIFFTAG_BITSPERSAMPLE, 1);
      TIFFSetField(out.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
      TIFFSetField(out.get(), TIFFTAG_COMPRESSION, v.compression);
      TIFFSetField(out.get(), TIFFTAG_FILLORDER, v.fillOrder);
      TIFFSetField(out.get(), TIFFTAG_ROWSPERSTRIP, 10);
      if (v.compression == COMPRESSION_CCITTFAX3) TIFFSetField(out.get(), TIFFTAG_GROUP3OPTIONS, v.options);
      for (uint32_t y = 0; y < kHeight; ++y) {
        ASSERT_EQ(TIFFWriteScanline(out.get(), truth.data() + y * kRowBytes, y, 0), 1);
      }
    }
    CompareFile(path, &truth);
    fs::remove(path);
  }
  EXPECT_EQ(Compared(),
            (std::map<std::string, int>{{"g3-1d", 5}, {"g3-2d", 5}, {"g4", 5}, {"mh", 5}, {"mh-word", 10}}));
}

// ---- Hand-made strips ---------------------------------------------------------------------------

// Bits given as a string of '0' and '1' (spaces ignored), most significant first, zero-padded.
Bytes BitString(const std::string& bits) {
  Bytes out;
  int n = 0;
  for (char c : bits) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= static_cast<uint8_t>(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

// LZW codes with the width each is written in.
Bytes Codes(const std::vector<std::pair<uint32_t, int>>& codes) {
  std::string bits;
  for (auto [code, width] : codes) {
    for (int b = width - 1; b >= 0; --b) bits += (code >> b) & 1 ? '1' : '0';
  }
  return BitString(bits);
}

std::vector<std::pair<uint32_t, int>> Nine(std::initializer_list<uint32_t> codes) {
  std::vector<std::pair<uint32_t, int>> out;
  for (uint32_t c : codes) out.emplace_back(c, 9);
  return out;
}

struct HandCase {
  const char* name;
  std::function<std::unique_ptr<TDecoder>()> make;
  Bytes source;
  std::size_t room;
  Bytes want;
};

TEST(TiffDecoders, HandMadeStrips) {
  auto lzw = [] { return std::make_unique<TTIFFLZWDecoder>(); };
  auto thunder = [](uint32_t width) { return [width] { return std::make_unique<TThunderDecoder>(width); }; };
  auto mh = [](uint32_t width) {
    return [width] { return std::make_unique<TCCITTMHDecoder>(0, false, false, width); };
  };
  auto t4 = [](uint32_t width) {
    return [width] { return std::make_unique<TCCITTFax3Decoder>(0, false, false, width); };
  };
  const Bytes abababa = {'a', 'b', 'a', 'b', 'a', 'b', 'a'};
  const std::vector<HandCase> cases = {
      // a, b, ab, then the next free code itself (ab + a); nothing after the end code.
      {"lzw string of its own first byte", lzw, Codes(Nine({97, 98, 258, 260, 257, 99})), 7, abababa},
      {"lzw cut at the destination", lzw, Codes(Nine({97, 98, 258, 260})), 5, {'a', 'b', 'a', 'b', 'a'}},
      {"lzw without end code", lzw, Codes(Nine({97, 98, 258})), 6, {'a', 'b', 'a', 'b', 0, 0}},
      {"lzw code beyond the table", lzw, Codes(Nine({97, 300, 98, 258})), 4, {'a', 'b', 'a', 'b'}},
      {"lzw clear", lzw, Codes(Nine({97, 98, 256, 258, 99, 100, 258})), 6, {'a', 'b', 'c', 'd', 'c', 'd'}},
      // Raw 5, a run of 0, a run of 2 from an odd pixel to the row's end (written, which libtiff
      // does not) and a padding nibble; the next row starts afresh from 0: deltas +1, skip, -1,
      // then +2 and skip.
      {"thunder rows", thunder(3), {0xC5, 0x00, 0x02, 0x5B, 0x94}, 4, {0x55, 0x50, 0x10, 0x20}},
      {"thunder deltas wrap", thunder(4), {0x7F, 0xBC}, 2, {0xFE, 0xDC}},
      // White 10, black 1, white 2, black 6: the last code ends on the strip's last bit.
      {"mh last code on the last bit", mh(19), {0x3A, 0x72}, 3, {0x00, 0x27, 0xE0}},
      // White 2, then no code: the row ends there (the black 2 after it is not taken).
      {"mh invalid code ends the row", mh(8), BitString("0111 0000000001 11"), 1, {0x00}},
      // A row cut by an EOL read as a code; the next row starts right after it: white 0, black 8.
      {"t4 row after an EOL in a row",
       t4(8),
       BitString("000000000001 0111 000000000001 00110101 000101"),
       2,
       {0x00, 0xFF}},
  };
  for (const HandCase& c : cases) {
    Bytes out(c.room, 0);
    c.make()->Decode(c.source, out);
    EXPECT_EQ(out, c.want) << c.name;
  }
}

TEST(TiffDecoders, LzwCodeWidthsAndFullTable) {
  // Every code a literal: code i is read at the width the table reached after i - 1 entries,
  // which grows when the next free code reaches 511, 1023 and 2047; the table is full at 4096.
  std::vector<std::pair<uint32_t, int>> codes;
  Bytes want;
  for (uint32_t i = 0; i < 3900; ++i) {
    const uint32_t next = std::min<uint32_t>(258 + (i > 0 ? i - 1 : 0), 4096);
    codes.emplace_back(i % 256, next >= 2047 ? 12 : next >= 1023 ? 11 : next >= 511 ? 10 : 9);
    want.push_back(static_cast<uint8_t>(i % 256));
  }
  codes.emplace_back(4095, 12);  // the last entry: the literals of codes 3837 and 3838
  want.insert(want.end(), {3837 % 256, 3838 % 256});
  codes.emplace_back(7, 12);
  want.push_back(7);
  Bytes out(want.size());
  EXPECT_EQ(TTIFFLZWDecoder().Decode(Codes(codes), out).produced, want.size());
  EXPECT_EQ(out, want);
}

TEST(TiffDecoders, UncompressedFaxModeIsRefused) {
  const std::string message = "Cannot load image. Compression error found in TIF/TIFF file.";
  Bytes out(1);
  TCCITTFax4Decoder g4(0, false, false, 8);
  TCCITTMHDecoder mh(0, false, false, 8);
  for (auto [decoder, bits] : {std::pair<TDecoder*, const char*>{&g4, "0000001111"}, {&mh, "000000001111"}}) {
    try {
      decoder->Decode(BitString(bits), out);
      ADD_FAILURE() << bits << " decoded";
    } catch (const ECompressionError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

// ---- JPEG -------------------------------------------------------------------------------------

struct JpegStrip {
  TImageProperties properties;
  Bytes raw;
};

JpegStrip FirstJpegStrip(const char* name) {
  JpegStrip strip;
  TiffPtr tif = OpenTiff(test::DataDir() / "tiff_decoders" / name);
  std::unique_ptr<StripDecoder> d = DecoderFor(tif.get());
  strip.properties = d->properties;
  strip.raw.resize(static_cast<std::size_t>(TIFFRawStripSize(tif.get(), 0)));
  TIFFReadRawStrip(tif.get(), 0, strip.raw.data(), static_cast<tmsize_t>(strip.raw.size()));
  return strip;
}

TEST(TiffDecoders, JpegStripsThatDisagreeWithTheTags) {
  const JpegStrip good = FirstJpegStrip("jpeg-ycbcr.tif");
  struct Case {
    const char* message;
    std::function<void(TImageProperties&)> change;
  };
  const std::vector<Case> cases = {
      {"Improper JPEG strip/tile size.", [](TImageProperties& p) { p.Width += 1; }},
      {"Improper JPEG strip/tile size.", [](TImageProperties& p) { p.RowsPerStrip = {15}; }},
      {"Improper JPEG component count.", [](TImageProperties& p) { p.SamplesPerPixel = 4; }},
      {"Improper JPEG component count.",
       [](TImageProperties& p) { p.PlanarConfig = 0; }},  // no tag: one per plane
      {"Improper JPEG data precision.", [](TImageProperties& p) { p.BitsPerSample = 16; }},
      {"Improper JPEG sampling factors.",
       [](TImageProperties& p) {
         p.YCbCrSubsampling = {1, 1};
       }},
      {"Fractional JPEG scanline unsupported.", [](TImageProperties& p) { p.BytesPerLine = 7; }},
      {"Bogus JPEG tables field.", [&](TImageProperties& p) { p.JPEGTables = good.raw; }},
  };
  for (const Case& c : cases) {
    TImageProperties properties = good.properties;
    c.change(properties);
    TTIFFJPEGDecoder decoder(properties);
    Bytes out(std::size_t{good.properties.BytesPerLine} * 16);
    try {
      decoder.StartDecoding();
      decoder.Decode(good.raw, out);
      ADD_FAILURE() << c.message << ": decoded";
    } catch (const ECompressionError& e) {
      EXPECT_EQ(e.what(), std::string(c.message));
    }
  }
  // A strip cut short decodes to its end, quietly.
  TTIFFJPEGDecoder decoder(good.properties);
  Bytes out(std::size_t{good.properties.BytesPerLine} * 16);
  EXPECT_EQ(decoder.Decode(std::span(good.raw).first(good.raw.size() / 2), out).produced, out.size());
}

// A progressive strip keeps all its coefficients while it decodes: libjpeg may hold them only
// within the image-size limit, as for JPEG files.
TEST(TiffDecoders, JpegMemoryIsBoundedByTheImageLimit) {
  constexpr uint32_t kWidth = 6000, kHeight = 3000;
  Bytes stream;
  {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    Bytes row(kWidth, 128);
    JSAMPROW rows[1] = {row.data()};
    while (info.next_scanline < kHeight) jpeg_write_scanlines(&info, rows, 1);
    jpeg_finish_compress(&info);
    stream.assign(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
  }
  TImageProperties p;
  p.Width = kWidth;
  p.Height = kHeight;
  p.RowsPerStrip = {kHeight};
  p.SamplesPerPixel = 1;
  p.BitsPerSample = 8;
  p.PlanarConfig = 1;
  p.ColorScheme = csGray;
  p.BytesPerLine = kWidth;
  Bytes line(kWidth);
  EXPECT_EQ(TTIFFJPEGDecoder(p).Decode(stream, line).produced, line.size());
  test::ScopedImageLimit limit(1 << 20);
  EXPECT_THROW(TTIFFJPEGDecoder(p).Decode(stream, line), EInvalidGraphic);
}

}  // namespace
}  // namespace tablora
