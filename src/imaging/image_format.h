#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"

namespace tablora {

class TStreamBytes;
struct TPhotoMetadata;

// What a reader found beyond the picture, as name and value ("camera", "Canon EOS R6").
using TReaderDetails = std::vector<std::pair<std::string, std::string>>;

// What a format's header tells before anything is decoded.
struct TImageHeader {
  uint32_t width = 0;  // as stored, before the orientation turns it; 0: not known
  uint32_t height = 0;
  int orientation = 1;  // the EXIF value (1 to 8) that turns the stored picture upright
  // The reductions the decoder makes while it decodes: bit n set means each side divided by 2^n
  // (rounded up). Bit 0 (full size) is always there. anyScale: any size at all.
  uint32_t scaleBits = 1;
  bool anyScale = false;
};

// The smallest size a decoder with these scales can deliver that still covers width × height
// (the size the picture is reduced to afterwards); the stored size when none is smaller.
std::pair<uint32_t, uint32_t> DecodeSizeFor(const TImageHeader& header, int32_t width, int32_t height);

// One format's reader behind one interface. Load reads what the format needs to answer Width and
// Height (the bytes must outlive the reader); Pixels decodes, at the size PrepareFor asked for
// where the format can decode smaller.
class TFormatReader {
 public:
  virtual ~TFormatReader() = default;
  virtual void Load(std::span<const uint8_t> file) = 0;
  virtual int Width() = 0;
  virtual int Height() = 0;
  // Called before Pixels with the size the picture will be reduced to (in its stored
  // orientation): never decoded below it.
  virtual void PrepareFor(int32_t width, int32_t height) {
    (void)width;
    (void)height;
  }
  virtual const TBitmap& Pixels() = 0;
  // Known after Pixels: what was decoded can depend on the size asked for.
  virtual TReaderDetails Details() { return {}; }
  // Whether the picture's samples are CMYK, which the reader brings to sRGB itself: through the
  // file's CMYK profile where lcms2 can use it, else by the ink formula. No embedded profile
  // applies to its pixels afterwards. Known after Pixels.
  virtual bool CmykSamples() { return false; }
  // The profile the reader brought its samples to sRGB through itself (the CMYK profile of those
  // samples; for a JPEG XL picture libjxl converted, the file's own colours); empty when none.
  virtual std::vector<uint8_t> ReaderProfile() { return {}; }
  // How the decoded samples stand to the file's colour description. Known after Pixels.
  enum class TSampleColour {
    scFile,       // as the file stores them: its profile applies
    scSrgb,       // brought to sRGB by the reader (HDR pictures tone-mapped): nothing applies
    scSrgbCurve,  // the file's linear light encoded with the sRGB curve (floating-point
                  // samples): the profile applies through its primaries alone
  };
  virtual TSampleColour SampleColour() { return TSampleColour::scFile; }
};

// A format the program reads, whole: the one place that binds extensions, content, reader,
// colour description and shooting data together. Nothing outside the registry asks which format
// a file is by its name; it asks the row. Rows are written with designated fields
// ({.name = "PNG", .kind = ..., ...}); a format without a profile or metadata of its own leaves
// those fields out.
struct TImageFormat {
  const char* name = nullptr;  // the reader's short name ("JPEG", "WebP")
  const char* kind = nullptr;  // what a reader of the manual calls such files ("Photoshop", "camera RAW")
  std::span<const std::string_view> extensions;  // lower-case, dot included
  // Whether the bytes begin as a file of this format does.
  bool (*signature)(std::span<const uint8_t> file) = nullptr;
  std::unique_ptr<TFormatReader> (*create)() = nullptr;
  // Size, orientation and scales from the header; a size of 0 when it cannot be read, nothing
  // when nothing can.
  std::optional<TImageHeader> (*probe)(std::span<const uint8_t> file) = nullptr;
  // Bytes a decode takes per pixel it delivers: the bitmap and the decoder's own buffers.
  unsigned workBytesPerPixel = 4;
  // The colour description the file embeds or states (see EmbeddedProfile); nullptr: the format
  // carries none, its pixels are sRGB.
  std::vector<uint8_t> (*profile)(std::span<const uint8_t> file) = nullptr;
  // Reads the shooting data of the file's bytes (see ReadEmbeddedMetadata) and answers true, or
  // answers false, reading nothing, for bytes that are not its own, which exiv2 then reads.
  // nullptr: exiv2 reads them all.
  bool (*metadata)(std::span<const uint8_t> file, TPhotoMetadata& metadata) = nullptr;
};

// A file's format, resolved once from its extension and its bytes, and what its header says:
// the one answer the estimate, the load and the orientation of a file all read.
struct TResolvedFormat {
  const TImageFormat* format = nullptr;  // nullptr: the extension is none of ours
  std::optional<TImageHeader> header;    // the format's probe of the bytes
};

// The bytes of one file, mapped once and read by everything that looks at it: the header probe,
// the reader and the orientation. Opening raises EFOpenError; a file larger than the file-data
// limit raises EInvalidGraphic.
class TFileBytes {
 public:
  explicit TFileBytes(const std::string& path);
  // Mapped, then its format resolved from the lower-cased extension (ResolveFormat): once, for
  // everything that reads this mapping after.
  TFileBytes(const std::string& path, std::string_view lowerExtension);
  ~TFileBytes();
  TFileBytes(const TFileBytes&) = delete;
  TFileBytes& operator=(const TFileBytes&) = delete;

