#include <QImage>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "cli/args.h"
#include "cli/console_message_box.h"
#include "cli/sheet_output.h"
#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using test::CliPath;

// The leak checker of sanitizer builds reports the suppressions it used on stderr at exit; tests
// that read stderr exactly ask it not to.
std::vector<std::string> QuietSanitizers() {
  const char* options = std::getenv("LSAN_OPTIONS");
  if (options == nullptr) return {};
  return {std::string("LSAN_OPTIONS=") + options + ":print_suppressions=0"};
}

test::CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args) {
  return test::RunCommand(program, args, QuietSanitizers());
}

fs::path SampleDir() { return test::DataDir().parent_path().parent_path() / "samples"; }

bool HavePoppler() { return std::system("pdfinfo -v >/dev/null 2>&1") == 0; }

// Every file name in a folder, hidden ones included, sorted.
std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// One field of pdfinfo's report ("Pages", "Page size", "Title").
std::string PdfInfo(const std::string& pdf, const std::string& field) {
  const auto result = RunCommand("/usr/bin/pdfinfo", {pdf});
  const std::regex line("(^|\n)" + field + ":\\s*([^\n]*)");
  std::smatch match;
  if (!std::regex_search(result.out, match, line)) return "";
  return match[2];
}

// The page count `list` reports for the sample folder with this grid.
int ListedPages(const std::string& rows, const std::string& cols) {
  const auto result = RunCommand(CliPath(), {"list", SampleDir().string(), "--rows", rows, "--cols", cols});
  std::smatch match;
  const std::regex summary("(\\d+) files, (\\d+) pages\n$");
  if (!std::regex_search(result.out, match, summary)) return -1;
  return std::stoi(match[2]);
}

