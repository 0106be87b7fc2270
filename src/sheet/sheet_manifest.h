#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/photo_caption.h"

namespace tablora {

class TContactSheet;

// One picture of a drawn sheet as a manifest lists it: where it stands and what the file is.
struct ManifestRow {
  int32_t page = 0;
  int32_t row = 0;     // 1-based, counted over the page's rows of cells
  int32_t column = 0;  // 1-based, within its row
  int32_t frame = 0;   // 1-based number within the sheet
  std::string path;    // relative to the manifest's root, '/'-separated, no leading '/'
  std::optional<uint64_t> bytes;
  std::string format;  // the reader's name ("JPEG"); empty when no reader takes the file
  std::string size;    // "WxH" upright; empty when the header does not tell
  std::string date;    // "YYYY-MM-DD HH:MM:SS" taken
  std::string camera;
  std::optional<int> rating;
  std::string label;
  // The reader's words for a cell left empty; empty when the picture was drawn or not tried.
  std::string message;
  friend bool operator==(const ManifestRow&, const ManifestRow&) = default;
};

// The manifest's column names, in order: also the keys of its JSON objects.
const std::vector<std::string_view>& ManifestColumns();

// The rows of pages firstPage..lastPage (held to the sheet's pages) as the sheet last laid them
// out for drawing (PageRect), cells taken from the geometry the renderer used; `prefix` goes before
// each entry's path ("2024/Rome/" for a sheet of that folder under the root, "" for the root).
// Messages are the sheet's Problems() of those pages.
std::vector<ManifestRow> ManifestRows(TContactSheet& sheet, std::string_view prefix, int32_t firstPage,
                                      int32_t lastPage, MetadataReader& metadata);

// CSV as RFC 4180 has it: a header row, CRLF after every row, a field holding a comma, a quote, CR
// or LF quoted with its quotes doubled. Text is UTF-8: bytes of names that are not UTF-8 become
// U+FFFD, here and in JSON.
std::string ManifestCsv(const std::vector<ManifestRow>& rows);
// A JSON array of one object per row with the columns as keys: numbers as numbers, a missing
// size in bytes or rating as null.
std::string ManifestJson(const std::vector<ManifestRow>& rows);

}  // namespace tablora
