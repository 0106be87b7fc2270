#include "sheet/pdf_extras.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "support/engine_rig.h"

namespace tablora {
namespace {

TEST(PdfExtras, UrisKeepEveryByteOfTheName) {
  const struct {
    std::string path;
    std::string uri;
  } files[] = {
      {"/photos/a b/#1 50%.jpg", "file:///photos/a%20b/%231%2050%25.jpg"},
      {"/photos/caf\xC3\xA9/x.jpg", "file:///photos/caf%C3%A9/x.jpg"},
      {"/photos/bad\xFF/Rome, \"old\"?.jpg", "file:///photos/bad%FF/Rome%2C%20%22old%22%3F.jpg"},
      {"//photos/./x~_-.JPG", "file:///photos/x~_-.JPG"},
  };
  for (const auto& f : files) EXPECT_EQ(FileUri(f.path), f.uri) << f.path;
  const struct {
    std::string from, to, uri;
  } relative[] = {
      {"/r", "/r/a b.jpg", "a%20b.jpg"},
      {"/r/sheets/2024", "/r/2024/Rome/#1.jpg", "../../2024/Rome/%231.jpg"},
      {"/r/", "/r//x:y.jpg", "x%3Ay.jpg"},
  };
  for (const auto& r : relative) EXPECT_EQ(RelativeUri(r.from, r.to), r.uri) << r.to;
}

TEST(PdfExtras, DatesCarryTheLocalOffset) {
  const char* saved = std::getenv("TZ");
  const std::string before = saved != nullptr ? saved : "";
  const struct {
    const char* zone;
    std::time_t time;
    std::string date;
  } cases[] = {
      {"UTC", 1700000000, "D:20231114221320+00'00'"},
      {"XYZ-02:30", 0, "D:19700101023000+02'30'"},
      {"XYZ+05", 0, "D:19691231190000-05'00'"},
  };
  for (const auto& c : cases) {
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    EXPECT_EQ(PdfDate(c.time), c.date) << c.zone;
  }
  if (saved != nullptr) ::setenv("TZ", before.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
}

// A sheet of /photos/Trip: its own two pictures, then 2024/Rome's two and 2025's one, two by two
// on each page.
struct Sheet {
  test::EngineRig rig;
  TContactSheet& sheet = rig.sheet;
  Sheet() {
    rig.inputs.rows = 2;
    rig.inputs.columns = 2;
    rig.inputs.title = "Trip";
    sheet.BaseFolder = "/photos/Trip";
    sheet.FileList = {"/a.jpg", "/b.jpg", "/2024/Rome/x.jpg", "/2024/Rome/y.jpg", "/2025/z.jpg"};
    sheet.PageRect = Rect(0, 0, 4800, 6600);
    sheet.Paginate();
  }
  // The page (1-based) entry k is printed on.
  int32_t PageOf(int32_t k) const {
    int32_t page = 1;
    while (sheet.PageEnds[static_cast<std::size_t>(page - 1)] < k) ++page;
    return page;
  }
};

// Titles and pages (0-based), depth first.
std::string Shape(const std::vector<PdfOutlineNode>& nodes, int depth = 0) {
  std::string text;
  for (const PdfOutlineNode& node : nodes) {
    text.append(static_cast<std::size_t>(depth) * 2, ' ').append(node.title).append(" @").append(std::to_string(node.page));
    text.append("\n").append(Shape(node.children, depth + 1));
  }
  return text;
}

TEST(PdfExtras, BookmarksNestAsTheFoldersAndFoldersWithoutPicturesOpenAtTheirFirstSubfolder) {
  Sheet s;
  const PaperFrame frame{595, 842, 83, 83, 600};
  const PdfExtras extras = SheetPdfExtras(s.sheet, {.firstPage = 1, .lastPage = s.sheet.PageCount, .frame = frame});
  const std::string rome = std::to_string(s.PageOf(2) - 1);
  ASSERT_EQ(extras.outline.size(), 1u);
  EXPECT_EQ(Shape(extras.outline), "Trip @0\n  2024 @" + rome + "\n    Rome @" + rome + "\n  2025 @" +
                                       std::to_string(s.PageOf(4) - 1) + "\n");
  const PdfOutlineNode& year = extras.outline[0].children[0];
  EXPECT_EQ(year.top, year.children[0].top);
  for (const PdfOutlineNode& node : {extras.outline[0], year, extras.outline[0].children[1]}) {
    EXPECT_GT(node.top, 0) << node.title;
    EXPECT_LT(node.top, 842 - 83 * 0.12) << node.title;
  }

  ASSERT_EQ(extras.links.size(), 5u);
  EXPECT_EQ(extras.links[2].uri, "file:///photos/Trip/2024/Rome/x.jpg");
  EXPECT_EQ(extras.links[2].page, s.PageOf(2) - 1);
  for (const PdfLink& link : extras.links) {
    // Inside the printable page, which starts 83 pixels of 600 dpi from the paper's edges.
    EXPECT_GE(link.rect.left, 83 * 0.12) << link.uri;
    EXPECT_LE(link.rect.right, (83 + 4800) * 0.12) << link.uri;
    EXPECT_LE(link.rect.top, 842 - 83 * 0.12) << link.uri;
    EXPECT_GE(link.rect.bottom, 842 - (83 + 6600) * 0.12) << link.uri;
    EXPECT_LT(link.rect.left, link.rect.right);
    EXPECT_LT(link.rect.bottom, link.rect.top);
  }
  // Side by side in a row: the same height, the second to the right of the first.
  EXPECT_EQ(extras.links[1].rect.top, extras.links[0].rect.top);
  EXPECT_DOUBLE_EQ(extras.links[1].rect.left - extras.links[0].rect.left,
                   extras.links[0].rect.right - extras.links[0].rect.left);

  const std::vector<std::pair<std::string, std::string>> info(extras.info.begin(), extras.info.begin() + 4);
  EXPECT_EQ(info, (std::vector<std::pair<std::string, std::string>>{
                      {"Title", "Trip"}, {"Author", ""}, {"Subject", "/photos/Trip"}, {"Keywords", "Trip, 2024, Rome, 2025"}}));
}

TEST(PdfExtras, APrintedRangeBookmarksItsOwnFoldersOnItsOwnPages) {
  Sheet s;
  const int32_t last = s.PageOf(4);
  ASSERT_GT(last, 1);
  const SheetPdfOptions options{.firstPage = last,
                                .lastPage = last,
                                .frame = {595, 842, 0, 0, 300},
                                .relativeLinks = true,
                                .pdfPath = "/photos/Trip/sheets/trip.pdf"};
  const PdfExtras extras = SheetPdfExtras(s.sheet, options);
  EXPECT_EQ(Shape(extras.outline), "Trip @0\n  2025 @0\n");
  ASSERT_EQ(extras.links.size(), 1u);
  EXPECT_EQ(extras.links[0].uri, "../2025/z.jpg");
}

}  // namespace
}  // namespace tablora
