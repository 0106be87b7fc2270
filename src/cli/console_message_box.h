#pragma once

#include <string>

#include "platform/message_box.h"

namespace tablora::cli {

// The engine's message box on a console: the text goes to stderr, one line per line of the box.
class ConsoleMessageBox : public MessageBox {
 public:
  void Show(const std::string& text, const std::string& caption, MessageIcon icon) override;

  // How many messages were shown; a command whose engine had something to say has failed.
  int Shown() const { return shown_; }

  // The text as a console shows it: the box's LF CR line breaks become plain LF, and it ends
  // with one.
  static std::string ConsoleText(const std::string& text);

 private:
  int shown_ = 0;
};

}  // namespace tablora::cli
