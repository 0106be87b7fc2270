#include "imaging/metadata.h"

#include <fcntl.h>
#include <libheif/heif.h>
#include <unistd.h>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string_view>
#include <vector>

#include "imaging/byte_order.h"
#include "imaging/byte_reader.h"
#include "imaging/exceptions.h"
#include "imaging/image_format.h"
#include "imaging/image_probe.h"
#include "imaging/readers/psd_reader.h"
#include "imaging/readers/raw_preview.h"
#include "imaging/tiff_structure.h"

namespace tablora {

namespace {

// Text of an EXIF ASCII or IPTC value: up to the first NUL, without surrounding blanks.
std::string CleanText(std::span<const uint8_t> bytes) {
  std::string text(bytes.begin(), std::find(bytes.begin(), bytes.end(), uint8_t{0}));
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.pop_back();
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  text.erase(text.begin(), first);
  return text;
}

// "YYYY:MM:DD HH:MM[:SS]" as "YYYY-MM-DD HH:MM:SS"; empty for anything else, the all-zero date
// cameras write before their clock is set included.
std::string NormalDate(std::string_view text) {
  if (text.size() < 16) return {};
  const auto digits = [&](std::size_t at, std::size_t n) {
    for (std::size_t i = at; i < at + n; ++i) {
      if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    }
    return true;
  };
  if (!digits(0, 4) || !digits(5, 2) || !digits(8, 2) || !digits(11, 2) || !digits(14, 2)) return {};
  if (text.substr(0, 4) == "0000" || text.substr(5, 2) == "00") return {};
  std::string date = std::string(text.substr(0, 4)) + '-' + std::string(text.substr(5, 2)) + '-' +
                     std::string(text.substr(8, 2)) + ' ' + std::string(text.substr(11, 2)) + ':' +
                     std::string(text.substr(14, 2)) + ':';
  date += digits(17, 2) ? std::string(text.substr(17, 2)) : std::string("00");
  return date;
}

}  // namespace

std::string CameraName(const std::string& make, const std::string& model) {
  if (model.empty()) return make;
  const std::string brand = make.substr(0, make.find(' '));
  if (brand.empty()) return model;
  const bool carries = model.size() >= brand.size() &&
                       std::equal(brand.begin(), brand.end(), model.begin(), [](char a, char b) {
                         return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                       });
  return carries ? model : brand + ' ' + model;
}

// The IPTC object name (2:05) of an IPTC-IIM block.

namespace {

void ReadIptc(std::span<const uint8_t> iptc, TPhotoMetadata& metadata) {
  try {
    TByteReader in(iptc);
    while (in.Remaining() >= 5) {
      if (in.U8() != 0x1C) return;
      const uint8_t record = in.U8();
      const uint8_t dataset = in.U8();
      const uint16_t length = in.U16BE();
      if (length & 0x8000) return;  // extended lengths are not used for texts
      const std::span<const uint8_t> value = in.Bytes(length);
      if (record == 2 && dataset == 5 && metadata.title.empty()) metadata.title = CleanText(value);
    }
  } catch (const EReadError&) {
  }
}

// A TIFF structure's directories: IFD0 and its Exif IFD.
class TTiffMetadata {
 public:
  TTiffMetadata(std::span<const uint8_t> tiff, TPhotoMetadata& metadata) : in_(tiff), metadata_(metadata) {}

  // exifOnly: the first directory holds the Exif tags themselves (CR3's CMT2). A damaged
  // directory holds nothing; tags read before it are kept.
  void Read(bool exifOnly) {
    try {
      TTiffStructure tiff(in_);
      little_ = tiff.Little();
      Directory(tiff, tiff.First(), exifOnly);
      if (!exifOnly && exifOffset_ != 0) Directory(tiff, exifOffset_, true);
    } catch (const EReadError&) {
    }
    if (metadata_.camera.empty()) metadata_.camera = CameraName(make_, model_);
    if (metadata_.dateTaken.empty()) metadata_.dateTaken = created_;
  }

 private:
  uint16_t U16(TByteReader& r) const { return little_ ? r.U16LE() : r.U16BE(); }
  uint32_t U32(TByteReader& r) const { return little_ ? r.U32LE() : r.U32BE(); }

  struct Entry {
    uint16_t tag;
    uint16_t type;
    std::span<const uint8_t> value;
  };

