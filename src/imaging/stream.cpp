#include "imaging/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include "imaging/byte_order.h"
#include "imaging/checked.h"
#include "imaging/exceptions.h"
#include "imaging/format.h"
#include "imaging/image_limits.h"

namespace tablora {

namespace {

std::size_t ClampedSeek(std::size_t position, std::size_t size, int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  switch (origin) {
    case TSeekOrigin::soBeginning: base = 0; break;
    case TSeekOrigin::soCurrent: base = static_cast<int64_t>(position); break;
    case TSeekOrigin::soEnd: base = static_cast<int64_t>(size); break;
  }
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target)) target = offset > 0 ? INT64_MAX : 0;
  target = std::clamp<int64_t>(target, 0, static_cast<int64_t>(size));
  return static_cast<std::size_t>(target);
}

}  // namespace

void TStream::ReadBuffer(void* buffer, std::size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

uint8_t TStream::ReadByte() {
  uint8_t b;
  ReadBuffer(&b, 1);
  return b;
}

uint16_t TStream::ReadLE16() {
  uint8_t b[2];
  ReadBuffer(b, 2);
  return LoadLE16(b);
}

uint32_t TStream::ReadLE32() {
  uint8_t b[4];
  ReadBuffer(b, 4);
  return LoadLE32(b);
}

uint16_t TStream::ReadBE16() {
  uint8_t b[2];
  ReadBuffer(b, 2);
  return LoadBE16(b);
}

uint32_t TStream::ReadBE32() {
  uint8_t b[4];
  ReadBuffer(b, 4);
  return LoadBE32(b);
}

std::size_t TBufferStream::Read(void* buffer, std::size_t count) {
  const std::size_t n = std::min(count, size_ - position_);
  if (n > 0) std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

int64_t TBufferStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = ClampedSeek(position_, size_, offset, origin);
  return static_cast<int64_t>(position_);
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  const std::size_t n = std::min(count, bytes_.size() - position_);
  if (n > 0) std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = ClampedSeek(position_, bytes_.size(), offset, origin);
  return static_cast<int64_t>(position_);
}

void TMemoryStream::Write(const void* data, std::size_t count) {
  if (count == 0) return;
  const std::optional<std::size_t> end = CheckedAdd(position_, count);
  if (!end) throw std::bad_alloc();
  if (*end > bytes_.size()) bytes_.resize(*end);
  std::memcpy(bytes_.data() + position_, data, count);
  position_ += count;
}

void TMemoryStream::CopyFrom(TStream& source, std::size_t count) {
  const int64_t available = source.Remaining();
  if (available < 0 || static_cast<uint64_t>(available) < count) throw EReadError();
  bytes_.resize(count);
  position_ = 0;
  source.ReadBuffer(bytes_.data(), count);
}

void TMemoryStream::Clear() {
  bytes_.clear();
  position_ = 0;
}

namespace {

// A folder descriptor (or AT_FDCWD) and a name within it for `path`. Paths the kernel refuses as
// too long (a folder tree nested thousands deep) are walked a piece at a time, each piece opened
// relative to the folder the one before it gave, so that their files can still be read.
struct PathPlace {
  PathPlace() = default;
  PathPlace(const PathPlace&) = delete;
  PathPlace& operator=(const PathPlace&) = delete;
  ~PathPlace() {
    if (folder >= 0) ::close(folder);
  }
  int folder = AT_FDCWD;
  std::string name;
};

bool Locate(const std::string& path, PathPlace& place) {
  std::string_view rest = path;
  while (rest.size() >= PATH_MAX) {
    const std::size_t cut = rest.rfind('/', PATH_MAX - 1);
    if (cut == std::string_view::npos) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string head(rest.substr(0, cut == 0 ? 1 : cut));
    const int next = ::openat(place.folder, head.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (next < 0) return false;
    if (place.folder >= 0) ::close(place.folder);
    place.folder = next;
    rest.remove_prefix(cut);
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  }
  place.name = rest;
  return true;
}

[[noreturn]] void CannotOpen(const std::string& path, const char* reason) {
  throw EFOpenError(Format("Cannot open file \"%s\". %s", path.c_str(), reason));
}

}  // namespace

TFileStream::TFileStream(const std::string& path) {
  // Only regular files are read. A FIFO or a device named like a picture would block open() or
  // read() forever (or act on its device), so its kind is looked at first (following links), the
  // open never waits, and the kind is checked again on what was really opened.
  PathPlace place;
  struct stat info {};
  if (!Locate(path, place) || ::fstatat(place.folder, place.name.c_str(), &info, 0) != 0) {
    CannotOpen(path, std::strerror(errno));
  }
  const auto refuse = [&](const struct stat& kind) {
    if (S_ISDIR(kind.st_mode)) CannotOpen(path, std::strerror(EISDIR));
    if (!S_ISREG(kind.st_mode)) CannotOpen(path, "Not a regular file");
  };
  refuse(info);
  fd_ = ::openat(place.folder, place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) CannotOpen(path, std::strerror(errno));
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    if (!S_ISREG(info.st_mode)) refuse(info);
    CannotOpen(path, std::strerror(error));
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  std::size_t done = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(fd_, out + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  const int64_t size = Size();
  off_t position = ::lseek(fd_, 0, SEEK_CUR);
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? position : size;
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target)) target = offset > 0 ? INT64_MAX : 0;
  target = std::clamp<int64_t>(target, 0, size);
  return ::lseek(fd_, static_cast<off_t>(target), SEEK_SET);
}

int64_t TFileStream::Size() {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  TFileStream file(path);
  CheckFileDataSize(static_cast<uint64_t>(file.Size()));
  std::vector<uint8_t> bytes(static_cast<std::size_t>(file.Size()));
  bytes.resize(file.Read(bytes.data(), bytes.size()));
  return bytes;
}

}  // namespace tablora
