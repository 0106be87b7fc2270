#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;
using test::CliPath;

const std::string kRome = "Rome, \"old\" town";

// Photos/Harbour: two pictures with metadata; Photos/Rome, "old" town: one picture and an empty
// file; Photos itself: one picture; Photos/Empty: none.
struct Fixture {
  test::TempTree tree;
  std::string root = tree.Path() + "/Photos";
  std::string out = tree.Path() + "/sheets";
  Fixture() {
    const fs::path data = test::DataDir();
    fs::create_directories(root + "/Harbour");
    fs::create_directories(root + "/" + kRome);
    fs::create_directories(root + "/Empty");
    fs::copy_file(data / "meta/full.jpg", root + "/Harbour/full.jpg");
    fs::copy_file(data / "meta/keys.jpg", root + "/Harbour/keys.jpg");
    fs::copy_file(data / "jpeg/colour.jpg", root + "/" + kRome + "/colour.jpg");
    std::ofstream(root + "/" + kRome + "/zero.jpg");
    fs::copy_file(data / "jpeg/gray.jpg", root + "/top.jpg");
  }
  test::CommandResult Run(std::vector<std::string> args) const {
    // Given first, so that a test's own --dpi wins.
    args.insert(args.begin(), {"sheet", root, "--dpi", "72", "--no-cache"});
    return test::RunCommand(CliPath(), args);
  }
};

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every file below a folder, relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// RFC 4180 read back: rows of fields, each row ended by CRLF.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        rows.back().back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        rows.back().back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.emplace_back(1);
      ++i;
    } else {
      rows.back().back() += c;
    }
  }
  rows.pop_back();  // after the last CRLF
  return rows;
}

std::string PdfText(const std::string& pdf) {
  return test::RunCommand("/usr/bin/pdftotext", {pdf, "-"}).out;
}

