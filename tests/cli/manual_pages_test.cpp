#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "imaging/image_format.h"
#include "support/run_command.h"
#include "support/test_paths.h"
#include "version/version.h"

namespace tablora {
namespace {

using test::BinaryDir;
using test::CliPath;
using test::RunCommand;
using Options = std::set<std::string>;

std::string AppPath() { return (BinaryDir() / "src/app/tablora").string(); }

std::string ReadManual(const std::string& page) {
  std::ifstream in(BinaryDir() / "doc" / page);
  EXPECT_TRUE(in) << page;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The roff source as a reader sees the words: font changes gone, "\-" a plain hyphen.
std::string Plain(std::string line) {
  line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
  line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
  line = std::regex_replace(line, std::regex(R"(^\.B )"), "");
  return line;
}

// The options a line introduces: its leading words that start with a dash, each with the value
// it takes ("-o, --output OUT.png" is -o and --output).
Options LeadingOptions(const std::string& line) {
  Options options;
  std::istringstream words(line);
  std::string word;
  while (words >> word && word[0] == '-') {
    const bool another = word.back() == ',';
    if (another) word.pop_back();
    options.insert(word);
    if (!another) break;
  }
  return options;
}

// A help text's options: the indented lines that start with a dash.
Options HelpOptions(const std::string& help) {
  Options options;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  -", 0) == 0) options.merge(LeadingOptions(line));
  }
  return options;
}

// A manual page's options by section: the tag lines of its ".TP" paragraphs, under the heading
// (".SH OPTIONS", or ".SS" with the command's name first) they stand in.
std::map<std::string, Options> ManualOptions(const std::string& manual) {
  std::map<std::string, Options> sections;
  std::istringstream lines(manual);
  std::string section;
  bool tag = false;
  for (std::string line; std::getline(lines, line);) {
    std::smatch heading;
    if (std::regex_match(line, heading, std::regex(R"(\.S[HS] "?([A-Za-z-]+).*)"))) {
      section = heading[1];
      sections[section];
    } else if (const std::string plain = Plain(line); tag && plain.rfind('-', 0) == 0) {
      sections[section].merge(LeadingOptions(plain));
    }
    tag = line == ".TP";
  }
  return sections;
}

TEST(ManualPages, CliPageDescribesEveryCommandAndOptionOfItsHelp) {
  const auto manual = ManualOptions(ReadManual("tablora-cli.1"));
  const auto top = RunCommand(CliPath(), {"--help"});
  ASSERT_EQ(top.status, 0);
  // Its own options are named in the closing sentence of the command list.
  Options topOptions;
  for (const char* option : {"--help", "--version"}) {
    EXPECT_NE(top.out.find(option), std::string::npos) << option;
    topOptions.insert(option);
  }
  EXPECT_EQ(manual.at("OPTIONS"), topOptions);

  std::istringstream lines(top.out.substr(top.out.find("Commands:")));
  std::set<std::string> commands;
  for (std::string line; std::getline(lines, line);) {
    std::smatch command;
    if (!std::regex_match(line, command, std::regex(R"(  ([a-z]+) [A-Z]+ .*)"))) continue;
    commands.insert(command[1]);
    const auto help = RunCommand(CliPath(), {command[1], "--help"});
    ASSERT_EQ(help.status, 0) << command[1];
    ASSERT_TRUE(manual.count(command[1])) << "no section for " << command[1];
    EXPECT_EQ(manual.at(command[1]), HelpOptions(help.out)) << command[1];
  }
  EXPECT_EQ(commands, (std::set<std::string>{"list", "decode", "info", "preview", "sheet"}));
  for (const auto& [section, options] : manual) {
    if (section != "OPTIONS" && !options.empty()) {
      EXPECT_TRUE(commands.count(section)) << section;
    }
  }
}

TEST(ManualPages, WindowPageDescribesEveryOptionOfItsHelp) {
  const auto help = RunCommand(AppPath(), {"--help"});
  ASSERT_EQ(help.status, 0);
  EXPECT_EQ(ManualOptions(ReadManual("tablora.1")).at("OPTIONS"), HelpOptions(help.out));
  EXPECT_EQ(HelpOptions(help.out), (Options{"--help", "--version"}));
}

TEST(ManualPages, BothProgramsAndPagesCarryTheProjectVersion) {
  const std::string version = kVersion;
  EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+\.\d+\.\d+)"))) << version;
  // No display is needed to answer.
  const auto app = RunCommand(AppPath(), {"--version"}, {"QT_QPA_PLATFORM=none", "DISPLAY="});
  EXPECT_EQ(app.status, 0);
  EXPECT_EQ(app.out, "tablora " + version + "\n");
  EXPECT_EQ(RunCommand(CliPath(), {"--version"}).out, "tablora-cli " + version + "\n");
  for (const char* page : {"tablora.1", "tablora-cli.1"}) {
    EXPECT_NE(ReadManual(page).find("\"Tablora " + version + "\""), std::string::npos) << page;
  }
}

// The formats named to users are the registry's, whichever format is added next.
TEST(ManualPages, PagesAndMetainfoNameEveryFormatTheProgramsRead) {
  std::ifstream metainfoFile(BinaryDir() / "src/app/org.tablora.Tablora.metainfo.xml");
  std::stringstream metainfo;
  metainfo << metainfoFile.rdbuf();
  const std::string window = ReadManual("tablora.1");
  const std::string cli = ReadManual("tablora-cli.1");
  for (const TImageFormat& format : ImageFormats()) {
    EXPECT_NE(window.find(format.kind), std::string::npos) << format.kind;
    EXPECT_NE(metainfo.str().find(format.kind), std::string::npos) << format.kind;
    for (std::string_view extension : format.extensions) {
      const std::string named(extension);
      EXPECT_TRUE(cli.find(named + " ") != std::string::npos || cli.find(named + ".\n") != std::string::npos)
          << extension;
    }
  }
  EXPECT_EQ(cli.find("chosen by the file's extension"), std::string::npos);
}

// The command line's own help names the registry's formats and every extension, each once.
TEST(ManualPages, HelpNamesEveryFormatTheProgramsRead) {
  const auto help = RunCommand(CliPath(), {"--help"});
  ASSERT_EQ(help.status, 0);
  const std::string pictures = help.out.substr(help.out.find("Pictures read:"));
  std::istringstream words(pictures);
  std::multiset<std::string> extensions;
  for (std::string word; words >> word;) {
    if (word.front() == '.') extensions.insert(word.back() == '.' ? word.substr(0, word.size() - 1) : word);
  }
  std::multiset<std::string> expected;
  for (const TImageFormat& format : ImageFormats()) {
    EXPECT_NE(pictures.find(format.kind), std::string::npos) << format.kind;
    expected.insert(format.extensions.begin(), format.extensions.end());
  }
  EXPECT_EQ(extensions, expected);
  std::istringstream lines(pictures);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 79u) << line;
}

}  // namespace
}  // namespace tablora
