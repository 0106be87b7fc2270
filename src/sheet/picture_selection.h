#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace tablora {

// A selection file that cannot be used or written; the message names the file:
// "…/3fa1…-Rome 2024.json: leftOut: must be a list of pictures".
class ESelection : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The photographer's choice for one built folder: pictures left out of the sheet, and pictures
// put in an order of their own within their folder. Entries are the sheet's relative ones
// ("/Day 1/IMG_2.jpg"); a picture only ever moves among the pictures of its own folder, so the
// folders keep their order and their headings.
class PictureSelection {
 public:
  void LeaveOut(const std::vector<std::string>& entries);
  // Every left-out picture back on the sheet.
  void BringBack();
  void BringBack(const std::vector<std::string>& entries);
  bool IsLeftOut(const std::string& entry) const { return leftOut_.count(entry) != 0; }
  const std::set<std::string>& LeftOut() const { return leftOut_; }

  // Moves `entries` just before `before`, among the pictures of before's folder; with `before`
  // empty (or one of the moved pictures' folder's end), to the end of their folder. Entries of
  // another folder than the target's are not moved. `shown` is the sheet's list as the
  // photographer sees it (left-out pictures included), which the new order starts from.
  void Move(const std::vector<std::string>& entries, const std::string& before, const std::vector<std::string>& shown);
  // Back to the sheet's own order in every folder.
  void ForgetOrder() { order_.clear(); }
  bool HasOrder() const { return !order_.empty(); }
  bool Empty() const { return leftOut_.empty() && order_.empty(); }

  // The sheet's sorted list as the selection makes it: left-out pictures removed (kept with
  // keepLeftOut), each folder's pictures in their order. Pictures of the order that are gone are
  // ignored. A picture the order does not know (new in the folder, or let in by the rating filter
  // since) follows the picture that precedes it in the sheet's own order, wherever that one was
  // moved; one the sheet's order puts before every ordered picture leads the folder. So an edited
  // copy "IMG_5-edit.jpg" appears beside IMG_5.
  std::vector<std::string> Apply(const std::vector<std::string>& fileList, bool keepLeftOut = false) const;

  // The selection as its file holds it, and back; `source` names the file in messages.
  // ESelection for damaged JSON, a newer version or a field of the wrong kind.
  std::string ToJson(const std::string& folder) const;
  static PictureSelection FromJson(const std::string& json, const std::string& source);

  friend bool operator==(const PictureSelection&, const PictureSelection&) = default;

 private:
  std::set<std::string> leftOut_;
  // Per folder ("/" or "/Day 1/"), its pictures' names in their order.
  std::map<std::string, std::vector<std::string>> order_;
};

// The selections of the folders the photographer has built, one small file each in
// $XDG_DATA_HOME/Tablora/selections (default ~/.local/share), never beside the photographs.
// A file is named by a hash of the folder's absolute path and the folder's own name.
class SelectionStore {
 public:
  explicit SelectionStore(std::string folder = DefaultFolder());
  static std::string DefaultFolder();

  // The file that holds the selection of a folder (an absolute path; a relative one is taken
  // from the current directory).
  std::string FileFor(const std::string& baseFolder) const;
  // The folder's selection; an empty one when none was saved. A damaged file gives an empty
  // selection and the message that names it in `problem` (when given).
  PictureSelection Load(const std::string& baseFolder, std::string* problem = nullptr) const;
  // Replaces the folder's file once the new one is whole; an empty selection removes it.
  // ESelection when it cannot be written.
  void Save(const std::string& baseFolder, const PictureSelection& selection) const;

 private:
  std::string folder_;
};

// A selection file named on the command line. ESelection when it is missing or damaged.
PictureSelection LoadSelectionFile(const std::string& path);

}  // namespace tablora
