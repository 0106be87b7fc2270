#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tablora {

// Divides a sorted file list into pages of rows x columns cells, each run of files of one folder
// introduced by a heading half a row high. Returns, per page, the index of its last file.
// rows and columns are clamped to 1..30 first.
std::vector<int32_t> PaginateEntries(const std::vector<std::string>& entries, int rows, int columns);

}  // namespace tablora
