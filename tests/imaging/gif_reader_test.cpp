#include <gtest/gtest.h>
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "imaging/exceptions.h"
#include "imaging/readers/gif_reader.h"
#include "sheet/thumbnail_image.h"
#include "sheet/thumbnail_transparency.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::LoadOutcome;

constexpr const char* kBadFormat = "Cannot load image. Invalid or unexpected GIF image format.";
const TColor kWhite = RGB(255, 255, 255);

// giflib's decode of the first image: its indices and colour map (local, else global).
struct GiflibImage {
  int width = 0, height = 0;
  Bytes indices;
  TPalette colours;
};
std::optional<GiflibImage> GiflibFirstImage(const Bytes& file) {
  std::pair<const Bytes*, std::size_t> source{&file, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, [](GifFileType* g, GifByteType* out, int n) {
    auto* s = static_cast<std::pair<const Bytes*, std::size_t>*>(g->UserData);
    n = int(std::min(std::size_t(n), s->first->size() - s->second));
    std::memcpy(out, s->first->data() + s->second, std::size_t(n));
    s->second += std::size_t(n);
    return n;
  }, &error);
  std::optional<GiflibImage> result;
  if (gif != nullptr && DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
    const SavedImage& image = gif->SavedImages[0];
    result = GiflibImage{image.ImageDesc.Width, image.ImageDesc.Height};
    result->indices.assign(image.RasterBits, image.RasterBits + std::size_t(result->width) * result->height);
    const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
    for (int i = 0; map != nullptr && i < map->ColorCount; ++i) {
      result->colours.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue, 0});
    }
  }
  if (gif != nullptr) DGifCloseFile(gif, &error);
  return result;
}

// Same indices and colours as giflib's first image; ImageMagick's colours where giflib refuses a
// file for a fault after its first image. giflib's own single-image pictures also match its .rgb
// output (red, green, blue of its screen after every frame).
void ExpectSameAsReference(const fs::path& path, const Bytes& file, const fs::path& rgbFile = {}) {
  SCOPED_TRACE(path.empty() ? "hand-made" : path.string());
  TGIFGraphic gif;
  ASSERT_EQ(LoadOutcome([&](const Bytes& b) { test::LoadInto(gif, b); }, file), "");
  if (!rgbFile.empty()) {
    const std::string header =
        "P6 " + std::to_string(gif.Width()) + " " + std::to_string(gif.Height()) + " 255\n";
    Bytes ppm(header.begin(), header.end());
    const Bytes rgb = test::FileBytes(rgbFile);
    ppm.insert(ppm.end(), rgb.begin(), rgb.end());
    test::ExpectPixelsNear(gif, test::ParsePnm(ppm).value(), 0, rgbFile.string());
  }
  const std::optional<GiflibImage> want = GiflibFirstImage(file);
  if (!want && !path.empty() && test::HaveImageMagick()) {
    // -strip: a GIF comment would come out as a comment line of the PAM header.
    const std::optional<test::RgbaImage> magick = test::MagickDecode(path, "-strip");
    ASSERT_TRUE(magick);
    return test::ExpectPixelsNear(gif, *magick, 0, path.string());
  }
  ASSERT_TRUE(want) << "giflib cannot read it";
  ASSERT_EQ(gif.Width(), want->width);
  ASSERT_EQ(gif.Height(), want->height);
  int differing = 0;
  for (int y = 0; y < gif.Height(); ++y) {
    const std::size_t width = std::size_t(gif.Width());
    differing += std::memcmp(gif.ScanLine(y), &want->indices[std::size_t(y) * width], width) != 0;
  }
  EXPECT_EQ(differing, 0) << "rows differ";
  EXPECT_TRUE(std::equal(want->colours.begin(), want->colours.end(), gif.Palette().begin()));
}

