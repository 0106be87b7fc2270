#pragma once

#include <vector>

namespace tablora {

enum TPrintRange { prAllPages = 0, prSelection = 1, prPageNums = 2 };

// One range of a page set, first and last page included.
struct PageSpan {
  int from = 0;
  int to = 0;
};

struct PrintChoice {
  bool accepted = false;
  TPrintRange range = prAllPages;
  int fromPage = 0;
  int toPage = 0;
  // prPageNums from a field that takes a list ("1,3,5-7"): its ranges in the order given. Empty
  // means the one range fromPage to toPage.
  std::vector<PageSpan> pageSet = {};
};

// The platform's print dialog: all pages, a range from-to, or the page shown ("selection").
class PrintDialog {
 public:
  virtual ~PrintDialog() = default;
  virtual PrintChoice Execute(int minPage, int maxPage) = 0;
};

}  // namespace tablora
