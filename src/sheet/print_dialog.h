#pragma once

namespace tablora {

enum TPrintRange { prAllPages = 0, prSelection = 1, prPageNums = 2 };

struct PrintChoice {
  bool accepted = false;
  TPrintRange range = prAllPages;
  int fromPage = 0;
  int toPage = 0;
};

// The platform's print dialog: all pages, a range from-to, or the page shown ("selection").
class PrintDialog {
 public:
  virtual ~PrintDialog() = default;
  virtual PrintChoice Execute(int minPage, int maxPage) = 0;
};

}  // namespace tablora