  void Directory(TTiffStructure& tiff, uint64_t offset, bool exif) {
    tiff.ForEach(offset, [&](const TTiffStructure::Entry& field) {
      if (TiffTypeSize(field.type) == 0 || field.count == 0) return true;
      Entry entry{field.tag, field.type, {}};
      try {
        entry.value = tiff.Bytes(field);
      } catch (const EReadError&) {
        return true;  // a value outside the data: that tag alone is missing
      }
      exif ? ExifTag(entry) : MainTag(entry);
      return true;
    });
  }

  uint32_t Integer(const Entry& e) const {
    TByteReader r(e.value);
    return e.type == 3 ? U16(r) : e.type == 4 ? U32(r) : e.type == 1 ? r.U8() : 0;
  }
  // An unsigned rational as its two parts; nothing for another type or a zero denominator.
  std::optional<std::pair<uint32_t, uint32_t>> Rational(const Entry& e) const {
    if (e.type != 5) return std::nullopt;
    TByteReader r(e.value);
    const uint32_t numerator = U32(r);
    const uint32_t denominator = U32(r);
    if (denominator == 0) return std::nullopt;
    return std::pair{numerator, denominator};
  }
  std::optional<double> Real(const Entry& e) const {
    const auto value = Rational(e);
    if (!value || value->first == 0) return std::nullopt;
    return static_cast<double>(value->first) / value->second;
  }

  void MainTag(const Entry& e) {
    switch (e.tag) {
      case 0x010F: if (e.type == 2) make_ = CleanText(e.value); break;
      case 0x0110: if (e.type == 2) model_ = CleanText(e.value); break;
      case 0x8769: exifOffset_ = Integer(e); break;
      case 0x02BC:
        ReadXmpPacket(std::string_view(reinterpret_cast<const char*>(e.value.data()), e.value.size()), metadata_);
        break;
      case 0x83BB: ReadIptc(e.value, metadata_); break;
      default: break;
    }
  }

  void ExifTag(const Entry& e) {
    switch (e.tag) {
      case 0x9003:
        if (e.type == 2 && metadata_.dateTaken.empty()) metadata_.dateTaken = NormalDate(CleanText(e.value));
        break;
      case 0x9004: if (e.type == 2) created_ = NormalDate(CleanText(e.value)); break;
      case 0x829A:
        if (const auto value = Rational(e); value && value->first != 0) {
          metadata_.exposureNumerator = value->first;
          metadata_.exposureDenominator = value->second;
        }
        break;
      case 0x829D: metadata_.fNumber = Real(e); break;
      case 0x920A: metadata_.focalLength = Real(e); break;
      case 0x8827:
        if (const uint32_t iso = Integer(e); iso != 0) metadata_.iso = iso;
        break;
      case 0xA434: if (e.type == 2) metadata_.lens = CleanText(e.value); break;
      case 0x010F: if (e.type == 2) make_ = CleanText(e.value); break;
      case 0x0110: if (e.type == 2) model_ = CleanText(e.value); break;
      default: break;
    }
  }

