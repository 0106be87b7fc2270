#include "cli/cli.h"

#include <cstdio>
#include <cstring>

namespace tablora::cli {

int Main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(argc < 2 ? stderr : stdout, "usage: tablora-cli COMMAND [OPTIONS]\n");
    return argc < 2 ? kExitUsage : kExitOk;
  }
  std::fprintf(stderr, "tablora-cli: unknown command '%s'\n", argv[1]);
  return kExitUsage;
}

}  // namespace tablora::cli
