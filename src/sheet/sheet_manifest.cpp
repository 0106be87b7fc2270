#include "sheet/sheet_manifest.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>

#include "imaging/image_format.h"
#include "platform/path_text.h"
#include "sheet/contact_sheet.h"

namespace tablora {

namespace {

constexpr std::string_view kLabelKey = "Xmp.xmp.Label";

// What the file's own bytes tell: its reader and its size upright.
void DescribeFile(const std::string& path, ManifestRow& row) {
  const std::string extension = LowerAscii(ExtensionPart(path));
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) row.bytes = static_cast<uint64_t>(info.st_size);
  const TImageFormat* format = FormatByExtension(extension);
  try {
    const TFileBytes file(path);
    format = FormatForFile(extension, file.Bytes());
    if (format != nullptr && format->probe != nullptr) {
      if (const std::optional<TImageHeader> header = format->probe(file.Bytes());
          header && header->width > 0 && header->height > 0) {
        const bool turned = header->orientation >= 5 && header->orientation <= 8;
        row.size = std::to_string(turned ? header->height : header->width)
                       .append("x")
                       .append(std::to_string(turned ? header->width : header->height));
      }
    }
  } catch (const std::exception&) {
    // A file that cannot be mapped still has its name's format; its message tells the rest.
  }
  if (format != nullptr) row.format = format->name;
}

// The text as valid UTF-8: each byte that starts no valid sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool valid = length > 0 && i + length <= text.size() && !(c == 0xC0 || c == 0xC1 || c > 0xF4);
    for (std::size_t k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    }
    if (valid && length == 3) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      valid = !(c == 0xE0 && next < 0xA0) && !(c == 0xED && next >= 0xA0);
    } else if (valid && length == 4) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      valid = !(c == 0xF0 && next < 0x90) && !(c == 0xF4 && next >= 0x90);
    }
    if (!valid) {
      out.append("\xEF\xBF\xBD");
      ++i;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

// A row's fields as text, in the order of ManifestColumns; numbers unquoted in JSON.
struct Field {
  std::string text;
  bool number = false;
  bool null = false;
};

std::vector<Field> FieldsOf(const ManifestRow& row) {
  const auto number = [](auto value) { return Field{std::to_string(value), true, false}; };
  const auto optional = [&](const auto& value) { return value ? number(*value) : Field{std::string(), true, true}; };
  return {number(row.page),   number(row.row),     number(row.column),        number(row.frame),
          {row.path},         optional(row.bytes), {row.format},              {row.size},
          {row.date},         {row.camera},        optional(row.rating),      {row.label},
          {row.message}};
}

std::string CsvField(const std::string& text) {
  const std::string valid = ValidUtf8(text);
  if (valid.find_first_of(",\"\r\n") == std::string::npos) return valid;
  std::string quoted = "\"";
  for (char c : valid) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : ValidUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out.append("\\u00").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xF]);
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

}  // namespace

const std::vector<std::string_view>& ManifestColumns() {
  static const std::vector<std::string_view> kColumns = {"page", "row",  "column", "frame",  "path",  "bytes",  "format",
                                                         "size", "date", "camera", "rating", "label", "message"};
  return kColumns;
}

std::vector<ManifestRow> ManifestRows(TContactSheet& sheet, std::string_view prefix, int32_t firstPage,
                                      int32_t lastPage, MetadataReader& metadata) {
  std::map<std::string, std::string> messages;
  for (const PictureProblem& problem : sheet.Problems()) messages.emplace(problem.entry, problem.message);
  const SheetGeometry geometry = sheet.Geometry();
  const SheetPage page = sheet.PageOn(sheet.PageRect);
  std::vector<ManifestRow> rows;
  for (int32_t number = std::max(firstPage, 1); number <= std::min(lastPage, sheet.PageCount); ++number) {
    const PageLayout placed = geometry.LayOut(sheet.FileList, sheet.PageEnds, number, page);
    // Rows and columns are counted from where the cells stand, whatever layout placed them.
    std::set<int32_t> tops;
    for (const CellPlace& cell : placed.cells) tops.insert(cell.cell.Top);
    std::map<int32_t, std::set<int32_t>> lefts;
    for (const CellPlace& cell : placed.cells) lefts[cell.cell.Top].insert(cell.cell.Left);
    for (const CellPlace& cell : placed.cells) {
      const std::string& entry = sheet.FileList[static_cast<std::size_t>(cell.entry)];
      const std::string path = sheet.BaseFolder + entry;
      ManifestRow row;
      row.page = number;
      row.row = static_cast<int32_t>(std::distance(tops.begin(), tops.find(cell.cell.Top))) + 1;
      const std::set<int32_t>& inRow = lefts[cell.cell.Top];
      row.column = static_cast<int32_t>(std::distance(inRow.begin(), inRow.find(cell.cell.Left))) + 1;
      row.frame = cell.frame;
      row.path = std::string(prefix).append(entry.substr(1));
      DescribeFile(path, row);
      const TPhotoMetadata facts = metadata.ReadWithKeys(path, {std::string(kLabelKey)});
      row.date = facts.dateTaken;
      row.camera = facts.camera;
      row.rating = facts.rating;
      if (const auto label = facts.byKey.find(kLabelKey); label != facts.byKey.end()) row.label = label->second;
      if (const auto message = messages.find(entry); message != messages.end()) row.message = message->second;
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

std::string ManifestCsv(const std::vector<ManifestRow>& rows) {
  std::string out;
  for (std::string_view column : ManifestColumns()) out.append(out.empty() ? "" : ",").append(column);
  out.append("\r\n");
  for (const ManifestRow& row : rows) {
    bool first = true;
    for (const Field& field : FieldsOf(row)) {
      if (!first) out += ',';
      first = false;
      out.append(CsvField(field.text));
    }
    out.append("\r\n");
  }
  return out;
}

std::string ManifestJson(const std::vector<ManifestRow>& rows) {
  std::string out = "[";
  const std::vector<std::string_view>& columns = ManifestColumns();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    out.append(r == 0 ? "\n  {" : ",\n  {");
    const std::vector<Field> fields = FieldsOf(rows[r]);
    for (std::size_t k = 0; k < fields.size(); ++k) {
      out.append(k == 0 ? "" : ", ").append(JsonString(std::string(columns[k]))).append(": ");
      out.append(fields[k].null ? "null" : fields[k].number ? fields[k].text : JsonString(fields[k].text));
    }
    out.append("}");
  }
  out.append(rows.empty() ? "]\n" : "\n]\n");
  return out;
}

}  // namespace tablora