TEST(CliSheetPerFolder, EachFolderGetsItsOwnSheetAndManifest) {
  if (std::system("pdftotext -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftotext is not installed";
  const Fixture f;
  const auto result = f.Run({"--per-folder", "-o", f.out + "/{folder}.pdf", "--manifest", f.out + "/{folder}.csv",
                             "--verbose"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("skipped '" + f.root + "/Empty': no pictures\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(f.out + "/" + kRome + ".pdf: pages 1 to 1 of 1\n"), std::string::npos) << result.err;
  EXPECT_EQ(FilesBelow(f.out), (std::vector<std::string>{"Harbour.csv", "Harbour.pdf", "Photos.csv", "Photos.pdf",
                                                         kRome + ".csv", kRome + ".pdf"}));
  // Each sheet shows its own pictures' names only.
  const struct {
    std::string sheet;
    std::vector<std::string> shown;
    std::vector<std::string> absent;
  } sheets[] = {{"Photos", {"top.jpg"}, {"full.jpg", "colour.jpg"}},
                {"Harbour", {"full.jpg", "keys.jpg"}, {"top.jpg", "colour.jpg"}},
                {kRome, {"colour.jpg", "zero.jpg"}, {"top.jpg", "full.jpg"}}};
  for (const auto& s : sheets) {
    const std::string text = PdfText(f.out + "/" + s.sheet + ".pdf");
    for (const std::string& name : s.shown) EXPECT_NE(text.find(name), std::string::npos) << s.sheet << ": " << name;
    for (const std::string& name : s.absent) EXPECT_EQ(text.find(name), std::string::npos) << s.sheet << ": " << name;
  }

  const std::string rome = Read(f.out + "/" + kRome + ".csv");
  EXPECT_NE(rome.find("\r\n1,1,1,1,\"Rome, \"\"old\"\" town/colour.jpg\","), std::string::npos) << rome;
  const auto rows = ParseCsv(rome);
  ASSERT_EQ(rows.size(), 3u) << rome;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"page", "row", "column", "frame", "path", "bytes", "format", "size",
                                               "date", "camera", "rating", "label", "message"}));
  EXPECT_EQ(rows[1][4], kRome + "/colour.jpg");
  EXPECT_EQ(rows[1][12], "");
  EXPECT_EQ(rows[2], (std::vector<std::string>{"1", "1", "2", "2", kRome + "/zero.jpg", "0", "JPEG", "", "", "", "",
                                               "", "the file is empty"}));
  const auto harbour = ParseCsv(Read(f.out + "/Harbour.csv"));
  ASSERT_EQ(harbour.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(harbour[1].begin() + 4, harbour[1].end()),
            (std::vector<std::string>{"Harbour/full.jpg", std::to_string(fs::file_size(f.root + "/Harbour/full.jpg")),
                                      "JPEG", "16x12", "2024-06-01 14:03:27", "Canon EOS R5", "3", "", ""}));
  EXPECT_EQ(harbour[2][11], "Red");
}

TEST(CliSheetPerFolder, TreeGivesTopFoldersWithEverythingBelowAndAJsonManifest) {
  const Fixture f;
  fs::create_directories(f.root + "/Harbour/Boats");
  fs::copy_file(test::DataDir() / "jpeg/gray.jpg", f.root + "/Harbour/Boats/boat.jpg");
  const auto result = f.Run({"--per-folder=tree", "-o", f.out + "/{path}/{date}_{count}.png", "--manifest",
                             f.out + "/{path}.json", "--quiet"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "1 picture could not be read\n");
  // An empty {date} takes the "_" joining it along; the root's own pictures go by its name.
  EXPECT_EQ(FilesBelow(f.out), (std::vector<std::string>{"Harbour.json", "Harbour/2024-06-01_3-001.png",
                                                         "Photos.json", "Photos/1-001.png", kRome + ".json",
                                                         kRome + "/2-001.png"}));
  const QByteArray json = QByteArray::fromStdString(Read(f.out + "/Harbour.json"));
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(json, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << json.constData();
  const QJsonArray rows = document.array();
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[2].toObject()["path"].toString(), "Harbour/Boats/boat.jpg");
  EXPECT_EQ(rows[2].toObject()["frame"].toInt(), 3);
  EXPECT_EQ(rows[0].toObject()["rating"].toInt(), 3);
  EXPECT_TRUE(rows[1].toObject()["rating"].isNull());
  EXPECT_EQ(rows[0].toObject().keys().size(), 13);
}

TEST(CliSheetPerFolder, WrongNamesAreUsageErrorsBeforeAnythingIsWritten) {
  const Fixture f;
  const std::string pdf = f.out + "/{folder}.pdf";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--per-folder", "-o", f.out + "/{count}.pdf"},
       "the folders '" + f.root + "/Harbour' and '" + f.root + "/" + kRome + "' would both be written to '" + f.out +
           "/2.pdf'; use {path} in the name"},
      {{"--per-folder", "-o", pdf, "--manifest", f.out + "/all.csv"},
       "the folders '" + f.root + "' and '" + f.root + "/Harbour' would both be written to '" + f.out +
           "/all.csv'; use {path} in the name"},
      {{"--per-folder", "-o", f.out + "/{date}.pdf"}, "option -o gives no file name for the folder '" + f.root + "'"},
      {{"--per-folder", "-o", f.out + "/{name}.pdf"}, "option -o may hold {folder}, {path}, {date} and {count}, not {name}"},
      {{"--per-folder", "-o", pdf, "--manifest", f.out + "/"}, "option --manifest must name a .csv or .json file, not '" + f.out + "/'"},
      {{"--per-folder", "-o", f.out + "/{folder}/"}, "option -o must name a .pdf, .png, .jpg or .jpeg file, not '" + f.out + "/{folder}/'"},
      {{"--per-folder=all", "-o", pdf}, "option --per-folder must be own or tree, not 'all'"},
      {{"--per-folder", "-o", pdf, "--pages", "1"}, "option --pages does not go with --per-folder"},
      {{"-o", f.out + "/a.pdf", "--quality", "80"}, "option --quality needs -o OUT.jpg"},
      {{"-o", f.out + "/a.jpg", "--quality", "0"}, "option --quality must be a whole number from 1 to 100, not '0'"},
  };
  for (const auto& c : cases) {
    const auto result = f.Run(c.args);
    EXPECT_EQ(result.status, 2) << c.message;
    EXPECT_EQ(result.err, "tablora-cli sheet: " + c.message + "\n");
    EXPECT_FALSE(fs::exists(f.out)) << c.message;
  }
}

TEST(CliSheetPerFolder, AFolderThatCannotBeWrittenKeepsTheSheetsBeforeIt) {
  const Fixture f;
  fs::create_directories(f.out);
  std::ofstream(f.out + "/Harbour");  // a file where the sheet's folder would go
  const auto result = f.Run({"--per-folder", "-o", f.out + "/{path}/sheet.pdf", "--quiet"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "tablora-cli sheet: the sheet of '" + f.root + "/Harbour': cannot write '" + f.out +
                            "/Harbour/sheet.pdf': Not a directory\n");
  EXPECT_EQ(FilesBelow(f.out), (std::vector<std::string>{"Harbour", "Photos/sheet.pdf"}));
}

TEST(CliSheetPerFolder, CtrlCKeepsTheFinishedSheetsAndNothingOfTheOneUnderWay) {
  Fixture f;
  // Many slow pages of one picture each at 600 dpi for the last folder, so the signal lands there.
  fs::create_directories(f.root + "/Zoo");
  for (int copy = 0; copy < 40; ++copy) {
    fs::create_symlink(test::DataDir() / "jpeg/colour.jpg", f.root + "/Zoo/" + std::to_string(copy) + ".jpg");
  }
  const std::vector<std::string> args = {"sheet",  f.root, "--per-folder", "-o",       f.out + "/{folder}.pdf",
                                         "--rows", "1",    "--cols",       "1",        "--dpi",
                                         "600",    "--no-cache", "--quiet"};
  test::ChildProcess child(CliPath(), args);
  // The three sheets before Zoo's are whole once Zoo's temporary file is there.
  bool underWay = false;
  for (int i = 0; i < 1200 && !underWay; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    underWay = FilesBelow(f.out).size() == 4;
  }
  child.Signal(SIGINT);
  const int status = child.Wait();
  ASSERT_TRUE(underWay) << FilesBelow(f.out).size();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(FilesBelow(f.out), (std::vector<std::string>{"Harbour.pdf", "Photos.pdf", kRome + ".pdf"}));
  const std::string pdf = Read(f.out + "/Harbour.pdf");
  EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
}

TEST(CliSheetPerFolder, JpegPagesHaveThePageSizeAndItsResolution) {
  const Fixture f;
  fs::create_directories(f.out);
  for (const std::string name : {"page.jpg", "page.jpeg"}) {
    const auto result = f.Run({"-o", f.out + "/" + name, "--dpi", "100", "--quality", "80", "--quiet"});
    ASSERT_EQ(result.status, 0) << result.err;
  }
  ASSERT_EQ(f.Run({"-o", f.out + "/page.png", "--dpi", "100", "--quiet"}).status, 0);
  const QImage png(QString::fromStdString(f.out + "/page-001.png"));
  EXPECT_EQ(FilesBelow(f.out), (std::vector<std::string>{"page-001.jpeg", "page-001.jpg", "page-001.png"}));
  const std::string jpeg = Read(f.out + "/page-001.jpg");
  // JFIF 1.01, density in dots per inch, 100 × 100.
  EXPECT_EQ(jpeg.substr(6, 12), std::string("JFIF\0\x01\x01\x01\0\x64\0\x64", 12));
  const QImage picture(QString::fromStdString(f.out + "/page-001.jpg"));
  EXPECT_EQ(picture.size(), png.size());
  EXPECT_EQ(std::lround(picture.dotsPerMeterX() * 0.0254), 100);
  EXPECT_GT(png.width(), 700);
}

}  // namespace
}  // namespace tablora
