#include "support/run_command.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "support/test_paths.h"

extern char** environ;

namespace tablora::test {

CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment) {
  CommandResult result;
  // A program run by a test never sees the user's thumbnail cache, nor one an earlier command
  // filled: unless the test names one, each run gets an empty cache folder of its own.
  std::vector<std::string> extraEnvironment = environment;
  std::string cacheHome;
  if (std::none_of(environment.begin(), environment.end(),
                   [](const std::string& e) { return e.starts_with("XDG_CACHE_HOME="); })) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tablora-xdg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) cacheHome = pattern;
    extraEnvironment.push_back("XDG_CACHE_HOME=" + cacheHome);
  }
  // The leak checker of sanitizer builds reports the suppressions it used on stderr at exit;
  // tests read a program's stderr exactly, so it is asked not to, unless the test says otherwise.
  const char* leakOptions = std::getenv("LSAN_OPTIONS");
  if (leakOptions != nullptr && std::none_of(environment.begin(), environment.end(), [](const std::string& e) {
        return e.starts_with("LSAN_OPTIONS=");
      })) {
    extraEnvironment.push_back(std::string("LSAN_OPTIONS=") + leakOptions + ":print_suppressions=0");
  }
  struct RemoveCache {
    const std::string& folder;
    ~RemoveCache() {
      std::error_code error;
      if (!folder.empty()) std::filesystem::remove_all(folder, error);
    }
  } removeCache{cacheHome};
  int outPipe[2];
  int errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    for (const std::string& assignment : extraEnvironment) ::putenv(const_cast<char*>(assignment.c_str()));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execve(program.c_str(), argv.data(), environ);
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  char buffer[4096];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string CliPath() { return (BinaryDir() / "src" / "cli" / "tablora-cli").string(); }

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  pid_ = ::fork();
  if (pid_ == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !waited_) {
    ::kill(pid_, SIGKILL);
    Wait();
  }
}

void ChildProcess::Signal(int signal) { ::kill(pid_, signal); }

int ChildProcess::Wait() {
  int status = 0;
  ::waitpid(pid_, &status, 0);
  waited_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tablora::test
