#include "sheet/sheet_logo.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <span>

#include "imaging/byte_order.h"
#include "imaging/image_format.h"
#include "imaging/readers/png_reader.h"
#include "imaging/reduce.h"
#include "imaging/stream.h"
#include "platform/svg_picture.h"

namespace tablora {

namespace {

bool IsPng(std::span<const uint8_t> bytes) {
  static constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= sizeof kSignature && std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin());
}

// Text that may be an SVG drawing: markup after any blanks or byte order mark. Anything else is
// not handed to the SVG renderer, which would only complain about it.
bool MayBeSvg(std::span<const uint8_t> bytes) {
  std::size_t at = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
  while (at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n')) ++at;
  return at < bytes.size() && bytes[at] == '<';
}

}  // namespace

SheetLogo::SheetLogo(std::string file) : file_(std::move(file)) {
  const std::string cannot = "cannot read " + file_;
  struct stat info {};
  if (::stat(file_.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    problem_ = cannot;
    return;
  }
  if (static_cast<uint64_t>(info.st_size) > kLargestLogoBytes) {
    problem_ = cannot + ": too large";
    return;
  }
  try {
    const TFileBytes file(file_);
    const std::span<const uint8_t> bytes = file.Bytes();
    if (IsPng(bytes)) {
      // The header's size first: a damaged one must not cost the memory it claims.
      if (bytes.size() < 24) throw std::runtime_error("short");
      const uint32_t width = LoadBE32(bytes.data() + 16);
      const uint32_t height = LoadBE32(bytes.data() + 20);
      if (width > kLargestLogoSide || height > kLargestLogoSide) {
        problem_ = cannot + ": too large";
        return;
      }
      TBufferStream stream(bytes.data(), bytes.size());
      TPNGGraphic png;
      png.LoadFromStream(stream);
      if (png.Width() <= 0 || png.Height() <= 0) throw std::runtime_error("empty");
      aspect_ = static_cast<double>(png.Width()) / png.Height();
      pixels_.emplace(png);
    } else if (MayBeSvg(bytes)) {
      const auto size = SvgSize(bytes);
      if (!size) throw std::runtime_error("no drawing");
      aspect_ = size->first / size->second;
      svg_.assign(bytes.begin(), bytes.end());
    } else {
      problem_ = cannot + ": not a PNG or SVG picture";
      return;
    }
  } catch (const std::exception&) {
    problem_ = cannot + ": damaged";
    return;
  }
  if (!(std::isfinite(aspect_) && aspect_ > 0)) {
    problem_ = cannot + ": damaged";
    pixels_.reset();
    svg_.clear();
  }
}

const TBitmap* SheetLogo::At(int32_t height, int32_t maxWidth) {
  if (!problem_.empty() || height <= 0 || maxWidth <= 0) return nullptr;
  // In doubles, held to the box before they become pixels: an extreme aspect only makes a thin
  // logo.
  double w = aspect_ * height;
  double h = height;
  if (!(w <= maxWidth)) {
    w = maxWidth;
    h = maxWidth / aspect_;
  }
  const int width = std::clamp(static_cast<int>(std::lround(w)), 1, maxWidth);
  const int rows = std::clamp(static_cast<int>(std::lround(h)), 1, height);
  if (sized_.Width() == width && sized_.Height() == rows) return &sized_;
  try {
    if (pixels_) {
      sized_ = ReduceImage(*pixels_, width, rows);
    } else {
      std::optional<TBitmap> drawn = RenderSvg(svg_, width, rows, clWhite);
      if (!drawn) return nullptr;
      sized_ = std::move(*drawn);
    }
  } catch (const std::exception&) {
    // Out of memory for this size: the page goes without it.
    sized_ = TBitmap();
    return nullptr;
  }
  return &sized_;
}

}  // namespace tablora
