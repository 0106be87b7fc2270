#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tablora {

// Output files that appear under their own names only when the whole run has succeeded. Each is
// written under a hidden temporary name in its target's folder (so the final rename never crosses
// file systems) and renamed by Commit once every one of them is flushed to the disk and checked
// whole; whatever was not committed is removed on destruction, so a cancelled or failed run (a full
// disk included) leaves nothing behind and earlier files of those names as they were.
class PendingOutputs {
 public:
  PendingOutputs() = default;
  ~PendingOutputs();
  PendingOutputs(const PendingOutputs&) = delete;
  PendingOutputs& operator=(const PendingOutputs&) = delete;

  // Creates an empty temporary file beside `target` and returns its path. Raises
  // std::runtime_error when the target's folder does not take a new file.
  std::string Add(const std::string& target);
  // Checks every temporary (CheckOutput), then renames each to its target in the order added, and
  // returns the targets. Raises std::runtime_error "cannot write 'TARGET': REASON" on the first
  // that fails; nothing is renamed when a check fails, and the rest are removed with the object.
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

// Writes text into a temporary made by Add, checking every write, the flush to the disk and the
// close: std::runtime_error "cannot write 'TARGET': REASON".
void WriteTextTo(const std::string& temporary, const std::string& text);

// The first output that is the same file as one of the inputs (the same file on the same device,
// whatever the paths say), with that input; nothing when none is. Outputs that do not exist yet
// are no input.
std::optional<std::pair<std::string, std::string>> OutputThatIsInput(const std::vector<std::string>& inputs,
                                                                     const std::vector<std::string>& outputs);

}  // namespace tablora
