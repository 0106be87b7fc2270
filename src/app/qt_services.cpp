#include "app/qt_services.h"

#include <QCoreApplication>
#include <QPrintDialog>
#include <QPageRanges>
#include <QPrinter>


namespace tablora {

namespace {
constexpr auto kPumpInterval = std::chrono::milliseconds(8);
}

void QtEventPump::PumpMessages() {
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < kPumpInterval) return;
  last_ = now;
  QCoreApplication::processEvents();
}

PrintChoice QtPrintDialog::Execute(int minPage, int maxPage) {
  QPrintDialog dialog(&printer_, parent_);
  dialog.setMinMax(minPage, maxPage);
  dialog.setFromTo(minPage, maxPage);
  dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCurrentPage |
                    QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize |
                    QAbstractPrintDialog::PrintCollateCopies);
  PrintChoice choice;
  if (dialog.exec() != QDialog::Accepted) return choice;
  choice.accepted = true;
  switch (dialog.printRange()) {
    case QAbstractPrintDialog::PageRange:
      choice.range = prPageNums;
      choice.fromPage = dialog.fromPage();
      choice.toPage = dialog.toPage();
      // The field takes a list ("1,3,5-7"), of which from and to are only the ends.
      for (const QPageRanges::Range& range : printer_.pageRanges().toRangeList()) {
        choice.pageSet.push_back({range.from, range.to});
      }
      break;
    case QAbstractPrintDialog::CurrentPage:
    case QAbstractPrintDialog::Selection:
      choice.range = prSelection;
      break;
    case QAbstractPrintDialog::AllPages:
      choice.range = prAllPages;
      break;
  }
  // Qt applies the range to the printer too; the engine draws only the chosen pages, so the
  // printer must take every page it is given.
  printer_.setPrintRange(QPrinter::AllPages);
  printer_.setFromTo(0, 0);
  return choice;
}

}  // namespace tablora
