#include "sheet/thumbnail_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "imaging/image_format.h"
#include "imaging/readers/png_reader.h"
#include "imaging/stream.h"
#include "platform/digest.h"
#include "platform/png_encoder.h"
#include "sheet/thumbnail_pipeline.h"

namespace tablora {

namespace {

// A thumbnail of 1024 pixels a side takes a few megabytes at most; anything far larger under the
// cache's name is not one and is not mapped.
constexpr uint64_t kLargestThumbnailFile = uint64_t{32} << 20;
// The writer's queue: a page's worth of thumbnails, and no more pixels than this, wait at once.
constexpr std::size_t kMostQueued = 256;
constexpr uint64_t kMostQueuedBytes = uint64_t{64} << 20;

// The characters GLib leaves as they are in a file URI's path; every other byte is %XX.
bool KeptInUri(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!$&'()*+,-./:=@_~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::optional<int64_t> ParseInteger(const std::string& text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  // Some writers give the time with a fraction of a second; the seconds are what is compared.
  if (error != std::errc() || stop == text.data() || (stop != end && *stop != '.')) return std::nullopt;
  return value;
}

// Makes the folder and any missing parents, each readable by this user only.
bool MakeFolders(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const std::size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash))) return false;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return true;
}

struct ReadOutcome {
  bool damaged = false;
  std::optional<TBitmap> pixels;
  TPNGGraphic::TTextEntries text;
};

ReadOutcome ReadPng(const std::string& path) {
  ReadOutcome outcome;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return outcome;
  if (static_cast<uint64_t>(info.st_size) > kLargestThumbnailFile) {
    outcome.damaged = true;
    return outcome;
  }
  try {
    const TFileBytes file(path);
    const std::span<const uint8_t> bytes = file.Bytes();
    TBufferStream stream(bytes.data(), bytes.size());
    TPNGGraphic png;
    png.LoadFromStream(stream);
    if (png.Width() <= 0 || png.Height() <= 0) throw std::runtime_error("empty");
    outcome.text = png.TextEntries();
    outcome.pixels.emplace(png);
  } catch (...) {
    // Missing by now (another program's clean-up) is not damage.
    outcome.damaged = ::access(path.c_str(), F_OK) == 0;
  }
  return outcome;
}

std::optional<std::string> TextOf(const TPNGGraphic::TTextEntries& text, std::string_view key) {
  for (const auto& [k, v] : text) {
    if (k == key) return v;
  }
  return std::nullopt;
}

// The record describes the file as it is now.
bool Fresh(const TPNGGraphic::TTextEntries& text, const DesktopThumbnailCache::Source& source) {
  if (TextOf(text, "Thumb::URI") != source.uri) return false;
  const std::optional<std::string> mtime = TextOf(text, "Thumb::MTime");
  if (!mtime || ParseInteger(*mtime) != source.modified) return false;
  // The size is optional in the standard; when it is there it must agree.
  const std::optional<std::string> size = TextOf(text, "Thumb::Size");
  if (size) {
    const std::optional<int64_t> value = ParseInteger(*size);
    if (!value || static_cast<uint64_t>(*value) != source.size) return false;
  }
  return true;
}

std::vector<std::pair<std::string, std::string>> Describe(const DesktopThumbnailCache::Source& source) {
  return {{"Thumb::URI", source.uri},
          {"Thumb::MTime", std::to_string(source.modified)},
          {"Thumb::Size", std::to_string(source.size)},
          {"Software", "Tablora"}};
}

}  // namespace

DesktopThumbnailCache::DesktopThumbnailCache(std::string root, std::string failFolder, uint64_t limitBytes)
    : root_(std::move(root)), failFolder_(std::move(failFolder)), limit_(limitBytes) {}

DesktopThumbnailCache::~DesktopThumbnailCache() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
}

std::string DesktopThumbnailCache::DefaultRoot() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && *cache != '\0') return std::string(cache) + "/thumbnails";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.cache/thumbnails";
  return {};
}

std::string DesktopThumbnailCache::FileUri(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') {
    std::error_code error;
    absolute = (std::filesystem::current_path(error) / path).string();
  }
  absolute = std::filesystem::path(absolute).lexically_normal().string();
  if (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  std::string uri = "file://";
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : absolute) {
    const auto byte = static_cast<unsigned char>(c);
    if (KeptInUri(byte)) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 15];
    }
  }
  return uri;
}

