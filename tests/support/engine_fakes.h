#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/printer_device.h"
#include "sheet/preview_control.h"
#include "sheet/thumbnail_image.h"
#include "support/recording_surface.h"

namespace tablora::test {

// Hands out recording canvases and remembers, per bitmap, the canvases made for it.
class RecordingCanvases : public CanvasFactory {
 public:
  std::unique_ptr<DrawingSurface> CanvasFor(TBitmap& bitmap) override {
    auto surface = std::make_unique<ForwardingSurface>(this, bitmap);
    return surface;
  }
  // Every operation on any canvas of a bitmap of this size, in order.
  std::vector<RecordingSurface::Op> OpsOnBitmapsOf(int width, int height) const {
    std::vector<RecordingSurface::Op> result;
    for (const auto& [key, surface] : log_) {
      if (key.first == width && key.second == height) {
        result.insert(result.end(), surface->ops.begin(), surface->ops.end());
      }
    }
    return result;
  }
  int made = 0;

 private:
  // Records into one shared RecordingSurface per bitmap size, clipped to the bitmap.
  class ForwardingSurface : public RecordingSurface {
   public:
    ForwardingSurface(RecordingCanvases* owner, TBitmap& bitmap)
        : RecordingSurface(Rect(0, 0, bitmap.Width(), bitmap.Height())), owner_(owner),
          key_(bitmap.Width(), bitmap.Height()) {
      ++owner_->made;
    }
    ~ForwardingSurface() override {
      auto& target = owner_->log_[key_];
      if (!target) target = std::make_unique<RecordingSurface>();
      target->ops.insert(target->ops.end(), ops.begin(), ops.end());
    }

   private:
    RecordingCanvases* owner_;
    std::pair<int, int> key_;
  };
  std::map<std::pair<int, int>, std::unique_ptr<RecordingSurface>> log_;
};

// An image of a given size that draws a bitmap of that size, or raises when asked to.
class FakeThumbnail : public ThumbnailImage {
 public:
  FakeThumbnail(int width, int height, bool failOnDraw) : failOnDraw_(failOnDraw) {
    bitmap_.SetPixelFormat(pf24bit);
    bitmap_.SetSize(width, height);
  }
  void LoadFromFile(const std::string&) override {}
  int Width() override { return bitmap_.Width(); }
  int Height() override { return bitmap_.Height(); }
  const TBitmap& Pixels() override {
    if (failOnDraw_) throw std::runtime_error("JPEG error #1");
    return bitmap_;
  }
  std::string ReaderName() const override { return "fake"; }

 private:
  TBitmap bitmap_;
  bool failOnDraw_;
};

// Serves fake images by file name; files it does not know fail to load.
class FakeLoader : public ThumbnailLoader {
 public:
  struct Image {
    int width;
    int height;
    bool failOnDraw = false;
  };
  // Called from the page's worker threads at once.
  std::unique_ptr<ThumbnailImage> Load(const std::string& path) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    loaded.push_back(path);
    const std::string name = path.substr(path.rfind('/') + 1);
    auto it = images.find(name);
    if (it == images.end()) return nullptr;
    return std::make_unique<FakeThumbnail>(it->second.width, it->second.height, it->second.failOnDraw);
  }
  std::map<std::string, Image> images;
  std::vector<std::string> loaded;

 private:
  std::mutex mutex_;
};

class FakePreview : public PreviewControl {
 public:
  int Width() const override { return width; }
  int Height() const override { return height; }
  void ShowBitmap(const TBitmap& bitmap) override {
    ++shown;
    shownWidth = bitmap.Width();
    shownHeight = bitmap.Height();
  }
  void SetPageLabel(const std::string& caption) override {
    label = caption;
    shownAtLabel = shown;
  }
  int width = 738;
  int height = 563;
  int shown = 0;
  int shownWidth = 0;
  int shownHeight = 0;
  int shownAtLabel = 0;  // pictures shown when the label last changed
  std::string label;
};

// A printer that records its job.
class FakePrinter : public PrinterDevice {
 public:
  int PageWidth() override { return pageWidth; }
  int PageHeight() override { return pageHeight; }
  DrawingSurface& Canvas() override {
    canvas.SetClipRect(Rect(0, 0, pageWidth, pageHeight));
    return canvas;
  }
  void SetTitle(const std::string& t) override { title = t; }
  std::string Title() const override { return title; }
  int Resolution() override { return resolution; }
  std::string SavedFile() const override { return savedFile; }
  void BeginDoc() override { events.push_back("BeginDoc"); }
  void NewPage() override { events.push_back("NewPage"); }
  void EndDoc() override { events.push_back("EndDoc"); }
  void Abort() override { events.push_back("Abort"); }
  bool LookUpPrinters() override {
    ++lookUps;
    return serverAnswers;
  }

  bool serverAnswers = true;  // false: the user gives up waiting for the print server
  int lookUps = 0;
  int pageWidth = 4800;
  int pageHeight = 6600;
  int resolution = 0;
  std::string savedFile;
  std::string title;
  std::vector<std::string> events;
  RecordingSurface canvas;
};

}  // namespace tablora::test
