#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <vector>
#include <string>

#include "imaging/metadata.h"
#include "support/reader_harness.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

std::string Fixture(const std::string& name) { return (test::DataDir() / "meta" / name).string(); }

TPhotoMetadata Canon(std::optional<int> rating, std::string title = "") {
  TPhotoMetadata m;
  m.dateTaken = "2024-06-01 14:03:27";
  m.camera = "Canon EOS R5";
  m.lens = "RF24-105mm F4 L IS USM";
  m.exposureNumerator = 1;
  m.exposureDenominator = 250;
  m.fNumber = 8.0;
  m.focalLength = 50.0;
  m.iso = 100;
  m.rating = rating;
  m.title = std::move(title);
  return m;
}

// Each container through its own path: JPEG's APP1 and APP13, TIFF's directories, HEIF's Exif
// item through libheif, PNG through exiv2.
TEST(PhotoMetadata, ReadsEveryFieldOfEachContainer) {
  TPhotoMetadata sony;
  sony.dateTaken = "2023-12-24 18:30:00";  // CreateDate stands in for a missing DateTimeOriginal
  sony.camera = "SONY ILCE-7M3";
  sony.exposureNumerator = 2;
  sony.exposureDenominator = 5;
  sony.fNumber = 2.8;
  sony.focalLength = 24.5;
  sony.iso = 6400;
  sony.title = "Pier";
  const struct {
    const char* file;
    TPhotoMetadata expected;
  } cases[] = {
      {"full.jpg", Canon(3, "Harbour at dawn")}, {"iptc.jpg", sony},  {"bare.jpg", {}},
      {"full.tif", Canon(4)},                    {"full.png", Canon(2)}, {"full.heic", Canon(std::nullopt)},
      {"missing.jpg", {}},
  };
  for (const auto& c : cases) {
    TPhotoMetadata got = ReadPhotoMetadata(Fixture(c.file));
    // exiftool stores 0.4 s as 2/5 in some writers and 4/10 in others: compare the value.
    if (got.exposureDenominator != 0 && c.expected.exposureDenominator != 0) {
      EXPECT_DOUBLE_EQ(double(got.exposureNumerator) / got.exposureDenominator,
                       double(c.expected.exposureNumerator) / c.expected.exposureDenominator) << c.file;
      got.exposureNumerator = c.expected.exposureNumerator;
      got.exposureDenominator = c.expected.exposureDenominator;
    }
    EXPECT_EQ(got, c.expected) << c.file << ": " << got.dateTaken << " | " << got.camera << " | " << got.title;
  }
}

// A clip's container gives its duration, frame rate and codec; exiv2 is not asked.
TEST(PhotoMetadata, ClipsTellDurationRateAndCodec) {
  const struct {
    const char* file;
    double duration;
    double rate;
    const char* codec;
  } cases[] = {{"h264.mp4", 2, 5, "H.264"}, {"hevc180.mov", 2, 5, "HEVC"}, {"clip.mts", 2, 5, "H.264"},
               {"mjpeg.avi", 2, 5, "Motion JPEG"}};
  for (const auto& c : cases) {
    const TPhotoMetadata got = ReadPhotoMetadata((test::DataDir() / "video" / c.file).string());
    ASSERT_TRUE(got.duration && got.frameRate) << c.file;
    EXPECT_NEAR(*got.duration, c.duration, 0.25) << c.file;
    EXPECT_DOUBLE_EQ(*got.frameRate, c.rate) << c.file;
    EXPECT_EQ(got.codec, c.codec) << c.file;
  }
  const TPhotoMetadata text = ReadPhotoMetadata((test::DataDir() / "video/text.mp4").string());
  EXPECT_FALSE(text.duration);
  EXPECT_EQ(text.codec, "");
}

// Sidecars of both conventions win over the file's own rating; the one named after the whole
// file name before the one that replaces the extension.
TEST(PhotoMetadata, SidecarRatingWins) {
  const auto xmp = [](const std::string& rating) {
    return "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF><rdf:Description xmp:Rating='" + rating +
           "' xmlns:xmp='http://ns.adobe.com/xap/1.0/'><dc:title><rdf:Alt><rdf:li xml:lang='x-default'>"
           "Fish &amp; chips</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>";
  };
  const std::string jpeg(std::istreambuf_iterator<char>(std::ifstream(Fixture("full.jpg"), std::ios::binary).rdbuf()), {});
  const struct {
    const char* whole;   // IMG.jpg.xmp
    const char* stem;    // IMG.xmp
    int rating;
  } cases[] = {{nullptr, nullptr, 3}, {nullptr, "5", 5}, {"1", nullptr, 1}, {"2", "5", 2}, {"-1", nullptr, -1}};
  for (const auto& c : cases) {
    test::TempTree tree;
    tree.File("IMG.jpg", jpeg);
    if (c.whole) tree.File("IMG.jpg.xmp", xmp(c.whole));
    if (c.stem) tree.File("IMG.xmp", xmp(c.stem));
    const TPhotoMetadata m = ReadPhotoMetadata(tree.Path() + "/IMG.jpg");
    EXPECT_EQ(m.rating, c.rating) << (c.whole ? c.whole : "-") << (c.stem ? c.stem : "-");
    EXPECT_EQ(m.title, c.whole || c.stem ? "Fish & chips" : "Harbour at dawn");
  }
}

