#include "support/sheet_fakes.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace tablora::test {

TempTree::TempTree() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tablora-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
}

TempTree::~TempTree() {
  std::error_code ec;
  // Folders made unreadable by a test must be readable again to be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(
           root_, std::filesystem::directory_options::skip_permission_denied, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    // Only folders: a link's target (a sample file a test linked in) keeps its permissions.
    if (!it->is_symlink(ec) && it->is_directory(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
  }
  std::filesystem::remove_all(root_, ec);
}

void TempTree::File(const std::string& relative, const std::string& content) {
  const std::filesystem::path path = root_ / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

void TempTree::Folder(const std::string& relative) {
  std::filesystem::create_directories(root_ / relative);
}

}  // namespace tablora::test
