#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/exceptions.h"
#include "imaging/readers/jxl_reader.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

const char* const kInvalid = "Cannot load image. Invalid or unexpected JPEG XL image format.";

fs::path Fixture(const std::string& name) { return test::DataDir() / "jxl" / name; }

const test::LoadBytesFn LoadAndDecode = test::DecodeWith([] { return TJXLReader(); });

std::string Failure(const std::vector<uint8_t>& bytes) { return test::LoadOutcome(LoadAndDecode, bytes); }

TEST(JXLReader, DecodesAsDjxlDoes) {
  const struct {
    const char* name;
    int tolerance;
    bool alpha;
  } kFiles[] = {{"lossless.jxl", 0, false}, {"lossy.jxl", 2, false}, {"alpha.jxl", 0, true}, {"orient6.jxl", 2, false}};
  for (const auto& f : kFiles) {
    SCOPED_TRACE(f.name);
    TJXLReader reader;
    const std::vector<uint8_t> bytes = test::FileBytes(Fixture(f.name));
    reader.Load(bytes);
    const auto reference = test::ToolDecode("djxl", {"{in}", "{out}"}, Fixture(f.name), f.alpha ? ".pam" : ".ppm");
    ASSERT_TRUE(reference);
    EXPECT_EQ(reader.Width(), reference->width);
    EXPECT_EQ(reader.Height(), reference->height);
    test::ExpectPixelsNear(reader.Pixels(), *reference, f.tolerance, f.name, f.alpha);
  }
  // The recompressed JPEG of orientation 6 is 48 × 32 stored and comes out upright.
  const auto header = ProbeJXL(test::FileBytes(Fixture("orient6.jxl")));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width, 32u);
  EXPECT_EQ(header->height, 48u);
  EXPECT_EQ(header->orientation, 1);
}

// Sections in a streaming encoder's order (AC global behind DC groups it needs), in a file larger
// than any piece a reader might feed: decoded as djxl decodes it, not "Invalid or unexpected".
TEST(JXLReader, SectionsInStreamingOrderDecodeAsDjxlDoes) {
  const fs::path file = Fixture("streaming.jxl");
  const std::vector<uint8_t> bytes = test::FileBytes(file);
  ASSERT_GT(bytes.size(), std::size_t{256} << 10);
  TJXLReader reader;
  EXPECT_EQ(Failure(bytes), "");
  reader.Load(bytes);
  const auto reference = test::ToolDecode("djxl", {"{in}", "{out}", "--quiet"}, file, ".png");
  ASSERT_TRUE(reference);
  test::ExpectPixelsNear(reader.Pixels(), *reference, 1, "streaming.jxl");
}

TEST(JXLReader, FailuresAreTheReadersOneMessage) {
  const std::vector<uint8_t> good = test::FileBytes(Fixture("lossless.jxl"));
  const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  const std::vector<uint8_t> head(good.begin(), good.begin() + 2);
  for (const auto& bytes : {cut, head, std::vector<uint8_t>{}, test::FileBytes(test::DataDir() / "jpeg/colour.jpg")}) {
    EXPECT_EQ(Failure(bytes), kInvalid);
  }
  const test::ScopedImageLimit limit(1000);
  EXPECT_NE(Failure(good).find("Image too large"), std::string::npos);
}

TEST(JXLReader, CorpusFiles) {
  const fs::path folder = test::CorpusDir() / "modern" / "more" / "jxl";
  if (!fs::exists(folder)) GTEST_SKIP() << "no corpus";
  for (const auto& entry : fs::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<uint8_t> bytes = test::FileBytes(entry.path());
    const std::string outcome = Failure(bytes);
    if (entry.path().filename() == "exiftool_JXL2.jxl") {
      EXPECT_EQ(outcome, kInvalid);
    } else {
      EXPECT_EQ(outcome, "");
    }
  }
}

TEST(JXLReader, DamagedFilesLoadOrFailCleanly) {
  for (const char* name : {"lossless.jxl", "lossy.jxl", "alpha.jxl", "orient6.jxl"}) {
    test::DamageSweep(LoadAndDecode, test::FileBytes(Fixture(name)), name);
  }
}

}  // namespace
}  // namespace tablora
