#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/qpdf_json.h"
#include "support/run_command.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"
#include "version/version.h"

namespace tablora {
namespace {

using test::QpdfJson;

std::string Outline(const QJsonArray& items) { return test::OutlineText(items, false); }

namespace fs = std::filesystem;
using test::CliPath;
using test::RunCommand;

const std::string kRome = "Rome, \"old\" town";
const std::string kBad = "bad\xFF caf\xC3\xA9";

// Photos: top.jpg; Photos/Harbour: two pictures; Photos/Harbour/Inner #1: one; Photos/Trips (no
// pictures of its own)/Rome, "old" town: one; Photos/Trips/bad\xFF café: one.
struct Fixture {
  test::TempTree tree;
  std::string root = tree.Path() + "/Photos";
  Fixture() {
    const fs::path data = test::DataDir();
    for (const std::string& folder : {std::string("/Harbour/Inner #1"), std::string("/Trips/") + kRome, std::string("/Trips/") + kBad}) {
      fs::create_directories(root + folder);
    }
    fs::copy_file(data / "jpeg/gray.jpg", root + "/top.jpg");
    fs::copy_file(data / "meta/full.jpg", root + "/Harbour/full.jpg");
    fs::copy_file(data / "meta/keys.jpg", root + "/Harbour/keys 50%.jpg");
    fs::copy_file(data / "jpeg/colour.jpg", root + "/Harbour/Inner #1/in.jpg");
    fs::copy_file(data / "jpeg/colour.jpg", root + "/Trips/" + kRome + "/rome.jpg");
    fs::copy_file(data / "jpeg/gray.jpg", root + "/Trips/" + kBad + "/bad.jpg");
  }
  test::CommandResult Run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"sheet", root, "--dpi", "300", "--no-cache", "--jobs", "1"});
    return RunCommand(CliPath(), args);
  }
};

bool HaveTools() { return std::system("qpdf --version >/dev/null 2>&1 && pdfinfo -v >/dev/null 2>&1") == 0; }


struct Link {
  int page = 0;
  double left = 0, bottom = 0, right = 0, top = 0;
  std::string uri;
};

std::vector<Link> Links(const std::string& pdf) {
  std::vector<Link> links;
  const QJsonArray pages = QpdfJson(pdf, "pages")["pages"].toArray();
  const QJsonObject objects = QpdfJson(pdf, "qpdf")["qpdf"].toArray()[1].toObject();
  for (int page = 0; page < pages.size(); ++page) {
    const QJsonObject object = objects[QString("obj:") + pages[page].toObject()["object"].toString()].toObject();
    // Qt's pages hold their annotations in an array of its own.
    QJsonValue annotations = object["value"].toObject()["/Annots"];
    if (annotations.isString()) annotations = objects[QString("obj:") + annotations.toString()].toObject()["value"];
    for (const QJsonValue annotation : annotations.toArray()) {
      const QJsonObject value = objects[QString("obj:") + annotation.toString()].toObject()["value"].toObject();
      const QJsonArray rect = value["/Rect"].toArray();
      // JSON of qpdf marks strings with "u:".
      links.push_back({page + 1, rect[0].toDouble(), rect[1].toDouble(), rect[2].toDouble(), rect[3].toDouble(),
                       value["/A"].toObject()["/URI"].toString().mid(2).toStdString()});
    }
  }
  return links;
}

