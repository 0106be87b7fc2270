#pragma once

#include <string>
#include <vector>

namespace tablora::test {

struct CommandResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs a program with arguments (no shell), capturing stdout and stderr.
CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnvironment = {});

// The tablora-cli of this build.
std::string CliPath();

}  // namespace tablora::test
