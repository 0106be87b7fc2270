#pragma once

#include <string_view>

#include "platform/path_text.h"

namespace tablora {

// One of the eleven image extensions the sheet admits (given already lower-cased).
bool IsAdmittedExtension(std::string_view lowerExtension);

}  // namespace tablora