std::optional<DesktopThumbnailCache::Source> DesktopThumbnailCache::SourceOf(const std::string& path) const {
  if (root_.empty()) return std::nullopt;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || ::access(path.c_str(), R_OK) != 0) {
    return std::nullopt;
  }
  Source source;
  source.uri = FileUri(path);
  // Thumbnails of thumbnails would only feed on themselves.
  if (source.uri.starts_with(FileUri(root_) + "/")) return std::nullopt;
  source.name = Md5Hex(source.uri) + ".png";
  source.size = static_cast<uint64_t>(info.st_size);
  source.modified = info.st_mtim.tv_sec;
  return source;
}

std::optional<DesktopThumbnailCache::Thumbnail> DesktopThumbnailCache::Find(const Source& source, int32_t boxWidth,
                                                                          int32_t boxHeight) const {
  for (const SizeClass& size : kSizes) {
    const std::string path = root_ + "/" + size.folder + "/" + source.name;
    ReadOutcome read = ReadPng(path);
    if (read.damaged) ::unlink(path.c_str());
    if (!read.pixels || !Fresh(read.text, source)) continue;
    Thumbnail found;
    found.pixels = std::move(*read.pixels);
    const int32_t width = found.pixels.Width();
    const int32_t height = found.pixels.Height();
    const auto side = [&](const char* key) {
      const std::optional<std::string> text = TextOf(read.text, key);
      const std::optional<int64_t> value = text ? ParseInteger(*text) : std::nullopt;
      return value && *value > 0 && *value <= INT32_MAX ? static_cast<int32_t>(*value) : 0;
    };
    found.imageWidth = side("Thumb::Image::Width");
    found.imageHeight = side("Thumb::Image::Height");
    bool fullSize = false;
    if (found.imageWidth == 0 || found.imageHeight == 0) {
      found.imageWidth = width;
      found.imageHeight = height;
    } else {
      // Some writers give the picture's size as stored, before it is turned upright.
      if ((found.imageWidth > found.imageHeight) != (width > height) && width != height) {
        std::swap(found.imageWidth, found.imageHeight);
      }
      fullSize = found.imageWidth == width && found.imageHeight == height;
    }
    const FittedImage fit = FitIntoBox(found.imageWidth, found.imageHeight, boxWidth, boxHeight);
    if (fullSize || (fit.width <= width && fit.height <= height)) return found;
  }
  return std::nullopt;
}

// Beside the standard's keys, in this program's own namespace as the standard asks.
constexpr const char* kProblemKey = "X-Tablora::Problem";
constexpr std::size_t kLongestProblem = 500;

std::optional<std::string> DesktopThumbnailCache::FailureRecorded(const Source& source) const {
  const ReadOutcome read = ReadPng(root_ + "/fail/" + failFolder_ + "/" + source.name);
  if (!read.pixels || !Fresh(read.text, source)) return std::nullopt;
  return TextOf(read.text, kProblemKey).value_or(std::string()).substr(0, kLongestProblem);
}

int32_t DesktopThumbnailCache::StoreSide(int32_t width, int32_t height) {
  const int32_t longer = std::max(width, height);
  for (const SizeClass& size : kSizes) {
    if (longer <= size.side) return size.side;
  }
  return 0;
}

void DesktopThumbnailCache::Store(const Source& source, TBitmap thumbnail, int32_t side, int32_t imageWidth,
                                  int32_t imageHeight) {
  const auto size = std::find_if(kSizes.begin(), kSizes.end(), [&](const SizeClass& s) { return s.side == side; });
  if (size == kSizes.end() || thumbnail.Empty()) return;
  Job job{size->folder, source.name, Describe(source), std::move(thumbnail)};
  job.text.emplace_back("Thumb::Image::Width", std::to_string(imageWidth));
  job.text.emplace_back("Thumb::Image::Height", std::to_string(imageHeight));
  Enqueue(std::move(job));
}

