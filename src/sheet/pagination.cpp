#include "sheet/pagination.h"

#include <string_view>

#include "sheet/path_parts.h"
#include "sheet/sheet_settings.h"

namespace tablora {

std::vector<int32_t> PaginateEntries(const std::vector<std::string>& entries, int rows, int columns) {
  rows = ClampGridSize(rows);
  columns = ClampGridSize(columns);
  std::vector<int32_t> pageEnds;
  const auto n = static_cast<int32_t>(entries.size());
  if (n == 0) return pageEnds;

  // Row positions count in row heights from the top of the usable area, in steps of 0.5.
  const double rowBound = static_cast<double>(rows);
  const double lastRowStart = rowBound - 0.5;
  int32_t column = 0;
  double rowPos = 0.0;
  std::string_view lastFolder;
  int32_t pageFirst = 0;

  for (int32_t i = 0; i < n; ++i) {
    const std::string_view folder = FolderPart(entries[static_cast<std::size_t>(i)]);
    if (folder != lastFolder) {
      if (column > 0) rowPos += 1.0;
      rowPos += 0.5;
      column = 0;
      lastFolder = folder;
      // Once the page holds a file, the new folder's row must fit entirely, like any other row:
      // a row that starts below Rows - 0.5 would be cut off at the page edge. A page's first file
      // always stays, so no page is ever left without files.
      const bool pageHasFiles = i > pageFirst;
      const bool fits = pageHasFiles ? lastRowStart >= rowPos : rowBound >= rowPos;
      if (!fits) {
        pageEnds.push_back(i - 1);
        pageFirst = i;
        rowPos = 0.5;
      }
    }
    column += 1;
    if (column % columns == 0) {
      rowPos += 1.0;
      column = 0;
    }
    if (!(lastRowStart >= rowPos)) {
      pageEnds.push_back(i);
      pageFirst = i + 1;
      rowPos = 0.5;
      column = 0;
    }
  }
  // The last file closes the last page, unless the row test closed it there already.
  if (pageEnds.empty() || pageEnds.back() != n - 1) pageEnds.push_back(n - 1);
  return pageEnds;
}

}  // namespace tablora
