#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "sheet/picture_selection.h"
#include "support/sheet_fakes.h"

namespace tablora {
namespace {

using Files = std::vector<std::string>;

const Files kSorted = {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg", "/Day/x.jpg", "/Day/y.jpg", "/Day/z.jpg"};

TEST(PictureSelection, MovesStayWithinTheirFolder) {
  struct Case {
    const char* what;
    Files moved;
    std::string before;
    Files want;
  };
  const std::vector<Case> cases = {
      {"one picture forward", {"/d.jpg"}, "/b.jpg", {"/a.jpg", "/d.jpg", "/b.jpg", "/c.jpg"}},
      {"two keep their order", {"/d.jpg", "/a.jpg"}, "/c.jpg", {"/b.jpg", "/a.jpg", "/d.jpg", "/c.jpg"}},
      {"to the folder's end", {"/a.jpg"}, "", {"/b.jpg", "/c.jpg", "/d.jpg", "/a.jpg"}},
      // Before a moved picture: before the next one that stays.
      {"before itself", {"/a.jpg", "/b.jpg"}, "/b.jpg", {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg"}},
      {"another folder's picture stays", {"/Day/z.jpg", "/d.jpg"}, "/a.jpg", {"/d.jpg", "/a.jpg", "/b.jpg", "/c.jpg"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PictureSelection selection;
    selection.Move(c.moved, c.before, kSorted);
    Files want = c.want;
    want.insert(want.end(), {"/Day/x.jpg", "/Day/y.jpg", "/Day/z.jpg"});
    EXPECT_EQ(selection.Apply(kSorted), want);
  }
}

// The order was made when the folder held a, b, c, d: b and c are gone, e and 0 are new.
TEST(PictureSelection, NewPicturesFollowTheirSortedNeighbour) {
  PictureSelection selection;
  selection.Move({"/d.jpg"}, "/a.jpg", kSorted);  // d a b c
  const Files now = {"/0.jpg", "/a.jpg", "/a2.jpg", "/d.jpg", "/e.jpg", "/Day/x.jpg"};
  EXPECT_EQ(selection.Apply(now), (Files{"/0.jpg", "/d.jpg", "/e.jpg", "/a.jpg", "/a2.jpg", "/Day/x.jpg"}));
}

TEST(PictureSelection, LeftOutPicturesAreDroppedOrKeptMarked) {
  PictureSelection selection;
  selection.LeaveOut({"/b.jpg", "/Day/y.jpg", "/gone.jpg"});
  selection.Move({"/c.jpg"}, "/a.jpg", kSorted);
  EXPECT_TRUE(selection.IsLeftOut("/Day/y.jpg"));
  EXPECT_FALSE(selection.IsLeftOut("/Day/x.jpg"));
  EXPECT_EQ(selection.Apply(kSorted), (Files{"/c.jpg", "/a.jpg", "/d.jpg", "/Day/x.jpg", "/Day/z.jpg"}));
  EXPECT_EQ(selection.Apply(kSorted, true),
            (Files{"/c.jpg", "/a.jpg", "/b.jpg", "/d.jpg", "/Day/x.jpg", "/Day/y.jpg", "/Day/z.jpg"}));
  selection.BringBack({"/b.jpg"});
  EXPECT_EQ(selection.LeftOut(), (std::set<std::string>{"/Day/y.jpg", "/gone.jpg"}));
  selection.BringBack();
  EXPECT_EQ(selection.Apply(kSorted).size(), kSorted.size());
  EXPECT_FALSE(selection.Empty());  // the order stays
  selection.ForgetOrder();
  EXPECT_TRUE(selection.Empty());
}

TEST(PictureSelection, JsonKeepsEverythingAndNamesTheFileOfADamagedOne) {
  PictureSelection selection;
  selection.LeaveOut({"/Day/ü.jpg"});
  selection.Move({"/b.jpg"}, "/a.jpg", kSorted);
  EXPECT_EQ(PictureSelection::FromJson(selection.ToJson("/photos"), "s.json"), selection);

  const std::vector<std::pair<std::string, std::string>> damaged = {
      {"{", "s.json: not a selection file (unterminated object at byte 1)"},
      {"[]", "s.json: not a selection file"},
      {R"({"leftOut": []})", "s.json: version: missing: not a selection file"},
      {R"({"version": 2})", "s.json: version: made by a newer version of Tablora (version 2)"},
      {R"({"version": 1, "leftOut": "/a.jpg"})", "s.json: leftOut: must be a list of pictures"},
      {R"({"version": 1, "leftOut": ["a.jpg"]})", "s.json: leftOut: \"a.jpg\" is not a picture"},
      {R"({"version": 1, "order": {"/Day": ["x.jpg"]}})", "s.json: order: \"/Day\" is not a folder"},
      {R"({"version": 1, "order": {"/": ["Day/x.jpg"]}})", "s.json: order./: \"Day/x.jpg\" is not a picture"},
  };
  for (const auto& [json, message] : damaged) {
    try {
      PictureSelection::FromJson(json, "s.json");
      ADD_FAILURE() << json;
    } catch (const ESelection& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

TEST(SelectionStore, KeepsOneFileAFolderUnderTheDataHome) {
  test::TempTree data;
  test::TempTree photos;
  photos.Folder("Rome 2024");
  const std::string folder = photos.Path() + "/Rome 2024";
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
  const std::string root = SelectionStore::DefaultFolder();
  old != nullptr ? ::setenv("XDG_DATA_HOME", saved.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(root, data.Path() + "/Tablora/selections");

  const SelectionStore store(root);
  const std::string file = store.FileFor(folder);
  EXPECT_TRUE(std::regex_match(file, std::regex(root + "/[0-9a-f]{16}-Rome 2024\\.json"))) << file;
  EXPECT_EQ(store.FileFor(folder + "/"), file);
  EXPECT_NE(store.FileFor(photos.Path() + "/Rome"), file);
  EXPECT_EQ(store.FileFor("/").substr(root.size()).size(), 1 + 16 + 5u);

  PictureSelection selection;
  selection.LeaveOut({"/a.jpg"});
  store.Save(folder, selection);
  EXPECT_EQ(store.Load(folder), selection);
  EXPECT_TRUE(std::filesystem::is_empty(folder));  // nothing beside the photographs
  EXPECT_EQ(LoadSelectionFile(file), selection);

  std::filesystem::resize_file(file, 5);
  std::string problem;
  EXPECT_TRUE(store.Load(folder, &problem).Empty());
  EXPECT_EQ(problem.rfind(file + ": not a selection file (", 0), 0u) << problem;

  store.Save(folder, PictureSelection());
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_THROW(LoadSelectionFile(file), ESelection);
}

}  // namespace
}  // namespace tablora
