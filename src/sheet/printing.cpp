#include <algorithm>

#include "sheet/contact_sheet.h"

namespace tablora {

namespace {

constexpr const char* kNothingBuilt =
    "You need to build the archive first!\n\r\n\rSelect the folder to build the archive\n\rfrom, "
    "then click the Build button.";

}  // namespace

void TContactSheet::Print(PrintDialog& dialog, MessageBox& messages) {
  ProgressWindow& progress = *services_.progress;
  PrinterDevice& printer = *services_.printer;

  std::string title = services_.inputs->Title();
  if (title.empty()) title = "Tablora Print Task";

  if (FileList.empty()) {
    messages.Show(kNothingBuilt, "Try again", MessageIcon::None);
    return;
  }

  progress.ShowStatus("Calculating Pages");
  progress.Show();
  PageRect = printer.Canvas().ClipRect();
  services_.pump->PumpMessages();
  Paginate();

  int32_t first = 1;
  int32_t last = PageCount;
  const PrintChoice choice = dialog.Execute(1, PageCount);
  if (!choice.accepted) {
    progress.Close();
    return;
  }
  switch (choice.range) {
    case prPageNums:
      first = choice.fromPage;
      last = choice.toPage;
      break;
    case prSelection:
      first = CurrentPage;
      last = CurrentPage;
      break;
    case prAllPages:
      break;
  }
  // The shown page may lie beyond a sheet repaginated since (rows or columns changed); no page
  // outside the sheet is ever drawn.
  first = std::clamp(first, 1, PageCount);
  last = std::clamp(last, 1, PageCount);

  printer.SetTitle(title);
  printer.BeginDoc();
  bool ended = false;
  try {
    for (int32_t page = first; page < last; ++page) {
      progress.ShowStatus("Printing Page " + std::to_string(page) + " of " + std::to_string(PageCount));
      if (!progress.Working()) {
        printer.Abort();
        ended = true;
        break;
      }
      OriginX = 0;
      OriginY = 0;
      RenderPage(printer.Canvas(), page);
      printer.NewPage();
    }
    if (!ended) {
      if (progress.Working()) {
        progress.ShowStatus("Printing Page " + std::to_string(last) + " of " + std::to_string(PageCount));
        OriginX = 0;
        OriginY = 0;
        RenderPage(printer.Canvas(), last);
        ended = true;
        printer.EndDoc();
      } else {
        ended = true;
        printer.Abort();
      }
    }
  } catch (...) {
    // Whatever escapes a page discards the job once and closes the dialog; the caller reports it.
    if (!ended) printer.Abort();
    progress.Close();
    throw;
  }
  progress.Close();
}

}  // namespace tablora
