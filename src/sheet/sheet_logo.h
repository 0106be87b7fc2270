#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace tablora {

// A logo file is refused beyond these: a logo is a small picture, and a file that claims more is
// far more likely damaged or the wrong file than a logo.
constexpr uint64_t kLargestLogoBytes = uint64_t{8} << 20;
constexpr uint32_t kLargestLogoSide = 4096;  // PNG pixels either way
// The files a logo is read from, as a file dialog's patterns: the logo reads PNG and SVG alone,
// not the formats of the pictures.
constexpr const char* kLogoFilePatterns = "*.png *.svg";

// The header's logo of a sheet: a PNG (through the library's own reader) or an SVG drawing, read
// once when the sheet first draws it and kept at the size its pages show it.
class SheetLogo {
 public:
  explicit SheetLogo(std::string file);

  const std::string& File() const { return file_; }
  // Why the logo cannot be drawn ("cannot read /home/jane/logo.png: damaged"); empty when it can.
  const std::string& Problem() const { return problem_; }
  // The logo fitted into maxWidth x height pixels with its proportions kept, transparent parts
  // over white as the pictures' own; null when it did not load or the box is empty.
  const TBitmap* At(int32_t height, int32_t maxWidth);

 private:
  std::string file_;
  std::string problem_;
  std::optional<TBitmap> pixels_;  // a PNG's
  std::vector<uint8_t> svg_;       // an SVG's text
  double aspect_ = 0;              // width over height
  TBitmap sized_;
};

}  // namespace tablora
