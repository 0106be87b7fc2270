#include "imaging/exceptions.h"
#include "imaging/icc_profile.h"
#include "imaging/image_format.h"
#include "platform/path_text.h"
#include "sheet/thumbnail_image.h"

namespace tablora {

namespace {

// Any format of the registry as a thumbnail; it keeps the file's bytes for readers that decode
// only when first drawn.
class FormatThumbnail : public ThumbnailImage {
 public:
  explicit FormatThumbnail(const TImageFormat& format) : format_(format), reader_(format.create()) {}
  void LoadFromFile(const std::string& path) override { LoadBytes(std::make_shared<const TFileBytes>(path)); }
  void LoadBytes(std::shared_ptr<const TFileBytes> file) {
    file_ = std::move(file);
    reader_->Load(file_->Bytes());
  }
  int Width() override { return reader_->Width(); }
  int Height() override { return reader_->Height(); }
  void PrepareFor(int32_t width, int32_t height) override { reader_->PrepareFor(width, height); }
  const TBitmap& Pixels() override { return reader_->Pixels(); }
  // CMYK pixels are sRGB already: the reader converted them, through their profile or not; so
  // are tone-mapped HDR ones. Linear light the reader encoded with the sRGB curve keeps only the
  // primaries of its profile to go through.
  std::vector<uint8_t> ColorProfile() override {
    if (!file_ || reader_->CmykSamples()) return {};
    switch (reader_->SampleColour()) {
      case TFormatReader::TSampleColour::scSrgb: return {};
      case TFormatReader::TSampleColour::scSrgbCurve: return SrgbCurveProfile(EmbeddedProfile(format_, file_->Bytes()));
      case TFormatReader::TSampleColour::scFile: break;
    }
    return EmbeddedProfile(format_, file_->Bytes());
  }
  std::vector<uint8_t> ReaderProfile() override {
    if (file_ && reader_->SampleColour() == TFormatReader::TSampleColour::scSrgbCurve) {
      return EmbeddedProfile(format_, file_->Bytes());
    }
    return reader_->ReaderProfile();
  }
  std::string ReaderName() const override { return format_.name; }
  TReaderDetails Details() override { return reader_->Details(); }

 private:
  const TImageFormat& format_;
  std::shared_ptr<const TFileBytes> file_;
  std::unique_ptr<TFormatReader> reader_;
};

}  // namespace

std::unique_ptr<ThumbnailImage> CreateThumbnailReader(std::string_view lowerExtension) {
  const TImageFormat* format = FormatByExtension(lowerExtension);
  if (format == nullptr) return nullptr;
  return std::make_unique<FormatThumbnail>(*format);
}

std::unique_ptr<ThumbnailImage> LoadThumbnail(const std::string& path, std::shared_ptr<const TFileBytes> file) {
  const std::string extension = LowerAscii(ExtensionPart(path));
  if (FormatByExtension(extension) == nullptr) {
    throw EInvalidGraphic("No reader for the extension of '" + path + "'");
  }
  if (!file) file = std::make_shared<const TFileBytes>(path, extension);
  const TResolvedFormat resolved = ResolveFormat(extension, *file);
  if (resolved.format == nullptr) throw EInvalidGraphic("No reader for the extension of '" + path + "'");
  auto image = std::make_unique<FormatThumbnail>(*resolved.format);
  image->LoadBytes(file);
  image->SetOrientation(resolved.header ? resolved.header->orientation : 1);
  return image;
}

std::string LoadProblem(const std::exception& failure) {
  std::string message = failure.what();
  if (const auto* jpeg = dynamic_cast<const EJPEG*>(&failure); jpeg != nullptr && !jpeg->Detail().empty()) {
    message.append(" (").append(jpeg->Detail()).append(")");
  }
  return message;
}

std::unique_ptr<ThumbnailImage> ExtensionThumbnailLoader::Load(const std::string& path) {
  return LoadMapped(path, nullptr);
}

std::unique_ptr<ThumbnailImage> ExtensionThumbnailLoader::LoadMapped(const std::string& path,
                                                                     std::shared_ptr<const TFileBytes> file) {
  std::string problem;
  return LoadExplained(path, std::move(file), problem);
}

std::unique_ptr<ThumbnailImage> ExtensionThumbnailLoader::LoadExplained(const std::string& path,
                                                                        std::shared_ptr<const TFileBytes> file,
                                                                        std::string& problem) {
  try {
    if (!file) file = std::make_shared<const TFileBytes>(path, LowerAscii(ExtensionPart(path)));
    if (file->Bytes().empty()) {
      problem = "the file is empty";
      return nullptr;
    }
    std::unique_ptr<ThumbnailImage> image = LoadThumbnail(path, std::move(file));
    const int height = image->Height();
    const int width = image->Width();
    // A zero-sized image has nothing to show and would break the fit arithmetic.
    if (width <= 0 || height <= 0) {
      problem = "the picture has no pixels";
      return nullptr;
    }
    return image;
  } catch (const std::exception& e) {
    // Missing, locked, damaged, over the size limit, out of memory: the cell stays empty, and the
    // reader's words say why.
    problem = LoadProblem(e);
    return nullptr;
  } catch (...) {
    problem = "cannot be read";
    return nullptr;
  }
}

}  // namespace tablora
