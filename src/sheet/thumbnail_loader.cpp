#include <array>

#include "imaging/bitmap.h"
#include "imaging/byte_reader.h"
#include "imaging/image_probe.h"
#include "imaging/jpeg_image.h"
#include "imaging/readers/gif_reader.h"
#include "imaging/readers/png_reader.h"
#include "imaging/readers/psd_reader.h"
#include "imaging/readers/tiff_reader.h"
#include "sheet/path_parts.h"
#include "sheet/thumbnail_image.h"

namespace tablora {

namespace {

// Readers that decode into their own bitmap at load.
template <typename Reader>
class BitmapThumbnail : public ThumbnailImage {
 public:
  explicit BitmapThumbnail(const char* name) : name_(name) {}
  void LoadFromFile(const std::string& path) override { reader_.LoadFromFile(path); }
  int Width() override { return reader_.Width(); }
  int Height() override { return reader_.Height(); }
  const TBitmap& Pixels() override { return reader_; }
  std::string ReaderName() const override { return name_; }

 private:
  Reader reader_;
  const char* name_;
};

// Keeps the compressed file and decodes it on the first draw.
class JpegThumbnail : public ThumbnailImage {
 public:
  // libjpeg scales while it decodes: the largest of 1/8, 1/4, 1/2 whose result still covers the
  // size asked for costs a fraction of a full decode.
  void PrepareFor(int32_t width, int32_t height) override {
    const int w = image_.Width();
    const int h = image_.Height();
    static constexpr std::pair<int, TJPEGScale> kScales[] = {{8, jsEighth}, {4, jsQuarter}, {2, jsHalf}};
    for (const auto& [d, scale] : kScales) {
      if ((w + d - 1) / d >= width && (h + d - 1) / d >= height) {
        image_.Scale = scale;
        return;
      }
    }
  }
  void LoadFromFile(const std::string& path) override { image_.LoadFromFile(path); }
  int Width() override { return image_.Width(); }
  int Height() override { return image_.Height(); }
  const TBitmap& Pixels() override { return image_.Bitmap(); }
  std::string ReaderName() const override { return "JPEG"; }

 private:
  TJPEGImage image_;
};

std::unique_ptr<ThumbnailImage> MakeBmp() { return std::make_unique<BitmapThumbnail<TBitmap>>("BMP"); }
std::unique_ptr<ThumbnailImage> MakeJpeg() { return std::make_unique<JpegThumbnail>(); }
std::unique_ptr<ThumbnailImage> MakePsd() {
  return std::make_unique<BitmapThumbnail<TPSDGraphic>>("PSD");
}
std::unique_ptr<ThumbnailImage> MakeGif() {
  return std::make_unique<BitmapThumbnail<TGIFGraphic>>("GIF");
}
std::unique_ptr<ThumbnailImage> MakePng() {
  return std::make_unique<BitmapThumbnail<TPNGGraphic>>("PNG");
}
std::unique_ptr<ThumbnailImage> MakeTiff() {
  return std::make_unique<BitmapThumbnail<TTIFFGraphic>>("TIFF");
}

struct ReaderRow {
  std::string_view extension;
  std::unique_ptr<ThumbnailImage> (*create)();
};

// The one place where readers are bound to extensions; every extension stands in one row.
constexpr std::array<ReaderRow, 11> kReaders = {{
    {".bmp", MakeBmp},
    {".dib", MakeBmp},
    {".rle", MakeBmp},
    {".jpg", MakeJpeg},
    {".jpeg", MakeJpeg},
    {".psd", MakePsd},
    {".pdd", MakePsd},
    {".gif", MakeGif},
    {".png", MakePng},
    {".tif", MakeTiff},
    {".tiff", MakeTiff},
}};

}  // namespace

std::unique_ptr<ThumbnailImage> CreateThumbnailReader(std::string_view lowerExtension) {
  for (const ReaderRow& row : kReaders) {
    if (row.extension == lowerExtension) return row.create();
  }
  return nullptr;
}

void ReadOrientation(ThumbnailImage& image, const std::string& path) {
  TFileStream file(path);
  TStreamBytes bytes(file);
  image.SetOrientation(OrientationOf(bytes.Bytes(), LowerAscii(ExtensionPart(path))));
}

std::unique_ptr<ThumbnailImage> ExtensionThumbnailLoader::Load(const std::string& path) {
  std::unique_ptr<ThumbnailImage> image = CreateThumbnailReader(LowerAscii(ExtensionPart(path)));
  if (!image) return nullptr;
  try {
    image->LoadFromFile(path);
    const int height = image->Height();
    const int width = image->Width();
    // A zero-sized image (an empty file) has nothing to show and would break the fit arithmetic.
    if (width <= 0 || height <= 0) return nullptr;
    ReadOrientation(*image, path);
  } catch (...) {
    // Missing, locked, damaged, over the size limit, out of memory: the cell just stays empty.
    return nullptr;
  }
  return image;
}

}  // namespace tablora
