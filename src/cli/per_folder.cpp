#include "cli/per_folder.h"

#include <filesystem>
#include <map>
#include <optional>

#include "cli/args.h"
#include "sheet/caption_template.h"

namespace tablora::cli {

namespace {

std::string NameOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path.substr(path.rfind('/') + 1);
}

std::optional<std::string> FieldValueOf(std::string_view field, const FolderFields& fields) {
  if (field == "folder") return fields.folder;
  if (field == "path") return fields.path;
  if (field == "date") return fields.date;
  if (field == "count") return std::to_string(fields.count);
  return std::nullopt;
}

std::vector<std::string> Levels(const std::string& pattern) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = pattern.find('/', start);
    levels.push_back(pattern.substr(start, slash - start));
    if (slash == std::string::npos) return levels;
    start = slash + 1;
  }
}

}  // namespace

std::optional<FolderSplit> FolderSplitOf(const Args& args) {
  if (!args.Has("--per-folder")) return std::nullopt;
  const std::string mode = args.ValueOr("--per-folder", "own");
  if (mode == "own") return FolderSplit::Own;
  if (mode == "tree") return FolderSplit::Tree;
  throw UsageError{std::string("option --per-folder must be own or tree, not '").append(mode).append("'")};
}

std::vector<FolderPart> SplitByFolder(const std::vector<std::string>& fileList, FolderSplit split) {
  std::vector<FolderPart> parts;
  std::map<std::string, std::size_t> index;
  for (const std::string& entry : fileList) {
    std::string folder;
    if (split == FolderSplit::Own) {
      folder = entry.substr(0, entry.rfind('/') + 1);
    } else {
      const std::size_t slash = entry.find('/', 1);
      folder = slash == std::string::npos ? "/" : entry.substr(0, slash + 1);
    }
    const auto [at, added] = index.emplace(folder, parts.size());
    if (added) parts.push_back({folder, {}});
    parts[at->second].entries.push_back(entry.substr(folder.size() - 1));
  }
  return parts;
}

FolderFields FieldsOf(const FolderPart& part, const std::string& root, const std::string& date) {
  FolderFields fields;
  const bool top = part.folder == "/";
  fields.folder = top ? NameOf(root) : NameOf(part.folder);
  fields.path = top ? NameOf(root) : part.folder.substr(1, part.folder.size() - 2);
  fields.date = date.substr(0, 10);
  fields.count = static_cast<int32_t>(part.entries.size());
  return fields;
}

bool UsesDate(const std::string& pattern) {
  bool found = false;
  FillTemplate(pattern, [&found](std::string_view field) -> std::optional<std::string> {
    found = found || field == "date";
    return std::string();
  });
  return found;
}

void CheckNameTemplate(const std::string& pattern, const std::string& option) {
  const std::vector<std::string> unknown =
      UnknownFields(pattern, [](std::string_view field) { return FieldValueOf(field, FolderFields{}); });
  if (!unknown.empty()) {
    throw UsageError{std::string("option ").append(option).append(" may hold {folder}, {path}, {date} and {count}, not ").append(unknown.front())};
  }
  if (pattern.empty() || pattern.back() == '/') {
    throw UsageError{std::string("option ").append(option).append(" must name a file, not '").append(pattern).append("'")};
  }
}

std::string FillName(const std::string& pattern, const FolderFields& fields, const std::string& option,
                     const std::string& folderShown) {
  const FieldValue value = [&fields](std::string_view field) { return FieldValueOf(field, fields); };
  std::vector<std::string> levels = Levels(pattern);
  std::string& last = levels.back();
  const std::size_t dot = last.rfind('.');
  const std::string extension = dot == std::string::npos ? std::string() : last.substr(dot);
  last.resize(last.size() - extension.size());
  std::string name;
  for (std::size_t k = 0; k < levels.size(); ++k) {
    const std::string filled = FillTemplate(levels[k], value);
    if (k + 1 == levels.size()) {
      if (filled.empty()) {
        throw UsageError{std::string("option ").append(option).append(" gives no file name for the folder ").append(folderShown)};
      }
      name.append(filled).append(extension);
    } else if (k == 0 && levels[k].empty()) {
      name.push_back('/');  // an absolute path
    } else if (!filled.empty()) {
      name.append(filled).append("/");
    }
  }
  return name;
}

std::string SameFileKey(const std::string& name) { return std::filesystem::path(name).lexically_normal().string(); }

}  // namespace tablora::cli
