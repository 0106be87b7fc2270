#include "platform/path_text.h"

namespace tablora {

std::string_view FolderPart(std::string_view entry) {
  const std::size_t slash = entry.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : entry.substr(0, slash + 1);
}

std::string_view NamePart(std::string_view entry) {
  const std::size_t slash = entry.rfind('/');
  return slash == std::string_view::npos ? entry : entry.substr(slash + 1);
}

std::string_view ExtensionPart(std::string_view entry) {
  const std::string_view name = NamePart(entry);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string LowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

}  // namespace tablora
