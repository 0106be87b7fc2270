#include "imaging/readers/raw_preview.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>
#include <vector>

#include "imaging/byte_order.h"
#include "imaging/byte_reader.h"
#include "imaging/exceptions.h"
#include "imaging/image_probe.h"
#include "imaging/metadata.h"
#include "imaging/raster_graphic.h"
#include "imaging/readers/libraw_reader.h"
#include "imaging/stream.h"
#include "imaging/tiff_structure.h"

namespace tablora {

namespace {

constexpr uint16_t kCompression = 259;
constexpr uint16_t kStripOffsets = 273;
constexpr uint16_t kOrientation = 274;
constexpr uint16_t kStripByteCounts = 279;
constexpr uint16_t kSubIFDs = 330;
constexpr uint16_t kJpegOffset = 513;
constexpr uint16_t kJpegLength = 514;
constexpr uint16_t kMake = 271;
constexpr uint16_t kModel = 272;
constexpr uint16_t kPanasonicJpeg = 0x2E;
// Directories followed at most: a damaged file may point them in circles.
constexpr int kMaxDirectories = 32;

constexpr uint32_t kSmallestPreview = 32;

// A candidate keeps the largest preview libjpeg decodes.
void Offer(std::span<const uint8_t> jpeg, std::optional<TRawPreview>& best) {
  uint8_t marker = 0;
  const auto size = JpegFrameSize(jpeg, &marker);
  // Some cameras leave an 8 × 8 stub where the preview was; it is no picture of the shot.
  if (!size || std::max(size->first, size->second) < kSmallestPreview) return;
  if (marker != 0xC0 && marker != 0xC1 && marker != 0xC2) return;
  const uint64_t area = uint64_t{size->first} * size->second;
  if (best && area <= uint64_t{best->width} * best->height) return;
  TRawPreview preview;
  preview.jpeg = jpeg;
  preview.width = size->first;
  preview.height = size->second;
  preview.orientation = best ? best->orientation : 1;
  best = preview;
}

class TTiffWalk {
 public:
  TTiffWalk(std::span<const uint8_t> file, bool little) : in_(file), little_(little) {}

  uint16_t U16(TByteReader& r) const { return little_ ? r.U16LE() : r.U16BE(); }
  uint32_t U32(TByteReader& r) const { return little_ ? r.U32LE() : r.U32BE(); }

  // The values of one entry as 32-bit integers (SHORT, LONG or IFD), at most `limit` of them.
  std::vector<uint32_t> Values(uint16_t type, uint32_t count, std::span<const uint8_t> field, uint32_t limit = 64) const {
    std::vector<uint32_t> values;
    const unsigned width = type == 3 ? 2 : (type == 4 || type == 13) ? 4 : 0;
    if (width == 0 || count == 0) return values;
    const uint32_t n = std::min(count, limit);
    TByteReader data(field);
    if (uint64_t{count} * width > 4) data = in_.Slice(U32(data), uint64_t{n} * width);
    for (uint32_t i = 0; i < n; ++i) values.push_back(width == 2 ? U16(data) : U32(data));
    return values;
  }

