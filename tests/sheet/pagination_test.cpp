#include "sheet/pagination.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sheet/path_parts.h"

namespace tablora {
namespace {

using Ends = std::vector<int32_t>;

// The worked example: a, b, c, d in the chosen folder, e..m in S, n in T.
std::vector<std::string> WorkedExample() {
  std::vector<std::string> files = {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg"};
  for (char c = 'e'; c <= 'm'; ++c) files.push_back(std::string("/S/") + c + ".jpg");
  files.push_back("/T/n.jpg");
  return files;
}

TEST(Paginate, WorkedExampleRows4Columns3) {
  EXPECT_EQ(PaginateEntries(WorkedExample(), 4, 3), (Ends{6, 13}));
}

TEST(Paginate, EmptyListHasNoPages) { EXPECT_TRUE(PaginateEntries({}, 10, 6).empty()); }

TEST(Paginate, PageClosedByRowTestAtLastFileAddsNoEmptyPage) {
  EXPECT_EQ(PaginateEntries({"/a.jpg"}, 1, 1), (Ends{0}));
  EXPECT_EQ(PaginateEntries({"/a.jpg", "/b.jpg", "/c.jpg"}, 1, 1), (Ends{0, 1, 2}));
}

TEST(Paginate, HeadingRowThatWouldHangBelowThePageMovesToTheNextPage) {
  // The heading for S reaches 3.0 with Rows 3: its row (3.5 .. 4.5) would cross the page edge.
  EXPECT_EQ(PaginateEntries({"/a.jpg", "/b.jpg", "/c.jpg", "/S/d.jpg"}, 3, 2), (Ends{2, 3}));
}

TEST(Paginate, SplitFolderGetsItsHeadingAgainWithoutBeingCountedTwice) {
  // Rows 2, Columns 2: page 1 holds a, b (row at 1.0) and c, d (row at 2.0); page 2 starts
  // with the same folder's heading, which the 0.5 restart accounts for.
  std::vector<std::string> files = {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg", "/e.jpg", "/f.jpg",
                                    "/g.jpg"};
  EXPECT_EQ(PaginateEntries(files, 2, 2), (Ends{3, 6}));
}

TEST(Paginate, FilesOfOneFolderAroundASubfolderFormTwoRuns) {
  // "/b", "/M/a", "/z": three headings on one page of 10 rows.
  EXPECT_EQ(PaginateEntries({"/b.jpg", "/M/a.jpg", "/z.jpg"}, 10, 6), (Ends{2}));
  // With Rows 2 and one column, each run needs its own row and heading.
  EXPECT_EQ(PaginateEntries({"/b.jpg", "/M/a.jpg", "/z.jpg"}, 2, 1), (Ends{0, 1, 2}));
}

TEST(Paginate, RowsAndColumnsAreClampedToTheFieldLimits) {
  const auto files = WorkedExample();
  EXPECT_EQ(PaginateEntries(files, 0, 0), PaginateEntries(files, 1, 1));
  EXPECT_EQ(PaginateEntries(files, -5, 3), PaginateEntries(files, 1, 3));
  EXPECT_EQ(PaginateEntries(files, 99, 99), PaginateEntries(files, 30, 30));
}

TEST(Paginate, OnePagePerFileWithOneRowAndOneColumn) {
  std::vector<std::string> files;
  for (int i = 0; i < 5; ++i) files.push_back("/f" + std::to_string(i) + ".jpg");
  EXPECT_EQ(PaginateEntries(files, 1, 1), (Ends{0, 1, 2, 3, 4}));
}

// Lays the pages out the way the page renderer does: every page restarts at 0.5 and draws a
// heading for its first file; returns false when a row would end below Rows + 1 or a page has
// no files.
::testing::AssertionResult PagesFit(const std::vector<std::string>& files, const Ends& ends,
                                    int rows, int columns) {
  int32_t first = 0;
  for (std::size_t page = 0; page < ends.size(); ++page) {
    const int32_t last = ends[page];
    if (last < first) {
      return ::testing::AssertionFailure() << "page " << page + 1 << " has no files";
    }
    double rowPos = 0.5;
    int column = 0;
    std::string_view lastFolder;
    bool started = false;
    for (int32_t i = first; i <= last; ++i) {
      const std::string_view folder = FolderPart(files[static_cast<std::size_t>(i)]);
      if (!started || folder != lastFolder) {
        started = true;
        if (column > 0) rowPos += 1.0;
        rowPos += 0.5;
        column = 0;
        lastFolder = folder;
      }
      if (rowPos + 1.0 > rows + 1.0) {
        return ::testing::AssertionFailure() << "file " << i << " on page " << page + 1
                                             << " has its row at " << rowPos << " of " << rows;
      }
      column += 1;
      if (column % columns == 0) {
        column = 0;
        rowPos += 1.0;
      }
    }
    first = last + 1;
  }
  if (!ends.empty() && ends.back() != static_cast<int32_t>(files.size()) - 1) {
    return ::testing::AssertionFailure() << "the last page does not end with the last file";
  }
  return ::testing::AssertionSuccess();
}

TEST(Paginate, EveryRowFitsAndEveryPageHoldsFilesOverRandomTrees) {
  std::mt19937 random(20261208);
  for (int tree = 0; tree < 60; ++tree) {
    std::vector<std::string> files;
    std::vector<std::string> folders = {"/"};
    const int count = 1 + static_cast<int>(random() % 80);
    for (int i = 0; i < count; ++i) {
      if (random() % 5 == 0) folders.push_back(folders[random() % folders.size()] + "d" +
                                                std::to_string(i) + "/");
      files.push_back(folders[random() % folders.size()] + "f" + std::to_string(i) + ".jpg");
    }
    // Sorted by plain byte order: pagination only needs runs of folders, not a particular order.
    std::sort(files.begin(), files.end());
    for (int rows = 1; rows <= 30; ++rows) {
      for (int columns = 1; columns <= 30; ++columns) {
        const Ends ends = PaginateEntries(files, rows, columns);
        ASSERT_TRUE(PagesFit(files, ends, rows, columns))
            << "tree " << tree << ", rows " << rows << ", columns " << columns;
      }
    }
  }
}

TEST(Paginate, WorkedExamplePagesFitTheirRows) {
  const auto files = WorkedExample();
  EXPECT_TRUE(PagesFit(files, PaginateEntries(files, 4, 3), 4, 3));
}

}  // namespace
}  // namespace tablora
