#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"

namespace tablora {

// The thumbnail cache the desktop shares (the freedesktop Thumbnail Managing Standard): under
// root, normal/, large/, x-large/ and xx-large/ hold thumbnails of at most 128, 256, 512 and 1024
// pixels a side, each named by the MD5 of its file's URI, carrying the URI, the file's
// modification time and size in its text. File managers read what this program writes there and
// the other way round. Thumbnails are stored upright, over white.
//
// Reading is done on the caller's thread (several at once); writing on a thread of its own behind
// a short queue: a store never waits, and what the queue cannot take is dropped. A cache that
// cannot be written (a read-only folder, a full disk) is simply not written, without a word.
class DesktopThumbnailCache {
 public:
  static constexpr uint64_t kDefaultLimitBytes = uint64_t{1} << 30;
  struct SizeClass {
    const char* folder;
    int32_t side;
  };
  static constexpr std::array<SizeClass, 4> kSizes = {
      {{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}}};

  // `root` is the thumbnails folder (DefaultRoot()); failures go to fail/<failFolder>.
  DesktopThumbnailCache(std::string root, std::string failFolder, uint64_t limitBytes = kDefaultLimitBytes);
  // Writes what is queued, then stops.
  ~DesktopThumbnailCache();
  DesktopThumbnailCache(const DesktopThumbnailCache&) = delete;
  DesktopThumbnailCache& operator=(const DesktopThumbnailCache&) = delete;

  // $XDG_CACHE_HOME/thumbnails when that is set and not empty, else $HOME/.cache/thumbnails;
  // empty when neither is known.
  static std::string DefaultRoot();
  // "file://" and the absolute path, made absolute against the working folder and without "." or
  // ".." steps, its bytes percent-encoded where the desktop's own libraries encode them.
  static std::string FileUri(const std::string& path);

  // A picture file as the cache knows it.
  struct Source {
    std::string uri;
    std::string name;  // MD5 of the URI and ".png"
    uint64_t size = 0;
    int64_t modified = 0;  // seconds
  };
  // Nothing for a file that cannot be read, or that lies inside the cache itself.
  std::optional<Source> SourceOf(const std::string& path) const;

  // A fresh thumbnail (same URI, modification time and size) whose picture, fitted into a box of
  // boxWidth × boxHeight, needs no enlarging, unless it is the file's picture at full size. Damaged
  // thumbnails are removed (the decode that follows writes a sound one).
  struct Thumbnail {
    TBitmap pixels;  // upright
    int32_t imageWidth = 0;  // the file's picture, upright: the thumbnail's own size when unknown
    int32_t imageHeight = 0;
  };
  std::optional<Thumbnail> Find(const Source& source, int32_t boxWidth, int32_t boxHeight) const;
  // Whether a fresh record says this program failed to read the file, and the reader's words
  // then, when the record keeps them (empty when it does not).
  std::optional<std::string> FailureRecorded(const Source& source) const;

  // The side of the smallest size class holding a picture drawn at width × height; 0 when none
  // does (such pictures are not stored).
  static int32_t StoreSide(int32_t width, int32_t height);
  // Queues the upright thumbnail for the size class of `side`; imageWidth × imageHeight is the
  // file's picture, upright.
  void Store(const Source& source, TBitmap thumbnail, int32_t side, int32_t imageWidth, int32_t imageHeight);
  void RecordFailure(const Source& source, const std::string& problem = {});
  // Waits until everything queued so far is written (or given up).
  void Flush();

  // Past this many bytes of thumbnails the oldest are removed, down to 15/16 of it, so that a
  // full cache is not searched again for every thumbnail written.
  void SetLimit(uint64_t bytes) { limit_.store(bytes); }
  uint64_t Limit() const { return limit_.load(); }
  const std::string& Root() const { return root_; }
  // Writes dropped because the queue was full (for tests and benchmarks).
  uint64_t Dropped() const { return dropped_.load(); }

 private:
  struct Job {
    std::string folder;
    std::string name;
    std::vector<std::pair<std::string, std::string>> text;
    TBitmap pixels;
  };
  void Enqueue(Job job);
  void Write();
  void WriteOne(const Job& job);
  void Trim();
  uint64_t ScanBytes() const;
  template <typename Visit>
  void ForEachThumbnail(Visit&& visit) const;

  const std::string root_;
  const std::string failFolder_;
  std::atomic<uint64_t> limit_;
  std::atomic<uint64_t> dropped_{0};

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  bool writing_ = false;
  bool stopping_ = false;
  std::thread writer_;
  // Bytes of thumbnails under the size folders, known once the writer has counted them.
  std::optional<uint64_t> bytes_;
};

}  // namespace tablora
