// Tiny TIFFs that claim huge pictures, tables or tile counts: each loads or fails cleanly inside
// one picture's budget (the image-size limit plus 64 MiB), and a cancel stops each on the way.
// Their speed is the benchmark's (bench/tiff_hostile_bench.cpp).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/readers/tiff_reader.h"
#include "imaging/tiff_hostile_files.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

class TiffHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tiff-hostile-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  struct Outcome {
    std::string message;  // "" when it loaded
    uint64_t peak = 0;
    int width = 0, height = 0;
  };
  // Loads under the budget a cell has; with cancelAtTransfer, the cancel is asked for as the
  // pixels begin.
  static Outcome Load(const std::string& path, bool cancelAtTransfer = false) {
    Outcome outcome;
    TMemoryBudget budget(ImageSizeLimit() + (uint64_t{64} << 20));
    TCancelToken token;
    TCancelScope scope(token);
    TTIFFGraphic reader;
    reader.OnProgress = [&](TRasterGraphic&, TProgressStage stage, uint8_t, bool, const TRect&,
                            const std::string& msg) {
      if (cancelAtTransfer && stage == psStarting && msg == kTransfering) token.Request();
    };
    try {
      reader.LoadFromFile(path);
      outcome.width = reader.Width();
      outcome.height = reader.Height();
    } catch (const EAbort&) {
      outcome.message = "cancelled";
    } catch (const Exception& e) {
      outcome.message = e.what();
    }
    outcome.peak = budget.Peak();
    return outcome;
  }

  fs::path dir_;
};

TEST_F(TiffHostile, EachLoadsOrFailsInsideItsBudgetAndStopsOnCancel) {
  using namespace test;
  TallTiff(Path("tall.tif"), 268435455);
  TallTiff(Path("tall-4m.tif"), 4u << 20);
  StripTableTiff(Path("tables.tif"), 1000, 128u << 20);
  StripTableTiff(Path("tables-tall.tif"), 128u << 20, 128u << 20);
  StripTableTiff(Path("tables-4m.tif"), 4u << 20, 4u << 20);
  TinyTileTiff(Path("tiny-tiles.tif"), 32768, 32767, 1, 1);
  FaxTiff(Path("g4.tif"), 4, 65535, 65535);
  FaxTiff(Path("g3.tif"), 3, 65535, 65535);
  struct Case {
    const char* name;
    std::string outcome;  // "" loads; else the start of the message
  } cases[] = {
      {"tall.tif", "Image too large: 1 x 268435455 pixels in 268435455 block rows exceed the limit of 67108864"},
      // Its rows lie past the end of the file: nothing is copied for them.
      {"tall-4m.tif", ""},
      // Only the entries the picture's strips need are read.
      {"tables.tif", ""},
      {"tables-4m.tif", ""},
      {"tables-tall.tif", "Image too large: 1 x 134217728 pixels in 134217728 block rows"},
      {"tiny-tiles.tif", "Image too large: 32768 x 32767 pixels in 1073709056 tiles exceed the limit of 4194304"},
      {"g4.tif", ""},
      {"g3.tif", ""},
  };
  const uint64_t budget = ImageSizeLimit() + (uint64_t{64} << 20);
  for (const Case& c : cases) {
    const Outcome o = Load(Path(c.name));
    EXPECT_EQ(o.message.substr(0, c.outcome.size()), c.outcome) << c.name;
    if (c.outcome.empty()) {
      EXPECT_EQ(o.message, "") << c.name;
    }
    EXPECT_LE(o.peak, budget) << c.name;
    const Outcome cancelled = Load(Path(c.name), true);
    if (c.outcome.empty()) {
      EXPECT_EQ(cancelled.message, "cancelled") << c.name;
    }
  }
}

}  // namespace
}  // namespace tablora
