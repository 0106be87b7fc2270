#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tablora {

struct DirectoryEntry {
  std::string name;  // bytes as the file system stores them
  bool isDirectory = false;
  // Identity of a directory (device and inode), so a walk can refuse to enter one twice.
  uint64_t device = 0;
  uint64_t inode = 0;
};

// Lists one folder. A folder that cannot be opened, or that vanishes while it is listed, simply
// has no (further) entries. "." and ".." are never returned.
class DirectoryListing {
 public:
  virtual ~DirectoryListing() = default;
  virtual std::optional<DirectoryEntry> Next() = 0;
};

class DirectorySearch {
 public:
  virtual ~DirectorySearch() = default;
  virtual std::unique_ptr<DirectoryListing> Open(const std::string& folder) = 0;
  // The subfolder `name` of a folder being listed, `path` being its whole path. A search that
  // works by path opens `path`; the real file system opens the subfolder relative to its parent's
  // handle, so that no limit on the length of paths applies. nullptr when it cannot be opened.
  virtual std::unique_ptr<DirectoryListing> OpenChild(DirectoryListing& parent, const std::string& name,
                                                      const std::string& path) {
    (void)parent;
    (void)name;
    return Open(path);
  }
  // Device and inode of a folder itself; false when it cannot be examined.
  virtual bool Identify(const std::string& folder, uint64_t& device, uint64_t& inode) = 0;
};

// The real file system (opendir/readdir; links to folders count as folders). Subfolders open
// relative to their parent's handle (openat/fdopendir). Each listing holds one open file while it
// lives, and a walk holds one per level of the folder it is in, so the depth of a walk is bounded by
// the open files the process may have: the search raises the process's soft limit to its hard limit
// (at most kMostFolderHandles) and keeps kSpareHandles of them for everything else. A subfolder
// beyond that depth does not open, like one that cannot be read.
class PosixDirectorySearch : public DirectorySearch {
 public:
  static constexpr int kMostFolderHandles = 1 << 16;
  static constexpr int kSpareHandles = 256;

  PosixDirectorySearch();
  std::unique_ptr<DirectoryListing> Open(const std::string& folder) override;
  std::unique_ptr<DirectoryListing> OpenChild(DirectoryListing& parent, const std::string& name,
                                              const std::string& path) override;
  bool Identify(const std::string& folder, uint64_t& device, uint64_t& inode) override;

  // Listings this search may have open at once; tests may lower it.
  int MaxOpen() const { return maxOpen_; }
  void SetMaxOpen(int listings) { maxOpen_ = listings; }

 private:
  std::shared_ptr<int> open_;
  int maxOpen_;
};

}  // namespace tablora
