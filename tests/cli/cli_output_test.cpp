#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "support/hostile_files.h"
#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using test::CliPath;
using test::Contents;
using test::FilesIn;

// The command's own stderr, without the leak checker's note on its suppressions.
test::CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                               std::vector<std::string> environment = {}) {
  if (const char* options = std::getenv("LSAN_OPTIONS")) {
    environment.push_back(std::string("LSAN_OPTIONS=") + options + ":print_suppressions=0");
  }
  return test::RunCommand(program, args, environment);
}

const std::string kSamples = (test::DataDir() / ".." / ".." / "samples").string();
const std::string kColour = (test::DataDir() / "jpeg/colour.jpg").string();

// Every output of every command onto a disk with a few kilobytes left: status 1, one line naming
// the file and the reason, the earlier file of that name as it was, no temporary left behind.
TEST(CliOutput, AFullDiskFailsTheRunAndKeepsTheEarlierFile) {
  test::ScratchDisk disk(256);
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  test::WriteFile(disk.Path() + "/fill", std::string(200 << 10, '\0'));
  const std::string d = disk.Path();
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"sheet", kSamples, "-o", d + "/s.pdf", "--quiet"}, d + "/s.pdf"},
      {{"sheet", kSamples, "-o", d + "/p.png", "--dpi", "100", "--quiet"}, d + "/p-001.png"},
      {{"preview", kSamples, "-o", d + "/v.png", "--size", "2000x1500", "--quiet"}, d + "/v.png"},
      {{"decode", kSamples + "/rose.jpg", "-o", d + "/c.png"}, d + "/c.png"}};
  for (const auto& [args, target] : runs) {
    test::WriteFile(target, "earlier");
    const auto result = RunCommand(CliPath(), args);
    EXPECT_EQ(result.status, 1) << args[0];
    EXPECT_EQ(result.err, "tablora-cli " + args[0] + ": cannot write '" + target + "': No space left on device\n");
    EXPECT_TRUE(Contents(target) == "earlier") << target;
    EXPECT_EQ(FilesIn(d).size(), 2u) << FilesIn(d).back();
    fs::remove(target);
  }
}

TEST(CliOutput, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
  test::TempTree tree;
  fs::copy_file(kColour, tree.Root() / "a.jpg");
  fs::copy_file(test::DataDir() / "bmp/pal8.bmp", tree.Root() / "s-001.png");
  fs::create_symlink(tree.Root() / "a.jpg", tree.Root() / "link.png");
  const std::string f = tree.Path();
  const std::vector<std::vector<std::string>> runs = {{"decode", f + "/a.jpg", "-o", f + "/link.png"},
                                                      {"sheet", f, "-o", f + "/s.png", "--quiet"},
                                                      {"preview", f, "-o", f + "/a.jpg", "--quiet"}};
  for (const auto& args : runs) {
    const auto result = RunCommand(CliPath(), args);
    EXPECT_EQ(result.status, 2) << args[0] << ": " << result.err;
    EXPECT_NE(result.err.find("is the input file"), std::string::npos) << result.err;
    EXPECT_EQ(FilesIn(f), (std::vector<std::string>{"a.jpg", "link.png", "s-001.png"}));
    EXPECT_EQ(Contents(f + "/a.jpg"), Contents(kColour));
  }
}

// Outputs whose names have the 255 bytes a name may have (a PNG page counting its "-001") are
// written like any other.
TEST(CliOutput, OutputsOfTheLongestNameAreWritten) {
  test::TempTree in, out;
  fs::copy_file(test::DataDir() / "bmp/pal8.bmp", in.Root() / "a.bmp");
  const std::string o = out.Path() + "/";
  const std::string name251(251, 's'), name247(247, 'p');
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"sheet", in.Path(), "-o", o + name251 + ".pdf", "--quiet"}, name251 + ".pdf"},
      {{"sheet", in.Path(), "-o", o + name247 + ".png", "--dpi", "72", "--quiet"}, name247 + "-001.png"},
      {{"preview", in.Path(), "-o", o + std::string(251, 'v') + ".png", "--quiet"}, std::string(251, 'v') + ".png"},
      {{"decode", in.Path() + "/a.bmp", "-o", o + std::string(251, 'd') + ".png"}, std::string(251, 'd') + ".png"}};
  for (const auto& [args, target] : runs) {
    const auto result = RunCommand(CliPath(), args);
    EXPECT_EQ(result.status, 0) << args[0] << ": " << result.err;
    EXPECT_TRUE(fs::is_regular_file(out.Root() / target)) << args[0];
    fs::remove(out.Root() / target);
    EXPECT_TRUE(FilesIn(out.Path()).empty()) << FilesIn(out.Path()).front();
  }
}

