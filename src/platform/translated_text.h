#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tablora {

// A text of the program in the language of the catalogue the program installed: the window
// installs the user's, the command line none, so there the source text comes back as written.
// `context` and `source` must be string literals (or marked with QT_TRANSLATE_NOOP), which is how
// lupdate finds them.
std::string Translated(const char* context, const char* source);

// `text` with each %1, %2, ... replaced by its argument, in one pass (an argument holding "%2"
// stays as it is), and as bytes: a path that is not valid UTF-8 comes out as it went in.
std::string Filled(std::string_view text, std::initializer_list<std::string_view> args);

}  // namespace tablora
