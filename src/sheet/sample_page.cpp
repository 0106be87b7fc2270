#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sheet/contact_sheet.h"

namespace tablora {

namespace {

// A sample is drawn while a dialog waits for it: nothing to report, nothing to cancel, and no
// events handled halfway, which could start the next sample inside this one.
class QuietProgress final : public ProgressWindow {
 public:
  void Show() override {}
  void Close() override {}
  void ShowStatus(const std::string&) override {}
  void ShowProgress(int) override {}
  void HideProgress() override {}
  void BringToFront() override {}
  void Repaint() override {}
  bool Working() const override { return true; }
};

class QuietPump final : public EventPump {
 public:
  void PumpMessages() override {}
};

// The stand-in picture: a grey landscape frame, 3:2 as most cameras take them.
class StandInImage final : public ThumbnailImage {
 public:
  StandInImage() {
    pixels_.SetPixelFormat(pf32bit);
    pixels_.SetSize(150, 100);
    for (int y = 0; y < pixels_.Height(); ++y) {
      for (int x = 0; x < pixels_.Width(); ++x) pixels_.SetPixelColor(x, y, RGB(0xC8, 0xC8, 0xC8));
    }
  }
  void LoadFromFile(const std::string&) override {}
  int Width() override { return pixels_.Width(); }
  int Height() override { return pixels_.Height(); }
  const TBitmap& Pixels() override { return pixels_; }
  std::string ReaderName() const override { return "stand-in"; }

 private:
  TBitmap pixels_;
};

class StandInLoader final : public ThumbnailLoader {
 public:
  std::unique_ptr<ThumbnailImage> Load(const std::string&) override { return std::make_unique<StandInImage>(); }
};

class NoMetadata final : public MetadataReader {
 public:
  TPhotoMetadata Read(const std::string&) override { return {}; }
};

// More than the smallest cells allowed (5 mm) can make of a page of any common paper.
constexpr int kStandIns = 4000;

std::vector<std::string> StandInEntries() {
  std::vector<std::string> entries;
  entries.reserve(kStandIns);
  for (int i = 1; i <= kStandIns; ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "/IMG_%04d.jpg", i);
    entries.emplace_back(name);
  }
  return entries;
}

// A printer that reports no page has no proportions; an A4 portrait page stands in for it, as in
// the preview.
constexpr int32_t kFallbackPageWidth = 210;
constexpr int32_t kFallbackPageHeight = 297;

}  // namespace

int32_t TContactSheet::RenderSample(const SheetTemplate& layout, int32_t page, TBitmap& into) {
  // Everything a page drawing moves or reads, put back however the drawing ends.
  struct Saved {
    TContactSheet& sheet;
    SheetTemplate layout;
    std::vector<int32_t> pageEnds;
    int32_t pageCount, originX, originY, surfaceDpi;
    TRect pageRect;
    SheetServices services;
    std::vector<std::string> fileList;
    std::string baseFolder;
    bool standIns;
    ~Saved() {
      sheet.sampleGrid_ = false;
      sheet.Layout = std::move(layout);
      sheet.PageEnds = std::move(pageEnds);
      sheet.PageCount = pageCount;
      sheet.OriginX = originX;
      sheet.OriginY = originY;
      sheet.SurfaceDpi = surfaceDpi;
      sheet.PageRect = pageRect;
      sheet.services_ = services;
      if (standIns) {
        sheet.FileList = std::move(fileList);
        sheet.BaseFolder = std::move(baseFolder);
        sheet.metadata_.clear();
      }
    }
  } saved{*this, Layout, PageEnds, PageCount, OriginX, OriginY, SurfaceDpi, PageRect, services_, {}, {},
          FileList.empty()};

  QuietProgress progress;
  QuietPump pump;
  StandInLoader standIns;
  NoMetadata noMetadata;
  services_.pump = &pump;
  services_.progress = &progress;
  if (saved.standIns) {
    saved.fileList = std::move(FileList);
    saved.baseFolder = std::move(BaseFolder);
    // The build that left nothing may have read metadata; the stand-ins have none of their own.
    metadata_.clear();
    FileList = StandInEntries();
    BaseFolder.clear();
    services_.thumbnails = &standIns;
    services_.metadata = &noMetadata;
  }
  sampleGrid_ = true;
  Layout = layout;
  SurfaceDpi = 0;
  Paginate();
  if (saved.standIns && !PageEnds.empty()) {
    // One full page of stand-ins, so the page count says what the layout holds.
    FileList.resize(static_cast<std::size_t>(PageEnds.front()) + 1);
    Paginate();
  }

  // The paper's proportions centred in the bitmap, as the preview frames it.
  const int32_t width = std::max(into.Width(), 0);
  const int32_t height = std::max(into.Height(), 0);
  if (into.PixelFormat() != pf32bit) into.SetPixelFormat(pf32bit);
  into.SetSize(width, height);
  std::unique_ptr<DrawingSurface> canvas = services_.canvases->CanvasFor(into);
  canvas->SetBrushColor(clGray);
  canvas->SetBrushSolid();
  canvas->FillRect(canvas->ClipRect());
  int32_t pageWidth = services_.printer != nullptr ? services_.printer->PageWidth() : 0;
  int32_t pageHeight = services_.printer != nullptr ? services_.printer->PageHeight() : 0;
  if (pageWidth <= 0 || pageHeight <= 0) {
    pageWidth = kFallbackPageWidth;
    pageHeight = kFallbackPageHeight;
  }
  int32_t frameWidth = width;
  int32_t frameHeight = height;
  if (int64_t{pageWidth} * height < int64_t{pageHeight} * width) {
    frameWidth = static_cast<int32_t>(int64_t{pageWidth} * height / pageHeight);
  } else {
    frameHeight = static_cast<int32_t>(int64_t{pageHeight} * width / pageWidth);
  }
  OriginX = (width - frameWidth) / 2;
  OriginY = (height - frameHeight) / 2;
  PageRect = Rect(OriginX, OriginY, width - OriginX, height - OriginY);
  canvas->SetBrushColor(clWhite);
  canvas->FillRect(PageRect);

  if (PageCount > 0 && frameWidth > 0 && frameHeight > 0) {
    PageDrawing drawing;
    drawing.progress = &progress;
    RenderPage(*canvas, std::clamp(page, 1, PageCount), drawing);
  }
  return PageCount;
}

}  // namespace tablora
