#include "cli/console_message_box.h"

#include <cstdio>

namespace tablora::cli {

void ConsoleMessageBox::Show(const std::string& text, const std::string&, MessageIcon) {
  ++shown_;
  const std::string line = ConsoleText(text);
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

std::string ConsoleMessageBox::ConsoleText(const std::string& text) {
  // A carriage return would move the terminal's cursor back over what was just written.
  std::string result;
  result.reserve(text.size() + 1);
  for (char c : text) {
    if (c != '\r') result += c;
  }
  if (result.empty() || result.back() != '\n') result += '\n';
  return result;
}

}  // namespace tablora::cli
