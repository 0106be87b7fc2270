#include "sheet/thumbnail_pipeline.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "imaging/byte_reader.h"
#include "imaging/icc_transform.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/image_format.h"
#include "imaging/reduce.h"
#include "imaging/work_budget.h"
#include "sheet/path_parts.h"

namespace tablora {

namespace {

int32_t MulDivTrunc(int32_t a, int32_t b, int32_t divisor) {
  const int64_t product = int64_t{a} * b / divisor;
  return static_cast<int32_t>(std::clamp<int64_t>(product, 0, std::numeric_limits<int32_t>::max()));
}

uint64_t PictureBytes(const CellPicture& picture) {
  return picture.pixels ? picture.pixels->RowSize() * static_cast<uint64_t>(picture.pixels->Height()) + 256
                        : 256;
}

}  // namespace

FittedImage FitIntoBox(int32_t imageWidth, int32_t imageHeight, int32_t boxWidth, int32_t boxHeight) {
  FittedImage fit;
  if (imageWidth <= 0 || imageHeight <= 0 || boxWidth <= 0 || boxHeight <= 0) return fit;
  const double boxAspect = static_cast<double>(boxWidth) / boxHeight;
  const double imageAspect = static_cast<double>(imageWidth) / imageHeight;
  if (boxAspect < imageAspect) {
    fit.width = boxWidth;
    fit.height = MulDivTrunc(boxWidth, imageHeight, imageWidth);
  } else {
    fit.height = boxHeight;
    fit.width = MulDivTrunc(boxHeight, imageWidth, imageHeight);
  }
  fit.width = std::max(fit.width, 1);
  fit.height = std::max(fit.height, 1);
  fit.left = (boxWidth - fit.width) / 2;
  fit.top = (boxHeight - fit.height) / 2;
  return fit;
}

PicturePlacement PlaceInBox(int32_t imageWidth, int32_t imageHeight, int32_t boxWidth, int32_t boxHeight,
                            PictureFit fit) {
  PicturePlacement placement;
  // A square picture or box has no side to turn to.
  placement.turn = fit == PictureFit::Rotate && imageWidth != imageHeight && boxWidth != boxHeight &&
                   (imageWidth > imageHeight) != (boxWidth > boxHeight);
  const int32_t w = placement.turn ? imageHeight : imageWidth;
  const int32_t h = placement.turn ? imageWidth : imageHeight;
  FittedImage drawn;
  if (fit == PictureFit::Fill && w > 0 && h > 0 && boxWidth > 0 && boxHeight > 0) {
    // Covered: the side that would leave a band is the one that fits, the other runs over.
    const bool wider = static_cast<double>(w) / h > static_cast<double>(boxWidth) / boxHeight;
    drawn.width = wider ? std::max(boxWidth, MulDivTrunc(boxHeight, w, h)) : boxWidth;
    drawn.height = wider ? boxHeight : std::max(boxHeight, MulDivTrunc(boxWidth, h, w));
    placement.place = FittedImage{0, 0, boxWidth, boxHeight};
    placement.reduced = FittedImage{(drawn.width - boxWidth) / 2, (drawn.height - boxHeight) / 2, drawn.width,
                                    drawn.height};
  } else {
    drawn = FitIntoBox(w, h, boxWidth, boxHeight);
    placement.place = drawn;
    placement.reduced = FittedImage{0, 0, drawn.width, drawn.height};
  }
  if (placement.turn) std::swap(placement.reduced.width, placement.reduced.height);
  return placement;
}

TBitmap FinishPicture(const TBitmap& reducedUpright, const PicturePlacement& placement) {
  // Turned clockwise: the top of a portrait picture faces right in a landscape box.
  TBitmap turned = placement.turn ? ApplyOrientation(reducedUpright, 6) : reducedUpright;
  const FittedImage& crop = placement.reduced;
  const int32_t width = placement.place.width;
  const int32_t height = placement.place.height;
  if (turned.Width() == width && turned.Height() == height) return turned;
  return CropImage(turned, std::clamp(crop.left, 0, std::max(0, turned.Width() - width)),
                   std::clamp(crop.top, 0, std::max(0, turned.Height() - height)), std::min(width, turned.Width()),
                   std::min(height, turned.Height()));
}

// ---- cache ----

std::optional<ThumbnailCache::Key> ThumbnailCache::KeyOf(const std::string& path, int32_t boxWidth,
                                                         int32_t boxHeight, PictureFit fit) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  Key key;
  key.path = path;
  key.size = static_cast<uint64_t>(info.st_size);
  key.modified = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
  key.boxWidth = boxWidth;
  key.boxHeight = boxHeight;
  key.fit = fit;
  return key;
}

