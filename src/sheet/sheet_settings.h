#pragma once

#include <string>
#include <vector>

#include "platform/drawing_surface.h"
#include "sheet/file_pairs.h"
#include "sheet/photo_caption.h"

namespace tablora {

// The settings the engine reads live from the main window's controls.
class SheetInputs {
 public:
  virtual ~SheetInputs() = default;
  // Values as the spin fields read them: the integer typed, or 1 when the text is not one.
  // They may lie outside 1..30 while the field still has the focus.
  virtual int Rows() const = 0;
  virtual int Columns() const = 0;
  virtual std::string Title() const = 0;     // UTF-8
  virtual std::string FontName() const = 0;  // typeface name
  // Bold and italic as chosen with the typeface.
  virtual TFontStyle FontStyle() const { return {}; }
  // File-system path of the folder selected in the tree; empty when none is selected.
  virtual std::string SelectedFolder() const = 0;
};

// The choices of the options dialog. Those with defaults leave the sheet as it always was:
// names alone under the pictures, name order, every picture.
class SheetOptions {
 public:
  virtual ~SheetOptions() = default;
  virtual bool PrintFacing() const = 0;
  virtual bool PrintPageNum() const = 0;
  // The fields of the second caption line; none: no second line.
  virtual std::vector<CaptionField> CaptionFields() const { return {}; }
  virtual SortOrder Order() const { return SortOrder::Name; }
  // Pictures rated below this are left out; 0 keeps every picture, unrated and rejected ones too.
  virtual int MinRating() const { return 0; }
  // A frame the camera wrote as RAW and JPEG (or HEIF) shows once, as the JPEG.
  virtual PairMode Pairs() const { return PairMode::Once; }
};

constexpr int kMaxRating = 5;

constexpr int kMinGridSize = 1;
constexpr int kMaxGridSize = 30;
constexpr int kDefaultRows = 10;
constexpr int kDefaultColumns = 6;

// Rows and columns are held to the fields' limits before any arithmetic: a 0 typed and confirmed
// with Enter must not divide by zero.
constexpr int ClampGridSize(int value) {
  return value < kMinGridSize ? kMinGridSize : value > kMaxGridSize ? kMaxGridSize : value;
}

}  // namespace tablora
