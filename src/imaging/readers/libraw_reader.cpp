#include "imaging/readers/libraw_reader.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <set>
#include <string_view>

#include "imaging/byte_order.h"
#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/raster_graphic.h"
#include "imaging/readers/jpeg_decompressor.h"

namespace tablora {

namespace {

[[noreturn]] void Invalid() { RaiseImageErrorFmt(gesInvalidImage, "RAW"); }

// LibRaw's default handlers print to stderr; a damaged file is this program's to report.
void QuietData(void*, const char*, const int) {}
void QuietMemory(void*, const char*, const char*) {}

// A cancel or a spent work budget stops LibRaw at its next stage; the exception waits until
// LibRaw has unwound and is raised then.
int Progress(void* data, LibRaw_progress, int, int) {
  auto* pending = static_cast<std::exception_ptr*>(data);
  try {
    CheckCancel();
  } catch (...) {
    *pending = std::current_exception();
    return 1;
  }
  return 0;
}

// LibRaw 0.20 never gets past a box of size 0 in a CR3 file, be it a 32-bit 0 below the top level
// (at the top level it means "to the end of the file") or a 64-bit 0 anywhere, and no progress
// call comes on the way: the thread that opened it stayed busy for good. The boxes LibRaw
// descends into are walked here first, each container's children where LibRaw looks for them
// (past the Canon box's identifier, the CCTP, sample description and CRAW headers); a box
// smaller than its own header, which later LibRaw refuses, is refused too.
bool Cr3HasBoxLibRawCannotPass(std::span<const uint8_t> file, uint64_t begin, uint64_t end, int depth,
                            std::string_view parent) {
  static constexpr std::string_view kContainers[] = {
      "dinf", "edts", "fiin", "ipro", "iprp", "mdia", "meco", "mere", "mfra", "minf", "moof", "moov", "mvex",
      "paen", "schi", "sinf", "skip", "stbl", "stsd", "strk", "tapt", "traf", "trak", "CCTP", "CRAW"};
  static constexpr uint8_t kCanonBox[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                            0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
  // LibRaw stops descending here.
  if (depth > 31) return false;
  end = std::min<uint64_t>(end, file.size());
  for (uint64_t at = begin; at + 8 <= end;) {
    uint64_t size = LoadBE32(file.data() + at);
    const std::string_view name(reinterpret_cast<const char*>(file.data() + at + 4), 4);
    uint64_t header = 8;
    if (size == 0) {
      if (depth > 0) return true;
      size = end - at;
    } else if (size == 1) {
      if (at + 16 > end) return false;
      size = (uint64_t{LoadBE32(file.data() + at + 8)} & 0x7fffffff) << 32 | LoadBE32(file.data() + at + 12);
      header = 16;
    }
    if (size < header) return true;
    uint64_t skip = 0;
    bool container = std::find(std::begin(kContainers), std::end(kContainers), name) != std::end(kContainers);
    if (name == "uuid" && parent == "moov" && at + 24 <= file.size() &&
        std::memcmp(file.data() + at + 8, kCanonBox, sizeof kCanonBox) == 0) {
      container = true;
      skip = 16;
    }
    if (name == "CCTP") skip = 12;
    if (name == "stsd") skip = 8;
    if (name == "CRAW") skip = 82;
    if (container && size > header + skip &&
        Cr3HasBoxLibRawCannotPass(file, at + header + skip, std::min<uint64_t>(at + size, end), depth + 1, name)) {
      return true;
    }
    if (size > end - at) break;
    at += size;
  }
  return false;
}

bool IsCr3(std::span<const uint8_t> file) {
  return file.size() >= 12 && std::memcmp(file.data() + 4, "ftypcrx ", 8) == 0;
}

// This thread's LibRaw object, opened on one file for one call and recycled when it ends,
// whichever way.
class TLibRawSession {
 public:
  explicit TLibRawSession(std::span<const uint8_t> file) : raw_(ThreadObject()) {
    raw_.set_dataerror_handler(QuietData, nullptr);
    raw_.set_memerror_handler(QuietMemory, nullptr);
    raw_.set_progress_handler(Progress, &pending_);
    if (file.empty()) Invalid();
    if (IsCr3(file) && Cr3HasBoxLibRawCannotPass(file, 0, file.size(), 0, {})) Invalid();
    // LibRaw only reads the buffer.
    if (raw_.open_buffer(const_cast<uint8_t*>(file.data()), file.size()) != LIBRAW_SUCCESS) Check(1);
  }
  ~TLibRawSession() {
    raw_.set_progress_handler(nullptr, nullptr);
    raw_.recycle();
  }
  TLibRawSession(const TLibRawSession&) = delete;
  TLibRawSession& operator=(const TLibRawSession&) = delete;

  LibRaw& Raw() { return raw_; }
  libraw_data_t& Data() { return raw_.imgdata; }

  // LibRaw's result: a cancel met on the way is raised as itself, any other failure as the
  // reader's message.
  void Check(int result) {
    if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
    if (result != LIBRAW_SUCCESS) Invalid();
  }

 private:
  static LibRaw& ThreadObject() {
    thread_local std::unique_ptr<LibRaw> object;
    if (!object) object = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    return *object;
  }

  LibRaw& raw_;
  std::exception_ptr pending_;
};

// dcraw's flip codes as EXIF orientations.
int OrientationOfFlip(int flip) {
  switch (flip) {
    case 3: return 3;
    case 5: return 8;
    case 6: return 6;
    default: return 1;
  }
}

// A thumbnail smaller than this is a stub some cameras leave, no picture of the shot.
constexpr int kSmallestThumbnail = 32;

// Whether libjpeg reads a lossy DNG tile's header and starts its decompression, as LibRaw will
// ask it to: from the tile's offset to the file's end.
bool TileStarts(std::span<const uint8_t> jpeg) {
  try {
    JpegDecompressor decompressor;
    decompressor.SetSource(jpeg.data(), jpeg.size());
    jpeg_decompress_struct& info = decompressor.Info();
    decompressor.Run([&] { jpeg_read_header(&info, TRUE); });
    decompressor.ChargeWholeImage();
    decompressor.Run([&] { jpeg_start_decompress(&info); });
    return true;
  } catch (const EInvalidGraphic&) {
    return false;
  }
}

// LibRaw 0.20 leaves its JPEG decompressor behind when a lossy DNG's tile fails before its rows
// (in the header or as the decompression starts), some 20 KB a file: a folder of damaged files
// would grow the program with every page. So every tile LibRaw will read is first started here,
// walked as LibRaw walks them (a table of offsets for tiles, the data itself for strips); a file
// with a tile that fails, or laid out in a way LibRaw's walk would not end, never reaches LibRaw.
// A tile failing in its rows is LibRaw's to clean up, and it does.
bool LossyDngTilesStart(std::span<const uint8_t> file, LibRaw& raw) {
  const unpacker_data_t& unpacker = raw.get_internal_data_pointer()->unpacker_data;
  const libraw_image_sizes_t& sizes = raw.imgdata.sizes;
  const bool little = unpacker.order == 0x4949;
  if ((!little && unpacker.order != 0x4D4D) || unpacker.tile_width == 0 || unpacker.tile_length == 0 ||
      unpacker.data_offset < 4 || static_cast<uint64_t>(unpacker.data_offset) >= file.size()) {
    return false;
  }
  const bool tiled = unpacker.tile_length < INT_MAX;
  // LibRaw's own 32-bit counters, wrapping where its do.
  uint32_t row = 0, column = 0;
  uint64_t at = static_cast<uint64_t>(unpacker.data_offset);
  std::set<uint64_t> started;
  for (; row < sizes.raw_height; at += 4) {
    if (at + 4 > file.size()) return false;
    CheckCancel();
    const uint64_t tile = !tiled ? at : little ? LoadLE32(file.data() + at) : LoadBE32(file.data() + at);
    if (tile >= file.size()) return false;
    if (started.insert(tile).second && !TileStarts(file.subspan(static_cast<std::size_t>(tile)))) return false;
    if ((column += unpacker.tile_width) >= sizes.raw_width) {
      row += unpacker.tile_length;
      column = 0;
    }
  }
  return true;
}

bool IsLossyDng(LibRaw& raw) {
  libraw_decoder_info_t decoder{};
  return raw.get_decoder_info(&decoder) == LIBRAW_SUCCESS && decoder.decoder_name != nullptr &&
         std::strcmp(decoder.decoder_name, "lossy_dng_load_raw()") == 0;
}

}  // namespace

std::optional<TLibRawFacts> LibRawFacts(std::span<const uint8_t> file) {
  try {
    TLibRawSession session(file);
    const libraw_data_t& data = session.Data();
    TLibRawFacts facts;
    facts.make = data.idata.make;
    facts.model = data.idata.model;
    facts.width = data.sizes.width;
    facts.height = data.sizes.height;
    facts.orientation = OrientationOfFlip(data.sizes.flip);
    return facts;
  } catch (const EInvalidGraphic&) {
    return std::nullopt;
  }
}

std::optional<TLibRawThumbnail> LibRawThumbnail(std::span<const uint8_t> file) {
  TLibRawSession session(file);
  const libraw_thumbnail_t& thumb = session.Data().thumbnail;
  if (thumb.twidth < kSmallestThumbnail && thumb.theight < kSmallestThumbnail) return std::nullopt;
  // The thumbnail comes from the file's own bytes, so it is never larger than the file.
  if (!session.Raw().thumbOK(static_cast<INT64>(file.size()))) return std::nullopt;
  TMemoryCharge work(uint64_t{thumb.tlength} + uint64_t{thumb.twidth} * thumb.theight * 3);
  if (session.Raw().unpack_thumb() != LIBRAW_SUCCESS) return std::nullopt;
  CheckCancel();
  TLibRawThumbnail result;
  if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG && thumb.thumb != nullptr && thumb.tlength > 0) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(thumb.thumb);
    result.jpeg.assign(bytes, bytes + thumb.tlength);
    return result;
  }
  if (thumb.tformat != LIBRAW_THUMBNAIL_BITMAP || thumb.thumb == nullptr) return std::nullopt;
  const int colors = thumb.tcolors;
  if ((colors != 1 && colors != 3) || uint64_t{thumb.tlength} < uint64_t{thumb.twidth} * thumb.theight * colors) {
    return std::nullopt;
  }
  result.bitmap.SetPixelFormat(pf24bit);
  result.bitmap.SetSize(thumb.twidth, thumb.theight);
  const auto* in = reinterpret_cast<const uint8_t*>(thumb.thumb);
  for (int y = 0; y < thumb.theight; ++y) {
    uint8_t* out = result.bitmap.ScanLine(y);
    for (int x = 0; x < thumb.twidth; ++x, in += colors, out += 3) {
      out[0] = in[colors - 1];
      out[1] = in[colors / 2];
      out[2] = in[0];
    }
  }
  return result;
}