std::map<std::string, std::string> PdfInfo(const std::string& pdf) {
  std::map<std::string, std::string> info;
  std::istringstream lines(RunCommand("/usr/bin/pdfinfo", {pdf}).out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::size_t value = line.find_first_not_of(' ', colon + 1);
    info[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
  }
  return info;
}

// The box pdftotext finds a word in on a page (points from the top-left corner).
struct Box {
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};
Box WordBox(const std::string& pdf, int page, const std::string& word) {
  const std::string number = std::to_string(page);
  const std::string html = RunCommand("/usr/bin/pdftotext", {"-bbox", "-f", number, "-l", number, pdf, "-"}).out;
  const std::size_t at = html.find(std::string(">") + word + "</word>");
  EXPECT_NE(at, std::string::npos) << word;
  const std::size_t start = html.rfind("<word", at);
  Box box;
  if (at == std::string::npos || start == std::string::npos) return box;
  std::sscanf(html.c_str() + start, "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &box.xMin, &box.yMin,
              &box.xMax, &box.yMax);
  return box;
}

TEST(CliSheetPdf, BookmarksMirrorTheFoldersAndEveryPictureLinksToItsFile) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils are not installed";
  const Fixture f;
  const std::string pdf = f.tree.Path() + "/sheet.pdf";
  const auto result = f.Run({"-o", pdf, "--title", "Harbour days", "--author", "Jo \xC3\x9C" "ber", "--rows", "2",
                             "--cols", "2"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Outline(QpdfJson(pdf, "outlines")["outlines"].toArray()),
            std::string("Photos @1\n"
                        "  Harbour @2\n"
                        "    Inner #1 @3\n"
                        "  Trips @4\n"
                        "    bad\xEF\xBF\xBD caf\xC3\xA9 @4\n"
                        "    ") + kRome + " @5\n");

  const std::vector<Link> links = Links(pdf);
  std::vector<std::string> uris;
  for (const Link& link : links) uris.push_back(std::to_string(link.page) + " " + link.uri);
  const std::string base = std::string("file://") + f.root;
  EXPECT_EQ(uris, (std::vector<std::string>{std::string("1 ") + base + "/top.jpg", std::string("2 ") + base + "/Harbour/full.jpg",
                                            std::string("2 ") + base + "/Harbour/keys%2050%25.jpg",
                                            std::string("3 ") + base + "/Harbour/Inner%20%231/in.jpg",
                                            std::string("4 ") + base + "/Trips/bad%FF%20caf%C3%A9/bad.jpg",
                                            std::string("5 ") + base + "/Trips/Rome%2C%20%22old%22%20town/rome.jpg"}));
  // A cell's link covers its picture's caption, as pdftotext finds it on the A4 page, and not the
  // caption of the picture beside it.
  ASSERT_EQ(links.size(), 6u);
  const Box caption = WordBox(pdf, 2, "full.jpg");
  EXPECT_GT(caption.xMax, 0);
  EXPECT_LE(links[1].left, caption.xMin);
  EXPECT_GE(links[1].right, caption.xMax);
  EXPECT_LE(842 - links[1].top, caption.yMin);
  EXPECT_GE(842 - links[1].bottom, caption.yMax);
  const Box next = WordBox(pdf, 2, "keys");
  EXPECT_LT(links[1].right, next.xMin);
  EXPECT_GE(links[2].left, caption.xMax);
  EXPECT_LE(links[2].left, next.xMin);

  const auto info = PdfInfo(pdf);
  EXPECT_EQ(info.at("Title"), "Harbour days");
  EXPECT_EQ(info.at("Author"), "Jo \xC3\x9C" "ber");
  EXPECT_EQ(info.at("Subject"), f.root);
  EXPECT_EQ(info.at("Keywords"), std::string("Photos, Harbour, Inner #1, Trips, bad\xEF\xBF\xBD caf\xC3\xA9, ") + kRome);
  EXPECT_EQ(info.at("Creator"), std::string("Tablora ") + kVersion);
  EXPECT_NE(info.at("CreationDate"), "");
  EXPECT_EQ(info.at("Pages"), "5");

  // Names and the title stay text a reader can search.
  const std::string text = RunCommand("/usr/bin/pdftotext", {pdf, "-"}).out;
  for (const char* word : {"Harbour days", "keys 50%.jpg", "rome.jpg"}) {
    EXPECT_NE(text.find(word), std::string::npos) << word;
  }
}

TEST(CliSheetPdf, RelativeLinksLeadFromTheSheetsFolderInsideTheRoot) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils are not installed";
  const Fixture f;
  const auto result = f.Run({"--per-folder", "-o", f.root + "/sheets/{path}.pdf", "--relative-links"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<Link> links = Links(f.root + "/sheets/Harbour/Inner #1.pdf");
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].uri, "../../Harbour/Inner%20%231/in.jpg");
  EXPECT_EQ(Outline(QpdfJson(f.root + "/sheets/Harbour/Inner #1.pdf", "outlines")["outlines"].toArray()),
            "Inner #1 @1\n");

  const struct {
    std::vector<std::string> args;
    std::string message;
  } refused[] = {
      {{"-o", f.tree.Path() + "/out.pdf", "--relative-links"},
       std::string("option --relative-links needs the PDF inside '") + f.root + "', not '" + f.tree.Path() + "/out.pdf'"},
      {{"--per-folder", "-o", f.tree.Path() + "/{path}.pdf", "--relative-links"},
       std::string("option --relative-links needs the PDF inside '") + f.root + "', not '" + f.tree.Path() + "/Photos.pdf'"},
      {{"-o", f.root + "/x.png", "--relative-links"}, "option --relative-links needs -o OUT.pdf"},
      {{"-o", f.root + "/x.jpg", "--changed"}, "option --changed needs -o OUT.pdf"},
      {{"--printer", "default", "--author", "me"}, "option --author needs -o OUT.pdf"},
  };
  for (const auto& r : refused) {
    const auto refusal = f.Run(r.args);
    EXPECT_EQ(refusal.status, 2) << r.message;
    EXPECT_NE(refusal.err.find(r.message), std::string::npos) << refusal.err;
  }
  EXPECT_FALSE(fs::exists(f.tree.Path() + "/out.pdf"));
}