TEST(CliSheet, PdfHasEveryPageOfTheSheetOnTheChosenPaper) {
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  test::TempTree out;
  const int pages = ListedPages("3", "3");
  ASSERT_GT(pages, 2);

  const std::string a4 = out.Path() + "/a4.pdf";
  auto result = RunCommand(CliPath(), {"sheet", SampleDir().string(), "-o", a4, "--rows", "3", "--cols",
                                       "3", "--dpi", "150"});
  ASSERT_EQ(result.status, 0) << result.err;
  // Not a terminal: no progress, only the one line that says what was written.
  EXPECT_EQ(result.err, a4 + ": pages 1 to " + std::to_string(pages) + " of " + std::to_string(pages) + "\n");
  EXPECT_EQ(PdfInfo(a4, "Pages"), std::to_string(pages));
  EXPECT_EQ(PdfInfo(a4, "Page size"), "595 x 842 pts (A4)");
  EXPECT_EQ(PdfInfo(a4, "Title"), "samples");  // no title: the folder's name

  const std::string letter = out.Path() + "/letter.pdf";
  result = RunCommand(CliPath(), {"sheet", SampleDir().string(), "-o", letter, "--paper", "letter",
                                  "--landscape", "--title", "Harbour days", "--dpi", "100", "--quiet"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(PdfInfo(letter, "Pages"), std::to_string(ListedPages("10", "6")));
  EXPECT_EQ(PdfInfo(letter, "Page size"), "792 x 612 pts (letter)");
  EXPECT_EQ(PdfInfo(letter, "Title"), "Harbour days");

  for (const auto& [paper, size] : {std::pair{"Legal", "612 x 1008 pts"},
                                    std::pair{"A3", "842 x 1191 pts (A3)"}}) {
    const std::string pdf = out.Path() + "/" + paper + ".pdf";
    result = RunCommand(CliPath(), {"sheet", SampleDir().string(), "-o", pdf, "--paper", paper,
                                    "--dpi", "72", "--quiet"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(PdfInfo(pdf, "Page size").rfind(size, 0), 0u) << paper;
  }
  // Nothing but the finished files is left in the folder.
  EXPECT_EQ(FilesIn(out.Root()),
            (std::vector<std::string>{"A3.pdf", "Legal.pdf", "a4.pdf", "letter.pdf"}));
}

TEST(CliSheet, PagesPrintsTheRangeAndHoldsItsEndToTheSheet) {
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  test::TempTree out;
  const int pages = ListedPages("2", "2");
  ASSERT_GE(pages, 4);
  const auto run = [&](const std::string& range) {
    return RunCommand(CliPath(), {"sheet", SampleDir().string(), "-o", out.Path() + "/r.pdf", "--rows",
                                  "2", "--cols", "2", "--dpi", "72", "--pages", range});
  };
  auto result = run("2-3");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(PdfInfo(out.Path() + "/r.pdf", "Pages"), "2");
  EXPECT_NE(result.err.find("pages 2 to 3 of " + std::to_string(pages)), std::string::npos) << result.err;

  result = run("3");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(PdfInfo(out.Path() + "/r.pdf", "Pages"), "1");

  result = run("2-999");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(PdfInfo(out.Path() + "/r.pdf", "Pages"), std::to_string(pages - 1));

  // A range that starts past the sheet prints nothing and keeps the earlier file.
  fs::remove(out.Root() / "r.pdf");
  result = run(std::to_string(pages + 1) + "-" + std::to_string(pages + 5));
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_NE(result.err.find("--pages"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(std::to_string(pages) + " pages"), std::string::npos) << result.err;
  EXPECT_TRUE(FilesIn(out.Root()).empty());
}

TEST(CliSheet, PngPagesAreNamedByTheirPageAtTheGivenResolution) {
  test::TempTree out;
  const int pages = ListedPages("2", "2");
  auto result = RunCommand(CliPath(), {"sheet", SampleDir().string(), "-o", out.Path() + "/pic.png",
                                       "--rows", "2", "--cols", "2", "--dpi", "100", "--pages", "2-3"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, out.Path() + "/pic-002.png to " + out.Path() + "/pic-003.png: pages 2 to 3 of " +
                            std::to_string(pages) + "\n");
  EXPECT_EQ(FilesIn(out.Root()), (std::vector<std::string>{"pic-002.png", "pic-003.png"}));
  const QImage portrait(QString::fromStdString(out.Path() + "/pic-002.png"));
  ASSERT_FALSE(portrait.isNull());
  // The printable part of A4 (210 x 297 mm, 827 x 1169 pixels at 100 dpi) inside Qt's small margins.
  EXPECT_GT(portrait.width(), 780);
  EXPECT_LE(portrait.width(), 827);
  EXPECT_GT(portrait.height(), 1120);
  EXPECT_LE(portrait.height(), 1169);
  EXPECT_NEAR(portrait.dotsPerMeterX(), 3937, 1);

  result = RunCommand(CliPath(), {"sheet", SampleDir().string(), "-o", out.Path() + "/wide.PNG",
                                  "--landscape", "--dpi", "100", "--quiet"});
  ASSERT_EQ(result.status, 0) << result.err;
  const QImage landscape(QString::fromStdString(out.Path() + "/wide-001.PNG"));
  ASSERT_FALSE(landscape.isNull());
  EXPECT_EQ(landscape.width(), portrait.height());
  EXPECT_EQ(landscape.height(), portrait.width());
}

// The bounding box of everything that is not the colour of the top-left pixel: the page within a
// preview's grey, or what was printed on a page's white.
QImage CropToContent(const QImage& image) {
  const QRgb background = image.pixel(0, 0);
  int left = image.width(), top = image.height(), right = -1, bottom = -1;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) == background) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return {};
  return image.copy(left, top, right - left + 1, bottom - top + 1);
}

// Mean difference of grey levels of two pictures brought to one small size.
double MeanDifference(const QImage& a, const QImage& b) {
  const QSize size(40, 57);
  const QImage small1 = a.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);
  const QImage small2 = b.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_Grayscale8);
  double total = 0;
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) {
      total += std::abs(qGray(small1.pixel(x, y)) - qGray(small2.pixel(x, y)));
    }
  }
  return total / (size.width() * size.height());
}

