#pragma once

#include <string>

namespace tablora {

enum class MessageIcon { None, Information, Warning, Error };

// A modal message with one OK button (a dialog in the program, stderr in the command-line tool).
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual void Show(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
};

}  // namespace tablora