  void Directory(uint32_t offset, int depth, std::optional<TRawPreview>& best, bool first) {
    if (depth > 2 || !visited_.insert(offset).second || visited_.size() > kMaxDirectories) return;
    TByteReader in = in_;
    in.Seek(offset);
    const uint16_t entries = U16(in);
    uint32_t jpegOffset = 0, jpegLength = 0, compression = 0;
    std::vector<uint32_t> strips, stripLengths, subIfds;
    for (uint16_t i = 0; i < entries; ++i) {
      const uint16_t tag = U16(in);
      const uint16_t type = U16(in);
      const uint32_t count = U32(in);
      const std::span<const uint8_t> field = in.Bytes(4);
      try {
        switch (tag) {
          case kJpegOffset: jpegOffset = Values(type, count, field).at(0); break;
          case kJpegLength: jpegLength = Values(type, count, field).at(0); break;
          case kCompression: compression = Values(type, count, field).at(0); break;
          case kStripOffsets: strips = Values(type, count, field, 2); break;
          case kStripByteCounts: stripLengths = Values(type, count, field, 2); break;
          case kSubIFDs: subIfds = Values(type, count, field, 8); break;
          case kOrientation:
            if (first && depth == 0) {
              const uint32_t value = Values(type, count, field).at(0);
              orientation_ = value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
            }
            break;
          case kPanasonicJpeg:
            if (type == 7 && count > 4) {
              TByteReader at(field);
              Take(U32(at), count, best);
            }
            break;
          default: break;
        }
      } catch (const std::exception&) {
        // A damaged entry is one candidate less.
      }
    }
    if (jpegOffset != 0 && jpegLength != 0) Take(jpegOffset, jpegLength, best);
    if ((compression == 6 || compression == 7) && strips.size() == 1 && stripLengths.size() == 1) {
      Take(strips[0], stripLengths[0], best);
    }
    for (uint32_t sub : subIfds) Guarded([&] { Directory(sub, depth + 1, best, false); });
    if (depth == 0) {
      const uint32_t next = U32(in);
      if (next != 0) Guarded([&] { Directory(next, 0, best, false); });
    }
  }

  int Orientation() const { return orientation_; }

 private:
  template <typename Work>
  static void Guarded(Work work) {
    try {
      work();
    } catch (const std::exception&) {
    }
  }
  void Take(uint64_t offset, uint64_t length, std::optional<TRawPreview>& best) const {
    Guarded([&] { Offer(in_.Span(offset, length), best); });
  }

  TByteReader in_;
  bool little_;
  std::set<uint32_t> visited_;
  int orientation_ = 1;
};

std::optional<TRawPreview> TiffStructured(std::span<const uint8_t> file) {
  TByteReader in(file);
  const bool little = file[0] == 'I';
  TTiffWalk walk(file, little);
  in.Skip(4);
  std::optional<TRawPreview> best;
  walk.Directory(walk.U32(in), 0, best, true);
  if (best) best->orientation = walk.Orientation();
  return best;
}

bool Magic(std::span<const uint8_t> file, std::size_t at, const char* text) {
  const std::size_t n = std::strlen(text);
  return file.size() >= at + n && std::memcmp(file.data() + at, text, n) == 0;
}

// An ASCII tag of IFD0 in a TIFF structure, trimmed; empty when it is not there.
std::string TiffAscii(std::span<const uint8_t> tiff, uint16_t wanted) {
  try {
    TTiffStructure structure(tiff);
    const std::optional<TTiffStructure::Entry> entry = structure.Find(structure.First(), wanted);
    if (!entry || entry->type != 2 || entry->count == 0) return {};
    const std::span<const uint8_t> text = structure.Bytes(*entry);
    std::string value(text.begin(), std::find(text.begin(), text.begin() + std::min<std::size_t>(text.size(), 64), uint8_t{0}));
    while (!value.empty() && value.back() == ' ') value.pop_back();
    return value;
  } catch (const EReadError&) {
  }
  return {};
}

std::optional<TRawPreview> Cr3(std::span<const uint8_t> file) {
  std::optional<TRawPreview> best;
  TByteReader in(file);
  // PRVW: 4 unknown bytes, 2, width, height, 2, the JPEG's length, the JPEG. THMB: version and
  // flags, width, height, the JPEG's length, 4, the JPEG.
  for (const auto& [type, lengthAt, dataAt] : {std::tuple{"PRVW", 12, 16}, std::tuple{"THMB", 8, 16}}) {
    for (std::size_t at = FindBox(file, type, 4); at != std::string::npos; at = FindBox(file, type, at + 4)) {
      try {
        const std::size_t body = at + 4;
        const uint32_t length = LoadBE32(in.Span(body + static_cast<std::size_t>(lengthAt), 4).data());
        Offer(in.Span(body + static_cast<std::size_t>(dataAt), length), best);
      } catch (const EReadError&) {
      }
    }
  }
  // The orientation stands in IFD0 of the CMT1 box, a TIFF structure.
  const std::size_t cmt = FindBox(file, "CMT1", 4);
  if (best && cmt != std::string::npos) best->orientation = TiffStructureOrientation(BoxBody(file, cmt));
  return best;
}

std::optional<TRawPreview> Raf(std::span<const uint8_t> file) {
  TByteReader in(file);
  in.Seek(84);
  const uint32_t offset = in.U32BE();
  const uint32_t length = in.U32BE();
  std::optional<TRawPreview> best;
  Offer(in.Span(offset, length), best);
  // Fujifilm keeps the orientation in the preview's own EXIF.
  if (best) best->orientation = JpegOrientation(best->jpeg);
  return best;
}

// CIFF, Canon's CRW: a heap of records whose table stands where the heap's last four bytes say,
// a record's data in the heap (or, in the high storage class, in the record itself). JpgFromRaw
// and the ThumbnailImage are JPEGs; records of the heap types hold heaps of their own, walked to
// a bounded depth and number, as a damaged file may nest them in circles.
constexpr uint16_t kCiffJpgFromRaw = 0x2007;
constexpr uint16_t kCiffThumbnail = 0x2008;
constexpr uint16_t kCiffImageInfo = 0x1810;
constexpr uint16_t kCiffMakeModel = 0x080A;
constexpr int kMaxCiffDepth = 8;

struct TCiff {
  std::optional<TRawPreview> best;
  int rotation = 0;  // degrees, as ImageInfo gives them
  std::string make;
  std::string model;
};

class TCiffWalk {
 public:
  explicit TCiffWalk(bool little) : little_(little) {}

