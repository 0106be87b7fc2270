#include <gtest/gtest.h>

#include <malloc.h>

#include <filesystem>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/memory_budget.h"
#include "imaging/readers/raw_preview.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

const char* const kInvalid = "Cannot load image. Invalid or unexpected RAW image format.";

const test::LoadBytesFn LoadAndDecode = test::DecodeWith([] { return TRawReader(); });

std::string Failure(const std::vector<uint8_t>& bytes) { return test::LoadOutcome(LoadAndDecode, bytes); }

// Where each kind of RAW keeps its preview; 0 × 0: none that is a picture (the file fails).
TEST(RawPreview, TheLargestDecodablePreviewOfEachKindOfFile) {
  const struct {
    fs::path file;
    uint32_t width, height;
    int orientation;
  } kFiles[] = {
      {test::DataDir() / "raw/preview.nef", 64, 48, 6},  // IFD0's JPEG interchange tags
      {test::DataDir() / "raw/subifd.dng", 64, 48, 1},   // a SubIFD's JPEG strip beats IFD0's 40 × 1
      {test::DataDir() / "raw/nopreview.cr2", 0, 0, 1},
      {test::DataDir() / "raw/thumbnail.crw", 160, 120, 6},  // CIFF's ThumbnailImage, turned 90 degrees
      {test::CorpusDir() / "modern/exiftool/CanonRaw.crw", 0, 0, 1},  // its JpgFromRaw a 29-byte dummy
      {test::CorpusDir() / "modern/more/cr3/exiv2_Canon-R6-pruned.CR3", 1620, 1080, 1},  // PRVW
      {test::CorpusDir() / "modern/more/cr3/filetype_EOS-R_truncated128k.cr3", 160, 120, 6},  // THMB
      {test::CorpusDir() / "modern/more/dng/gen_grbg_1536x1024_orient6_preview1024.dng", 1024, 683, 6},
      {test::CorpusDir() / "modern/more/arw/filetype_sony-zv-e10_truncated100k.arw", 160, 120, 6},
      {test::CorpusDir() / "modern/photoprism/canon_eos_6d.dng", 1024, 683, 1},
      {test::CorpusDir() / "modern/more/rw2/exiftool_Panasonic_LX3_stripped.rw2", 0, 0, 1},  // an 8 × 8 stub
      {test::CorpusDir() / "modern/more/raf/exiv2_issue_857_poc.raf", 0, 0, 1},
      {test::CorpusDir() / "modern/more/nef/exiftool_Nikon_D70_stripped.nef", 0, 0, 1},
      {test::CorpusDir() / "modern/more/dng/exiftool_DNG_350D_stripped.dng", 0, 0, 1},  // a 22-byte stub of sensor data
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.file.string());
    if (!fs::exists(f.file)) continue;  // corpus files are absent without the corpus
    const std::vector<uint8_t> bytes = test::FileBytes(f.file);
    const std::optional<TImageHeader> header = ProbeRaw(bytes);
    if (f.width == 0) {
      // Stripped of their sensor data, too: LibRaw has nothing to draw either.
      EXPECT_EQ(Failure(bytes), kInvalid);
      continue;
    }
    EXPECT_TRUE(IsRaw(bytes));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width, f.width);
    EXPECT_EQ(header->height, f.height);
    EXPECT_EQ(header->orientation, f.orientation);
    TRawReader reader;
    reader.Load(bytes);
    reader.PrepareFor(static_cast<int32_t>(f.width / 8), static_cast<int32_t>(f.height / 8));
    EXPECT_EQ(static_cast<uint32_t>(reader.Pixels().Width()), (f.width + 7) / 8);  // libjpeg's eighth
  }
}

