#pragma once

#include <string>

namespace tablora {

// Files the program writes replace an earlier file of their name only once they are complete and
// on the disk. The content goes to a hidden temporary beside the target (so the final rename never
// crosses file systems), which is checked and then renamed over the target. Every failure raises
// std::runtime_error "cannot write 'TARGET': REASON"; the caller removes the temporary, and the
// target stays as it was.

// Creates an empty temporary ".tablora-XXXXXX" beside `target`, with the permissions a new file of
// this user gets. Its name is short whatever the target's, so every name the file system takes
// can be a target.
std::string CreateTemporaryBeside(const std::string& target);

// The target a temporary made by CreateTemporaryBeside stands for, until it is committed or
// discarded; any other path stands for itself.
std::string TargetOfTemporary(const std::string& temporary);

// Removes a temporary that will not be committed.
void DiscardTemporary(const std::string& temporary);

// Flushes the temporary to the disk and checks that it is whole, for writers that do not report
// their write errors (Qt's PDF engine): a .pdf target must end in its cross-reference table with
// every object where the table says, a .png target must run from its signature to its end chunk,
// a .jpg or .jpeg target from its start-of-image marker to its end-of-image marker.
void CheckOutput(const std::string& temporary);

// Renames the temporary over its target.
void CommitOutput(const std::string& temporary);

// The message of a failed output: "cannot write 'TARGET': REASON".
std::string CannotWrite(const std::string& target, const std::string& reason);

}  // namespace tablora
