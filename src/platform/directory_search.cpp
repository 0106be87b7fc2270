#include "platform/directory_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace tablora {

namespace {

// The open files a walk may spend on folders: the soft limit, raised to the hard one where it can
// be, less what the rest of the program needs.
int FolderHandleBudget() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 64;
  const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, PosixDirectorySearch::kMostFolderHandles);
  if (limit.rlim_cur < wanted) {
    rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  const rlim_t usable = std::min<rlim_t>(limit.rlim_cur, PosixDirectorySearch::kMostFolderHandles);
  return std::max(16, static_cast<int>(usable) - PosixDirectorySearch::kSpareHandles);
}

class PosixListing : public DirectoryListing {
 public:
  // Takes over dir (which may be null); counts itself in `open` while it lives.
  PosixListing(DIR* dir, std::shared_ptr<int> open) : dir_(dir), open_(std::move(open)) {
    if (dir_ != nullptr) {
      fd_ = ::dirfd(dir_);
      ++*open_;
    }
  }
  ~PosixListing() override {
    if (dir_ != nullptr) {
      ::closedir(dir_);
      --*open_;
    }
  }

  int Handle() const { return fd_; }
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
  std::shared_ptr<int> open_;
  int fd_ = -1;
};

}  // namespace

PosixDirectorySearch::PosixDirectorySearch() : open_(std::make_shared<int>(0)) {
  static const int budget = FolderHandleBudget();
  maxOpen_ = budget;
}

std::unique_ptr<DirectoryListing> PosixDirectorySearch::Open(const std::string& folder) {
  return std::make_unique<PosixListing>(*open_ < maxOpen_ ? ::opendir(folder.c_str()) : nullptr, open_);
}

std::unique_ptr<DirectoryListing> PosixDirectorySearch::OpenChild(DirectoryListing& parent,
                                                                  const std::string& name,
                                                                  const std::string& path) {
  auto* posix = dynamic_cast<PosixListing*>(&parent);
  if (posix == nullptr || posix->Handle() < 0) return Open(path);
  if (*open_ >= maxOpen_) return nullptr;
  // O_NONBLOCK: a name that turned into a FIFO since it was listed must not hang the walk.
  const int fd = ::openat(posix->Handle(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixListing>(dir, open_);
}

bool PosixDirectorySearch::Identify(const std::string& folder, uint64_t& device, uint64_t& inode) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  device = static_cast<uint64_t>(info.st_dev);
  inode = static_cast<uint64_t>(info.st_ino);
  return true;
}

}  // namespace tablora