std::optional<CellPicture> ThumbnailCache::Find(const Key& key) {
  std::lock_guard lock(mutex_);
  const auto it = index_.find(key);
  if (it == index_.end()) return std::nullopt;
  order_.splice(order_.begin(), order_, it->second);
  return it->second->second;
}

void ThumbnailCache::Store(const Key& key, const CellPicture& picture) {
  std::lock_guard lock(mutex_);
  if (const auto it = index_.find(key); it != index_.end()) {
    bytes_ -= PictureBytes(it->second->second);
    order_.erase(it->second);
    index_.erase(it);
  }
  if (PictureBytes(picture) > capacity_) return;
  order_.emplace_front(key, picture);
  index_[key] = order_.begin();
  bytes_ += PictureBytes(picture);
  Trim();
}

void ThumbnailCache::Trim() {
  while (bytes_ > capacity_ && !order_.empty()) {
    bytes_ -= PictureBytes(order_.back().second);
    index_.erase(order_.back().first);
    order_.pop_back();
  }
}

void ThumbnailCache::SetCapacity(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  capacity_ = bytes;
  Trim();
}

uint64_t ThumbnailCache::Bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

void ThumbnailCache::Clear() {
  std::lock_guard lock(mutex_);
  order_.clear();
  index_.clear();
  bytes_ = 0;
}

// ---- pipeline ----

std::shared_ptr<const TFileBytes> MapCellFile(const std::string& path) {
  try {
    // The cell's format is resolved here, once: the estimate, the load and the orientation read it.
    return std::make_shared<const TFileBytes>(path, LowerAscii(ExtensionPart(path)));
  } catch (...) {
    return nullptr;
  }
}

uint64_t EstimateDecodeBytes(const std::string& path, const TFileBytes* file, int32_t boxWidth,
                             int32_t boxHeight) {
  if (file == nullptr) return 0;  // the load will fail on its own
  const uint64_t size = file->Bytes().size();
  const TResolvedFormat resolved = ResolveFormat(LowerAscii(ExtensionPart(path)), *file);
  if (resolved.format == nullptr) return size * 4;
  return EstimateDecodeBytes(*resolved.format, resolved.header, size, boxWidth, boxHeight);
}

CellPicture ThumbnailPipeline::Produce(ThumbnailLoader& loader, const Request& request,
                                       std::shared_ptr<const TFileBytes> file, Kept* kept) {
  // Everything one cell's picture costs on its way (the load, libjpeg's buffers, copies made to
  // reduce it) stays within the image-size limit together, and within a few seconds of work.
  TMemoryBudget budget(ImageSizeLimit());
  TWorkBudget work(TWorkBudget::kCellLimit);
  if (!file) file = MapCellFile(request.path);
  std::string problem;
  std::unique_ptr<ThumbnailImage> image = loader.LoadExplained(request.path, std::move(file), problem);
  if (!image) {
    CellPicture failed;
    failed.problem = problem.empty() ? "cannot be read" : problem;
    return failed;
  }
  if (kept != nullptr) kept->loaded = true;
  try {
    const int orientation = image->Orientation();
    const bool swap = SwapsSides(orientation);
    const int32_t w = image->Width();
    const int32_t h = image->Height();
    CellPicture picture;
    const PicturePlacement placement =
        PlaceInBox(swap ? h : w, swap ? w : h, request.boxWidth, request.boxHeight, request.fit);
    picture.place = placement.place;
    if (picture.place.width <= 0) return {};
    // Reduced in the file's own orientation, then turned: the smaller image is the one turned.
    const int32_t width = swap ? placement.reduced.height : placement.reduced.width;
    const int32_t height = swap ? placement.reduced.width : placement.reduced.height;
    // The kept picture is never enlarged: one within the side is kept whole.
    const bool keeping = kept != nullptr && kept->side > 0;
    FittedImage keep{0, 0, w, h};
    if (keeping && std::max(w, h) > kept->side) keep = FitIntoBox(w, h, kept->side, kept->side);
    if (keeping) {
      image->PrepareFor(std::max(width, keep.width), std::max(height, keep.height));
    } else {
      image->PrepareFor(width, height);
    }
    TBitmap reduced;
    if (keeping) {
      // The cell is reduced from the kept picture, which costs a fraction of a second reduction
      // of the decode and draws the cell as the next drawing will draw it from the cache.
      TBitmap keptStored = ReduceImage(image->Pixels(), keep.width, keep.height);
      // Colour is converted on the reduced picture, its cost following the pixels drawn; the
      // cache keeps sRGB, as its other readers expect.
      ConvertToSrgb(keptStored, image->ColorProfile());
      reduced = ReduceImage(keptStored, width, height);
      kept->pixels = ApplyOrientation(keptStored, orientation);
      kept->imageWidth = swap ? h : w;
      kept->imageHeight = swap ? w : h;
    } else {
      reduced = ReduceImage(image->Pixels(), width, height);
      ConvertToSrgb(reduced, image->ColorProfile());
    }
    image.reset();
    picture.pixels = std::make_shared<const TBitmap>(FinishPicture(ApplyOrientation(reduced, orientation), placement));
    return picture;
  } catch (const std::exception& e) {
    // Pixels a reader rejects only when it decodes them leave the cell empty like a failed load.
    if (kept != nullptr) kept->pixels = TBitmap();
    CellPicture failed;
    failed.problem = LoadProblem(e);
    return failed;
  } catch (...) {
    if (kept != nullptr) kept->pixels = TBitmap();
    CellPicture failed;
    failed.problem = "cannot be read";
    return failed;
  }
}