TEST(CliSheet, PrintedPageLooksLikeThePreviewOfThatPage) {
  test::TempTree out;
  const std::vector<std::string> grid = {"--rows", "3", "--cols", "3", "--title", "Samples", "--facing"};
  std::vector<std::string> args = {"sheet", SampleDir().string(), "-o", out.Path() + "/p.png", "--dpi", "120"};
  args.insert(args.end(), grid.begin(), grid.end());
  auto result = RunCommand(CliPath(), args);
  ASSERT_EQ(result.status, 0) << result.err;

  std::vector<QImage> previews;
  for (const char* page : {"1", "2"}) {
    args = {"preview", SampleDir().string(), "-o", out.Path() + "/preview" + page + ".png", "--page", page};
    args.insert(args.end(), grid.begin(), grid.end());
    result = RunCommand(CliPath(), args);
    ASSERT_EQ(result.status, 0) << result.err;
    previews.push_back(CropToContent(QImage(QString::fromStdString(out.Path() + "/preview" + page + ".png"))));
    ASSERT_FALSE(previews.back().isNull());
  }
  const QImage printed1(QString::fromStdString(out.Path() + "/p-001.png"));
  const QImage printed2(QString::fromStdString(out.Path() + "/p-002.png"));
  ASSERT_FALSE(printed1.isNull());
  ASSERT_FALSE(printed2.isNull());
  // Same proportions: the preview frame is the printer page scaled down.
  EXPECT_NEAR(static_cast<double>(previews[0].width()) / previews[0].height(),
              static_cast<double>(printed1.width()) / printed1.height(), 0.01);
  // Same layout at another scale; the other page (a facing page, other pictures) is far off.
  const double same = MeanDifference(printed2, previews[1]);
  const double other = MeanDifference(printed2, previews[0]);
  EXPECT_LT(same, 8.0);
  EXPECT_GT(other, 2 * same);
  EXPECT_LT(MeanDifference(printed1, previews[0]), 8.0);

  // The PDF with the same settings, rasterised by poppler, carries the same print as the picture;
  // its page is the whole sheet of paper, so both are cropped to what was printed.
  if (std::system("pdftoppm -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm is not installed";
  args = {"sheet", SampleDir().string(), "-o", out.Path() + "/p.pdf", "--dpi", "120", "--quiet"};
  args.insert(args.end(), grid.begin(), grid.end());
  result = RunCommand(CliPath(), args);
  ASSERT_EQ(result.status, 0) << result.err;
  result = RunCommand("/usr/bin/pdftoppm", {"-r", "120", "-f", "2", "-l", "2", "-png", "-singlefile",
                                            out.Path() + "/p.pdf", out.Path() + "/poppler"});
  ASSERT_EQ(result.status, 0) << result.err;
  const QImage rasterised = CropToContent(QImage(QString::fromStdString(out.Path() + "/poppler.png")));
  ASSERT_FALSE(rasterised.isNull());
  const QImage printed = CropToContent(printed2);
  EXPECT_NEAR(rasterised.width(), printed.width(), 3);
  EXPECT_NEAR(rasterised.height(), printed.height(), 3);
  EXPECT_LT(MeanDifference(rasterised, printed), 3.0);
}

TEST(CliSheet, AnEmptyFolderSaysSoOnStderrAndFails) {
  test::TempTree in;
  in.File("notes.txt");
  in.Folder("Empty");
  test::TempTree out;
  for (const char* name : {"/e.pdf", "/e.png"}) {
    const auto result = RunCommand(CliPath(), {"sheet", in.Path(), "-o", out.Path() + name});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tablora-cli sheet: No pictures in " + in.Path() + "\n");
  }
  const auto preview = RunCommand(CliPath(), {"preview", in.Path() + "/Empty/", "-o", out.Path() + "/p.png"});
  EXPECT_EQ(preview.status, 1);
  EXPECT_EQ(preview.err, "tablora-cli preview: No pictures in " + in.Path() + "/Empty\n");
  EXPECT_TRUE(FilesIn(out.Root()).empty());
}

TEST(CliSheet, UsageErrorsExitWithStatusTwoAndOneLineNamingTheArgument) {
  test::TempTree out;
  const std::string folder = SampleDir().string();
  const std::string pdf = out.Path() + "/u.pdf";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"sheet", folder}, "-o"},
      {{"sheet", "-o", pdf}, "FOLDER"},
      {{"sheet", folder, folder, "-o", pdf}, "FOLDER"},
      {{"sheet", out.Path() + "/missing", "-o", pdf}, "missing"},
      {{"sheet", folder, "-o", out.Path() + "/u.gif"}, "u.gif"},
      {{"sheet", folder, "-o", out.Path() + "/.pdf"}, "-o"},
      {{"sheet", folder, "-o", pdf, "--paper", "B5"}, "--paper"},
      {{"sheet", folder, "-o", pdf, "--dpi", "20"}, "--dpi"},
      {{"sheet", folder, "-o", pdf, "--dpi", "5000"}, "--dpi"},
      {{"sheet", folder, "-o", pdf, "--pages", "3-2"}, "--pages"},
      {{"sheet", folder, "-o", pdf, "--pages", "0-2"}, "--pages"},
      {{"sheet", folder, "-o", pdf, "--pages", "two"}, "--pages"},
      {{"sheet", folder, "-o", pdf, "--pages", "1-"}, "--pages"},
      {{"sheet", folder, "-o", pdf, "--rows", "0"}, "--rows"},
      {{"sheet", folder, "-o", pdf, "--cols", "31"}, "--cols"},
      {{"sheet", folder, "-o", pdf, "--landscape=yes"}, "--landscape"},
      {{"sheet", folder, "-o", pdf, "--colour"}, "--colour"},
      {{"sheet", folder, "--printer", "Office", "-o", pdf}, "exclusive"},
      {{"sheet", folder, "--printer", "Office", "--output", pdf}, "exclusive"},
      {{"sheet", folder, "--printer", "Office", "--option", "=x"}, "--option"},
      {{"sheet", folder, "--printer", "Office", "--copies", "0"}, "--copies"},
      {{"sheet", folder, "-o", pdf, "--copies", "2"}, "--copies"},
      {{"sheet", folder, "-o", pdf, "--option", "a=b"}, "--option"},
  };
  for (const auto& [args, named] : cases) {
    const auto result = RunCommand(CliPath(), args);
    EXPECT_EQ(result.status, 2) << args.back();
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.err.rfind("tablora-cli sheet: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
  }
  EXPECT_TRUE(FilesIn(out.Root()).empty());
}

