#pragma once

#include <string>
#include <vector>

namespace tablora::cli {

// Output files that appear under their own names only when the whole run has succeeded. Each is
// written under a hidden temporary name in its target's folder (so the final rename never crosses
// file systems) and renamed by Commit; whatever was not committed is removed on destruction, so a
// cancelled or failed run leaves nothing behind.
class PendingOutputs {
 public:
  PendingOutputs() = default;
  ~PendingOutputs();
  PendingOutputs(const PendingOutputs&) = delete;
  PendingOutputs& operator=(const PendingOutputs&) = delete;

  // Creates an empty temporary file beside `target` and returns its path. Raises
  // std::runtime_error when the target's folder does not take a new file.
  std::string Add(const std::string& target);
  // Renames every temporary to its target, in the order added, and returns the targets. Raises
  // std::runtime_error on the first that cannot be renamed; the rest are then removed with the
  // object.
  std::vector<std::string> Commit();
  // Removes every temporary not yet committed.
  void Discard();

 private:
  struct Entry {
    std::string temporary;
    std::string target;
  };
  std::vector<Entry> entries_;
};

}  // namespace tablora::cli