TEST(GifReader, FilesOfOtherToolsMatchGiflibAndItsReferences) {
  for (const auto& entry : fs::directory_iterator(test::DataDir() / "gif")) {
    if (entry.path().extension() == ".gif") ExpectSameAsReference(entry.path(), test::FileBytes(entry.path()));
  }
  if (!test::HaveCorpus()) GTEST_SKIP() << "corpus not found at " << test::CorpusDir();
  int compared = 0, rgbs = 0;
  for (const char* folder : {"giflib/", "image-rs/", "pillow/"}) {
    for (const test::CorpusFile& file : test::CorpusFiles(folder, ".gif")) {
      if (file.status != "good") {
        LoadOutcome(test::LoaderOf<TGIFGraphic>(), test::FileBytes(file.path));  // loads or fails cleanly
        continue;
      }
      fs::path rgb = file.path.parent_path().parent_path() / "tests" / file.path.stem();
      rgb += ".rgb";
      if (file.summary.find("frames=1 ") == std::string::npos || !fs::exists(rgb)) rgb.clear();
      ExpectSameAsReference(file.path, test::FileBytes(file.path), rgb);
      compared += 1;
      rgbs += !rgb.empty();
    }
  }
  EXPECT_GE(compared, 55);
  EXPECT_EQ(rgbs, 6);
}

// A GIF written field by field. The pixels (or codes) follow a clear code as codes of the width
// a decoder reads them at.
struct Gif {
  std::string signature = "GIF89a";
  uint16_t screenWidth = 2, screenHeight = 2;
  Bytes globalTable = {0, 0, 0, 255, 255, 255};
  Bytes beforeImage;  // extensions
  uint16_t width = 2, height = 2;
  bool interlaced = false;
  Bytes localTable;
  uint8_t minCodeBits = 2;
  Bytes pixels = {0, 1, 1, 0};
  std::vector<uint32_t> codes;
  Bytes afterImage;

  static void Put16(Bytes& b, uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
  static uint8_t Table(const Bytes& table) {  // flag and size field
    uint8_t n = 0;
    while ((6u << n) < table.size()) ++n;
    return table.empty() ? 0 : 0x80 | n;
  }
  Bytes Lzw() const {
    std::vector<uint32_t> all = {1u << minCodeBits};
    all.insert(all.end(), pixels.begin(), pixels.end());
    all.insert(all.end(), codes.begin(), codes.end());
    all.push_back(all[0] + 1);
    Bytes out;
    uint32_t width = minCodeBits + 1u, next = all[0] + 2, accumulator = 0, bits = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
      accumulator |= all[i] << bits;
      for (bits += width; bits >= 8; bits -= 8, accumulator >>= 8) out.push_back(uint8_t(accumulator));
      if (i >= 2 && next < 4096) width += next++ == (1u << width) - 1 && width < 12;
    }
    if (bits > 0) out.push_back(uint8_t(accumulator));
    return out;
  }
  Bytes Build() const {
    Bytes b(signature.begin(), signature.end());
    Put16(b, screenWidth);
    Put16(b, screenHeight);
    b.insert(b.end(), {Table(globalTable), 0, 0});
    b.insert(b.end(), globalTable.begin(), globalTable.end());
    b.insert(b.end(), beforeImage.begin(), beforeImage.end());
    b.insert(b.end(), {0x2C, 0, 0, 0, 0});
    Put16(b, width);
    Put16(b, height);
    b.push_back(uint8_t(Table(localTable) | (interlaced ? 0x40 : 0)));
    b.insert(b.end(), localTable.begin(), localTable.end());
    b.push_back(minCodeBits);
    const Bytes data = Lzw();
    for (std::size_t at = 0; at < data.size(); at += 255) {
      b.push_back(uint8_t(std::min<std::size_t>(255, data.size() - at)));
      b.insert(b.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + b.back()));
    }
    b.push_back(0);
    b.insert(b.end(), afterImage.begin(), afterImage.end());
    b.push_back(0x3B);
    return b;
  }
};

const Bytes kGreys = {0, 0, 0, 10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40, 50, 50, 50, 60, 60, 60, 70, 70, 70};