// Keys named by a caption, read with the rest: EXIF in its printed form, XMP lists joined, the
// default language of a title, repeated IPTC datasets; a key the file lacks stays out, and a
// sidecar's XMP wins over the file's.
TEST(PhotoMetadata, ReadsTheKeysAskedFor) {
  const std::vector<std::string> keys = {"Exif.Image.Model",     "Exif.Photo.ExposureTime", "Xmp.dc.creator",
                                         "Xmp.dc.title",         "Xmp.xmp.Label",           "Iptc.Application2.City",
                                         "Iptc.Application2.Keywords", "Exif.Photo.LensModel", "Xmp.dc.rights"};
  const std::map<std::string, std::string, std::less<>> expected = {
      {"Exif.Image.Model", "Canon EOS R5"},          {"Exif.Photo.ExposureTime", "1/250 s"},
      {"Xmp.dc.creator", "Jane Doe, John Roe"},      {"Xmp.dc.title", "Harbour at dawn"},
      {"Xmp.xmp.Label", "Red"},                      {"Iptc.Application2.City", "Genova"},
      {"Iptc.Application2.Keywords", "sea, harbour"}};
  EXPECT_EQ(ReadPhotoMetadata(Fixture("keys.jpg"), keys).byKey, expected);
  EXPECT_TRUE(ReadPhotoMetadata(Fixture("keys.jpg")).byKey.empty());
  EXPECT_EQ(ReadPhotoMetadata(Fixture("full.tif"), keys).byKey.at("Exif.Photo.ExposureTime"), "1/250 s");
  EXPECT_TRUE(ReadPhotoMetadata(Fixture("missing.jpg"), keys).byKey.empty());

  test::TempTree tree;
  tree.File("IMG.jpg", std::string(std::istreambuf_iterator<char>(
                                       std::ifstream(Fixture("keys.jpg"), std::ios::binary).rdbuf()),
                                   {}));
  tree.File("IMG.xmp",
            "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
            "<rdf:Description xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:creator><rdf:Seq>"
            "<rdf:li>Ann Poe</rdf:li></rdf:Seq></dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>");
  const TPhotoMetadata m = ReadPhotoMetadata(tree.Path() + "/IMG.jpg", keys);
  EXPECT_EQ(m.byKey.at("Xmp.dc.creator"), "Ann Poe");
  EXPECT_EQ(m.byKey.at("Exif.Image.Model"), "Canon EOS R5");
}

