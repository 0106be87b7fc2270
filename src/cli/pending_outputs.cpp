#include "cli/pending_outputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tablora::cli {

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkstemp makes its files readable by the owner only; the finished file gets the permissions
// any new file of this user gets.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

PendingOutputs::~PendingOutputs() { Discard(); }

std::string PendingOutputs::Add(const std::string& target) {
  const std::string folder = FolderOf(target);
  std::string pattern = folder + "/." + NameOf(target) + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    throw std::runtime_error("cannot create a file in '" + folder + "': " + std::strerror(errno));
  }
  ::fchmod(fd, NewFileMode());
  ::close(fd);
  entries_.push_back({pattern, target});
  return pattern;
}

std::vector<std::string> PendingOutputs::Commit() {
  std::vector<std::string> committed;
  while (!entries_.empty()) {
    const Entry& entry = entries_.front();
    if (std::rename(entry.temporary.c_str(), entry.target.c_str()) != 0) {
      throw std::runtime_error("cannot write '" + entry.target + "': " + std::strerror(errno));
    }
    committed.push_back(entry.target);
    entries_.erase(entries_.begin());
  }
  return committed;
}

void PendingOutputs::Discard() {
  for (const Entry& entry : entries_) ::unlink(entry.temporary.c_str());
  entries_.clear();
}

}  // namespace tablora::cli