// Which source a box draws: the preview while it is at least half the box and the sensor data
// gives more, LibRaw's half-size demosaic otherwise, exact against LibRaw's own tool.
TEST(RawPreview, SmallOrMissingPreviewsGiveWayToTheSensorData) {
  const struct {
    fs::path file;
    int32_t boxWidth, boxHeight;
    const char* source;
    int orientation;
  } kCases[] = {
      {test::DataDir() / "raw/cfa.dng", 64, 48, "raw 32x24 (half-size demosaic)", 6},  // no preview
      {test::DataDir() / "raw/preview.nef", 400, 300, "preview 64x48", 6},  // no sensor data to fall back on
      {test::CorpusDir() / "modern/more/dng/gen_grbg_1536x1024_orient6_preview1024.dng", 2048, 1366, "preview 1024x683", 6},
      {test::DataDir() / "raw/cfa_thumb.dng", 400, 300, "thumbnail 64x48", 1},  // LibRaw's bitmap beats the demosaic
      {test::DataDir() / "raw/cfa_preview.dng", 40, 1, "preview 40x1", 1},
      {test::DataDir() / "raw/cfa_preview.dng", 40, 3, "raw 32x24 (half-size demosaic)", 1},
      // Half the sensor's 1536 × 1024 would give less than the preview.
      {test::CorpusDir() / "modern/more/dng/gen_grbg_1536x1024_orient6_preview1024.dng", 4000, 2700, "preview 1024x683", 6},
      {test::CorpusDir() / "modern/more/dng/gen_bggr_1200x800_nopreview.dng", 100, 66, "raw 600x400 (half-size demosaic)", 1},
      // LibRaw refuses the truncated file: its 160 × 120 preview stays.
      {test::CorpusDir() / "modern/more/dng/filetype_Leica-M10_truncated100k.dng", 1600, 1200, "preview 160x120", 6},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file.string() + " " + std::to_string(c.boxWidth));
    if (!fs::exists(c.file)) continue;
    const std::vector<uint8_t> bytes = test::FileBytes(c.file);
    EXPECT_EQ(ProbeRaw(bytes).value_or(TImageHeader{}).orientation, c.orientation);
    TRawReader reader;
    reader.Load(bytes);
    reader.PrepareFor(c.boxWidth, c.boxHeight);
    const TBitmap& pixels = reader.Pixels();
    const TReaderDetails details = reader.Details();
    ASSERT_FALSE(details.empty());
    EXPECT_EQ(details.back(), (std::pair<std::string, std::string>{"source", c.source}));
    if (std::string(c.source).starts_with("raw") && c.file.extension() == ".dng") {
      const auto reference = test::ToolDecode("dcraw_emu", {"-h", "-w", "-o", "1", "-W", "-t", "0", "-Z", "{out}", "{in}"},
                                              c.file, ".ppm");
      if (reference) test::ExpectPixelsNear(pixels, *reference, 0, c.file.string());
    }
    if (std::string(c.source).starts_with("thumbnail")) {
      test::ExpectPixelsNear(pixels, *test::ParsePnm(test::FileBytes(test::DataDir() / "jpeg/colour.ppm")), 0, "thumbnail");
    }
  }
}

// The demosaic is charged before LibRaw allocates, and a cancel stops it.
TEST(RawPreview, TheDemosaicKeepsToTheBudgetAndStopsOnCancel) {
  const std::vector<uint8_t> bytes = test::FileBytes(test::DataDir() / "raw/cfa.dng");
  {
    TMemoryBudget budget(4096);
    TRawReader reader;
    reader.Load(bytes);
    EXPECT_THROW(reader.Pixels(), EInvalidGraphic);
  }
  TCancelToken stop;
  TCancelScope scope(stop);
  TRawReader reader;
  reader.Load(bytes);
  stop.Request();
  EXPECT_THROW(reader.Pixels(), EAbort);
}

TEST(RawPreview, TheCameraIsNamedOnce) {
  const struct {
    fs::path file;
    const char* camera;
  } kFiles[] = {
      {test::DataDir() / "raw/cfa.dng", "Tablora Synthetic Bayer"},  // IFD0's Make and Model
      {test::DataDir() / "raw/preview.nef", ""},
      {test::DataDir() / "raw/thumbnail.crw", "Canon EOS D60"},  // CIFF's make and model
      {test::CorpusDir() / "modern/more/cr3/exiv2_Canon-R6-pruned.CR3", "Canon EOS R6"},  // CMT1, model repeats the make
  };
  for (const auto& f : kFiles) {
    if (!fs::exists(f.file)) continue;
    EXPECT_EQ(RawCamera(test::FileBytes(f.file)), f.camera) << f.file;
  }
}

TEST(RawPreview, ThePreviewIsTheJpegFixtureAsTheJpegPathDecodesIt) {
  const auto reference = test::ParsePnm(test::FileBytes(test::DataDir() / "jpeg/colour.ppm"));
  ASSERT_TRUE(reference);
  TRawReader reader;
  reader.Load(test::FileBytes(test::DataDir() / "raw/subifd.dng"));
  test::ExpectPixelsNear(reader.Pixels(), *reference, 8, "subifd.dng");
}

// A CRW's thumbnail is the JPEG exiftool extracts, decoded as ImageMagick decodes it.
TEST(RawPreview, CrwThumbnailIsTheOneExiftoolExtracts) {
  const fs::path file = test::DataDir() / "raw/thumbnail.crw";
  const auto reference = test::ToolDecode("sh", {"-c", "exiftool -b -ThumbnailImage \"$0\" > \"$1\"", "{in}", "{out}"},
                                          file, ".jpg");
  if (!reference) GTEST_SKIP() << "exiftool absent";
  TRawReader reader;
  reader.Load(test::FileBytes(file));
  test::ExpectPixelsNear(reader.Pixels(), *reference, 4, "thumbnail.crw");
}

