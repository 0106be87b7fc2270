#include "platform/translated_text.h"

#include <QCoreApplication>

namespace tablora {

std::string Translated(const char* context, const char* source) {
  return QCoreApplication::translate(context, source).toStdString();
}

std::string Filled(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string filled;
  filled.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      const int index = text[i + 1] - '1';
      if (index >= 0 && static_cast<std::size_t>(index) < args.size()) {
        filled += args.begin()[index];
        ++i;
        continue;
      }
    }
    filled += text[i];
  }
  return filled;
}

}  // namespace tablora