void DesktopThumbnailCache::RecordFailure(const Source& source, const std::string& problem) {
  TBitmap pixel;
  pixel.SetPixelFormat(pf24bit);
  pixel.SetSize(1, 1);
  Job job{"fail/" + failFolder_, source.name, Describe(source), std::move(pixel)};
  // The reader's words, so that the next session can still say why.
  if (!problem.empty()) job.text.emplace_back(kProblemKey, problem.substr(0, kLongestProblem));
  Enqueue(std::move(job));
}

void DesktopThumbnailCache::Enqueue(Job job) {
  std::lock_guard lock(mutex_);
  uint64_t queued = 0;
  for (const Job& waiting : queue_) queued += waiting.pixels.RowSize() * static_cast<uint64_t>(waiting.pixels.Height());
  const uint64_t bytes = job.pixels.RowSize() * static_cast<uint64_t>(job.pixels.Height());
  if (stopping_ || queue_.size() >= kMostQueued || queued + bytes > kMostQueuedBytes) {
    dropped_.fetch_add(1);
    return;
  }
  queue_.push_back(std::move(job));
  if (!writer_.joinable()) writer_ = std::thread([this] { Write(); });
  changed_.notify_all();
}

void DesktopThumbnailCache::Flush() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return queue_.empty() && !writing_; });
}

void DesktopThumbnailCache::Write() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      // At the end the queue is still written out: it is short, and the next start reads it.
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
      writing_ = true;
    }
    try {
      WriteOne(job);
    } catch (...) {
      // Out of memory for the encoding: this thumbnail is not written.
    }
    {
      std::lock_guard lock(mutex_);
      writing_ = false;
    }
    changed_.notify_all();
  }
}

void DesktopThumbnailCache::WriteOne(const Job& job) {
  const std::string folder = root_ + "/" + job.folder;
  if (root_.empty() || !MakeFolders(folder)) return;
  const std::vector<uint8_t> bytes = EncodePng(job.pixels, job.text);
  // Under a temporary name until whole, so that no reader ever sees half a thumbnail.
  std::string temporary = folder + "/" + job.name + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return;
  bool written = ::fchmod(fd, 0600) == 0;
  std::size_t done = 0;
  while (written && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<std::size_t>(n);
  }
  written = ::close(fd) == 0 && written;
  const std::string target = folder + "/" + job.name;
  struct stat old {};
  const uint64_t replaced = ::stat(target.c_str(), &old) == 0 ? static_cast<uint64_t>(old.st_size) : 0;
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return;
  }
  if (job.folder.starts_with("fail/")) return;
  if (!bytes_) bytes_ = ScanBytes();
  else *bytes_ = *bytes_ - std::min(replaced, *bytes_) + bytes.size();
  if (*bytes_ > limit_.load()) Trim();
}

// Calls visit(path, stat) for every regular file of the four size folders.
template <typename Visit>
void DesktopThumbnailCache::ForEachThumbnail(Visit&& visit) const {
  for (const SizeClass& size : kSizes) {
    const std::string folder = root_ + "/" + size.folder;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) continue;
    while (const dirent* entry = ::readdir(dir)) {
      struct stat info {};
      if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)) {
        visit(folder + "/" + entry->d_name, info);
      }
    }
    ::closedir(dir);
  }
}

uint64_t DesktopThumbnailCache::ScanBytes() const {
  uint64_t total = 0;
  ForEachThumbnail([&](const std::string&, const struct stat& info) { total += static_cast<uint64_t>(info.st_size); });
  return total;
}

void DesktopThumbnailCache::Trim() {
  struct Entry {
    int64_t modified;
    std::string path;
    uint64_t size;
  };
  std::vector<Entry> entries;
  uint64_t total = 0;
  ForEachThumbnail([&](const std::string& path, const struct stat& info) {
    const int64_t modified = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    entries.push_back({modified, path, static_cast<uint64_t>(info.st_size)});
    total += static_cast<uint64_t>(info.st_size);
  });
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return std::tie(a.modified, a.path) < std::tie(b.modified, b.path); });
  const uint64_t goal = limit_.load() / 16 * 15;
  for (const Entry& entry : entries) {
    if (total <= goal) break;
    if (::unlink(entry.path.c_str()) == 0) total -= entry.size;
  }
  bytes_ = total;
}

}  // namespace tablora
