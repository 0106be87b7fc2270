#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace tablora::bench {

// 100,000 empty image files in 1,000 folders (10 rolls of 100 days), made once in /tmp.
inline const std::string& LargeTree() {
  static const std::string root = [] {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "tablora-bench-tree";
    if (!std::filesystem::exists(path / "done")) {
      std::filesystem::remove_all(path);
      for (int top = 0; top < 10; ++top) {
        for (int sub = 0; sub < 100; ++sub) {
          const auto folder = path / ("Roll " + std::to_string(top)) / ("Day " + std::to_string(sub));
          std::filesystem::create_directories(folder);
          for (int i = 0; i < 100; ++i) std::ofstream(folder / ("IMG_" + std::to_string(i) + ".jpg"));
        }
      }
      std::ofstream(path / "done");
    }
    return path.string();
  }();
  return root;
}

}  // namespace tablora::bench
