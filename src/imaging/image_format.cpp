#include "imaging/image_format.h"

#include <array>
#include <atomic>
#include <cstring>
#include <type_traits>

#include "imaging/byte_reader.h"
#include "imaging/exceptions.h"
#include "imaging/icc_profile.h"
#include "imaging/icc_transform.h"
#include "imaging/image_probe.h"
#include "imaging/metadata.h"
#include "imaging/readers/jpeg_image.h"
#include "imaging/readers/avif_reader.h"
#include "imaging/readers/gif_reader.h"
#include "imaging/readers/heif_reader.h"
#include "imaging/readers/jxl_reader.h"
#include "imaging/readers/png_reader.h"
#include "imaging/readers/raw_preview.h"
#include "imaging/readers/psd_reader.h"
#include "imaging/readers/tiff_reader.h"
#include "imaging/readers/video_reader.h"
#include "imaging/readers/webp_reader.h"
#include "imaging/stream.h"

namespace tablora {

TFileBytes::TFileBytes(const std::string& path) {
  // The mapping outlives the descriptor, which is closed at once.
  TFileStream file(path);
  bytes_ = std::make_unique<TStreamBytes>(file);
}

TFileBytes::TFileBytes(const std::string& path, std::string_view lowerExtension) : TFileBytes(path) {
  resolved_ = ResolveFormat(lowerExtension, Bytes());
}

TFileBytes::~TFileBytes() = default;

std::span<const uint8_t> TFileBytes::Bytes() const { return bytes_->Bytes(); }

std::pair<uint32_t, uint32_t> DecodeSizeFor(const TImageHeader& header, int32_t width, int32_t height) {
  const uint64_t w = header.width;
  const uint64_t h = header.height;
  const uint64_t wantW = width > 0 ? static_cast<uint64_t>(width) : 1;
  const uint64_t wantH = height > 0 ? static_cast<uint64_t>(height) : 1;
  if (header.anyScale) {
    if (wantW >= w || wantH >= h || w == 0 || h == 0) return {header.width, header.height};
    // The side that needs more keeps the proportions; the other follows, rounded up.
    if (wantW * h >= wantH * w) return {static_cast<uint32_t>(wantW), static_cast<uint32_t>((h * wantW + w - 1) / w)};
    return {static_cast<uint32_t>((w * wantH + h - 1) / h), static_cast<uint32_t>(wantH)};
  }
  for (int n = 31; n > 0; --n) {
    if ((header.scaleBits & (1u << n)) == 0) continue;
    const uint64_t d = uint64_t{1} << n;
    const uint64_t sw = (w + d - 1) / d;
    const uint64_t sh = (h + d - 1) / d;
    if (sw >= wantW && sh >= wantH) return {static_cast<uint32_t>(sw), static_cast<uint32_t>(sh)};
  }
  return {header.width, header.height};
}

namespace {

// ---- readers of the library's own formats ----

// Readers that decode into their own bitmap while they load.
template <typename Reader>
class TBitmapFormatReader : public TFormatReader {
 public:
  void Load(std::span<const uint8_t> file) override {
    TBufferStream stream(file.data(), file.size());
    reader_.LoadFromStream(stream);
  }
  int Width() override { return reader_.Width(); }
  int Height() override { return reader_.Height(); }
  const TBitmap& Pixels() override { return reader_; }

 protected:
  Reader reader_;
};

// The readers of CMYK formats that decode while they load: the file's CMYK profile is handed to
// the reader first, the only place where the CMYK samples exist.
template <typename Reader, TIccProfile (*FileProfile)(std::span<const uint8_t>)>
class TCmykBitmapFormatReader : public TBitmapFormatReader<Reader> {
 public:
  void Load(std::span<const uint8_t> file) override {
    TIccProfile profile = FileProfile(file);
    this->reader_.CmykTransform = TIccTransform::CmykToSrgb(profile);
    cmykProfile_.clear();
    TBitmapFormatReader<Reader>::Load(file);
    if (this->reader_.CmykTransform && CmykSamples()) cmykProfile_ = std::move(profile);
  }
  bool CmykSamples() override { return this->reader_.ColorManager.SourceColorScheme() == csCMYK; }
  std::vector<uint8_t> ReaderProfile() override { return cmykProfile_; }
  TFormatReader::TSampleColour SampleColour() override {
    if constexpr (std::is_same_v<Reader, TPSDGraphic>) {
      if (this->reader_.SrgbCurveSamples()) return TFormatReader::TSampleColour::scSrgbCurve;
    }
    return TFormatReader::TSampleColour::scFile;
  }

