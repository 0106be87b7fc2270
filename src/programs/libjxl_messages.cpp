// libjxl 0.7 as Debian builds it (its debug messages left on) prints every failure it meets to
// stderr: a damaged JPEG XL file puts a dozen lines of libjxl's source positions on the terminal
// beside the program's own report of the file, even under --quiet, and no call of its interface
// turns them off. They all come through one function of libjxl's that calls the C library's
// __vfprintf_chk, so the programs define __vfprintf_chk themselves: a call made from inside
// libjxl is dropped, every other goes on to the C library's own. Only the programs carry this,
// never the image library, which other programs may link. Neither GCC's nor clang's sanitizer
// runtimes intercept __vfprintf_chk, so the programs behave alike in every build; the function
// keeps no state beyond two addresses looked up once, and is safe on any thread.

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

namespace {

using VfprintfChk = int (*)(FILE*, int, const char*, va_list);

VfprintfChk CLibrarys() {
  static const auto next = reinterpret_cast<VfprintfChk>(dlsym(RTLD_NEXT, "__vfprintf_chk"));
  return next;
}

// Where libjxl is loaded; null without it. Looked up by name rather than by taking the address of
// one of its functions, which in a program may be the program's own stub.
const void* LibjxlBase() {
  static const void* const base = [] {
    void* function = dlsym(RTLD_DEFAULT, "JxlDecoderVersion");
    Dl_info where{};
    return function != nullptr && dladdr(function, &where) != 0 ? static_cast<const void*>(where.dli_fbase) : nullptr;
  }();
  return base;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int __vfprintf_chk(FILE* stream, int flag, const char* format,
                                                                      va_list arguments) {
  const void* libjxl = LibjxlBase();
  Dl_info caller{};
  if (libjxl != nullptr && dladdr(__builtin_return_address(0), &caller) != 0 && caller.dli_fbase == libjxl) return 0;
  const VfprintfChk next = CLibrarys();
  return next != nullptr ? next(stream, flag, format, arguments) : -1;
}
