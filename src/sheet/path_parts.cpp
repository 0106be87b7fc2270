#include "sheet/path_parts.h"

#include <array>

namespace tablora {

bool IsAdmittedExtension(std::string_view lowerExtension) {
  static constexpr std::array<std::string_view, 11> kAdmitted = {
      ".bmp", ".jpg", ".jpeg", ".psd", ".pdd", ".png", ".tiff", ".tif", ".rle", ".dib", ".gif"};
  for (std::string_view admitted : kAdmitted) {
    if (admitted == lowerExtension) return true;
  }
  return false;
}

}  // namespace tablora