  std::span<const uint8_t> in_;
  TPhotoMetadata& metadata_;
  bool little_ = false;
  uint64_t exifOffset_ = 0;
  std::string make_;
  std::string model_;
  std::string created_;
};

void ReadTiff(std::span<const uint8_t> tiff, TPhotoMetadata& metadata, bool exifOnly = false) {
  TTiffMetadata(tiff, metadata).Read(exifOnly);
}

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool ReadJpeg(std::span<const uint8_t> file, TPhotoMetadata& metadata) {
  static constexpr std::string_view kXmp("http://ns.adobe.com/xap/1.0/\0", 29);
  static constexpr std::string_view kPhotoshop("Photoshop 3.0\0", 14);
  if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8) return false;
  WalkJpegSegments(file, [&](uint8_t marker, std::span<const uint8_t> segment) {
    const std::string_view text = AsText(segment);
    if (marker == 0xE1 && text.starts_with(std::string_view("Exif\0\0", 6))) {
      ReadTiff(segment.subspan(6), metadata);
    } else if (marker == 0xE1 && text.starts_with(kXmp)) {
      ReadXmpPacket(text.substr(kXmp.size()), metadata);
    } else if (marker == 0xED && text.starts_with(kPhotoshop)) {
      ReadIptc(ReadPsdResources(segment.subspan(kPhotoshop.size())).iptc, metadata);
    }
    return false;
  });
  return true;
}

bool ReadCr3(std::span<const uint8_t> file, TPhotoMetadata& metadata) {
  // CMT1 holds IFD0 (the camera), CMT2 the Exif IFD itself, each a TIFF structure of its own.
  for (const auto& [type, exifOnly] : {std::pair{"CMT1", false}, std::pair{"CMT2", true}}) {
    const std::size_t at = FindBox(file, type, 4);
    if (at == std::string_view::npos) continue;
    ReadTiff(BoxBody(file, at), metadata, exifOnly);
  }
  const std::string_view text = AsText(file);
  if (const std::size_t xmp = text.find("<x:xmpmeta"); xmp != std::string_view::npos) {
    ReadXmpPacket(text.substr(xmp, text.find("</x:xmpmeta>", xmp) - xmp), metadata);
  }
  return true;
}

bool ReadHeif(std::span<const uint8_t> file, TPhotoMetadata& metadata) {
  heif_context* context = heif_context_alloc();
  if (context == nullptr) return true;
  heif_image_handle* handle = nullptr;
  if (heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr).code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::max(count, 0)));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, nullptr, ids.data(), count);
    for (const heif_item_id id : ids) {
      const std::string type = heif_image_handle_get_metadata_type(handle, id);
      const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
      if (size == 0 || size > kMetadataHeaderBytes) continue;
      std::vector<uint8_t> block(size);
      if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) continue;
      if (type == "Exif" && size > 4) {
        // The block begins with the offset of the TIFF header after those four bytes.
        const uint32_t skip = LoadBE32(block.data());
        if (skip <= size - 4) ReadTiff(std::span<const uint8_t>(block).subspan(4 + skip), metadata);
      } else if (type == "mime") {
        ReadXmpPacket(AsText(block), metadata);
      }
    }
    heif_image_handle_release(handle);
  }
  heif_context_free(context);
  return true;
}

std::string DecodeEntities(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    bool known = false;
    for (const auto& [name, c] : kEntities) {
      if (text.substr(i).starts_with(name)) {
        out += c;
        i += name.size() - 1;
        known = true;
        break;
      }
    }
    if (!known) out += '&';
  }
  return out;
}

// The value of a simple XMP property, written as an attribute (xmp:Rating="3") or an element
// (<xmp:Rating>3</xmp:Rating>).
std::optional<std::string_view> XmpValue(std::string_view xmp, std::string_view name) {
  for (std::size_t at = xmp.find(name); at != std::string_view::npos; at = xmp.find(name, at + 1)) {
    const std::size_t end = at + name.size();
    if (end >= xmp.size()) break;
    if (xmp[end] == '=' && end + 1 < xmp.size() && (xmp[end + 1] == '"' || xmp[end + 1] == '\'')) {
      const std::size_t close = xmp.find(xmp[end + 1], end + 2);
      if (close == std::string_view::npos) break;
      return xmp.substr(end + 2, close - end - 2);
    }
    if (at > 0 && xmp[at - 1] == '<' && xmp[end] == '>') {
      const std::size_t close = xmp.find('<', end + 1);
      if (close == std::string_view::npos) break;
      return xmp.substr(end + 1, close - end - 1);
    }
  }
  return std::nullopt;
}

// A whole number of at most `digits` digits with an optional minus; what follows the digits is
// dropped (programs write "3.0" for 3 stars). Nothing for anything else.
std::optional<int> XmpInteger(std::optional<std::string_view> text, std::size_t digits) {
  if (!text) return std::nullopt;
  std::string_view rest = *text;
  const bool negative = rest.starts_with('-');
  if (negative) rest.remove_prefix(1);
  std::size_t count = 0;
  int value = 0;
  while (count < rest.size() && rest[count] >= '0' && rest[count] <= '9') value = value * 10 + (rest[count++] - '0');
  if (count == 0 || count > digits) return std::nullopt;
  return negative ? -value : value;
}

// Windows' percentage (MicrosoftPhoto:Rating, 0 to 99) as the stars Explorer shows for it.
std::optional<int> StarsOfPercent(int percent) {
  if (percent < 0 || percent > 99) return std::nullopt;
  if (percent == 0) return 0;
  if (percent <= 12) return 1;
  if (percent <= 37) return 2;
  if (percent <= 62) return 3;
  if (percent <= 87) return 4;
  return 5;
}

}  // namespace

