#include "platform/directory_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace tablora {

namespace {

class PosixListing : public DirectoryListing {
 public:
  explicit PosixListing(const std::string& folder) : dir_(::opendir(folder.c_str())) {
    if (dir_ != nullptr) fd_ = ::dirfd(dir_);
  }
  ~PosixListing() override {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  PosixListing(const PosixListing&) = delete;
  PosixListing& operator=(const PosixListing&) = delete;

  std::optional<DirectoryEntry> Next() override {
    if (dir_ == nullptr) return std::nullopt;
    while (const dirent* entry = ::readdir(dir_)) {
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      DirectoryEntry result;
      result.name = name;
      const bool mayBeDirectory =
          entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
      if (mayBeDirectory) {
        // Follows links: a link to a folder is a folder, a dangling link is a plain entry.
        struct stat info {};
        if (::fstatat(fd_, name, &info, 0) == 0 && S_ISDIR(info.st_mode)) {
          result.isDirectory = true;
          result.device = static_cast<uint64_t>(info.st_dev);
          result.inode = static_cast<uint64_t>(info.st_ino);
        }
      }
      return result;
    }
    return std::nullopt;
  }

 private:
  DIR* dir_;
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<DirectoryListing> PosixDirectorySearch::Open(const std::string& folder) {
  return std::make_unique<PosixListing>(folder);
}

bool PosixDirectorySearch::Identify(const std::string& folder, uint64_t& device, uint64_t& inode) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  device = static_cast<uint64_t>(info.st_dev);
  inode = static_cast<uint64_t>(info.st_ino);
  return true;
}

}  // namespace tablora
