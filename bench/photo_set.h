#pragma once

// The 60 photographs the benchmarks share: TABLORA_PHOTO_SET (or TABLORA_PHOTOS) names the
// folder; without it they are built once in /tmp/tablora-photos with the make-photo-set tool that
// sits beside the project (../shared/tools).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tablora::bench {

inline std::filesystem::path PhotoSetDir() {
  namespace fs = std::filesystem;
  for (const char* name : {"TABLORA_PHOTO_SET", "TABLORA_PHOTOS"}) {
    if (const char* dir = std::getenv(name); dir != nullptr && *dir != '\0') return dir;
  }
  const fs::path source = fs::path(__FILE__).parent_path().parent_path();
  const fs::path dir = "/tmp/tablora-photos";
  if (!fs::exists(dir / "img_060.jpg")) {
    const fs::path tool = source.parent_path() / "shared" / "tools" / "make-photo-set";
    // Started from a named string: GCC 12 takes "'" + a temporary for an overlapping copy.
    std::string command = "'";
    command += tool.string() + "' '" + dir.string() + "' >&2";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "make-photo-set failed\n");
  }
  return dir;
}

}  // namespace tablora::bench
