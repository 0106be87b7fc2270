// Writes the formats the program reads, from its format registry, as a CMake script that sets
// TABLORA_FORMAT_KINDS ("JPEG, PNG, ... and camera RAW") and TABLORA_FORMAT_EXTENSIONS
// (".jpg .jpeg ..."), so the manual pages, the package description and the metainfo name exactly
// the formats the programs take. usage: format_list OUT.cmake
#include <cstdio>
#include <fstream>
#include <string>

#include "imaging/image_format.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: format_list OUT.cmake\n");
    return 2;
  }
  // Written whole or not at all: the build runs this again when the registry changes.
  const std::string out = argv[1];
  {
    std::ofstream file(out + ".new");
    file << "set(TABLORA_FORMAT_KINDS \"" << tablora::FormatKindList() << "\")\n"
         << "set(TABLORA_FORMAT_EXTENSIONS \"" << tablora::AdmittedExtensionList() << "\")\n";
    if (!file.flush()) {
      std::perror(out.c_str());
      return 1;
    }
  }
  if (std::rename((out + ".new").c_str(), out.c_str()) != 0) {
    std::perror(out.c_str());
    return 1;
  }
  return 0;
}