  void Heap(std::span<const uint8_t> heap, int depth, TCiff& found) {
    if (depth > kMaxCiffDepth || ++heaps_ > kMaxDirectories || heap.size() < 6) return;
    try {
      TByteReader in(heap);
      in.Seek(heap.size() - 4);
      in.Seek(U32(in));
      const uint16_t count = U16(in);
      for (uint16_t i = 0; i < count; ++i) {
        const uint16_t tag = U16(in);
        const uint32_t size = U32(in);
        const uint32_t offset = U32(in);
        if ((tag & 0xC000) != 0) continue;  // the value is the record itself: nothing used here
        const std::span<const uint8_t> data = heap.subspan(std::min<std::size_t>(offset, heap.size()),
                                                           std::min<std::size_t>(size, heap.size() - std::min<std::size_t>(offset, heap.size())));
        if (data.size() != size) continue;
        const uint16_t id = tag & 0x3FFF;
        const uint16_t type = tag & 0x3800;
        if (id == kCiffJpgFromRaw || id == kCiffThumbnail) {
          Offer(data, found.best);
        } else if (id == kCiffImageInfo && data.size() >= 16) {
          TByteReader info(data);
          info.Seek(12);
          found.rotation = static_cast<int32_t>(U32(info));
        } else if (id == kCiffMakeModel) {
          const auto end = std::find(data.begin(), data.end(), uint8_t{0});
          found.make.assign(data.begin(), end);
          if (end != data.end()) found.model.assign(end + 1, std::find(end + 1, data.end(), uint8_t{0}));
        } else if (type == 0x2800 || type == 0x3000) {
          Heap(data, depth + 1, found);
        }
      }
    } catch (const EReadError&) {
      // What stood before the damage counts.
    }
  }

 private:
  uint16_t U16(TByteReader& r) const { return little_ ? r.U16LE() : r.U16BE(); }
  uint32_t U32(TByteReader& r) const { return little_ ? r.U32LE() : r.U32BE(); }