TEST(CliSheet, OutputIntoAFolderThatTakesNoFileFails) {
  test::TempTree out;
  const auto result = RunCommand(CliPath(), {"sheet", SampleDir().string(), "-o",
                                             out.Path() + "/no/such/folder/s.pdf"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("no/such/folder"), std::string::npos) << result.err;
}

TEST(CliSheet, HelpDescribesEveryOption) {
  const auto result = RunCommand(CliPath(), {"sheet", "--help"});
  EXPECT_EQ(result.status, 0);
  for (const char* option : {"-o", "--rows", "--cols", "--title", "--font", "--facing", "--no-page-numbers",
                             "--paper", "--landscape", "--dpi", "--pages", "--quiet", "--help", "--printer",
                             "--copies", "--option", "--per-folder", "--manifest", "--quality"}) {
    EXPECT_NE(result.out.find(option), std::string::npos) << option;
  }
  EXPECT_NE(RunCommand(CliPath(), {"--help"}).out.find("sheet FOLDER"), std::string::npos);
}

// Everything a run writes to its terminal when stdout and stderr are one.
std::string RunOnTerminal(const std::vector<std::string>& args) {
  // putenv keeps the very strings, so they must outlive the exec.
  std::vector<std::string> environment = QuietSanitizers();
  int terminal = -1;
  const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    for (std::string& assignment : environment) ::putenv(assignment.data());
    const std::string program = CliPath();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  std::string written;
  char buffer[4096];
  // The terminal reports an error instead of an end of file once the child has gone.
  for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) written.append(buffer, static_cast<std::size_t>(n));
  ::close(terminal);
  ::waitpid(pid, nullptr, 0);
  return written;
}

