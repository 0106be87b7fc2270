#include "support/hostile_files.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tablora::test {

namespace {

void Le(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Be16(std::string& out, uint32_t value) {
  out += static_cast<char>((value >> 8) & 0xFF);
  out += static_cast<char>(value & 0xFF);
}

// A marker segment: FF, marker, 16-bit length (itself included), payload.
void Segment(std::string& out, uint8_t marker, const std::string& payload) {
  out += '\xFF';
  out += static_cast<char>(marker);
  Be16(out, static_cast<uint32_t>(payload.size() + 2));
  out += payload;
}

}  // namespace

std::string FourBitBmp(int width, int height) {
  std::string info;
  Le(info, 40, 4);                                  // header size
  Le(info, static_cast<uint32_t>(width), 4);
  Le(info, static_cast<uint32_t>(height), 4);
  Le(info, 1, 2);                                   // planes
  Le(info, 4, 2);                                   // bits per pixel
  for (int i = 0; i < 6; ++i) Le(info, 0, 4);       // BI_RGB, sizes, resolution, colours
  for (int i = 0; i < 16; ++i) Le(info, 0x00FF0000u | (i * 0x1111u), 4);
  info += std::string(64, '\x12');
  std::string file = "BM";
  Le(file, static_cast<uint32_t>(14 + info.size()), 4);
  Le(file, 0, 4);
  Le(file, 14 + 40 + 64, 4);                        // pixel data offset
  return file + info;
}

std::string ProgressiveGreyJpeg(int width, int height, int scans) {
  std::string out = "\xFF\xD8";
  Segment(out, 0xDB, std::string(1, '\0') + std::string(64, '\x01'));  // quantisation table 0
  std::string frame = "\x08";                                          // SOF2: 8 bits
  Be16(frame, static_cast<uint32_t>(height));
  Be16(frame, static_cast<uint32_t>(width));
  frame += std::string("\x01\x01\x11\x00", 4);                          // one component
  Segment(out, 0xC2, frame);
  const std::string oneCode = std::string("\x01") + std::string(15, '\0') + std::string(1, '\0');
  Segment(out, 0xC4, std::string(1, '\x00') + oneCode);                 // DC table 0
  Segment(out, 0xC4, std::string(1, '\x10') + oneCode);                 // AC table 0: EOB only
  Segment(out, 0xDA, std::string("\x01\x01\x00\x00\x00\x00", 6));       // DC scan
  for (int i = 1; i < scans; ++i) Segment(out, 0xDA, std::string("\x01\x01\x00\x01\x3F\x00", 6));
  return out + "\xFF\xD9";
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void MakeFolderChain(const std::string& root, int depth, const std::vector<int>& at, const std::string& name,
                     const std::string& content) {
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; fd >= 0; ++level) {
    if (std::find(at.begin(), at.end(), level) != at.end()) {
      const int file = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (file >= 0 && ::write(file, content.data(), content.size()) >= 0) ::close(file);
    }
    if (level == depth) break;
    ::mkdirat(fd, "d", 0755);
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = next;
  }
  if (fd >= 0) ::close(fd);
}

std::string ChainFolder(const std::string& root, int depth) {
  std::string path = root;
  for (int i = 0; i < depth; ++i) path += "/d";
  return path;
}

std::string Contents(const std::string& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

ScratchDisk::ScratchDisk(int kibibytes) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tablora-disk-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return;
  path_ = pattern;
  const std::string options = "size=" + std::to_string(kibibytes) + "k";
  mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

ScratchDisk::~ScratchDisk() {
  if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  if (!path_.empty()) ::rmdir(path_.c_str());
}

}  // namespace tablora::test