TEST(PhotoMetadata, KeyNamesByTheirForm) {
  const struct {
    const char* text;
    bool key;
  } cases[] = {
      {"Exif.Image.Model", true},  {"Exif.Photo.LensModel", true}, {"Exif.Image.0x0110", true},
      {"Iptc.Application2.City", true}, {"Xmp.dc.creator", true}, {"Xmp.mwg-rs.Regions", true},
      {"Xmp.iptc.CreatorContactInfo/Iptc4xmpCore:CiAdrCity", true}, {"Xmp.xmpMM.History[1]/stEvt:action", true},
      {"Exif.Photo", false}, {"Exif..Model", false}, {"Exif.Image.", false}, {"Exif.Image.Model.Name", false},
      {"Exif.Image.Lens Model", false}, {"Iptc.2.City", false}, {"exif.Image.Model", false}, {"Gps.a.b", false},
      {"Xmp.dc.", false}, {"Xmp.dc.cre ator", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsMetadataKey(c.text), c.key) << c.text;
}

TEST(PhotoMetadata, XmpRatingForms) {
  const struct {
    const char* packet;
    std::optional<int> rating;
  } cases[] = {
      {"<rdf:Description xmp:Rating=\"4\"/>", 4}, {"<xmp:Rating>2</xmp:Rating>", 2},
      {"xmp:Rating='3.0'", 3}, {"xmp:Rating=\"9\"", 5}, {"xmp:Rating=\"12\"", std::nullopt},
      {"xmp:Rating=\"\"", std::nullopt}, {"xmp:Rating=", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& c : cases) {
    TPhotoMetadata m;
    ReadXmpPacket(c.packet, m);
    EXPECT_EQ(m.rating, c.rating) << c.packet;
  }
}

// ACDSee's stars and Windows' percentage (Explorer's bands: 1-12 one star ... 88-99 five),
// with xmp:Rating counting wherever it stands; the files as exiftool writes them.
TEST(PhotoMetadata, AcdseeAndWindowsRatings) {
  const struct {
    const char* packet;
    std::optional<int> rating;
  } cases[] = {
      {"<acdsee:rating>4</acdsee:rating>", 4},
      {"acdsee:rating='9'", 5},
      {"<MicrosoftPhoto:Rating>0</MicrosoftPhoto:Rating>", 0},
      {"MicrosoftPhoto:Rating='1'", 1},
      {"MicrosoftPhoto:Rating='12'", 1},
      {"MicrosoftPhoto:Rating='13'", 2},
      {"MicrosoftPhoto:Rating='37'", 2},
      {"MicrosoftPhoto:Rating='38'", 3},
      {"MicrosoftPhoto:Rating='62'", 3},
      {"MicrosoftPhoto:Rating='63'", 4},
      {"MicrosoftPhoto:Rating='87'", 4},
      {"MicrosoftPhoto:Rating='88'", 5},
      {"MicrosoftPhoto:Rating='99'", 5},
      {"MicrosoftPhoto:Rating='100'", std::nullopt},
      {"MicrosoftPhoto:Rating='-1'", std::nullopt},
      {"MicrosoftPhoto:Rating='75' acdsee:rating='1'", 1},
      {"MicrosoftPhoto:Rating='75' xmp:Rating='0'", 0},
      {"<acdsee:rating>5</acdsee:rating><xmp:Rating>-1</xmp:Rating>", -1},
  };
  for (const auto& c : cases) {
    TPhotoMetadata m;
    ReadXmpPacket(c.packet, m);
    EXPECT_EQ(m.rating, c.rating) << c.packet;
  }
  for (const auto& [file, stars] : {std::pair{"rating-windows.jpg", 3}, {"rating-acdsee.jpg", 4}, {"rating-all.jpg", 2}}) {
    EXPECT_EQ(ReadPhotoMetadata(Fixture(file)).rating, stars) << file;
  }
}

// A little-endian TIFF structure of one directory of ASCII tags, the directory at `at`.
std::vector<uint8_t> AsciiTiff(const std::vector<std::pair<uint16_t, std::string>>& tags, uint32_t at = 8) {
  std::vector<uint8_t> out = {'I', 'I', 42, 0};
  const auto u16 = [&](uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); };
  const auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  u32(at);
  out.resize(at);
  u16(static_cast<uint32_t>(tags.size()));
  uint32_t data = at + 2 + 12 * static_cast<uint32_t>(tags.size()) + 4;
  for (const auto& [tag, text] : tags) {
    u16(tag), u16(2), u32(static_cast<uint32_t>(text.size() + 1)), u32(data);
    data += static_cast<uint32_t>(text.size() + 1);
  }
  u32(0);
  for (const auto& [tag, text] : tags) out.insert(out.end(), text.c_str(), text.c_str() + text.size() + 1);
  return out;
}

// Canon's CR3 keeps IFD0 in its CMT1 box and the Exif directory itself in CMT2.
TEST(PhotoMetadata, Cr3BoxesGiveCameraAndDate) {
  std::vector<uint8_t> file = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'c', 'r', 'x', ' '};
  file.resize(24);
  const auto box = [&](const char* type, const std::vector<uint8_t>& body) {
    const uint32_t size = static_cast<uint32_t>(body.size() + 8);
    file.insert(file.end(), {uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)});
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), body.begin(), body.end());
  };
  box("CMT1", AsciiTiff({{0x010F, "Canon"}, {0x0110, "Canon EOS R6"}}));
  box("CMT2", AsciiTiff({{0x9003, "2025:01:02 03:04:05"}, {0xA434, "RF35mm F1.8"}}));
  TPhotoMetadata m;
  EXPECT_TRUE(ReadEmbeddedMetadata(file, m));
  EXPECT_EQ(m.camera, "Canon EOS R6");
  EXPECT_EQ(m.dateTaken, "2025-01-02 03:04:05");
  EXPECT_EQ(m.lens, "RF35mm F1.8");
  test::DamageSweep([](const std::vector<uint8_t>& bytes) {
    TPhotoMetadata damaged;
    ReadEmbeddedMetadata(bytes, damaged);
  }, file, "cr3", 200, 200);
}

// libtiff writes the directory after the pictures: it is read where it stands, however far in.
TEST(PhotoMetadata, TiffDirectoryAfterThePictures) {
  const std::vector<uint8_t> file =
      AsciiTiff({{0x010F, "NIKON CORPORATION"}, {0x0110, "NIKON D850"}}, 2 * kMetadataHeaderBytes);
  TPhotoMetadata m;
  EXPECT_TRUE(ReadEmbeddedMetadata(file, m));
  EXPECT_EQ(m.camera, "NIKON D850");
}

// Damaged headers give what can still be read and never read outside the file.
TEST(PhotoMetadata, DamagedHeadersAreHarmless) {
  for (const char* name : {"full.jpg", "full.tif", "full.heic", "iptc.jpg"}) {
    const std::vector<uint8_t> good = test::FileBytes(Fixture(name));
    test::DamageSweep([](const std::vector<uint8_t>& bytes) {
      TPhotoMetadata m;
      ReadEmbeddedMetadata(bytes, m);
    }, good, name, 200, 400);
  }
}

}  // namespace
}  // namespace tablora
