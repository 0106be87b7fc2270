#include "cli/pending_outputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <utility>

#include "cli/args.h"
#include "platform/output_file.h"

namespace tablora::cli {

PendingOutputs::~PendingOutputs() { Discard(); }

std::string PendingOutputs::Add(const std::string& target) {
  std::string temporary = CreateTemporaryBeside(target);
  entries_.push_back({temporary, target});
  return temporary;
}

std::vector<std::string> PendingOutputs::Commit() {
  for (const Entry& entry : entries_) CheckOutput(entry.temporary);
  std::vector<std::string> committed;
  while (!entries_.empty()) {
    CommitOutput(entries_.front().temporary);
    committed.push_back(entries_.front().target);
    entries_.erase(entries_.begin());
  }
  return committed;
}

void PendingOutputs::Discard() {
  for (const Entry& entry : entries_) DiscardTemporary(entry.temporary);
  entries_.clear();
}

void RefuseInputAsOutput(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
  std::map<std::pair<dev_t, ino_t>, const std::string*> existing;
  for (const std::string& output : outputs) {
    struct stat info {};
    if (::stat(output.c_str(), &info) == 0) existing.emplace(std::make_pair(info.st_dev, info.st_ino), &output);
  }
  if (existing.empty()) return;
  for (const std::string& input : inputs) {
    struct stat info {};
    if (::stat(input.c_str(), &info) != 0) continue;
    const auto same = existing.find({info.st_dev, info.st_ino});
    if (same != existing.end()) {
      throw UsageError{"the output '" + *same->second + "' is the input file '" + input +
                       "'; choose another output"};
    }
  }
}

}  // namespace tablora::cli