std::optional<CellPicture> ThumbnailPipeline::FromDesktop(std::size_t i) {
  if (desktop_ == nullptr) return std::nullopt;
  const Request& request = requests_[i];
  sources_[i] = desktop_->SourceOf(request.path);
  if (!sources_[i]) return std::nullopt;
  try {
    TMemoryBudget budget(ImageSizeLimit());
    std::optional<DesktopThumbnailCache::Thumbnail> found =
        desktop_->Find(*sources_[i], request.boxWidth, request.boxHeight);
    if (found) {
      CellPicture picture;
      const PicturePlacement placement =
          PlaceInBox(found->imageWidth, found->imageHeight, request.boxWidth, request.boxHeight, request.fit);
      picture.place = placement.place;
      picture.pixels = std::make_shared<const TBitmap>(
          FinishPicture(ReduceImage(found->pixels, placement.reduced.width, placement.reduced.height), placement));
      return picture;
    }
  } catch (...) {
    // No memory for the thumbnail: the file is decoded as without a cache.
    return std::nullopt;
  }
  // A file this program could not read before, unchanged since, is not tried again.
  if (const std::optional<std::string> recorded = desktop_->FailureRecorded(*sources_[i])) {
    CellPicture failed;
    failed.problem = recorded->empty() ? "could not be read when last tried, and has not changed since" : *recorded;
    return failed;
  }
  return std::nullopt;
}

CellPicture ThumbnailPipeline::Decode(std::size_t i, std::shared_ptr<const TFileBytes> file) {
  const Request& request = requests_[i];
  const std::optional<DesktopThumbnailCache::Source>& source = sources_[i];
  if (desktop_ == nullptr || !source) return Produce(loader_, request, std::move(file));
  // Stored in the smallest size that serves this box again; a box larger than the largest size
  // (a print cell at printer resolution, usually) is decoded every time.
  Kept kept;
  kept.side = DesktopThumbnailCache::StoreSide(request.boxWidth, request.boxHeight);
  const bool mapped = file != nullptr || (file = MapCellFile(request.path)) != nullptr;
  if (kept.side > 0 && mapped) {
    // Where the thumbnail would need a larger decode than the cell (a JPEG's next scale for a
    // print cell, typically), it is kept only where that costs little: a page printed at printer
    // resolution is not slowed down to fill the cache.
    constexpr uint64_t kMostExtraDecodeBytes = uint64_t{1} << 20;
    const int32_t cellSide = std::max(request.boxWidth, request.boxHeight);
    const uint64_t forCell = EstimateDecodeBytes(request.path, file.get(), cellSide, cellSide);
    const uint64_t forKept = EstimateDecodeBytes(request.path, file.get(), kept.side, kept.side);
    if (forKept > forCell + kMostExtraDecodeBytes) kept.side = 0;
  }
  CellPicture picture = Produce(loader_, request, std::move(file), &kept);
  if (stop_.Requested()) return picture;
  // Only a file that could be read and was refused is a failure: an unreadable one says nothing
  // about this program, and pixels refused past the header may be the memory of the moment.
  if (!picture.pixels && mapped && !kept.loaded) {
    desktop_->RecordFailure(*source, picture.problem);
  } else if (picture.pixels && !kept.pixels.Empty()) {
    desktop_->Store(*source, std::move(kept.pixels), kept.side, kept.imageWidth, kept.imageHeight);
  }
  return picture;
}

