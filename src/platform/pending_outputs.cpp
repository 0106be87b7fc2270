#include "platform/pending_outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>
#include <utility>

#include "platform/output_file.h"

namespace tablora {

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

void WriteTextTo(const std::string& temporary, const std::string& text) {
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
  std::size_t done = 0;
  while (error == 0 && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? errno : ENOSPC;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  if (fd >= 0 && error == 0 && ::fsync(fd) != 0) error = errno;
  if (fd >= 0 && ::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw std::runtime_error(CannotWrite(TargetOfTemporary(temporary), std::strerror(error)));
}

std::optional<std::pair<std::string, std::string>> OutputThatIsInput(const std::vector<std::string>& inputs,
                                                                     const std::vector<std::string>& outputs) {
  std::map<std::pair<dev_t, ino_t>, const std::string*> existing;
  for (const std::string& output : outputs) {
    struct stat info {};
    if (::stat(output.c_str(), &info) == 0) existing.emplace(std::make_pair(info.st_dev, info.st_ino), &output);
  }
  if (existing.empty()) return std::nullopt;
  for (const std::string& input : inputs) {
    struct stat info {};
    if (::stat(input.c_str(), &info) != 0) continue;
    const auto same = existing.find({info.st_dev, info.st_ino});
    if (same != existing.end()) return std::make_pair(*same->second, input);
  }
  return std::nullopt;
}

}  // namespace tablora