TEST(GifReader, HandMadeFiles) {
  const Bytes extensions = {0x21, 0x01, 3, 'a', 'b', 'c', 2, 'x', ',', 0,  // plain text
                            0x21, 0xFE, 2, ';', ',', 0,                     // comment
                            0x21, 0xFF, 3, 'N', 'E', 'T', 1, ',', 0,        // application
                            0x21, 0x99, 2, ',', ';', 0,                     // of no known kind
                            0x21, 0xF9, 4, 0x00, 0, 0, 1, 0};               // no transparency
  struct Case {
    const char* name;
    Gif gif;
    std::string message;
    std::vector<TColor> pixels;  // row by row
    std::size_t keep = SIZE_MAX;  // bytes of the file kept
  };
  const std::vector<Case> cases = {
      {"lower-case signature, size 0 takes the screen's", {.signature = "gif87a", .width = 0, .height = 0}, "",
       {0, kWhite, kWhite, 0}},
      {"version not two digits", {.signature = "GIF8 a"}, kBadFormat},
      {"local table replaces the global one", {.localTable = {255, 0, 0, 0, 255, 0}}, "",
       {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 255, 0), RGB(255, 0, 0)}},
      {"no colour table: grey over the indices used", {.globalTable = {}, .pixels = {0, 1, 2, 3}}, "",
       {0, RGB(85, 85, 85), RGB(170, 170, 170), kWhite}},
      {"index beyond the table shows black", {.pixels = {3, 1, 2, 1}}, "", {0, kWhite, 0, kWhite}},
      {"extensions are skipped", {.beforeImage = extensions}, "", {0, kWhite, kWhite, 0}},
      // The file ends after the first LZW byte, which holds the clear code and one pixel.
      {"data cut short: the rest is index 0", {.globalTable = {9, 9, 9, 255, 255, 255}, .pixels = {1, 1, 1, 1}}, "",
       {kWhite, RGB(9, 9, 9), RGB(9, 9, 9), RGB(9, 9, 9)}, 32},
      {"interlaced: stored rows 0..4 fill rows 0, 4, 2, 1, 3",
       {.globalTable = kGreys, .width = 1, .height = 5, .interlaced = true, .minCodeBits = 3,
        .pixels = {0, 1, 2, 3, 4}},
       "", {0, RGB(30, 30, 30), RGB(20, 20, 20), RGB(40, 40, 40), RGB(10, 10, 10)}},
      {"trailer only: an empty image", {.beforeImage = {0x3B}}, "", {}},
      {"minimum code size 0", {.minCodeBits = 0}, kBadFormat},
      {"minimum code size 12", {.minCodeBits = 12}, kBadFormat},
      {"no size at all", {.screenWidth = 0, .width = 0}, kBadFormat},
      {"cut in the screen descriptor", {}, "Stream read error in GIF file.", {}, 9},
      {"zero bytes", {}, "Stream read error in GIF file.", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = c.gif.Build();
    file.resize(std::min(file.size(), c.keep));
    TGIFGraphic gif;
    EXPECT_EQ(LoadOutcome([&](const Bytes& b) { test::LoadInto(gif, b); }, file), c.message);
    if (!c.message.empty()) continue;
    ASSERT_EQ(std::size_t(gif.Width()) * gif.Height(), c.pixels.size());
    for (std::size_t i = 0; i < c.pixels.size(); ++i) {
      EXPECT_EQ(gif.PixelColor(int(i % gif.Width()), int(i / gif.Width())), c.pixels[i]) << i;
    }
    EXPECT_TRUE(gif.PaletteAlpha().empty());
  }
}

TEST(GifReader, FullTableWithoutClearThenCode4095DecodesAsGiflib) {
  // Minimum code size 8: 3839 roots fill entries 258..4095; entry 4095 is then used as it was
  // made, not rewritten by every later code.
  Gif gif{.globalTable = Bytes(768), .minCodeBits = 8, .pixels = {}};
  for (uint32_t i = 0; i < 3839; ++i) gif.codes.push_back(i * 7 % 256);
  gif.codes.insert(gif.codes.end(), {4095, 9, 4095, 300, 4095});
  for (std::size_t i = 0; i < 768; ++i) gif.globalTable[i] = uint8_t(i / 3);
  gif.width = gif.screenWidth = 3839 + 2 + 1 + 2 + 2 + 2;  // bytes of the strings
  gif.height = gif.screenHeight = 1;
  ExpectSameAsReference({}, gif.Build());
}

