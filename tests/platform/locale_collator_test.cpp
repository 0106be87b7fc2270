#include "platform/locale_collator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tablora {
namespace {

std::vector<std::string> Sorted(const LocaleCollator& collator, const std::vector<std::string>& items) {
  std::vector<std::string> result;
  for (std::size_t i : collator.SortUnique(items)) result.push_back(items[i]);
  return result;
}

TEST(LocaleCollator, IgnoresLetterCase) {
  LocaleCollator collator;
  EXPECT_EQ(collator.Compare("/IMG_01.JPG", "/img_01.jpg"), 0);
  EXPECT_LT(collator.Compare("/a.jpg", "/B.jpg"), 0);
  EXPECT_GT(collator.Compare("/b.jpg", "/A.jpg"), 0);
}

TEST(LocaleCollator, SortsWholePathsAndKeepsTheFirstOfEqualEntries) {
  LocaleCollator collator;
  const std::vector<std::string> items = {"/z.jpg", "/PHOTO.JPG", "/M/b.jpg", "/a.jpg", "/photo.jpg"};
  const std::vector<std::size_t> order = collator.SortUnique(items);
  ASSERT_EQ(order.size(), 4u);
  EXPECT_EQ(Sorted(collator, items),
            (std::vector<std::string>{"/a.jpg", "/M/b.jpg", "/PHOTO.JPG", "/z.jpg"}));
}

TEST(LocaleCollator, BytesThatAreNotUtf8StayDistinct) {
  LocaleCollator collator;
  EXPECT_NE(collator.Compare("/caf\xE9.jpg", "/caf\xE8.jpg"), 0);
  EXPECT_EQ(collator.SortUnique({"/caf\xE9.jpg", "/caf\xE8.jpg", "/\xFF\xFE.jpg"}).size(), 3u);
}

TEST(LocaleCollator, ManyEntriesKeepTheFirstFoundOfEachName) {
  LocaleCollator collator;
  std::vector<std::string> items;
  for (int i = 0; i < 1000; ++i) items.push_back("/f" + std::to_string(i % 100) + ".jpg");
  const auto order = collator.SortUnique(items);
  ASSERT_EQ(order.size(), 100u);
  for (std::size_t index : order) EXPECT_LT(index, 100u);
}

}  // namespace
}  // namespace tablora