ThumbnailPipeline::ThumbnailPipeline(ThumbnailLoader& loader, ThumbnailCache* cache, int jobs,
                                     uint64_t budgetBytes, std::vector<Request> requests, Keep keep)
    : loader_(loader), cache_(cache), keep_(keep), desktop_(cache != nullptr ? cache->Desktop() : nullptr), budget_(budgetBytes),
      requests_(std::move(requests)), keys_(requests_.size()), sources_(requests_.size()), done_(requests_.size()) {
  if (cache_ != nullptr) {
    for (std::size_t i = 0; i < requests_.size(); ++i) {
      keys_[i] = ThumbnailCache::KeyOf(requests_[i].path, requests_[i].boxWidth, requests_[i].boxHeight,
                                       requests_[i].fit);
    }
  }
  if (jobs > 1) {
    for (int j = 0; j < jobs; ++j) workers_.emplace_back([this] { Work(); });
  }
}

ThumbnailPipeline::~ThumbnailPipeline() {
  Cancel();
  for (std::thread& worker : workers_) worker.join();
}

void ThumbnailPipeline::Cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
  stop_.Request();
  changed_.notify_all();
}

std::optional<CellPicture> ThumbnailPipeline::Cached(std::size_t i) {
  if (cache_ == nullptr || !keys_[i]) return std::nullopt;
  return cache_->Find(*keys_[i]);
}

void ThumbnailPipeline::Store(std::size_t i, const CellPicture& picture) {
  if (cache_ != nullptr && keep_ == Keep::InCache && keys_[i]) cache_->Store(*keys_[i], picture);
}

void ThumbnailPipeline::Work() {
  for (;;) {
    std::size_t i = 0;
    uint64_t cost = 0;
    bool counted = false;
    {
      std::unique_lock lock(mutex_);
      if (cancelled_ || next_ >= requests_.size()) return;
      i = next_++;
    }
    std::optional<CellPicture> picture = Cached(i);
    if (!picture) picture = FromDesktop(i);
    if (!picture) {
      std::shared_ptr<const TFileBytes> file = MapCellFile(requests_[i].path);
      // The box is upright and the decode in the file's orientation: its longer side both ways.
      const int32_t side = std::max(requests_[i].boxWidth, requests_[i].boxHeight);
      cost = EstimateDecodeBytes(requests_[i].path, file.get(), side, side);
      {
        // Decodes in flight stay within the budget; one larger than the budget runs alone.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return cancelled_ || running_ == 0 || inFlight_ + cost <= budget_; });
        if (cancelled_) return;
        inFlight_ += cost;
        ++running_;
        counted = true;
      }
      {
        // Loads under way stop at their next row once the pipeline is cancelled.
        TCancelScope scope(stop_);
        picture = Decode(i, std::move(file));
      }
      if (!stop_.Requested()) Store(i, *picture);
    }
    std::lock_guard lock(mutex_);
    if (counted) {
      inFlight_ -= cost;
      --running_;
    }
    done_[i] = std::move(picture);
    changed_.notify_all();
  }
}

std::optional<CellPicture> ThumbnailPipeline::Take(std::size_t i, const std::function<bool()>& wait) {
  if (i >= requests_.size()) return CellPicture{};
  if (workers_.empty()) {
    if (std::optional<CellPicture> cached = Cached(i)) return cached;
    std::optional<CellPicture> stored = FromDesktop(i);
    if (stored) {
      Store(i, *stored);
      return stored;
    }
    CellPicture picture;
    {
      // A decode on this thread still answers Cancel: `wait` handles the window's events.
      TCancelScope scope(stop_, [&] {
        if (!wait()) stop_.Request();
      });
      picture = Decode(i, nullptr);
    }
    if (stop_.Requested()) return std::nullopt;
    Store(i, picture);
    return picture;
  }
  std::unique_lock lock(mutex_);
  while (!done_[i]) {
    changed_.wait_for(lock, std::chrono::milliseconds(15));
    if (done_[i]) break;
    lock.unlock();
    const bool goOn = wait();
    lock.lock();
    if (!goOn) {
      cancelled_ = true;
      stop_.Request();
      changed_.notify_all();
      return std::nullopt;
    }
  }
  CellPicture picture = std::move(*done_[i]);
  done_[i].reset();
  return picture;
}

}  // namespace tablora
