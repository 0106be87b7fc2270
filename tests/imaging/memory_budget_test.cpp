#include "imaging/memory_budget.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <optional>
#include <thread>

#include "imaging/bitmap.h"
#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/readers/jpeg_image.h"
#include "imaging/work_budget.h"
#include "platform/bitmap_image.h"
#include "support/hostile_files.h"

namespace tablora {
namespace {

using namespace std::chrono_literals;

// Work is refused up front when its estimate passes what is left, and stopped at the next look at
// Cancel once the thread has spent the budget's processor time; time spent waiting counts nothing.
TEST(WorkBudget, RefusesAnEstimateOverItAndStopsWorkThatSpendsIt) {
  EXPECT_NO_THROW(CheckWorkEstimate(1e12, 1.0));  // no budget open
  TWorkBudget budget(200ms);
  {
    TWorkBudget inner(1ms);
    EXPECT_THROW(CheckWorkEstimate(1e6, 2.0), EInvalidGraphic);
  }
  EXPECT_EQ(TWorkBudget::Current(), &budget);
  EXPECT_NO_THROW(CheckWorkEstimate(1e6, 100.0));
  try {
    CheckWorkEstimate(3e6, 100.0);
    ADD_FAILURE() << "0.3 s of work passed a budget of 0.2 s";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Image too large: it takes longer than the limit of 0.2 s to decode");
  }
  std::this_thread::sleep_for(250ms);
  EXPECT_NO_THROW(CheckCancel());
  bool stopped = false;
  try {
    for (;;) CheckCancel();
  } catch (const EInvalidGraphic&) {
    stopped = true;
  }
  EXPECT_TRUE(stopped);
  EXPECT_GE(budget.Spent(), 200ms);
  EXPECT_EQ(budget.Left(), 0ns);
}

TEST(MemoryBudget, ChargesCountAgainstTheBudgetOpenOnTheirThread) {
  std::optional<TMemoryCharge> outlives;
  {
    TMemoryBudget budget(100);
    TMemoryCharge a(60);
    EXPECT_THROW(TMemoryCharge(41), EInvalidGraphic);
    a.Set(30);
    TMemoryCharge b(70);
    EXPECT_EQ(budget.Used(), 100u);
    {
      TMemoryBudget inner(10);
      EXPECT_EQ(TMemoryBudget::Current(), &inner);
      EXPECT_THROW(TMemoryCharge(11), EInvalidGraphic);
    }
    EXPECT_EQ(TMemoryBudget::Current(), &budget);
    // Another thread has no budget: its charges count nothing here.
    std::thread([] { TMemoryCharge free(1000); }).join();
    std::thread([moved = std::move(b)]() mutable { moved.Set(0); }).join();
    EXPECT_EQ(budget.Used(), 30u);
    EXPECT_EQ(budget.Peak(), 100u);
    outlives.emplace(20);
  }
  EXPECT_EQ(TMemoryBudget::Current(), nullptr);
  outlives.reset();  // released into a budget whose scope has ended
  TMemoryBudget budget(uint64_t{3} << 20);
  try {
    TMemoryCharge((uint64_t{3} << 20) + 1);
    ADD_FAILURE();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Image too large: it needs more than the limit of 3 MiB");
  }
}

// A 4-bit bitmap within the limit whose 8-bit copy for drawing is not: the copy fails cleanly.
TEST(MemoryBudget, ExpandedCopiesOfABitmapAreCharged) {
  const std::string path = testing::TempDir() + "/four.bmp";
  test::WriteFile(path, test::FourBitBmp(2400, 2400));
  TMemoryBudget budget(uint64_t{6} << 20);
  TBitmap bitmap;
  bitmap.LoadFromFile(path);
  EXPECT_EQ(budget.Used(), 1200u * 2400u);
  EXPECT_THROW(BitmapImage(bitmap), EInvalidGraphic);
  const TBitmap copy(bitmap);
  EXPECT_EQ(budget.Used(), 2 * 1200u * 2400u);
  EXPECT_THROW(TBitmap{copy}, EInvalidGraphic);
}

// Coefficients of a progressive file (two bytes a sample whatever the scale) and the bitmap fit
// the budget together: the picture comes out smaller, never above the ceiling.
TEST(MemoryBudget, JpegWholeImageBuffersAndBitmapShareTheBudget) {
  const std::string bytes = test::ProgressiveGreyJpeg(2000, 2000, 2);
  TBufferStream stream(bytes.data(), bytes.size());
  for (const auto& [ceiling, width] : {std::pair{uint64_t{12} << 20, 2000}, std::pair{uint64_t{8} << 20, 500}}) {
    TMemoryBudget budget(ceiling);
    TJPEGImage image;
    stream.SetPosition(0);
    image.LoadFromStream(stream);
    EXPECT_EQ(image.Bitmap().Width(), width);
    EXPECT_LE(budget.Peak(), ceiling);
    EXPECT_GE(budget.Peak(), 250u * 250u * 128u);
  }
  TMemoryBudget tiny(uint64_t{7} << 20);
  TJPEGImage image;
  stream.SetPosition(0);
  image.LoadFromStream(stream);
  EXPECT_THROW(image.Bitmap(), EInvalidGraphic);
}

#if !defined(__SANITIZE_ADDRESS__)
// An allocation the system refuses is a failed load with "Out of memory", never a crash.
TEST(MemoryBudget, OutOfMemoryInALoadIsAFailedLoad) {
#ifdef __SANITIZE_THREAD__
  GTEST_SKIP() << "ThreadSanitizer reserves its shadow memory out of the address space this test limits";
#endif
  const std::string bmp = testing::TempDir() + "/huge.bmp";
  const std::string jpg = testing::TempDir() + "/huge.jpg";
  test::WriteFile(bmp, test::FourBitBmp(46000, 46000));
  test::WriteFile(jpg, test::ProgressiveGreyJpeg(23000, 23000, 1));
  const auto withLittleMemory = [](const auto& load) {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    const rlim_t room = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{256} << 20);
    const rlimit limit{room, room};
    ::setrlimit(RLIMIT_AS, &limit);
    try {
      load();
    } catch (const EInvalidGraphic& e) {
      std::fputs(e.what(), stderr);
      std::exit(3);
    }
    std::exit(0);
  };
  EXPECT_EXIT(withLittleMemory([&] { TBitmap().LoadFromFile(bmp); }), testing::ExitedWithCode(3), "^Out of memory$");
  EXPECT_EXIT(withLittleMemory([&] {
                TJPEGImage image;
                image.LoadFromFile(jpg);
                image.Bitmap();
              }),
              testing::ExitedWithCode(3), "^Out of memory$");
}
#endif

}  // namespace
}  // namespace tablora
