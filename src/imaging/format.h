#pragma once

#include <string>

namespace tablora {

// printf-style formatting into a std::string (the library's message table uses %s and %d).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tablora