void ReadXmpPacket(std::string_view xmp, TPhotoMetadata& metadata) {
  // xmp:Rating first; ACDSee and Windows keep their own when they write no xmp:Rating.
  std::optional<int> rating = XmpInteger(XmpValue(xmp, "xmp:Rating"), 1);
  if (rating) {
    rating = std::clamp(*rating, -1, 5);
  } else if ((rating = XmpInteger(XmpValue(xmp, "acdsee:rating"), 1))) {
    rating = std::clamp(*rating, 0, 5);
  } else if ((rating = XmpInteger(XmpValue(xmp, "MicrosoftPhoto:Rating"), 2))) {
    rating = StarsOfPercent(*rating);
  }
  if (rating) metadata.rating = rating;
  if (const std::size_t title = xmp.find("<dc:title"); title != std::string_view::npos) {
    const std::size_t item = xmp.find("<rdf:li", title);
    const std::size_t start = item == std::string_view::npos ? item : xmp.find('>', item);
    const std::size_t end = start == std::string_view::npos ? start : xmp.find("</rdf:li>", start);
    if (end != std::string_view::npos) {
      const std::string text = DecodeEntities(xmp.substr(start + 1, end - start - 1));
      if (!text.empty()) metadata.title = text;
    }
  }
}

namespace {

// What a metadata reader looks at of a format whose metadata stands before its picture data.
std::span<const uint8_t> Head(std::span<const uint8_t> bytes) {
  return bytes.subspan(0, std::min(bytes.size(), kMetadataHeaderBytes));
}

bool Begins(std::span<const uint8_t> bytes, std::size_t at, std::string_view text) {
  return bytes.size() >= at + text.size() && AsText(bytes).substr(at, text.size()) == text;
}

// The marks a TIFF-structured file begins with, as this reader has always taken them: TIFF's
// ("II*", and "MM" whatever follows), Olympus's and Panasonic's. A little-endian BigTIFF ("II+")
// is left to exiv2.
bool TiffStructured(std::span<const uint8_t> bytes) {
  for (const std::string_view mark : {"II*", "MM", "IIRO", "IIRS", "IIU"}) {
    if (Begins(bytes, 0, mark)) return true;
  }
  return false;
}

}  // namespace

bool JpegMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata) { return ReadJpeg(Head(file), metadata); }

bool TiffMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata) {
  if (!TiffStructured(file)) return false;
  // A TIFF's directories often follow its pictures, far past the header; the mapping is read
  // only where they stand.
  ReadTiff(file, metadata);
  return true;
}

bool RawMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata) {
  if (Begins(file, 4, "ftypcrx ")) return ReadCr3(Head(file), metadata);
  return TiffMetadata(file, metadata);
}

bool HeifMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata) {
  const std::span<const uint8_t> head = Head(file);
  if (head.size() < 12 || heif_check_filetype(head.data(), 12) != heif_filetype_yes_supported) return false;
  // libheif finds the metadata items through the file's index and reads only those.
  return ReadHeif(file, metadata);
}

bool ReadEmbeddedMetadata(std::span<const uint8_t> bytes, TPhotoMetadata& metadata) {
  for (const TImageFormat& format : ImageFormats()) {
    if (format.metadata != nullptr && format.metadata(bytes, metadata)) return true;
  }
  return false;
}


namespace {

// The XMP toolkit keeps one registry of namespaces for the process; exiv2 takes this lock around
// its use, so pictures may be read on several threads.
void LockXmpToolkit(void* data, bool lock) {
  auto* mutex = static_cast<std::recursive_mutex*>(data);
  lock ? mutex->lock() : mutex->unlock();
}

void InitialiseExiv2() {
  static std::once_flag initialised;
  static std::recursive_mutex toolkit;
  std::call_once(initialised, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize(LockXmpToolkit, &toolkit);
  });
}