// .raw files (Kodak, Panasonic, Leica) are LibRaw's: a headerless Kodak one, known to LibRaw by its
// size alone, draws its sensor data at half size.
TEST(RawPreview, RawExtensionIsLibRaws) {
  ASSERT_NE(FormatByExtension(".raw"), nullptr);
  EXPECT_STREQ(FormatByExtension(".raw")->name, "RAW");
  const fs::path kodak = test::CorpusDir() / "modern-conformance/raw-kimageformats/RAW_KODAK_C330_FORMAT_NONE_YRGB.raw";
  if (!fs::exists(kodak)) GTEST_SKIP() << "conformance corpus absent";
  const std::vector<uint8_t> bytes = test::FileBytes(kodak);
  const TImageFormat* format = FormatForFile(".raw", bytes);
  ASSERT_NE(format, nullptr);
  auto reader = format->create();
  reader->Load(bytes);
  EXPECT_GT(reader->Width(), 0);
  EXPECT_FALSE(reader->Pixels().Empty());
}

// LibRaw 0.20 keeps its JPEG decompressor when a lossy DNG's tile fails in its header: such a file
// draws its preview, or fails, without LibRaw decoding it, and a folder of them costs no memory.
TEST(RawPreview, ALossyDngWithADamagedTileNeverReachesLibRawsDecode) {
  const struct {
    const char* file;
    const char* outcome;  // the source drawn, or the failure
  } kCases[] = {
      {"lossy.dng", "raw 64x48 (half-size demosaic)"},  // linear data: LibRaw does not halve it
      {"lossy_damaged.dng", "preview 40x1"},
      {"lossy_damaged_nopreview.dng", kInvalid},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const std::vector<uint8_t> bytes = test::FileBytes(test::DataDir() / "raw" / c.file);
    // The source drawn into a large box, or the failure.
    const auto draw = [&]() -> std::string {
      try {
        TRawReader reader;
        reader.Load(bytes);
        reader.PrepareFor(400, 300);
        reader.Pixels();
        return reader.Details().back().second;
      } catch (const Exception& e) {
        return e.what();
      }
    };
    EXPECT_EQ(draw(), c.outcome);
    if (std::string(c.file) == "lossy.dng") {
      const auto reference = test::ToolDecode("dcraw_emu", {"-h", "-w", "-o", "1", "-W", "-t", "0", "-Z", "{out}", "{in}"},
                                              test::DataDir() / "raw" / c.file, ".ppm");
      TRawReader reader;
      reader.Load(bytes);
      reader.PrepareFor(400, 300);
      if (reference) test::ExpectPixelsNear(reader.Pixels(), *reference, 0, c.file);
      continue;
    }
    // Allocator totals are meaningless under a sanitizer, whose leak check covers this there.
    const auto inUse = [] {
      const struct mallinfo2 info = mallinfo2();
      return info.uordblks + info.hblkhd;
    };
    draw();
    const std::size_t before = inUse();
    for (int i = 0; i < 16; ++i) draw();
    EXPECT_LT(inUse(), before + 16 * 1024) << "16 decodes of a damaged lossy DNG kept memory";
  }
}

// A box of size 0 inside the Canon box of a CR3 file without a preview of its own, written in 32
// or in 64 bits (both found by the fuzzer), kept LibRaw 0.20 going round for good: the file is
// refused before LibRaw opens it.
TEST(RawPreview, ACr3BoxOfSizeZeroBelowTheTopLevelIsRefused) {
  for (const char* name : {"cr3_nested_box_of_size_zero", "cr3_nested_box_of_64_bit_size_zero"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Failure(test::FileBytes(test::DataDir() / "raw" / "crashers" / name)), kInvalid);
  }
}

TEST(RawPreview, DamagedFilesLoadOrFailCleanly) {
  for (const char* name : {"preview.nef", "subifd.dng", "cfa.dng", "thumbnail.crw", "lossy.dng"}) {
    test::DamageSweep(LoadAndDecode, test::FileBytes(test::DataDir() / "raw" / name), name);
  }
  const fs::path r6 = test::CorpusDir() / "modern/more/cr3/exiv2_Canon-R6-pruned.CR3";
  if (fs::exists(r6)) test::DamageSweep(LoadAndDecode, test::FileBytes(r6), "R6", 20, 2000);
}

}  // namespace
}  // namespace tablora
