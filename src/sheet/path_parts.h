#pragma once

#include <string_view>

#include "platform/path_text.h"

namespace tablora {

// An extension (given already lower-cased) of a format the image library reads.
bool IsAdmittedExtension(std::string_view lowerExtension);

}  // namespace tablora