void ReadWithExiv2(const std::string& path, TPhotoMetadata& metadata) {
  InitialiseExiv2();
  try {
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
    if (!image.get()) return;
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    const auto text = [&](const char* key) {
      const auto it = exif.findKey(Exiv2::ExifKey(key));
      return it == exif.end() ? std::string() : it->toString();
    };
    const auto real = [&](const char* key) -> std::optional<double> {
      const auto it = exif.findKey(Exiv2::ExifKey(key));
      if (it == exif.end()) return std::nullopt;
      const Exiv2::Rational r = it->toRational(0);
      if (r.first <= 0 || r.second <= 0) return std::nullopt;
      return static_cast<double>(r.first) / r.second;
    };
    metadata.dateTaken = NormalDate(text("Exif.Photo.DateTimeOriginal"));
    if (metadata.dateTaken.empty()) metadata.dateTaken = NormalDate(text("Exif.Photo.DateTimeDigitized"));
    metadata.camera = CameraName(text("Exif.Image.Make"), text("Exif.Image.Model"));
    metadata.lens = text("Exif.Photo.LensModel");
    if (const auto it = exif.findKey(Exiv2::ExifKey("Exif.Photo.ExposureTime")); it != exif.end()) {
      const Exiv2::Rational r = it->toRational(0);
      if (r.first > 0 && r.second > 0) {
        metadata.exposureNumerator = static_cast<uint32_t>(r.first);
        metadata.exposureDenominator = static_cast<uint32_t>(r.second);
      }
    }
    metadata.fNumber = real("Exif.Photo.FNumber");
    metadata.focalLength = real("Exif.Photo.FocalLength");
    if (const auto it = exif.findKey(Exiv2::ExifKey("Exif.Photo.ISOSpeedRatings")); it != exif.end()) {
      if (const long iso = it->toLong(0); iso > 0) metadata.iso = static_cast<uint32_t>(iso);
    }
    const Exiv2::IptcData& iptc = image->iptcData();
    if (const auto it = iptc.findKey(Exiv2::IptcKey("Iptc.Application2.ObjectName")); it != iptc.end()) {
      metadata.title = it->toString();
    }
    if (!image->xmpPacket().empty()) ReadXmpPacket(image->xmpPacket(), metadata);
  } catch (const std::exception&) {
  }
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\0' || std::isspace(static_cast<unsigned char>(text.back())))) {
    text.pop_back();
  }
  return text;
}

std::string Joined(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& value : values) {
    if (value.empty()) continue;
    if (!text.empty()) text += ", ";
    text += value;
  }
  return text;
}

// An XMP property as one line: the items of a bag or sequence joined, a language alternative in
// its default language (else its first).
std::string XmpText(const Exiv2::Xmpdatum& datum) {
  const Exiv2::Value& value = datum.value();
  switch (value.typeId()) {
    case Exiv2::langAlt: {
      const auto& languages = static_cast<const Exiv2::LangAltValue&>(value).value_;
      const auto it = languages.find("x-default");
      if (it != languages.end()) return Trimmed(it->second);
      return languages.empty() ? std::string() : Trimmed(languages.begin()->second);
    }
    case Exiv2::xmpBag:
    case Exiv2::xmpSeq:
    case Exiv2::xmpAlt: {
      std::vector<std::string> items;
      for (long i = 0; i < value.count(); ++i) items.push_back(Trimmed(value.toString(i)));
      return Joined(items);
    }
    default: return Trimmed(datum.toString());
  }
}

// Keys are matched by their text: exiv2 would refuse to build a key of a namespace or maker note
// it has not met yet, though the file at hand may bring it.
std::string KeyText(const Exiv2::Image& image, const std::string& key) {
  std::vector<std::string> values;
  if (key.starts_with("Exif.")) {
    const Exiv2::ExifData& exif = image.exifData();
    for (const Exiv2::Exifdatum& datum : exif) {
      if (datum.key() == key) return Trimmed(datum.print(&exif));
    }
  } else if (key.starts_with("Iptc.")) {
    for (const Exiv2::Iptcdatum& datum : image.iptcData()) {
      if (datum.key() == key) values.push_back(Trimmed(datum.print()));
    }
  } else if (key.starts_with("Xmp.")) {
    for (const Exiv2::Xmpdatum& datum : image.xmpData()) {
      if (datum.key() == key) return XmpText(datum);
    }
  }
  return Joined(values);
}

// The keys' values of the file, read through exiv2 from the file's bounded mapping.
void ReadKeys(const std::string& path, std::span<const std::string> keys, TPhotoMetadata& metadata) {
  InitialiseExiv2();
  try {
    const TFileBytes file(path);
    const std::span<const uint8_t> bytes = file.Bytes();
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(bytes.data(), static_cast<long>(bytes.size()));
    if (!image.get()) return;
    image->readMetadata();
    for (const std::string& key : keys) {
      if (std::string text = KeyText(*image, key); !text.empty()) metadata.byKey[key] = std::move(text);
    }
  } catch (const std::exception&) {
  }
}

// The XMP keys of a sidecar, over what the file itself said.
void ReadSidecarKeys(const std::string& xmp, std::span<const std::string> keys, TPhotoMetadata& metadata) {
  if (std::none_of(keys.begin(), keys.end(), [](const std::string& key) { return key.starts_with("Xmp."); })) return;
  InitialiseExiv2();
  try {
    Exiv2::XmpData data;
    if (Exiv2::XmpParser::decode(data, xmp) != 0) return;
    for (const std::string& key : keys) {
      for (const Exiv2::Xmpdatum& datum : data) {
        if (datum.key() != key) continue;
        if (std::string text = XmpText(datum); !text.empty()) metadata.byKey[key] = std::move(text);
        break;
      }
    }
  } catch (const std::exception&) {
  }
}