timespec ModifiedOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mtim;
}
bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

TEST(CliSheetPdf, ChangedRedoesOnlySheetsWhosePicturesOrSettingsChanged) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils are not installed";
  const Fixture f;
  const std::string out = f.tree.Path() + "/sheets";
  const std::vector<std::string> sheets = {out + "/Photos.pdf", out + "/Harbour.pdf", out + "/Harbour/Inner #1.pdf",
                                           out + "/Trips/" + kRome + ".pdf", out + "/Trips/" + kBad + ".pdf"};
  const std::vector<std::string> perFolder = {"--per-folder", "-o", out + "/{path}.pdf", "--changed"};
  ASSERT_EQ(f.Run(perFolder).status, 0);
  std::vector<timespec> made;
  for (const std::string& sheet : sheets) made.push_back(ModifiedOf(sheet));

  // Nothing changed: every sheet is named and left alone.
  auto again = f.Run(perFolder);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find(std::string("unchanged: '") + f.root + "/Harbour' (" + out + "/Harbour.pdf)\n"), std::string::npos)
      << again.err;
  for (std::size_t k = 0; k < sheets.size(); ++k) EXPECT_TRUE(SameTime(ModifiedOf(sheets[k]), made[k])) << sheets[k];

  // A picture touched after its sheet was made; a sheet that no longer parses; one made with
  // other settings (--title) has a digest of its own.
  const std::string touched = f.root + "/Harbour/full.jpg";
  const timespec later[2] = {{made[1].tv_sec + 10, 0}, {made[1].tv_sec + 10, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, touched.c_str(), later, 0), 0);
  fs::resize_file(sheets[3], fs::file_size(sheets[3]) - 40);
  again = f.Run(perFolder);
  ASSERT_EQ(again.status, 0) << again.err;
  const std::vector<bool> redone = {false, true, false, true, false};
  for (std::size_t k = 0; k < sheets.size(); ++k) {
    EXPECT_EQ(!SameTime(ModifiedOf(sheets[k]), made[k]), redone[k]) << sheets[k];
  }
  EXPECT_EQ(again.err.find(std::string("unchanged: '") + f.root + "/Harbour'"), std::string::npos) << again.err;

  std::vector<std::string> titled = perFolder;
  titled.insert(titled.end(), {"--title", "New", "--quiet"});
  made.clear();
  for (const std::string& sheet : sheets) made.push_back(ModifiedOf(sheet));
  again = f.Run(titled);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err, "");
  for (std::size_t k = 0; k < sheets.size(); ++k) EXPECT_FALSE(SameTime(ModifiedOf(sheets[k]), made[k])) << sheets[k];

  // One sheet of the whole folder: the same, once the picture touched above is back in the past.
  const timespec earlier[2] = {{made[1].tv_sec - 100, 0}, {made[1].tv_sec - 100, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, touched.c_str(), earlier, 0), 0);
  const std::string whole = f.tree.Path() + "/all.pdf";
  ASSERT_EQ(f.Run({"-o", whole, "--changed"}).status, 0);
  const timespec first = ModifiedOf(whole);
  again = f.Run({"-o", whole, "--changed"});
  EXPECT_EQ(again.err, std::string("unchanged: '") + f.root + "' (" + whole + ")\n");
  EXPECT_TRUE(SameTime(ModifiedOf(whole), first));
  ASSERT_EQ(f.Run({"-o", whole, "--changed", "--rows", "3"}).status, 0);
  EXPECT_FALSE(SameTime(ModifiedOf(whole), first));
}

}  // namespace
}  // namespace tablora
