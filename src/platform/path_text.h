#pragma once

#include <string>
#include <string_view>

namespace tablora {

// Parts of a path or of a relative entry such as "/Holiday/img_0012.jpg".
// Folder: up to and including the last "/"; name: after it; extension: the name's tail from its
// last "." on (dot included), empty when the name has none.
std::string_view FolderPart(std::string_view entry);
std::string_view NamePart(std::string_view entry);
std::string_view ExtensionPart(std::string_view entry);

// Lower-cases the ASCII letters A-Z only; every other byte stays as it is.
std::string LowerAscii(std::string_view text);

}  // namespace tablora
