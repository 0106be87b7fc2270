#include "platform/pdf_annotator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/qpdf_json.h"
#include "support/run_command.h"
#include "support/sheet_fakes.h"

namespace tablora {
namespace {

using test::QpdfJson;

std::string Outline(const QJsonArray& items) { return test::OutlineText(items, true); }

// A PDF of `pages` empty A4 pages without document information, its offsets counted here.
std::string MinimalPdf(int pages) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
  std::string kids;
  for (int k = 0; k < pages; ++k) {
    kids.append(std::to_string(3 + k)).append(" 0 R ");
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t k = 0; k < objects.size(); ++k) {
    offsets.push_back(pdf.size());
    pdf.append(std::to_string(k + 1)).append(" 0 obj\n").append(objects[k]).append("\nendobj\n");
  }
  const std::size_t xref = pdf.size();
  pdf.append("xref\n0 ").append(std::to_string(objects.size() + 1)).append("\n0000000000 65535 f \n");
  for (const std::size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf.append(line);
  }
  pdf.append("trailer\n<< /Size ").append(std::to_string(objects.size() + 1)).append(" /Root 1 0 R >>\nstartxref\n");
  return pdf.append(std::to_string(xref)).append("\n%%EOF\n");
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }


bool HasQpdf() { return std::system("qpdf --version >/dev/null 2>&1") == 0; }

TEST(PdfAnnotator, TextStringsAreAsciiOrUtf16WithReplacementCharacters) {
  const struct {
    std::string utf8;
    std::string bytes;
  } cases[] = {
      {"Rome, \"old\" town", "Rome, \"old\" town"},
      {"two\nlines\t(tab)", "two\nlines\t(tab)"},
      {"caf\xC3\xA9", std::string("\xFE\xFF\0c\0a\0f\0\xE9", 10)},
      {"bad\xFF", std::string("\xFE\xFF\0b\0a\0d\xFF\xFD", 10)},
      {"\x01", std::string("\xFE\xFF\0\x01", 4)},
      // U+1F600 is a surrogate pair; an overlong "/" and a lone surrogate are each two bad bytes
      // or three.
      {"\xF0\x9F\x98\x80", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6)},
      {"\xC0\xAF", "\xFE\xFF\xFF\xFD\xFF\xFD"},
      {"\xED\xA0\x80", "\xFE\xFF\xFF\xFD\xFF\xFD\xFF\xFD"},
      {"\xE2\x82", "\xFE\xFF\xFF\xFD\xFF\xFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(PdfTextString(c.utf8), c.bytes) << c.utf8;
}

TEST(PdfAnnotator, BookmarksLinksAndInformationReadBackThroughQpdf) {
  if (!HasQpdf()) GTEST_SKIP() << "qpdf is not installed";
  const test::TempTree tree;
  const std::string pdf = tree.Path() + "/sheet.pdf";
  Write(pdf, MinimalPdf(3));
  PdfExtras extras;
  extras.outline = {{"Photos", 0, 800.5, {{"Rome, \"old\" town", 1, 700, {{"two\nlines", 2, 650.25, {}}}},
                                          {"bad\xFF caf\xC3\xA9", 2, 100, {}}}}};
  extras.links = {{0, {10, 20, 110.5, 220.25}, "file:///a/b%20c.jpg"}, {2, {1, 2, 3, 4}, "../x/%23y.jpg"}};
  extras.info = {{"Title", "Sheet \xC3\xA9"}, {"Author", "A. N. Other"}, {"TabloraSettings", "0123abcd"}};
  AnnotatePdf(pdf, extras);

  EXPECT_EQ(Outline(QpdfJson(pdf, "outlines")["outlines"].toArray()),
            "Photos @1,800.5\n"
            "  Rome, \"old\" town @2,700.0\n"
            "    two\nlines @3,650.2\n"
            "  bad\xEF\xBF\xBD caf\xC3\xA9 @3,100.0\n");
  // Every link, with the page it stands on.
  std::vector<std::string> links;
  const QJsonArray pages = QpdfJson(pdf, "pages")["pages"].toArray();
  ASSERT_EQ(pages.size(), 3);
  const QJsonObject objects = QpdfJson(pdf, "qpdf")["qpdf"].toArray()[1].toObject();
  for (int page = 0; page < pages.size(); ++page) {
    const QJsonObject object = objects["obj:" + pages[page].toObject()["object"].toString()].toObject();
    for (const QJsonValue annotation : object["value"].toObject()["/Annots"].toArray()) {
      const QJsonObject link = objects["obj:" + annotation.toString()].toObject()["value"].toObject();
      std::string text = std::to_string(page) + " " + link["/Subtype"].toString().toStdString();
      for (const QJsonValue number : link["/Rect"].toArray()) text.append(" ").append(std::to_string(number.toDouble()).substr(0, 6));
      links.push_back(text + " " + link["/A"].toObject()["/URI"].toString().toStdString());
    }
  }
  EXPECT_EQ(links, (std::vector<std::string>{"0 /Link 10.000 20.000 110.50 220.25 u:file:///a/b%20c.jpg",
                                             "2 /Link 1.0000 2.0000 3.0000 4.0000 u:../x/%23y.jpg"}));
  EXPECT_EQ(ReadPdfInfo(pdf, "Title"), "Sheet \xC3\xA9");
  EXPECT_EQ(ReadPdfInfo(pdf, "TabloraSettings"), "0123abcd");
  EXPECT_EQ(ReadPdfInfo(pdf, "Keywords"), std::nullopt);
  const test::CommandResult check = test::RunCommand("/usr/bin/qpdf", {"--check", pdf});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST(PdfAnnotator, DamagedFilesAndMissingPagesFailNamingTheFileAndLeaveItAsItWas) {
  const test::TempTree tree;
  const std::string pdf = tree.Path() + "/sheet.pdf";
  const std::string whole = MinimalPdf(2);
  const struct {
    std::string bytes;
    PdfExtras extras;
    std::string reason;
  } cases[] = {
      {whole.substr(0, whole.size() - 30), {}, ""},
      {std::string(whole).replace(whole.find("/Root 1"), 7, "/Root 9"), {}, ""},
      {whole, {{{"Two", 2, 0, {}}}, {}, {}}, ": the file has no page 3"},
      {whole, {{}, {{-1, {}, "file:///x"}}, {}}, ": the file has no page 0"},
  };
  for (const auto& c : cases) {
    Write(pdf, c.bytes);
    try {
      AnnotatePdf(pdf, c.extras);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(std::string("cannot add bookmarks and links to '").append(pdf).append("': "), 0), 0u) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
    EXPECT_EQ(Read(pdf), c.bytes);
    EXPECT_EQ(ReadPdfInfo(pdf, "Title"), std::nullopt);
  }
  // Nothing else is left in the folder.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(tree.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace tablora