TEST(GifReader, TransparencyRecordProgressAndLimits) {
  const Bytes gce = {0x21, 0xF9, 4, 0x01, 0, 0, 1, 0};  // transparent index 1
  TGIFGraphic gif;
  std::vector<std::string> events;
  gif.OnProgress = [&](TRasterGraphic&, TProgressStage stage, uint8_t percent, bool, const TRect& r,
                       const std::string& msg) {
    events.push_back(std::to_string(stage) + ":" + std::to_string(percent) + ":" + msg + "@" +
                     std::to_string(r.Top));
  };
  test::LoadInto(gif, Gif{.signature = "GIF87a", .globalTable = kGreys, .beforeImage = gce, .width = 1, .height = 5,
                          .interlaced = true, .minCodeBits = 3, .pixels = {0, 1, 2, 3, 4}}.Build());
  EXPECT_EQ(gif.PaletteAlpha(), (Bytes{255, 0}));
  // On the sheet the transparent colour (index 1: stored row 1, row 4) shows the white page.
  const std::optional<TBitmap> flat = OverWhite(gif);
  ASSERT_TRUE(flat);
  EXPECT_EQ(flat->PixelColor(0, 4), kWhite);
  EXPECT_EQ(flat->PixelColor(0, 3), RGB(40, 40, 40));
  EXPECT_EQ(gif.ImageProperties.Version, 87u);
  EXPECT_EQ(gif.ImageProperties.BitsPerSample, 3);  // a table of 8 entries
  // The last pass (odd rows) reports progress.
  EXPECT_EQ(events, (std::vector<std::string>{"0:0:Preparing...@0", "2:0:@0", "0:0:Loading data...@0", "2:0:@0",
                                              "0:0:Transfering...@0", "1:60:@0", "1:100:@1", "2:0:@2"}));
  // Only a graphic control extension before the first image counts.
  test::LoadInto(gif, Gif{.afterImage = gce}.Build());
  EXPECT_TRUE(gif.PaletteAlpha().empty());
  EXPECT_EQ(gif.ImageProperties.Version, 89u);

  // CanLoad restores the position; the thumbnail table reads .gif with this reader.
  const Bytes file = Gif{}.Build();
  TBufferStream stream(file.data(), file.size());
  for (const int64_t at : {1, 0}) {
    stream.SetPosition(at);
    EXPECT_EQ(gif.CanLoad(stream), at == 0);
    EXPECT_EQ(stream.Position(), at);
  }
  EXPECT_EQ(CreateThumbnailReader(".gif")->ReaderName(), "GIF");

  // The buffer with its spare row must fit the image-size limit too: 100 x 99 fits, 100 x 100 does not.
  const test::ScopedImageLimit limit(100 * 100);
  EXPECT_EQ(LoadOutcome(test::LoaderOf<TGIFGraphic>(), Gif{.width = 100, .height = 99, .pixels = {}}.Build()), "");
  EXPECT_NE(LoadOutcome(test::LoaderOf<TGIFGraphic>(), Gif{.width = 100, .height = 100, .pixels = {}}.Build())
                .find("Image too large"), std::string::npos);
}

TEST(GifReader, DamagedFilesFailCleanly) {
  std::vector<fs::path> files = {test::CorpusDir() / "giflib/pic/porsche.gif",
                                 test::CorpusDir() / "giflib/pic/welcome2.gif"};
  for (const auto& entry : fs::directory_iterator(test::DataDir() / "gif")) files.push_back(entry.path());
  for (const fs::path& file : files) {
    if (file.extension() != ".gif" || !fs::exists(file)) continue;
    test::DamageSweep(test::LoaderOf<TGIFGraphic>(), test::FileBytes(file), file.filename().string());
  }
}

}  // namespace
}  // namespace tablora
