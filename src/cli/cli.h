#pragma once

namespace tablora::cli {

// Exit statuses of every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Main(int argc, char** argv);

}  // namespace tablora::cli
