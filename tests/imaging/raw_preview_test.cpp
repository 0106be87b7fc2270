#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/exceptions.h"
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
      {test::CorpusDir() / "modern/more/cr3/exiv2_Canon-R6-pruned.CR3", 1620, 1080, 1},  // PRVW
      {test::CorpusDir() / "modern/more/cr3/filetype_EOS-R_truncated128k.cr3", 160, 120, 6},  // THMB
      {test::CorpusDir() / "modern/more/dng/gen_grbg_1536x1024_orient6_preview1024.dng", 1024, 683, 6},
      {test::CorpusDir() / "modern/more/dng/gen_bggr_1200x800_nopreview.dng", 0, 0, 1},
      {test::CorpusDir() / "modern/more/arw/filetype_sony-zv-e10_truncated100k.arw", 160, 120, 6},
      {test::CorpusDir() / "modern/photoprism/canon_eos_6d.dng", 1024, 683, 1},
      {test::CorpusDir() / "modern/more/rw2/exiftool_Panasonic_LX3_stripped.rw2", 0, 0, 1},  // an 8 × 8 stub
      {test::CorpusDir() / "modern/more/raf/exiv2_issue_857_poc.raf", 0, 0, 1},
      {test::CorpusDir() / "modern/more/nef/exiftool_Nikon_D70_stripped.nef", 0, 0, 1},
  };
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.file.string());
    if (!fs::exists(f.file)) continue;  // corpus files are absent without the corpus
    const std::vector<uint8_t> bytes = test::FileBytes(f.file);
    const std::optional<TImageHeader> header = ProbeRaw(bytes);
    if (f.width == 0) {
      EXPECT_FALSE(header);
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

TEST(RawPreview, ThePreviewIsTheJpegFixtureAsTheJpegPathDecodesIt) {
  const auto reference = test::ParsePnm(test::FileBytes(test::DataDir() / "jpeg/colour.ppm"));
  ASSERT_TRUE(reference);
  TRawReader reader;
  reader.Load(test::FileBytes(test::DataDir() / "raw/subifd.dng"));
  test::ExpectPixelsNear(reader.Pixels(), *reference, 8, "subifd.dng");
}

TEST(RawPreview, DamagedFilesLoadOrFailCleanly) {
  for (const char* name : {"preview.nef", "subifd.dng"}) {
    test::DamageSweep(LoadAndDecode, test::FileBytes(test::DataDir() / "raw" / name), name);
  }
  const fs::path r6 = test::CorpusDir() / "modern/more/cr3/exiv2_Canon-R6-pruned.CR3";
  if (fs::exists(r6)) test::DamageSweep(LoadAndDecode, test::FileBytes(r6), "R6", 20, 2000);
}

}  // namespace
}  // namespace tablora
