#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <optional>

#include "sheet/picture_selection.h"
#include "sheet/sheet_settings.h"
#include "sheet/sheet_template.h"

namespace tablora {
class TContactSheet;
}

namespace tablora::cli {

class Args;

int RunList(int argc, char** argv);
int RunDecode(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunPreview(int argc, char** argv);
int RunSheet(int argc, char** argv);

// Settings given on the command line in place of the window's controls.
class CliInputs : public SheetInputs, public SheetOptions {
 public:
  int Rows() const override { return rows; }
  int Columns() const override { return columns; }
  std::string Title() const override { return title; }
  std::string FontName() const override { return fontName; }
  std::string SelectedFolder() const override { return folder; }
  bool PrintFacing() const override { return facing; }
  bool PrintPageNum() const override { return pageNumbers; }
  std::vector<CaptionField> CaptionFields() const override { return captionFields; }
  SortOrder Order() const override { return order; }
  int MinRating() const override { return minRating; }
  PairMode Pairs() const override { return pairs; }

  int rows = kDefaultRows;
  int columns = kDefaultColumns;
  std::string title;
  std::string fontName = "Tahoma";
  std::string folder;
  bool facing = false;
  bool pageNumbers = true;
  int jobs = 1;  // threads that load a page's pictures
  // The desktop's thumbnail cache is read and written: the command line's default, off for sessions
  // made in-process (benchmarks, tests) unless they ask.
  bool cache = false;
  std::vector<CaptionField> captionFields;
  SortOrder order = SortOrder::Name;
  int minRating = 0;
  PairMode pairs = PairMode::Once;
  // The layout; --rows and --cols, when given, replace its rows and columns.
  SheetTemplate layout;
  // --selection FILE; without it the sheet takes the built folder's from the window's store.
  std::optional<PictureSelection> selection;
};

// --template NAME|FILE, or the template last used in the window (Classic when there is none or it
// is gone); a template that does not exist or is damaged is a UsageError naming the file and field.
SheetTemplate ReadTemplateOption(const Args& args);

// --sort, --min-rating and --pairs, which list shares with the commands that draw the sheet.
void ReadOrderOptions(const Args& args, CliInputs& inputs);

// --selection FILE, which list shares with the commands that draw the sheet; a file that is
// missing or damaged is a UsageError naming it.
void ReadSelectionOption(const Args& args, CliInputs& inputs);

// The selection a sheet of the command line uses: the one of --selection, else the store's for
// the folder it builds (the same store the window writes).
void UseSelection(TContactSheet& sheet, const CliInputs& inputs, SelectionStore& store);

// After a build: a selection file of the store that was damaged and ignored, on stderr.
void ReportSelectionProblem(const TContactSheet& sheet);

// The folder argument as the sheet takes it: it must exist and be a folder (else UsageError);
// a trailing "/" is dropped so that entries, which begin with "/", join it cleanly.
std::string FolderArgument(const std::string& path);

// A file name as list prints it: C escapes for backslash, control characters (C1 included) and
// bytes that are not UTF-8; everything else as it is.
std::string EscapedName(std::string_view name);

}  // namespace tablora::cli