// The first kMetadataHeaderBytes of a small text file; empty when it is not there. Most pictures
// have no sidecar: the failed open is all that costs.
std::string ReadSidecar(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  char chunk[16384];
  while (text.size() < kMetadataHeaderBytes) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, kMetadataHeaderBytes - text.size()));
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

// Where a JPEG's first scan begins, or npos when its segments run past the bytes given.
std::size_t JpegHeaderEnd(std::span<const uint8_t> bytes) {
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (bytes[at] != 0xFF) return at;  // damaged: what is there is all the reader will look at
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return at;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    at += 2 + LoadBE16(bytes.data() + at + 2);
  }
  return std::string::npos;
}

// A JPEG's header read with plain reads of its first bytes: most photographs are JPEGs, and
// sorting thousands of them by date must not cost a mapping of each. False when the file is
// no JPEG (or cannot be read), for the general path.
bool ReadJpegHeader(const std::string& path, TPhotoMetadata& metadata) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  thread_local std::vector<uint8_t> buffer;
  std::size_t wanted = std::size_t{64} << 10;
  std::size_t have = 0;
  bool jpeg = false;
  for (;;) {
    buffer.resize(wanted);
    while (have < wanted) {
      const ssize_t n = ::pread(fd, buffer.data() + have, wanted - have, static_cast<off_t>(have));
      if (n <= 0) break;
      have += static_cast<std::size_t>(n);
    }
    const std::span<const uint8_t> bytes(buffer.data(), have);
    jpeg = have >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8;
    if (!jpeg) break;
    // The whole header within what was read, or the file read to its end or to the limit.
    if (JpegHeaderEnd(bytes) != std::string::npos || have < wanted || wanted == kMetadataHeaderBytes) {
      ReadJpeg(bytes, metadata);
      break;
    }
    wanted = kMetadataHeaderBytes;
  }
  ::close(fd);
  return jpeg;
}

}  // namespace

TPhotoMetadata ReadPhotoMetadata(const std::string& path) { return ReadPhotoMetadata(path, {}); }

TPhotoMetadata ReadPhotoMetadata(const std::string& path, std::span<const std::string> keys) {
  TPhotoMetadata metadata;
  try {
    if (!ReadJpegHeader(path, metadata)) {
      const TFileBytes file(path);
      if (!ReadEmbeddedMetadata(file.Bytes(), metadata)) ReadWithExiv2(path, metadata);
    }
  } catch (const std::exception&) {
    return metadata;
  }
  if (!keys.empty()) ReadKeys(path, keys, metadata);
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  std::string sidecar = ReadSidecar(path + ".xmp");
  if (sidecar.empty() && dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    sidecar = ReadSidecar(path.substr(0, dot) + ".xmp");
  }
  if (!sidecar.empty()) {
    ReadXmpPacket(sidecar, metadata);
    if (!keys.empty()) ReadSidecarKeys(sidecar, keys, metadata);
  }
  return metadata;
}

bool IsMetadataKey(std::string_view text) {
  const auto isWord = [](std::string_view word, std::string_view extra, bool letterFirst) {
    if (word.empty() || (letterFirst && !std::isalpha(static_cast<unsigned char>(word[0])))) return false;
    return std::all_of(word.begin(), word.end(), [&](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || extra.find(c) != std::string_view::npos;
    });
  };
  const std::size_t first = text.find('.');
  const std::size_t second = first == std::string_view::npos ? first : text.find('.', first + 1);
  if (second == std::string_view::npos) return false;
  const std::string_view family = text.substr(0, first);
  const std::string_view group = text.substr(first + 1, second - first - 1);
  const std::string_view name = text.substr(second + 1);
  // Tags and datasets may go by number ("0x0110"); an XMP property may be a path into a
  // structure or an array ("Iptc4xmpCore:CreatorContactInfo/Iptc4xmpCore:CiAdrCity").
  if (family == "Exif" || family == "Iptc") return isWord(group, "", true) && isWord(name, "", false);
  if (family == "Xmp") return isWord(group, "-", true) && isWord(name, "-:/[].", true);
  return false;
}

}  // namespace tablora
