#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tablora::cli {

// --per-folder: each folder's own pictures on a sheet (Own), or each top-level folder with
// everything below it, the root's own pictures being one more sheet (Tree).
enum class FolderSplit { Own, Tree };

class Args;

// --per-folder, --per-folder=own or --per-folder=tree; nothing without the option. Any other
// value is a UsageError.
std::optional<FolderSplit> FolderSplitOf(const Args& args);

// One sheet of a per-folder run.
struct FolderPart {
  std::string folder;                // relative to the root: "/" for itself, "/2024/Rome/"
  std::vector<std::string> entries;  // relative to `folder`, each beginning with "/"
};

// The parts of a built list (entries relative to the root), in the order their first pictures
// stand in the list; folders without pictures have none.
std::vector<FolderPart> SplitByFolder(const std::vector<std::string>& fileList, FolderSplit split);

// What an output name may hold of its folder.
struct FolderFields {
  std::string folder;  // the folder's own name; the root's name for its own pictures
  std::string path;    // relative to the root ("2024/Rome"); the root's name for its own pictures
  std::string date;    // the earliest date taken, YYYY-MM-DD; empty when none is known
  int32_t count = 0;   // pictures on the sheet
};

// The fields of a part of the root's sheet; `date` as the caller found it.
FolderFields FieldsOf(const FolderPart& part, const std::string& root, const std::string& date);

// Whether a name template uses {date}, which costs reading every picture's metadata.
bool UsesDate(const std::string& pattern);

// A UsageError naming `option` unless the template's fields are {folder}, {path}, {date} and
// {count} (with "{{" and "}}" for braces) and it names a file: not empty, not ending in "/".
void CheckNameTemplate(const std::string& pattern, const std::string& option);

// The name a template gives a folder. Each "/"-separated level is filled as a caption is (a field
// without a value vanishes with the text joining it to the field before), a level left empty is
// left out, and the file's extension (the last level's tail from its last ".") always stays.
// {path} with a "/" makes folders. A UsageError naming `option` and the folder when no file name
// is left.
std::string FillName(const std::string& pattern, const FolderFields& fields, const std::string& option,
                     const std::string& folderShown);

// The same output file for two names, as far as the text of the names tells ("a//b" is "a/b").
std::string SameFileKey(const std::string& name);

}  // namespace tablora::cli