  bool little_;
  int heaps_ = 0;
};

bool IsCiff(std::span<const uint8_t> file) {
  return file.size() >= 14 && (Magic(file, 0, "II") || Magic(file, 0, "MM")) && Magic(file, 6, "HEAPCCDR");
}

TCiff ReadCiff(std::span<const uint8_t> file) {
  TCiff found;
  const bool little = file[0] == 'I';
  const uint32_t header = little ? LoadLE32(file.data() + 2) : LoadBE32(file.data() + 2);
  if (header < 14 || header >= file.size()) return found;
  TCiffWalk(little).Heap(file.subspan(header), 0, found);
  while (!found.make.empty() && found.make.back() == ' ') found.make.pop_back();
  if (found.best) {
    // Degrees the camera was turned, as EXIF orientations.
    switch (((found.rotation % 360) + 360) % 360) {
      case 90: found.best->orientation = 6; break;
      case 180: found.best->orientation = 3; break;
      case 270: found.best->orientation = 8; break;
      default: found.best->orientation = 1; break;
    }
  }
  return found;
}

}  // namespace

std::size_t FindBox(std::span<const uint8_t> file, std::string_view type, std::size_t from) {
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  for (std::size_t at = text.find(type, std::max<std::size_t>(from, 4)); at != std::string_view::npos;
       at = text.find(type, at + 1)) {
    const uint32_t size = LoadBE32(file.data() + at - 4);
    if (size >= 8 && size <= file.size() - (at - 4)) return at;
  }
  return std::string_view::npos;
}

std::span<const uint8_t> BoxBody(std::span<const uint8_t> file, std::size_t at) {
  return file.subspan(at + 4, LoadBE32(file.data() + at - 4) - 8);
}

bool IsRaw(std::span<const uint8_t> file) {
  if (Magic(file, 0, "FUJIFILMCCD-RAW") || Magic(file, 4, "ftypcrx ") || IsCiff(file)) return true;
  if (file.size() < 8 || !(Magic(file, 0, "II") || Magic(file, 0, "MM"))) return false;
  const bool little = file[0] == 'I';
  const uint16_t magic = little ? LoadLE16(file.data() + 2) : LoadBE16(file.data() + 2);
  // TIFF's 42, Olympus's "RO" and "RS", Panasonic's 0x55.
  return magic == 42 || magic == 0x4F52 || magic == 0x5352 || magic == 0x55;
}

std::optional<TRawPreview> LocateRawPreview(std::span<const uint8_t> file) {
  try {
    if (Magic(file, 0, "FUJIFILMCCD-RAW")) return Raf(file);
    if (Magic(file, 4, "ftypcrx ")) return Cr3(file);
    if (IsCiff(file)) return ReadCiff(file).best;
    if (IsRaw(file)) return TiffStructured(file);
  } catch (const EReadError&) {
  }
  return std::nullopt;
}

std::optional<TImageHeader> ProbeRaw(std::span<const uint8_t> file) {
  TImageHeader header;
  if (const std::optional<TRawPreview> preview = LocateRawPreview(file)) {
    header.width = preview->width;
    header.height = preview->height;
    header.orientation = preview->orientation;
    header.scaleBits = 0b1111;
    return header;
  }
  // Without a preview of its own the file is LibRaw's to draw, thumbnail or sensor data.
  const std::optional<TLibRawFacts> facts = LibRawFacts(file);
  if (!facts) return std::nullopt;
  header.width = facts->width;
  header.height = facts->height;
  header.orientation = facts->orientation;
  header.scaleBits = 0b11;
  return header;
}

std::string RawCamera(std::span<const uint8_t> file) {
  std::string make, model;
  if (IsCiff(file)) {
    TCiff ciff = ReadCiff(file);
    make = std::move(ciff.make);
    model = std::move(ciff.model);
  } else if (Magic(file, 0, "II") || Magic(file, 0, "MM")) {
    make = TiffAscii(file, kMake);
    model = TiffAscii(file, kModel);
  } else if (const std::size_t cmt = FindBox(file, "CMT1", 4); cmt != std::string::npos) {
    const std::span<const uint8_t> tiff = BoxBody(file, cmt);
    make = TiffAscii(tiff, kMake);
    model = TiffAscii(tiff, kModel);
  }
  if (model.empty()) {
    if (const std::optional<TLibRawFacts> facts = LibRawFacts(file)) {
      make = facts->make;
      model = facts->model;
    }
  }
  return CameraName(make, model);
}

void TRawReader::Invalid() const { RaiseImageErrorFmt(gesInvalidImage, "RAW"); }

void TRawReader::Load(std::span<const uint8_t> file) {
  file_ = file;
  try {
    if (const std::optional<TRawPreview> preview = LocateRawPreview(file)) {
      TBufferStream stream(preview->jpeg.data(), preview->jpeg.size());
      image_.LoadFromStream(stream);
      return;
    }
    source_ = TSource::rsThumbnail;
    std::optional<TLibRawThumbnail> thumbnail = LibRawThumbnail(file);
    if (thumbnail && !thumbnail->jpeg.empty()) {
      thumbnailJpeg_ = std::move(thumbnail->jpeg);
      TBufferStream stream(thumbnailJpeg_.data(), thumbnailJpeg_.size());
      try {
        image_.LoadFromStream(stream);
        return;
      } catch (const EJPEG&) {
        // A thumbnail libjpeg refuses leaves the sensor data.
      }
    } else if (thumbnail && !thumbnail->bitmap.Empty()) {
      bitmap_ = std::move(thumbnail->bitmap);
      jpeg_ = false;
      return;
    }
  } catch (const EJPEG&) {
    Invalid();
  }
  const std::optional<TLibRawFacts> facts = LibRawFacts(file);
  if (!facts || facts->width == 0 || facts->height == 0) Invalid();
  source_ = TSource::rsRaw;
  jpeg_ = false;
  wantRaw_ = true;
  rawWidth_ = facts->width;
  rawHeight_ = facts->height;
}

int TRawReader::Width() {
  if (source_ == TSource::rsRaw && bitmap_.Empty()) return static_cast<int>(rawWidth_);
  return jpeg_ ? image_.Width() : bitmap_.Width();
}

int TRawReader::Height() {
  if (source_ == TSource::rsRaw && bitmap_.Empty()) return static_cast<int>(rawHeight_);
  return jpeg_ ? image_.Height() : bitmap_.Height();
}

void TRawReader::PrepareFor(int32_t width, int32_t height) {
  if (decoded_ || source_ == TSource::rsRaw) return;
  // A preview this small would print as a blur; the sensor data is worth decoding then.
  if (int64_t{Width()} * 2 < width || int64_t{Height()} * 2 < height) wantRaw_ = true;
  if (!jpeg_) return;
  TImageHeader header;
  header.width = static_cast<uint32_t>(std::max(image_.Width(), 0));
  header.height = static_cast<uint32_t>(std::max(image_.Height(), 0));
  header.scaleBits = 0b1111;
  const auto [w, h] = DecodeSizeFor(header, width, height);
  static constexpr TJPEGScale kByShift[] = {jsFullSize, jsHalf, jsQuarter, jsEighth};
  for (unsigned n = 0; n < 4; ++n) {
    const uint32_t d = 1u << n;
    if ((header.width + d - 1) / d == w && (header.height + d - 1) / d == h) image_.Scale = kByShift[n];
  }
}

const TBitmap& TRawReader::Pixels() {
  if (wantRaw_ && !decoded_ && source_ != TSource::rsRaw) {
    // Only sensor data that gives more than the preview is worth its demosaic.
    const std::optional<TLibRawFacts> facts = LibRawFacts(file_);
    wantRaw_ = facts && uint64_t{facts->width / 2} * (facts->height / 2) > uint64_t(Width()) * uint64_t(Height());
  }
  if (wantRaw_ && !decoded_) {
    decoded_ = true;
    try {
      TBitmap raw;
      LibRawHalfSize(file_, raw);
      bitmap_ = std::move(raw);
      source_ = TSource::rsRaw;
      jpeg_ = false;
    } catch (const EInvalidGraphic&) {
      // The preview or thumbnail, small as it is, is still the picture.
      if (source_ == TSource::rsRaw) throw;
    }
  }
  decoded_ = true;
  if (!jpeg_) return bitmap_;
  try {
    return image_.Bitmap();
  } catch (const EJPEG&) {
    Invalid();
  }
}

TReaderDetails TRawReader::Details() {
  TReaderDetails details;
  const std::string camera = RawCamera(file_);
  if (!camera.empty()) details.emplace_back("camera", camera);
  const char* kind = source_ == TSource::rsPreview ? "preview" : source_ == TSource::rsThumbnail ? "thumbnail" : "raw";
  std::string source = std::string(kind) + " " + std::to_string(Width()) + "x" + std::to_string(Height());
  if (source_ == TSource::rsRaw) source += " (half-size demosaic)";
  details.emplace_back("source", source);
  return details;
}

}  // namespace tablora
