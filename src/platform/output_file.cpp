#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/path_text.h"

namespace tablora {

namespace {

// Temporaries have short names of their own, not the target's with a tail, so that a target whose
// name is as long as the file system allows still has room for its temporary; which target each
// stands for is remembered here until it is committed or discarded.
constexpr const char* kTemporaryName = ".tablora-XXXXXX";

std::mutex g_targetsMutex;
std::map<std::string, std::string>& Targets() {
  static std::map<std::string, std::string> targets;
  return targets;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), text.end() - static_cast<std::ptrdiff_t>(tail.size()),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// mkstemp makes its files readable by the owner only; the finished file gets the permissions any
// new file of this user gets.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

// A whole number at `at` (ASCII digits); moves past it.
bool Number(std::string_view text, std::size_t& at, uint64_t& value) {
  const std::size_t start = at;
  value = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && at - start < 19) {
    value = value * 10 + static_cast<uint64_t>(text[at++] - '0');
  }
  return at > start;
}

void SkipSpace(std::string_view text, std::size_t& at) {
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
}

// Reads pieces of a file by position, so that checking a file of any size costs a few pages of
// memory rather than the whole file's.
class FilePieces {
 public:
  FilePieces(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t Size() const { return size_; }
  // Up to `length` bytes from `offset`; fewer at the end of the file or on a failed read.
  std::string Read(uint64_t offset, std::size_t length) const {
    std::string bytes;
    if (offset >= size_) return bytes;
    bytes.resize(static_cast<std::size_t>(std::min<uint64_t>(length, size_ - offset)));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
  }

 private:
  int fd_;
  uint64_t size_;
};

// Where a PDF reader looks for startxref: the end of the file.
constexpr std::size_t kPdfTail = 1024;

// The file ends in "%%EOF" after a startxref that points at a classic cross-reference table, and
// every object in use starts where the table says. A write lost anywhere shifts what follows it
// or cuts the end off, so either check fails.
bool WholePdf(const FilePieces& file) {
  const uint64_t size = file.Size();
  if (file.Read(0, 5) != "%PDF-") return false;
  const uint64_t tailStart = size > kPdfTail ? size - kPdfTail : 0;
  const std::string tail = file.Read(tailStart, kPdfTail);
  std::size_t end = tail.size();
  while (end > 0 && std::isspace(static_cast<unsigned char>(tail[end - 1]))) --end;
  if (end < 5 || tail.compare(end - 5, 5, "%%EOF") != 0) return false;
  const std::size_t startxref = tail.rfind("startxref", end);
  if (startxref == std::string::npos) return false;
  std::size_t at = startxref + 9;
  SkipSpace(tail, at);
  uint64_t table = 0;
  if (!Number(tail, at, table) || table >= size) return false;
  const std::string xref = file.Read(table, static_cast<std::size_t>(size - table));
  if (xref.compare(0, 4, "xref") != 0) return false;
  at = 4;
  bool any = false;
  for (;;) {
    SkipSpace(xref, at);
    if (xref.compare(at, 7, "trailer") == 0) return any;
    uint64_t first = 0;
    uint64_t count = 0;
    if (!Number(xref, at, first)) return false;
    SkipSpace(xref, at);
    if (!Number(xref, at, count)) return false;
    for (uint64_t k = 0; k < count; ++k) {
      uint64_t offset = 0;
      uint64_t generation = 0;
      SkipSpace(xref, at);
      if (!Number(xref, at, offset)) return false;
      SkipSpace(xref, at);
      if (!Number(xref, at, generation)) return false;
      SkipSpace(xref, at);
      if (at >= xref.size()) return false;
      const char kind = xref[at++];
      if (kind != 'n') continue;
      const std::string object = std::to_string(first + k) + " " + std::to_string(generation) + " obj";
      if (offset >= size || file.Read(offset, object.size()) != object) return false;
      any = true;
    }
  }
}

uint32_t BigEndian32(std::string_view bytes, std::size_t at) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// The chunks follow each other from the signature to an IEND chunk that ends the file.
bool WholePng(std::string_view png) {
  if (png.substr(0, 8) != std::string_view("\x89PNG\r\n\x1a\n", 8)) return false;
  std::size_t at = 8;
  while (png.size() - at >= 12) {
    const uint64_t length = BigEndian32(png, at);
    const std::string_view type = png.substr(at + 4, 4);
    if (length > png.size() - at - 12) return false;
    at += 12 + length;
    if (type == "IEND") return at == png.size();
  }
  return false;
}

// A JPEG file written here runs from its start-of-image marker to its end-of-image marker.
bool WholeJpeg(std::string_view jpeg) {
  return jpeg.size() >= 4 && jpeg.substr(0, 2) == "\xFF\xD8" && jpeg.substr(jpeg.size() - 2) == "\xFF\xD9";
}

// Why a check found the file short: a full disk is the usual cause, and worth saying.
std::string WhyIncomplete(const std::string& path) {
  struct statvfs disk {};
  if (::statvfs(path.c_str(), &disk) == 0 && uint64_t{disk.f_bavail} * disk.f_frsize < (uint64_t{64} << 10)) {
    return std::strerror(ENOSPC);
  }
  return "the file was not written completely";
}

}  // namespace

std::string CannotWrite(const std::string& target, const std::string& reason) {
  return "cannot write '" + target + "': " + reason;
}

std::string CreateTemporaryBeside(const std::string& target) {
  const std::string_view folder = FolderPart(target);
  std::string pattern = std::string(folder) + kTemporaryName;
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    const std::string shown = folder.empty() ? "." : std::string(folder.substr(0, std::max<std::size_t>(folder.size() - 1, 1)));
    throw std::runtime_error("cannot create a file in '" + shown + "': " + std::strerror(errno));
  }
  ::fchmod(fd, NewFileMode());
  ::close(fd);
  std::lock_guard lock(g_targetsMutex);
  Targets()[pattern] = target;
  return pattern;
}

