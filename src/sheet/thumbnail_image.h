#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/image_format.h"
#include "imaging/types.h"
#include "platform/drawing_surface.h"
#include "sheet/thumbnail_transparency.h"

namespace tablora {

// What every reader offers the page renderer.
class ThumbnailImage {
 public:
  virtual ~ThumbnailImage() = default;
  // Decodes the whole file; raises on any failure, after which the image must not be used.
  virtual void LoadFromFile(const std::string& path) = 0;
  virtual int Width() = 0;
  virtual int Height() = 0;
  // The decoded image at full size. May raise: some readers decode only when first asked.
  virtual const TBitmap& Pixels() = 0;
  // The ICC profile the file's pixels are in (embedded, or built from what the file says of its
  // colours); empty for sRGB.
  virtual std::vector<uint8_t> ColorProfile() { return {}; }
  // The profile the reader itself converted the pixels from to sRGB (a CMYK profile, which only
  // the reader's samples can go through); empty when none. Known after Pixels.
  virtual std::vector<uint8_t> ReaderProfile() { return {}; }
  // Short name of the reader ("BMP", "JPEG").
  virtual std::string ReaderName() const = 0;
  // What the reader found beyond the picture ("camera"), known after Pixels.
  virtual TReaderDetails Details() { return {}; }
  // The EXIF orientation (1 to 8) of the file; 1 when it has none.
  int Orientation() const { return orientation_; }
  void SetOrientation(int orientation) { orientation_ = orientation; }
  // Called before Pixels with the size the image will be reduced to (in its stored orientation):
  // a reader that can decode smaller for less work does so, never below that size.
  virtual void PrepareFor(int32_t width, int32_t height) {
    (void)width;
    (void)height;
  }

  // The whole image scaled into rect; transparent parts show as over the white page.
  void Draw(DrawingSurface& surface, const TRect& rect) { DrawOverWhite(surface, rect, Pixels()); }

 private:
  int orientation_ = 1;
};

// Chooses the reader for a cell and loads the file into it.
class ThumbnailLoader {
 public:
  virtual ~ThumbnailLoader() = default;
  // The loaded image, or nullptr when the load failed in any way (the failure is swallowed).
  // Called from several worker threads at once.
  virtual std::unique_ptr<ThumbnailImage> Load(const std::string& path) = 0;
  // The same with the file's bytes already mapped by the caller (nullptr: not mapped), so that one
  // cell maps its file once. A loader that does not read files ignores them.
  virtual std::unique_ptr<ThumbnailImage> LoadMapped(const std::string& path,
                                                     std::shared_ptr<const TFileBytes> file) {
    (void)file;
    return Load(path);
  }
  // The same, with the reason of a failed load in `problem`: the reader's own words where the
  // loader has them.
  virtual std::unique_ptr<ThumbnailImage> LoadExplained(const std::string& path, std::shared_ptr<const TFileBytes> file,
                                                        std::string& problem) {
    std::unique_ptr<ThumbnailImage> image = LoadMapped(path, std::move(file));
    if (!image) problem = "cannot be read";
    return image;
  }
};

// A new, empty reader for a lower-cased extension (dot included); nullptr when no reader takes it.
std::unique_ptr<ThumbnailImage> CreateThumbnailReader(std::string_view lowerExtension);

// Loads a file as a cell does and raises the reader's own failure: the reader of the path's
// lower-cased extension, or, when the file's content is not of that format but of another, that
// other's; the orientation from the same bytes. `file` is the file already mapped, or nullptr;
// a file whose format was resolved when it was mapped is not resolved again.
std::unique_ptr<ThumbnailImage> LoadThumbnail(const std::string& path,
                                              std::shared_ptr<const TFileBytes> file = nullptr);

// A failed load's reason as a cell reports it: the exception's message, with libjpeg's own words
// added to a JPEG error.
std::string LoadProblem(const std::exception& failure);

// The loader of the program: LoadThumbnail with every failure swallowed; a load that yields a
// width or height of 0 counts as failed.
class ExtensionThumbnailLoader : public ThumbnailLoader {
 public:
  std::unique_ptr<ThumbnailImage> Load(const std::string& path) override;
  std::unique_ptr<ThumbnailImage> LoadMapped(const std::string& path,
                                             std::shared_ptr<const TFileBytes> file) override;
  std::unique_ptr<ThumbnailImage> LoadExplained(const std::string& path, std::shared_ptr<const TFileBytes> file,
                                                std::string& problem) override;
};

}  // namespace tablora
