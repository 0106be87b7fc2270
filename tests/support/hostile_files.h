#pragma once

#include <string>
#include <vector>

namespace tablora::test {

// Small files that claim a lot, made on the fly (never committed large).

// A 4-bit BMP of width x height whose pixel data stops after 64 bytes (the rest reads as 0).
std::string FourBitBmp(int width, int height);

// A progressive greyscale JPEG of width x height: a DC scan with no data, then `scans - 1` AC
// scans without data. Every scan costs a pass over all blocks, however few bytes it takes.
std::string ProgressiveGreyJpeg(int width, int height, int scans);

// Writes bytes to a file.
void WriteFile(const std::string& path, const std::string& bytes);

// Folders root/d/d/.../d nested `depth` deep, made relative to open handles so that paths of any
// length can be had; a file `name` holding `content` goes into the folder at each depth of `at`.
void MakeFolderChain(const std::string& root, int depth, const std::vector<int>& at, const std::string& name,
                     const std::string& content);
// The path of the folder at `depth` of such a chain.
std::string ChainFolder(const std::string& root, int depth);

// The bytes of a file; the sorted names in a folder.
std::string Contents(const std::string& path);
std::vector<std::string> FilesIn(const std::string& folder);

// A tmpfs of `kibibytes` mounted on a fresh folder, unmounted at the end; Mounted() is false
// (and the test should skip) where mounting is not permitted.
class ScratchDisk {
 public:
  explicit ScratchDisk(int kibibytes);
  ~ScratchDisk();
  ScratchDisk(const ScratchDisk&) = delete;
  ScratchDisk& operator=(const ScratchDisk&) = delete;
  bool Mounted() const { return mounted_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

}  // namespace tablora::test
