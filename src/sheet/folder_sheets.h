#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imaging/exceptions.h"

namespace tablora {

class MessageBox;
class PendingOutputs;
class PrintDialog;
class PrinterDevice;
class TContactSheet;

// One sheet per folder: each folder's own pictures on a sheet (Own), or each top-level folder with
// everything below it, the root's own pictures being one more sheet (Tree).
enum class FolderSplit { Own, Tree };

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

// The first field of a name template that is not {folder}, {path}, {date} or {count} ("{{" and
// "}}" being braces), as written ("{name}"); nothing when there is none.
std::optional<std::string> UnknownNameField(const std::string& pattern);

// The name a template gives a folder. Each "/"-separated level is filled as a caption is (a field
// without a value vanishes with the text joining it to the field before), a level left empty is
// left out, and the file's extension (the last level's tail from its last ".") always stays.
// {path} with a "/" makes folders. Nothing when no file name is left.
std::optional<std::string> FillName(const std::string& pattern, const FolderFields& fields);

// The same output file for two names, as far as the text of the names tells ("a//b" is "a/b").
std::string SameFileKey(const std::string& name);

// One sheet of a per-folder run, named before anything is written.
struct PlannedSheet {
  FolderPart part;
  FolderFields fields;
  std::string output;
  std::string manifest;  // empty: none
};

// Names that cannot be given. The folders are relative to the root, as in FolderPart.
class EFolderNames : public Exception {
 public:
  enum class Kind { NoName, Clash };
  EFolderNames(Kind kind, bool manifest, std::string folder, std::string other, std::string name)
      : Exception("the folders' names cannot be given"),
        kind(kind),
        manifest(manifest),
        folder(std::move(folder)),
        other(std::move(other)),
        name(std::move(name)) {}
  Kind kind;
  bool manifest;      // the manifest's template rather than the sheet's
  std::string folder;  // the folder left without a name, or the second of a clash
  std::string other;   // a clash's first folder
  std::string name;    // a clash's name
};

// Names every folder's sheet (and manifest, unless that template is empty) of the sheet's built
// list; EFolderNames on the first folder left without a name or given a name another folder has,
// checked in the order of the parts, the sheet's name before the manifest's.
std::vector<PlannedSheet> PlanFolderSheets(TContactSheet& sheet, FolderSplit split, const std::string& output,
                                           const std::string& manifest);

// How one sheet goes to files.
struct SheetFilesJob {
  // Makes the printer the sheet prints on, each file it writes a temporary of `outputs`.
  std::function<std::unique_ptr<PrinterDevice>(PendingOutputs& outputs)> printer;
  // The manifest beside the sheet; empty: none.
  std::string manifest;
  bool manifestJson = false;
  // Put before each path of the manifest ("2024/Rome/" for a folder's sheet under the root).
  std::string prefix;
  // Whether the user cancelled; asked once the sheet has printed.
  std::function<bool()> cancelled;
  // Called once pages first..last are printed, before anything is committed, with the printer
  // still open to tell where it placed them (a PDF file's bookmarks and links are added here).
  std::function<void(PrinterDevice& printer, int first, int last)> printed;
};

// What one sheet's files came to.
struct SheetFiles {
  bool messageShown = false;  // the sheet said why it could not print: nothing was written
  bool declined = false;      // the dialog was asked and declined: nothing was written
  int first = 0;              // the pages printed
  int last = 0;
  int pages = 0;  // the sheet's pages
  // The files committed, in the order the printer added them, the manifest last.
  std::vector<std::string> written;
};

// Prints the sheet as it stands through the job's printer and lists the pages printed in the
// manifest; the files appear under their names together once all are whole. EAbort when the
// user cancelled (or the print stopped before its dialog); nothing is left of the files then, nor
// when anything is thrown.
SheetFiles PrintSheetToFiles(TContactSheet& sheet, PrintDialog& dialog, MessageBox& messages, const SheetFilesJob& job);

// How a per-folder run goes.
struct FolderSheetsJob {
  // Makes one sheet's printer, each file it writes a temporary of `outputs`.
  std::function<std::unique_ptr<PrinterDevice>(const PlannedSheet& sheet, PendingOutputs& outputs)> printer;
  bool manifestJson = false;
  std::function<bool()> cancelled;
  // Called before sheet `index` (from 0) of `count` is made, after the sheet is narrowed to it.
  std::function<void(std::size_t index, std::size_t count, const PlannedSheet& sheet)> starting;
  // Whether a sheet may stay as it is (made before with the same settings); asked after starting.
  std::function<bool(const PlannedSheet& sheet)> unchanged;
  // As SheetFilesJob::printed, for each sheet.
  std::function<void(const PlannedSheet& sheet, PrinterDevice& printer, int first, int last)> printed;
  // Called once a sheet's files are committed.
  std::function<void(const PlannedSheet& sheet, const SheetFiles& files)> finished;
};

// The error of a folder's sheet: the folder as relative to the root, and what went wrong.
class EFolderSheet : public Exception {
 public:
  EFolderSheet(std::string folder, const std::string& message) : Exception(message), folder(std::move(folder)) {}
  std::string folder;
};

// Narrows the sheet to each planned folder in turn (TContactSheet::NarrowTo: the sheet is left as
// the last one's) and prints it to its files as PrintSheetToFiles does, every page, making the
// folders the names need. Sheets finished stay; the one under way is not written. Returns false
// when a sheet showed a message; EAbort when cancelled; EFolderSheet when a sheet failed.
bool PrintFolderSheets(TContactSheet& sheet, const std::vector<PlannedSheet>& plan, PrintDialog& dialog,
                       MessageBox& messages, const FolderSheetsJob& job);

}  // namespace tablora
