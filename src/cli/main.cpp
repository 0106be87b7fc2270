#include "cli/cli.h"

int main(int argc, char** argv) { return tablora::cli::Main(argc, argv); }
