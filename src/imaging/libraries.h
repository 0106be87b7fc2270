#pragma once

#include <string>
#include <vector>

namespace tablora {

// A library the image library is built on, as the program's About box names it.
struct LibraryNotice {
  std::string name;
  // The running copy's version where the library tells it, else its headers'; empty when neither
  // is known to this build.
  std::string version;
  // SPDX licence expression.
  std::string licence;
};

// Every library the readers decode through, in the order the About box lists them.
std::vector<LibraryNotice> ImagingLibraries();

}  // namespace tablora
