// The public conformance files of ../shared/corpus/modern-conformance/ (HEIF, HEIC, AVIF, WebP,
// JPEG XL, camera RAW) through the format registry: each loads at the size its format's own tools
// report (tests/data/conformance/sizes.tsv, made by make.sh beside it) and draws, or fails with the
// library's exception. A file the tools refuse may load or fail, never otherwise.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "imaging/exceptions.h"
#include "imaging/image_format.h"
#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFolder = "modern-conformance/";

// Known exceptions: files the program does not yet draw as their tools do, each with the reason,
// being mended. A file listed here that loads at its tools' size fails the test until it leaves.
const std::map<std::string, std::string> kKnownExceptions = {};

// The tools' sizes by path below the folder; "" where they refuse the file.
std::map<std::string, std::string> ReferenceSizes() {
  std::map<std::string, std::string> sizes;
  std::ifstream table(test::DataDir() / "conformance/sizes.tsv");
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string path, width, height;
    if (!std::getline(fields, path, '\t') || !std::getline(fields, width, '\t') || !std::getline(fields, height)) continue;
    sizes[path] = width == "-" ? "" : width + "x" + height;
  }
  return sizes;
}

// "WxH" when the registry's reader loads the file and draws it for a sheet's cell, else
// "failed: " and the library's message.
std::string Outcome(const fs::path& path) {
  const std::vector<uint8_t> bytes = test::FileBytes(path);
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
  const TImageFormat* format = FormatForFile(extension, bytes);
  if (format == nullptr) return "failed: not admitted";
  try {
    auto reader = format->create();
    reader->Load(bytes);
    const int width = reader->Width();
    const int height = reader->Height();
    reader->PrepareFor(std::min(width, 256), std::min(height, 256));
    if (reader->Pixels().Empty()) return "failed: no pixels";
    return std::to_string(width) + "x" + std::to_string(height);
  } catch (const Exception& e) {
    return std::string("failed: ") + e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << path << ": not a library exception: " << e.what();
    return "failed";
  }
}

void CheckFormat(const std::vector<std::string>& extensions) {
  if (!fs::is_regular_file(test::CorpusDir() / kFolder / "MANIFEST.tsv")) GTEST_SKIP() << "conformance corpus absent";
  const std::map<std::string, std::string> sizes = ReferenceSizes();
  ASSERT_FALSE(sizes.empty());
  int checked = 0;
  for (const std::string& extension : extensions) {
    for (const test::CorpusFile& file : test::CorpusFiles(kFolder, extension)) {
      const std::string name = fs::relative(file.path, test::CorpusDir() / kFolder).string();
      SCOPED_TRACE(name + " (" + file.summary + ")");
      const auto reference = sizes.find(name);
      ASSERT_NE(reference, sizes.end()) << "not in sizes.tsv: run tests/data/conformance/make.sh";
      const std::string outcome = Outcome(file.path);
      ++checked;
      const auto known = kKnownExceptions.find(name);
      const bool matches = reference->second.empty() || outcome == reference->second;
      if (known != kKnownExceptions.end()) {
        EXPECT_FALSE(matches) << "draws as its tools do now (" << outcome << "), no more \"" << known->second
                              << "\": take it out of the known exceptions";
      } else {
        EXPECT_TRUE(matches) << "tools: " << reference->second << ", Tablora: " << outcome;
      }
    }
  }
  EXPECT_GT(checked, 0);
}

TEST(ConformanceCorpus, HeifAndHeic) { CheckFormat({".heic", ".heif", ".hif"}); }
TEST(ConformanceCorpus, Avif) { CheckFormat({".avif", ".avifs"}); }
TEST(ConformanceCorpus, WebP) { CheckFormat({".webp"}); }
TEST(ConformanceCorpus, JpegXl) { CheckFormat({".jxl"}); }
TEST(ConformanceCorpus, CameraRaw) { CheckFormat({".dng", ".raf", ".rw2", ".raw", ".crw"}); }

}  // namespace
}  // namespace tablora
