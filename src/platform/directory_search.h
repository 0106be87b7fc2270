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
  // Device and inode of a folder itself; false when it cannot be examined.
  virtual bool Identify(const std::string& folder, uint64_t& device, uint64_t& inode) = 0;
};

// The real file system (opendir/readdir; links to folders count as folders).
class PosixDirectorySearch : public DirectorySearch {
 public:
  std::unique_ptr<DirectoryListing> Open(const std::string& folder) override;
  bool Identify(const std::string& folder, uint64_t& device, uint64_t& inode) override;
};

}  // namespace tablora