 private:
  TIccProfile cmykProfile_;
};
using TPsdFormatReader = TCmykBitmapFormatReader<TPSDGraphic, PsdProfile>;
using TTiffFormatReader = TCmykBitmapFormatReader<TTIFFGraphic, TiffProfile>;

// Keeps the compressed file and decodes it on the first draw, scaled by libjpeg.
class TJpegFormatReader : public TFormatReader {
 public:
  void Load(std::span<const uint8_t> file) override {
    TBufferStream stream(file.data(), file.size());
    image_.LoadFromStream(stream);
    image_.CmykTransform = nullptr;
    cmykProfile_.clear();
    // Only a CMYK picture looks for its profile: RGB files pay nothing here.
    if (image_.Data().Cmyk) {
      TIccProfile profile = JpegProfile(file);
      image_.CmykTransform = TIccTransform::CmykToSrgb(profile);
      if (image_.CmykTransform) cmykProfile_ = std::move(profile);
    }
  }
  int Width() override { return image_.Width(); }
  int Height() override { return image_.Height(); }
  void PrepareFor(int32_t width, int32_t height) override {
    TImageHeader header;
    header.width = static_cast<uint32_t>(std::max(image_.Width(), 0));
    header.height = static_cast<uint32_t>(std::max(image_.Height(), 0));
    header.scaleBits = kScaleBits;
    const auto [w, h] = DecodeSizeFor(header, width, height);
    static constexpr TJPEGScale kByShift[] = {jsFullSize, jsHalf, jsQuarter, jsEighth};
    for (unsigned n = 0; n < 4; ++n) {
      const uint32_t d = 1u << n;
      if ((header.width + d - 1) / d == w && (header.height + d - 1) / d == h) image_.Scale = kByShift[n];
    }
  }
  const TBitmap& Pixels() override { return image_.Bitmap(); }
  bool CmykSamples() override { return image_.Data().Cmyk; }
  std::vector<uint8_t> ReaderProfile() override { return cmykProfile_; }

  // libjpeg's DCT scaling: 1, 1/2, 1/4 and 1/8.
  static constexpr uint32_t kScaleBits = 0b1111;