TEST(CliSheet, ProgressShowsOnATerminalOnlyAndNotWithQuiet) {
  test::TempTree out;
  const std::vector<std::string> args = {"sheet", SampleDir().string(), "-o", out.Path() + "/t.pdf",
                                         "--rows", "3", "--cols", "3", "--dpi", "72"};
  const std::string pages = std::to_string(ListedPages("3", "3"));
  const std::string shown = RunOnTerminal(args);
  EXPECT_NE(shown.find("Building File List"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Printing Page 1 of " + pages), std::string::npos) << shown;
  EXPECT_NE(shown.find("Printing Page " + pages + " of " + pages + " 100%"), std::string::npos) << shown;
  // The line is cleared before the summary.
  EXPECT_NE(shown.find("\r\033[K" + out.Path() + "/t.pdf: pages 1 to " + pages + " of " + pages),
            std::string::npos)
      << shown;

  std::vector<std::string> quiet = args;
  quiet.push_back("--quiet");
  EXPECT_EQ(RunOnTerminal(quiet), "");
  EXPECT_TRUE(fs::exists(out.Root() / "t.pdf"));

  // One sheet per folder: the line tells the folder before the page.
  for (const char* folder : {"a", "b"}) {
    fs::create_directories(out.Root() / "in" / folder);
    fs::create_symlink(SampleDir() / "rose.jpg", out.Root() / "in" / folder / "rose.jpg");
  }
  const std::string perFolder =
      RunOnTerminal({"sheet", out.Path() + "/in", "--per-folder", "-o", out.Path() + "/{folder}.pdf", "--dpi", "72"});
  EXPECT_NE(perFolder.find("Folder 2 of 2: b: Printing Page 1 of 1"), std::string::npos) << perFolder;
}

// libjxl's own lines about a damaged JPEG XL file (it keeps its debug messages on in Debian) stay
// off stderr: the cell shows the damage, and the program's own count of unreadable pictures says
// so. The program's own report of the page still comes.
TEST(CliSheet, ADamagedJpegXlFilePutsNoLinesOfLibjxlOnStderr) {
  test::TempTree in, out;
  fs::copy_file(test::DataDir() / "jxl/damaged.jxl", in.Root() / "damaged.jxl");
  fs::copy_file(test::DataDir() / "jxl/lossy.jxl", in.Root() / "lossy.jxl");
  const std::vector<std::string> args = {"sheet", in.Path(), "-o", out.Path() + "/j.pdf", "--dpi", "72"};
  std::vector<std::string> quiet = args;
  quiet.push_back("--quiet");
  const auto silent = RunCommand(CliPath(), quiet);
  EXPECT_EQ(silent.status, 0);
  EXPECT_EQ(silent.err, "1 picture could not be read\n");
  const auto told = RunCommand(CliPath(), args);
  EXPECT_EQ(told.err.find("JXL_"), std::string::npos) << told.err;
  EXPECT_NE(told.err.find(out.Path() + "/j.pdf: pages 1 to 1 of 1"), std::string::npos) << told.err;
}

// A run of the command that the test can interrupt.
class Child : public test::ChildProcess {
 public:
  explicit Child(const std::vector<std::string>& args) : ChildProcess(CliPath(), args) {}
};

// Waits until the printer has opened its temporary file, i.e. the job is under way.
bool WaitForJob(const fs::path& folder) {
  for (int i = 0; i < 600; ++i) {
    if (!FilesIn(folder).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(CliSheet, CtrlCDuringTheJobLeavesNoFile) {
  // One picture per page at 600 dpi: many slow pages, so the signal lands mid-job.
  test::TempTree in;
  for (int copy = 0; copy < 6; ++copy) {
    for (const char* name : {"rose.jpg", "logo-24bit.bmp", "wizard-progressive.jpg", "grey-plasma.jpg"}) {
      fs::create_symlink(SampleDir() / name, in.Root() / (std::to_string(copy) + name));
    }
  }
  for (const char* output : {"/big.pdf", "/big.png"}) {
    test::TempTree out;
    Child child({"sheet", in.Path(), "-o", out.Path() + output, "--rows", "1", "--cols", "1"});
    ASSERT_TRUE(WaitForJob(out.Root()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(), 1) << output;
    EXPECT_TRUE(FilesIn(out.Root()).empty()) << output << ": " << FilesIn(out.Root()).front();
  }
}

// Stand-ins for CUPS's lp and lpstat in a folder to put first on PATH: lp records its arguments
// and keeps the job's file, lpstat answers as `lpstat` says.
struct FakeCups {
  explicit FakeCups(const std::string& lpstat, const std::string& lp = "") {
    Write("lp", "echo call >> \"$0.calls\"; : > \"$0.args\"; for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$0.args\";"
                " last=$a; done; cp \"$last\" \"$0.pdf\"; " + lp);
    Write("lpstat", lpstat);
  }
  void Write(const std::string& name, const std::string& body) const {
    std::ofstream(bin.Root() / name) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(bin.Root() / name, fs::perms::owner_all);
  }
  std::string Path() const { return "PATH=" + bin.Path() + ":" + std::getenv("PATH"); }
  std::vector<std::string> Args() const {
    std::vector<std::string> lines;
    std::ifstream in(bin.Root() / "lp.args");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool Called() const { return fs::exists(bin.Root() / "lp.calls"); }
  test::CommandResult Run(const std::vector<std::string>& args) const {
    std::vector<std::string> environment = QuietSanitizers();
    environment.push_back(Path());
    return test::RunCommand(CliPath(), args, environment);
  }
  test::TempTree bin;
};

const std::string kCupsRunning =
    "case $1 in -r) echo scheduler is running;; -d) echo system default destination: Office;; -p) [ \"$2\" = Office ];; esac";

TEST(CliSheetPrinter, OneJobWithTheTitleCopiesAndOptionsReachesTheQueue) {
  const FakeCups cups(kCupsRunning);
  const int pages = ListedPages("2", "2");
  const auto result =
      cups.Run({"sheet", SampleDir().string(), "--printer", "default", "--copies", "3", "-o", "number-up=2", "--option",
                "job-billing=Project X", "--pages", "2-3", "--rows", "2", "--cols", "2", "--dpi", "72", "--title",
                "Harbour"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "printer Office: pages 2 to 3 of " + std::to_string(pages) + "\n");
  std::vector<std::string> args = cups.Args();
  ASSERT_FALSE(args.empty());
  EXPECT_EQ(fs::path(args.back()).filename(), "Harbour.pdf");
  args.pop_back();
  EXPECT_EQ(args, (std::vector<std::string>{"-d", "Office", "-t", "Harbour", "-n", "3", "-o", "collate=true", "-o",
                                            "media=A4", "-o", "fit-to-page=false", "-o", "number-up=2", "-o",
                                            "job-billing=\"Project X\""}));
  if (!HavePoppler()) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  const std::string job = (cups.bin.Root() / "lp.pdf").string();
  EXPECT_EQ(PdfInfo(job, "Pages"), "2");
  EXPECT_EQ(PdfInfo(job, "Title"), "Harbour");
}

TEST(CliSheetPrinter, AMissingServerOrQueueFailsInTheUsersWordsAndSendsNothing) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"echo scheduler is not running", "The print server is not running"},
      {kCupsRunning, "The printer 'Garage' does not exist"},
  };
  for (const auto& [lpstat, message] : cases) {
    const FakeCups cups(lpstat);
    const auto result = cups.Run({"sheet", SampleDir().string(), "--printer", "Garage"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tablora-cli sheet: " + message + "\n");
    EXPECT_FALSE(cups.Called());
  }
}

TEST(CliSheetPrinter, CtrlCBeforeTheHandOverSendsNothing) {
  test::TempTree in;
  for (int copy = 0; copy < 12; ++copy) fs::create_symlink(SampleDir() / "rose.jpg", in.Root() / (std::to_string(copy) + ".jpg"));
  const FakeCups cups(kCupsRunning);
  test::TempTree spool;
  // The child inherits the fake CUPS and a temporary folder of its own, where its spool shows.
  ::setenv("PATH", cups.Path().substr(5).c_str(), 1);
  ::setenv("TMPDIR", spool.Path().c_str(), 1);
  Child child({"sheet", in.Path(), "--printer", "Office", "--rows", "1", "--cols", "1"});
  ASSERT_TRUE(WaitForJob(spool.Root()));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  child.Signal(SIGINT);
  EXPECT_EQ(child.Wait(), 1);
  EXPECT_FALSE(cups.Called());
  // Qt keeps its runtime folder there too; no spool may be left beside it.
  for (const std::string& name : FilesIn(spool.Root())) EXPECT_NE(name.rfind("tablora-print-", 0), 0u) << name;
}

TEST(CliSheetOutput, NamesKindsAndRanges) {
  EXPECT_EQ(cli::OutputKindOf("a/b.PDF"), cli::OutputKind::Pdf);
  EXPECT_EQ(cli::OutputKindOf("x.png"), cli::OutputKind::Png);
  EXPECT_EQ(cli::PagePicturePath("dir.v2/out.png", 7), "dir.v2/out-007.png");
  EXPECT_EQ(cli::PagePicturePath("out.PNG", 1234), "out-1234.PNG");
  EXPECT_EQ(cli::PaperSizeOf("LEGAL"), QPageSize::Legal);
  const cli::PageRange range = cli::ParsePageRange("12-40");
  EXPECT_EQ(range.from, 12);
  EXPECT_EQ(range.to, 40);
  EXPECT_THROW(cli::ParsePageRange("-4"), cli::UsageError);
  EXPECT_THROW(cli::ParsePageRange("99999999999-1"), cli::UsageError);
  EXPECT_EQ(cli::ConsoleMessageBox::ConsoleText("a\n\r\n\rb"), "a\n\nb\n");
  EXPECT_EQ(cli::ParseCupsOption("page-set=odd", "-o"), (std::pair<std::string, std::string>{"page-set", "odd"}));
  EXPECT_EQ(cli::ParseCupsOption("landscape", "-o"), (std::pair<std::string, std::string>{"landscape", ""}));
  EXPECT_THROW(cli::ParseCupsOption("a b=c", "-o"), cli::UsageError);
}

}  // namespace
}  // namespace tablora
