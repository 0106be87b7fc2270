#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tablora {

// Locale-aware, case-blind comparison of file-system names under the user's locale.
class LocaleCollator {
 public:
  LocaleCollator();
  ~LocaleCollator();
  LocaleCollator(const LocaleCollator&) = delete;
  LocaleCollator& operator=(const LocaleCollator&) = delete;

  // Negative, zero or positive.
  int Compare(const std::string& a, const std::string& b) const;

  // Indexes of items in sorted order, where an item comparing equal to an earlier-found one is
  // left out: the same list as inserting them one at a time into a sorted list that ignores
  // duplicates, without the quadratic cost.
  std::vector<std::size_t> SortUnique(const std::vector<std::string>& items) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tablora