 private:
  TJPEGImage image_;
  TIccProfile cmykProfile_;
};

template <typename Reader>
std::unique_ptr<TFormatReader> Make() {
  return std::make_unique<Reader>();
}
std::unique_ptr<TFormatReader> MakeHeif() { return std::make_unique<THeifReader>("HEIF"); }

// ---- signatures ----

bool Begins(std::span<const uint8_t> file, const char* magic, std::size_t length) {
  return file.size() >= length && std::memcmp(file.data(), magic, length) == 0;
}

// The library's readers answer for their own formats.
template <typename Reader>
bool ReaderTakes(std::span<const uint8_t> file) {
  Reader reader;
  TBufferStream stream(file.data(), file.size());
  try {
    return reader.CanLoad(stream);
  } catch (const Exception&) {
    return false;
  }
}

bool IsBmp(std::span<const uint8_t> file) { return Begins(file, "BM", 2); }
bool IsJpeg(std::span<const uint8_t> file) { return Begins(file, "\xFF\xD8\xFF", 3); }

// ---- probes ----

// A header whose size could not be read still gives its orientation (the size stays 0).
std::optional<TImageHeader> Sized(std::optional<std::pair<uint32_t, uint32_t>> size, int orientation = 1,
                                  uint32_t scaleBits = 1) {
  TImageHeader header;
  if (size) {
    header.width = size->first;
    header.height = size->second;
  }
  header.orientation = orientation;
  header.scaleBits = scaleBits;
  return header;
}

// The header as the library's reader itself reads it.
template <typename Reader>
std::optional<std::pair<uint32_t, uint32_t>> ReaderHeaderSize(std::span<const uint8_t> file) {
  Reader reader;
  TBufferStream stream(file.data(), file.size());
  try {
    if (!reader.ReadImageProperties(stream, 0)) return std::nullopt;
  } catch (const Exception&) {
    return std::nullopt;
  }
  return std::pair<uint32_t, uint32_t>{reader.ImageProperties.Width, reader.ImageProperties.Height};
}

std::optional<TImageHeader> ProbeBmp(std::span<const uint8_t> file) { return Sized(BmpInfoSize(file)); }
std::optional<TImageHeader> ProbeJpeg(std::span<const uint8_t> file) {
  return Sized(JpegFrameSize(file), JpegOrientation(file), TJpegFormatReader::kScaleBits);
}
std::optional<TImageHeader> ProbePng(std::span<const uint8_t> file) {
  return Sized(ReaderHeaderSize<TPNGGraphic>(file), PngOrientation(file));
}
std::optional<TImageHeader> ProbeGif(std::span<const uint8_t> file) {
  return Sized(ReaderHeaderSize<TGIFGraphic>(file));
}
std::optional<TImageHeader> ProbePsd(std::span<const uint8_t> file) {
  return Sized(ReaderHeaderSize<TPSDGraphic>(file), PsdOrientation(file));
}
std::optional<TImageHeader> ProbeTiff(std::span<const uint8_t> file) {
  return Sized(ReaderHeaderSize<TTIFFGraphic>(file), TiffStructureOrientation(file));
}

constexpr std::array<std::string_view, 3> kBmpExtensions = {".bmp", ".dib", ".rle"};
constexpr std::array<std::string_view, 2> kJpegExtensions = {".jpg", ".jpeg"};
constexpr std::array<std::string_view, 1> kPngExtensions = {".png"};
constexpr std::array<std::string_view, 1> kGifExtensions = {".gif"};
constexpr std::array<std::string_view, 2> kPsdExtensions = {".psd", ".pdd"};
constexpr std::array<std::string_view, 2> kTiffExtensions = {".tif", ".tiff"};
constexpr std::array<std::string_view, 1> kWebPExtensions = {".webp"};
constexpr std::array<std::string_view, 3> kHeifExtensions = {".heic", ".heif", ".hif"};
constexpr std::array<std::string_view, 2> kAvifExtensions = {".avif", ".avifs"};
constexpr std::array<std::string_view, 1> kJXLExtensions = {".jxl"};
constexpr std::array<std::string_view, 25> kRawExtensions = {
    ".3fr", ".arw", ".cr2", ".cr3", ".crw", ".dcr", ".dng", ".erf", ".iiq", ".kdc", ".mef", ".mos",
    ".mrw", ".nef", ".nrw", ".orf", ".pef", ".raf", ".raw", ".rw2", ".rwl", ".sr2", ".srf", ".srw", ".x3f"};
constexpr std::array<std::string_view, 9> kVideoExtensions = {".mp4", ".m4v", ".mov", ".avi", ".mkv",
                                                              ".webm", ".mts", ".m2ts", ".3gp"};

// The registry: one row a format. Content is tried in this order when an extension lies (the
// strict signatures first, TIFF's byte-order mark, which camera RAW files share, last), and the
// metadata readers in this order too.
const TImageFormat kFormats[] = {
    {.name = "JPEG", .kind = "JPEG", .extensions = kJpegExtensions, .signature = IsJpeg,
     .create = Make<TJpegFormatReader>, .probe = ProbeJpeg, .profile = JpegProfile, .metadata = JpegMetadata},
    {.name = "PNG", .kind = "PNG", .extensions = kPngExtensions, .signature = ReaderTakes<TPNGGraphic>,
     .create = Make<TBitmapFormatReader<TPNGGraphic>>, .probe = ProbePng, .profile = PngProfile},
    {.name = "GIF", .kind = "GIF", .extensions = kGifExtensions, .signature = ReaderTakes<TGIFGraphic>,
     .create = Make<TBitmapFormatReader<TGIFGraphic>>, .probe = ProbeGif},
    {.name = "BMP", .kind = "BMP", .extensions = kBmpExtensions, .signature = IsBmp,
     .create = Make<TBitmapFormatReader<TBitmap>>, .probe = ProbeBmp},
    {.name = "PSD", .kind = "Photoshop", .extensions = kPsdExtensions, .signature = ReaderTakes<TPSDGraphic>,
     .create = Make<TPsdFormatReader>, .probe = ProbePsd, .profile = PsdProfile},
    // libwebp scales while it decodes; HEVC, AV1 and JPEG XL are decoded whole, through planes
    // of up to 16 bits a sample (JPEG XL: floats).
    {.name = "WebP", .kind = "WebP", .extensions = kWebPExtensions, .signature = IsWebP,
     .create = Make<TWebPReader>, .probe = ProbeWebP, .profile = WebPProfile},
    {.name = "HEIF", .kind = "HEIC/HEIF", .extensions = kHeifExtensions, .signature = IsHeif, .create = MakeHeif,
     .probe = ProbeHeif, .workBytesPerPixel = 10, .profile = HeifProfile, .metadata = HeifMetadata},
    // AVIF wholly through libavif, the format's own library: libheif 1.15 refuses sequences and
    // progressive files and decodes every layer of a layered one whatever it selects. Its
    // metadata items are read as any HEIF container's.
    {.name = "AVIF", .kind = "AVIF", .extensions = kAvifExtensions, .signature = IsAvif,
     .create = Make<TAvifReader>, .probe = ProbeAvif, .workBytesPerPixel = 10, .profile = AvifProfile,
     .metadata = HeifMetadata},
    {.name = "JPEG XL", .kind = "JPEG XL", .extensions = kJXLExtensions, .signature = IsJXL,
     .create = Make<TJXLReader>, .probe = ProbeJXL, .workBytesPerPixel = 16, .profile = JxlProfile},
    {.name = "TIFF", .kind = "TIFF", .extensions = kTiffExtensions, .signature = ReaderTakes<TTIFFGraphic>,
     .create = Make<TTiffFormatReader>, .probe = ProbeTiff, .profile = TiffProfile, .metadata = TiffMetadata},
    // Camera RAW files show their largest embedded preview, a JPEG.
    {.name = "RAW", .kind = "camera RAW", .extensions = kRawExtensions, .signature = IsRaw,
     .create = Make<TRawReader>, .probe = ProbeRaw, .profile = RawProfile, .metadata = RawMetadata},
    // A clip's poster frame, scaled by libswscale straight to its box.
    {.name = "Video", .kind = "video", .extensions = kVideoExtensions, .signature = IsVideo,
     .create = Make<TVideoReader>, .probe = ProbeVideo, .metadata = VideoMetadata},
};

}  // namespace

std::span<const TImageFormat> ImageFormats() { return kFormats; }

const TImageFormat* FormatByExtension(std::string_view lowerExtension) {
  for (const TImageFormat& format : kFormats) {
    for (std::string_view extension : format.extensions) {
      if (extension == lowerExtension) return &format;
    }
  }
  return nullptr;
}

const TImageFormat* FormatForFile(std::string_view lowerExtension, std::span<const uint8_t> file) {
  const TImageFormat* own = FormatByExtension(lowerExtension);
  if (own == nullptr || own->signature(file)) return own;
  for (const TImageFormat& format : kFormats) {
    if (&format != own && format.signature(file)) return &format;
  }
  // Neither: the extension's reader refuses it with its own message.
  return own;
}

namespace {

std::atomic<uint64_t> probes{0};

}  // namespace

std::optional<TImageHeader> ProbeHeader(const TImageFormat& format, std::span<const uint8_t> file) {
  probes.fetch_add(1, std::memory_order_relaxed);
  return format.probe(file);
}

uint64_t HeaderProbeCount() { return probes.load(std::memory_order_relaxed); }

TResolvedFormat ResolveFormat(std::string_view lowerExtension, std::span<const uint8_t> file) {
  TResolvedFormat resolved;
  resolved.format = FormatForFile(lowerExtension, file);
  if (resolved.format != nullptr) resolved.header = ProbeHeader(*resolved.format, file);
  return resolved;
}

TResolvedFormat ResolveFormat(std::string_view lowerExtension, const TFileBytes& file) {
  return file.Resolved() != nullptr ? *file.Resolved() : ResolveFormat(lowerExtension, file.Bytes());
}

int OrientationOf(std::span<const uint8_t> file, std::string_view lowerExtension) {
  const TImageFormat* format = FormatByExtension(lowerExtension);
  if (format == nullptr) return 1;
  const std::optional<TImageHeader> header = ProbeHeader(*format, file);
  return header ? header->orientation : 1;
}

uint64_t EstimateDecodeBytes(const TImageFormat& format, std::span<const uint8_t> file, int32_t width,
                             int32_t height) {
  return EstimateDecodeBytes(format, ProbeHeader(format, file), file.size(), width, height);
}

uint64_t EstimateDecodeBytes(const TImageFormat& format, const std::optional<TImageHeader>& header,
                             uint64_t fileBytes, int32_t width, int32_t height) {
  if (!header || header->width == 0 || header->height == 0) return fileBytes * 4;
  const auto [w, h] = DecodeSizeFor(*header, width, height);
  return uint64_t{w} * h * format.workBytesPerPixel + fileBytes;
}

std::string AdmittedExtensionList() {
  std::string list;
  for (const TImageFormat& format : kFormats) {
    for (std::string_view extension : format.extensions) {
      if (!list.empty()) list += ' ';
      list += extension;
    }
  }
  return list;
}

std::string FormatKindList() {
  std::string kinds;
  for (std::size_t i = 0; i < std::size(kFormats); ++i) {
    if (i > 0) kinds += i + 1 == std::size(kFormats) ? " and " : ", ";
    kinds += kFormats[i].kind;
  }
  return kinds;
}

}  // namespace tablora
