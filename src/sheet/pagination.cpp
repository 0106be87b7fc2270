#include "sheet/pagination.h"

#include "sheet/sheet_geometry.h"

namespace tablora {

std::vector<int32_t> PaginateEntries(const std::vector<std::string>& entries, int rows, int columns) {
  SheetTemplate classic = ClassicTemplate();
  classic.rows = rows;
  classic.columns = columns;
  return SheetGeometry(classic, 1, false).Paginate(entries, SheetPage{});
}

}  // namespace tablora
