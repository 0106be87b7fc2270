#include "sheet/path_parts.h"

#include "imaging/image_format.h"

namespace tablora {

bool IsAdmittedExtension(std::string_view lowerExtension) {
  return FormatByExtension(lowerExtension) != nullptr;
}

}  // namespace tablora