  std::span<const uint8_t> Bytes() const;
  // The format resolved when the file was mapped; nullptr when it was mapped without its
  // extension.
  const TResolvedFormat* Resolved() const { return resolved_ ? &*resolved_ : nullptr; }

 private:
  std::unique_ptr<TStreamBytes> bytes_;
  std::optional<TResolvedFormat> resolved_;
};

// Every format, in the order content is tried in when an extension lies.
std::span<const TImageFormat> ImageFormats();
// The format of a lower-cased extension (dot included), compared exactly; nullptr for none.
const TImageFormat* FormatByExtension(std::string_view lowerExtension);
// The format that reads `file`: the extension's own, unless its signature refuses the bytes and
// another format's signature takes them. nullptr when the extension is none of ours.
const TImageFormat* FormatForFile(std::string_view lowerExtension, std::span<const uint8_t> file);
// FormatForFile, then that format's probe of the bytes.
TResolvedFormat ResolveFormat(std::string_view lowerExtension, std::span<const uint8_t> file);
// The format the file was resolved to when mapped, else resolved now.
TResolvedFormat ResolveFormat(std::string_view lowerExtension, const TFileBytes& file);
// A format's probe of the bytes. The library's probes all run through here.
std::optional<TImageHeader> ProbeHeader(const TImageFormat& format, std::span<const uint8_t> file);
// How many probes have run through ProbeHeader in this process: a caller's tests see with it how
// often a file is looked at.
uint64_t HeaderProbeCount();
// The orientation a file's header gives, 1 when it gives none or is damaged.
int OrientationOf(std::span<const uint8_t> file, std::string_view lowerExtension);
// Bytes decoding the file into a picture for a box of width × height may take, from its header
// where it can be read cheaply, else from the file's size.
uint64_t EstimateDecodeBytes(const TImageFormat& format, std::span<const uint8_t> file, int32_t width,
                             int32_t height);
// The same from the header already probed (nothing: from the file's size alone).
uint64_t EstimateDecodeBytes(const TImageFormat& format, const std::optional<TImageHeader>& header,
                             uint64_t fileBytes, int32_t width, int32_t height);
// The admitted extensions, space-separated, for help texts.
std::string AdmittedExtensionList();
// What the formats' files are called, in the registry's order, for help texts and manuals:
// "JPEG, PNG, ... and camera RAW".
std::string FormatKindList();

}  // namespace tablora