std::string TargetOfTemporary(const std::string& temporary) {
  std::lock_guard lock(g_targetsMutex);
  const auto it = Targets().find(temporary);
  return it == Targets().end() ? temporary : it->second;
}

void DiscardTemporary(const std::string& temporary) {
  ::unlink(temporary.c_str());
  std::lock_guard lock(g_targetsMutex);
  Targets().erase(temporary);
}

void CheckOutput(const std::string& temporary) {
  const std::string target = TargetOfTemporary(temporary);
  const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(CannotWrite(target, std::strerror(errno)));
  struct stat info {};
  int error = ::fsync(fd) == 0 && ::fstat(fd, &info) == 0 ? 0 : errno;
  bool whole = true;
  const bool pdf = EndsWithNoCase(target, ".pdf");
  const bool jpeg = EndsWithNoCase(target, ".jpg") || EndsWithNoCase(target, ".jpeg");
  if (error == 0 && pdf) {
    whole = WholePdf(FilePieces(fd, static_cast<uint64_t>(info.st_size)));
  } else if (error == 0 && (jpeg || EndsWithNoCase(target, ".png"))) {
    const auto size = static_cast<std::size_t>(info.st_size);
    void* bytes = size > 0 ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
    if (bytes == MAP_FAILED) {
      error = errno;
    } else {
      const std::string_view content(static_cast<const char*>(bytes), bytes ? size : 0);
      whole = jpeg ? WholeJpeg(content) : WholePng(content);
      if (bytes != nullptr) ::munmap(bytes, size);
    }
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw std::runtime_error(CannotWrite(target, std::strerror(error)));
  if (!whole) throw std::runtime_error(CannotWrite(target, WhyIncomplete(temporary)));
}

void CommitOutput(const std::string& temporary) {
  const std::string target = TargetOfTemporary(temporary);
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    throw std::runtime_error(CannotWrite(target, std::strerror(errno)));
  }
  std::lock_guard lock(g_targetsMutex);
  Targets().erase(temporary);
}

}  // namespace tablora
