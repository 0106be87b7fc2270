#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/cancel.h"
#include "sheet/sheet_template.h"
#include "sheet/thumbnail_cache.h"
#include "sheet/thumbnail_image.h"

namespace tablora {

// Where an image of w × h pixels lands in a box: the largest size of its proportions that fits,
// centred. Integer arithmetic of the page layout; the drawn size is at least one pixel.
struct FittedImage {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};
FittedImage FitIntoBox(int32_t imageWidth, int32_t imageHeight, int32_t boxWidth, int32_t boxHeight);

// How an upright picture goes into its box as the template asks: turned a quarter (Rotate, when
// the picture and the box lie differently), reduced to `reduced` (its size before the turn), and
// for Fill cropped about its centre to the box.
struct PicturePlacement {
  bool turn = false;
  FittedImage reduced;  // width and height: the upright picture's size once reduced
  FittedImage place;    // where the drawn picture lands in the box
};
PicturePlacement PlaceInBox(int32_t imageWidth, int32_t imageHeight, int32_t boxWidth, int32_t boxHeight,
                            PictureFit fit);
// The upright picture reduced to placement.reduced, turned and cropped as placed.
TBitmap FinishPicture(const TBitmap& reducedUpright, const PicturePlacement& placement);

// A cell's picture, ready to draw: reduced to its drawn size, upright, over white.
struct CellPicture {
  std::shared_ptr<const TBitmap> pixels;  // null: the file did not load
  FittedImage place;
  // Why the file did not load, in its reader's words; empty when it did, or was not tried.
  std::string problem;
};

// Reduced pictures of files, kept for a page drawn again at the same size. Bounded by bytes,
// least recently used first out; a file that changed on disk (size or modification time) is a
// new key. Safe to use from several threads.
class ThumbnailCache {
 public:
  explicit ThumbnailCache(uint64_t capacityBytes = uint64_t{256} << 20) : capacity_(capacityBytes) {}
  struct Key {
    std::string path;
    uint64_t size = 0;
    int64_t modified = 0;  // nanoseconds
    int32_t boxWidth = 0;
    int32_t boxHeight = 0;
    PictureFit fit = PictureFit::Fit;
    auto Tie() const { return std::tie(path, size, modified, boxWidth, boxHeight, fit); }
    friend bool operator<(const Key& a, const Key& b) { return a.Tie() < b.Tie(); }
  };
  // The key of a file as it is now; nothing when it cannot be looked at.
  static std::optional<Key> KeyOf(const std::string& path, int32_t boxWidth, int32_t boxHeight,
                                  PictureFit fit = PictureFit::Fit);
  std::optional<CellPicture> Find(const Key& key);
  void Store(const Key& key, const CellPicture& picture);
  void SetCapacity(uint64_t bytes);
  uint64_t Bytes() const;
  void Clear();
  // The desktop's cache behind this one, asked before a decode and given what is decoded; null:
  // none. Changed only while no page is being drawn.
  void SetDesktop(DesktopThumbnailCache* desktop) { desktop_ = desktop; }
  DesktopThumbnailCache* Desktop() const { return desktop_; }

 private:
  void Trim();
  DesktopThumbnailCache* desktop_ = nullptr;
  mutable std::mutex mutex_;
  uint64_t capacity_;
  uint64_t bytes_ = 0;
  std::list<std::pair<Key, CellPicture>> order_;  // most recent first
  std::map<Key, std::list<std::pair<Key, CellPicture>>::iterator> index_;
};

// Loads, reduces and turns upright the pictures of one page's cells. With one job everything
// happens on the caller's thread, cell by cell; with more, worker threads work ahead in page
// order while the caller draws, holding at most a budget of bytes of decodes in flight.
class ThumbnailPipeline {
 public:
  struct Request {
    std::string path;
    int32_t boxWidth = 0;
    int32_t boxHeight = 0;
    PictureFit fit = PictureFit::Fit;
  };
  // Whether the pictures made are kept in the cache too: not for pages nobody draws again at
  // their size (printed ones), which would only push out the window's pictures.
  enum class Keep { InCache, Not };
  ThumbnailPipeline(ThumbnailLoader& loader, ThumbnailCache* cache, int jobs, uint64_t budgetBytes,
                    std::vector<Request> requests, Keep keep = Keep::InCache);
  ~ThumbnailPipeline();
  ThumbnailPipeline(const ThumbnailPipeline&) = delete;
  ThumbnailPipeline& operator=(const ThumbnailPipeline&) = delete;

  // The picture of cell i (in request order). While it is not ready, `wait` is called every few
  // milliseconds; when it answers false the pipeline stops and nothing is returned.
  std::optional<CellPicture> Take(std::size_t i, const std::function<bool()>& wait);
  // No new load starts; loads under way finish and are dropped.
  void Cancel();

  // Loads one cell on the calling thread; `file` is its file already mapped (else it is mapped
  // here), so that the estimate, the load and the orientation read one mapping.
  // What a load keeps besides the cell's picture: the picture upright with its longer side
  // reduced to `side` (the whole picture when it is no larger), from the same decode.
  struct Kept {
    int32_t side = 0;
    TBitmap pixels;
    int32_t imageWidth = 0;  // the file's picture, upright
    int32_t imageHeight = 0;
    bool loaded = false;  // the file loaded, whether or not its pixels decoded
  };
  static CellPicture Produce(ThumbnailLoader& loader, const Request& request,
                             std::shared_ptr<const TFileBytes> file = nullptr, Kept* kept = nullptr);

 private:
  void Work();
  std::optional<CellPicture> Cached(std::size_t i);
  void Store(std::size_t i, const CellPicture& picture);
  // The cell's picture from the desktop's cache: a thumbnail, or an empty cell where a failure is
  // recorded; nothing when the file has to be decoded.
  std::optional<CellPicture> FromDesktop(std::size_t i);
  // Decodes the cell and gives the desktop's cache what it lacks.
  CellPicture Decode(std::size_t i, std::shared_ptr<const TFileBytes> file);

  ThumbnailLoader& loader_;
  ThumbnailCache* cache_;
  Keep keep_;
  DesktopThumbnailCache* desktop_;
  uint64_t budget_;
  std::vector<Request> requests_;
  std::vector<std::optional<ThumbnailCache::Key>> keys_;
  // Each cell's file as the desktop's cache knows it; each element is touched by one thread only.
  std::vector<std::optional<DesktopThumbnailCache::Source>> sources_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::optional<CellPicture>> done_;
  std::size_t next_ = 0;
  uint64_t inFlight_ = 0;
  int running_ = 0;
  bool cancelled_ = false;
  // Stops the loads under way, on whichever thread they run.
  TCancelToken stop_;
  std::vector<std::thread> workers_;
};

// The file's bytes, mapped with its format resolved and its header probed (the only time a cell
// does either), or nullptr when it cannot be (its load then fails on its own).
std::shared_ptr<const TFileBytes> MapCellFile(const std::string& path);
// Decoded bytes a load of the file for a box may need, from its header where its format can tell
// cheaply; used to keep the decodes in flight within a budget.
uint64_t EstimateDecodeBytes(const std::string& path, const TFileBytes* file, int32_t boxWidth,
                             int32_t boxHeight);

}  // namespace tablora