void LibRawHalfSize(std::span<const uint8_t> file, TBitmap& bitmap) {
  TLibRawSession session(file);
  libraw_data_t& data = session.Data();
  const uint64_t rawWidth = data.sizes.raw_width;
  const uint64_t rawHeight = data.sizes.raw_height;
  const int64_t width = (data.sizes.width + 1) / 2;
  const int64_t height = (data.sizes.height + 1) / 2;
  if (rawWidth == 0 || rawHeight == 0 || width == 0 || height == 0) Invalid();
  // Files stripped of their sensor data keep a header pointing past their end; LibRaw reads
  // zeros there. Headerless files (old Kodak .raw, which LibRaw knows by their size) are sensor
  // data from their first byte, at least a byte a pixel.
  const unpacker_data_t& unpacker = session.Raw().get_internal_data_pointer()->unpacker_data;
  const bool headerless = unpacker.data_offset == 0 && file.size() >= rawWidth * rawHeight;
  if ((unpacker.data_offset <= 0 && !headerless) || static_cast<uint64_t>(unpacker.data_offset) >= file.size() ||
      uint64_t{unpacker.data_size} > file.size() - static_cast<uint64_t>(unpacker.data_offset) ||
      // Or a stub where it was: no coding of sensor data takes less than a bit for 512 pixels (the
      // size may be one tile's).
      (unpacker.data_size != 0 && uint64_t{unpacker.data_size} * 4096 < rawWidth * rawHeight)) {
    Invalid();
  }
  if (IsLossyDng(session.Raw()) && !LossyDngTilesStart(file, session.Raw())) Invalid();
  CheckImageSize(width, height, 24);
  CheckImageSize(static_cast<int64_t>(rawWidth), static_cast<int64_t>(rawHeight), 16);
  // The raw samples (up to four 16-bit ones a pixel for non-Bayer sensors), the working image of
  // four 16-bit channels and LibRaw's 8-bit output, which the bitmap (charged itself) copies.
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  TMemoryCharge work(rawWidth * rawHeight * (data.idata.filters != 0 ? 2 : 8) + pixels * 8 + pixels * 3);
  libraw_output_params_t& params = data.params;
  params.half_size = 1;
  params.output_bps = 8;
  params.output_color = 1;  // sRGB
  params.use_camera_wb = 1;
  params.no_auto_bright = 1;
  params.user_flip = 0;  // turned upright by the caller, as a preview is
  CheckCancel();
  session.Check(session.Raw().unpack());
  // Sensor data cut short reads as noise or black rows; no picture at all is better.
  if (session.Raw().error_count() != 0) Invalid();
  session.Check(session.Raw().dcraw_process());
  int w = 0, h = 0, colors = 0, bps = 0;
  session.Raw().get_mem_image_format(&w, &h, &colors, &bps);
  if (w <= 0 || h <= 0 || colors != 3 || bps != 8) Invalid();
  CheckImageSize(w, h, 24);
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(w, h);
  if (h > 1 && bitmap.ScanLine(1) - bitmap.ScanLine(0) != static_cast<std::ptrdiff_t>(bitmap.RowSize())) Invalid();
  session.Check(session.Raw().copy_mem_image(bitmap.ScanLine(0), static_cast<int>(bitmap.RowSize()), 1));
}

}  // namespace tablora