// A run the test interrupts.
int RunAndSignal(const std::vector<std::string>& args, int signal, const std::function<void()>& waitForWork) {
  const std::string program = CliPath();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  waitForWork();
  ::kill(pid, signal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Ctrl-C, SIGTERM and SIGHUP stop a long decode within a row of it; whatever was being written goes.
TEST(CliOutput, SignalsStopALongDecodeAndLeaveNoFile) {
  test::TempTree in;
  test::TempTree out;
  // Files of as many scans as their pictures may cost (64 passes): 16 cells of 8192 x 8192, and
  // for the decode of one file at full size 16384 x 16384.
  for (int i = 0; i < 16; ++i) {
    test::WriteFile(in.Path() + "/slow" + std::to_string(i) + ".jpg", test::ProgressiveGreyJpeg(8192, 8192, 64));
  }
  test::TempTree single;
  test::WriteFile(single.Path() + "/slow.jpg", test::ProgressiveGreyJpeg(16384, 16384, 64));
  const auto jobStarted = [&] {
    for (int i = 0; i < 400 && FilesIn(out.Path()).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  };
  const auto decoding = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); };
  EXPECT_EQ(RunAndSignal({"sheet", in.Path(), "-o", out.Path() + "/s.pdf", "--quiet"}, SIGHUP, jobStarted), 1);
  EXPECT_EQ(RunAndSignal({"preview", in.Path(), "-o", out.Path() + "/v.png", "--quiet"}, SIGTERM, decoding), 1);
  EXPECT_EQ(RunAndSignal({"decode", single.Path() + "/slow.jpg", "-o", out.Path() + "/d.png"}, SIGINT, decoding), 1);
  EXPECT_TRUE(FilesIn(out.Path()).empty());
}

TEST(CliOutput, SmallMends) {
  test::TempTree tree;
  fs::copy_file(kColour, tree.Root() / "a.jpg");
  // A page beyond the sheet is a wrong argument, as with sheet --pages.
  auto result = RunCommand(CliPath(), {"preview", tree.Path(), "-o", tree.Path() + "/v.png", "--page", "99"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "tablora-cli preview: option --page 99 lies beyond the sheet's 1 pages\n");
  // Qt's notes about the session do not reach stderr.
  result = RunCommand(CliPath(), {"preview", tree.Path(), "-o", tree.Path() + "/v.png", "--quiet"},
                      {"XDG_RUNTIME_DIR=", "QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(result.err, tree.Path() + "/v.png: Page 1 of 1\n");
  // A picture wider than PNG takes, and libjpeg's own words after a JPEG error.
  test::WriteFile(tree.Path() + "/wide.bmp", test::FourBitBmp(1000001, 1));
  result = RunCommand(CliPath(), {"decode", tree.Path() + "/wide.bmp", "-o", tree.Path() + "/w.png"});
  EXPECT_EQ(result.err, "tablora-cli decode: the image is too large for PNG: 1000001 × 1\n");
  // A file of no format: the extension's reader refuses it.
  const std::string pngNamed = tree.Path() + "/not-a-jpeg.jpg";
  test::WriteFile(pngNamed, std::string("\x89PX is not the start of any picture"));
  for (const std::vector<std::string>& args : {std::vector<std::string>{"decode", pngNamed, "-o", tree.Path() + "/x.png"},
                                               std::vector<std::string>{"info", pngNamed}}) {
    result = RunCommand(CliPath(), args);
    EXPECT_EQ(result.err, "tablora-cli " + args[0] + ": JPEG error #53 (Not a JPEG file: starts with 0x89 0x50)\n");
  }
}

}  // namespace
}  // namespace tablora
