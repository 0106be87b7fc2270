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

// A program run in the background that the test can signal: its output goes nowhere; killed and
// reaped if the test has not waited for it.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  void Signal(int signal);
  // The exit status, or -1 when it did not exit by itself.
  int Wait();

 private:
  int pid_ = -1;
  bool waited_ = false;
};

}  // namespace tablora::test
