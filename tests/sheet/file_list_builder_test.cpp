#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"
#include "sheet/thumbnail_image.h"
#include "support/hostile_files.h"
#include "support/sheet_fakes.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

using test::FakeInputs;
using test::FakeOptions;
using test::FakeProgress;
using test::FakePump;
using test::TempTree;
using Files = std::vector<std::string>;

// A directory search that fails to open chosen folders, as if they vanished or were locked.
class FlakySearch : public DirectorySearch {
 public:
  std::unique_ptr<DirectoryListing> Open(const std::string& folder) override {
    opened.push_back(folder);
    for (const std::string& gone : missing) {
      if (folder == gone) return real.Open(folder + "/does-not-exist");
    }
    return real.Open(folder);
  }
  bool Identify(const std::string& folder, uint64_t& device, uint64_t& inode) override {
    return real.Identify(folder, device, inode);
  }
  PosixDirectorySearch real;
  std::vector<std::string> missing;
  std::vector<std::string> opened;
};

struct Fixture {
  FakeProgress progress;
  FakePump pump;
  FakeInputs inputs;
  FakeOptions options;
  FlakySearch search;
  TContactSheet sheet{SheetServices{.progress = &progress, .pump = &pump, .inputs = &inputs, .options = &options, .directories = &search}};

  Files Build(const std::string& folder) {
    inputs.folder = folder;
    sheet.BuildFileList();
    return sheet.FileList;
  }
};

TEST(BuildFileList, ListsAdmittedExtensionsOnly) {
  TempTree tree;
  for (const char* name : {"IMG_01.JPG", "Scan.Tif", "photo.jpe", "photo.jfif", "scan.tiff.bak",
                           ".gif", "a.bmp", "b.dib", "c.rle", "d.jpeg", "e.psd", "f.PDD", "g.png",
                           "h.tiff", "i.gif", "noext", "j.TxT"}) {
    tree.File(name);
  }
  Fixture f;
  EXPECT_EQ(f.Build(tree.Path()),
            (Files{"/.gif", "/a.bmp", "/b.dib", "/c.rle", "/d.jpeg", "/e.psd", "/f.PDD", "/g.png",
                   "/h.tiff", "/i.gif", "/IMG_01.JPG", "/Scan.Tif"}));
  EXPECT_EQ(f.sheet.BaseFolder, tree.Path());
  EXPECT_EQ(f.sheet.CurrentPage, 1);
}

// A folder's pictures stay together under one heading: its own before its subfolders', the
// folders in collation order name by name ("b" before "B2" before "c", "S" before "s t"), and a
// name sorting between two files ("M" between "a" and "z") does not split them.
TEST(BuildFileList, EachFolderKeepsItsPicturesTogether) {
  TempTree tree;
  for (const char* name : {"a.jpg", "z.jpg", "M/b.jpg", "M/N/c.jpg", "M/d.jpg", "c/x.jpg", "B2/y.jpg",
                           "b/w.jpg", "b/A/v.jpg", "S/u.jpg", "s t/t.jpg", "S/0.jpg"}) {
    tree.File(name);
  }
  Fixture f;
  EXPECT_EQ(f.Build(tree.Path()),
            (Files{"/a.jpg", "/z.jpg", "/b/w.jpg", "/b/A/v.jpg", "/B2/y.jpg", "/c/x.jpg", "/M/b.jpg",
                   "/M/d.jpg", "/M/N/c.jpg", "/S/0.jpg", "/S/u.jpg", "/s t/t.jpg"}));
}

TEST(BuildFileList, HiddenFoldersAreNotEnteredButHiddenFilesAreListed) {
  TempTree tree;
  tree.File(".cache/x.jpg");
  tree.File(".hidden.png");
  tree.File("Sub/Deeper/y.jpg");
  Fixture f;
  EXPECT_EQ(f.Build(tree.Path()), (Files{"/.hidden.png", "/Sub/Deeper/y.jpg"}));
}

TEST(BuildFileList, WalkedFoldersHoldEmptyOnesAndANarrowedSheetIsThatOfItsFolder) {
  TempTree tree;
  tree.File(".cache/x.jpg");
  tree.File("Sub/Deeper/y.jpg");
  tree.Folder("Empty");
  Fixture f;
  f.Build(tree.Path());
  std::vector<std::string> walked = f.sheet.WalkedFolders();
  std::sort(walked.begin(), walked.end());
  EXPECT_EQ(walked, (Files{"/", "/Empty/", "/Sub/", "/Sub/Deeper/"}));
  f.sheet.NarrowTo(tree.Path() + "/Sub", {"/Deeper/y.jpg"});
  EXPECT_EQ(f.sheet.BaseFolder, tree.Path() + "/Sub");
  EXPECT_EQ(f.sheet.FileList, (Files{"/Deeper/y.jpg"}));
  EXPECT_EQ(f.sheet.JobTitle(), "Sub");
  EXPECT_EQ(f.sheet.WalkedFolders().size(), 4u);
}

TEST(BuildFileList, StatusesNameEachFolderOnASecondLine) {
  TempTree tree;
  tree.File("Holiday/a.jpg");
  Fixture f;
  f.Build(tree.Path());
  ASSERT_GE(f.progress.statuses.size(), 3u);
  EXPECT_EQ(f.progress.statuses[0], "Building File List");
  EXPECT_EQ(f.progress.statuses[1], "Building File List\n\r/");
  EXPECT_EQ(f.progress.statuses[2], "Building File List\n\r/Holiday/");
  EXPECT_EQ(f.progress.events.front(), "show");
}

TEST(BuildFileList, EqualPathsUnderTheCaseBlindComparisonKeepTheFirstFound) {
  TempTree tree;
  tree.File("photo.jpg", "lower");
  tree.File("PHOTO.JPG", "upper");
  Fixture f;
  const Files files = f.Build(tree.Path());
  ASSERT_EQ(files.size(), 1u);
  // The one the directory listing returned first stays.
  PosixDirectorySearch search;
  auto listing = search.Open(tree.Path() + "/");
  std::string first;
  while (auto entry = listing->Next()) {
    if (first.empty()) first = entry->name;
  }
  EXPECT_EQ(files[0], "/" + first);
}

TEST(BuildFileList, FolderWithoutImagesGivesAnEmptyList) {
  TempTree tree;
  tree.File("notes.txt");
  tree.Folder("Empty/Deeper");
  Fixture f;
  EXPECT_TRUE(f.Build(tree.Path()).empty());
  f.sheet.Paginate();
  EXPECT_EQ(f.sheet.PageCount, 0);
}

TEST(BuildFileList, CancelLeavesAnEmptyList) {
  TempTree tree;
  for (int i = 0; i < 20; ++i) tree.File(std::string("f").append(std::to_string(i)).append(".jpg"));
  tree.File("Sub/x.jpg");
  Fixture f;
  f.pump.onPump = [&](int n) {
    if (n == 5) f.progress.Cancel();
  };
  EXPECT_TRUE(f.Build(tree.Path()).empty());
  // The walk stopped at the entry where Cancel was seen instead of going on.
  EXPECT_LT(f.pump.count, 10);
}

TEST(BuildFileList, NoSelectedFolderBuildsAnEmptySheetWithoutWalking) {
  Fixture f;
  EXPECT_TRUE(f.Build("").empty());
  EXPECT_TRUE(f.search.opened.empty());
}

TEST(BuildFileList, LinkCyclesAreEnteredOnce) {
  TempTree tree;
  tree.File("A/a.jpg");
  std::filesystem::create_directory_symlink(tree.Root() / "A", tree.Root() / "A" / "loop");
  std::filesystem::create_directory_symlink(tree.Root(), tree.Root() / "A" / "up");
  Fixture f;
  EXPECT_EQ(f.Build(tree.Path()), (Files{"/A/a.jpg"}));
}

TEST(BuildFileList, LinksToFoldersAndFilesAreFollowed) {
  TempTree tree;
  TempTree elsewhere;
  elsewhere.File("b.jpg");
  elsewhere.File("Inner/c.png");
  tree.File("a.jpg");
  std::filesystem::create_directory_symlink(elsewhere.Root(), tree.Root() / "Linked");
  std::filesystem::create_symlink(elsewhere.Root() / "b.jpg", tree.Root() / "alias.jpg");
  std::filesystem::create_symlink(tree.Root() / "missing.jpg", tree.Root() / "dangling.jpg");
  Fixture f;
  EXPECT_EQ(f.Build(tree.Path()), (Files{"/a.jpg", "/alias.jpg", "/dangling.jpg",
                                         "/Linked/b.jpg", "/Linked/Inner/c.png"}));
}

TEST(BuildFileList, FolderThatCannotBeOpenedIsSkippedSilently) {
  TempTree tree;
  tree.File("A/a.jpg");
  tree.File("B/b.jpg");
  tree.File("C/c.jpg");
  Fixture f;
  f.search.missing.push_back(tree.Path() + "/B/");
  EXPECT_EQ(f.Build(tree.Path()), (Files{"/A/a.jpg", "/C/c.jpg"}));
}

TEST(BuildFileList, NamesThatAreNotUtf8AreKeptByteForByte) {
  TempTree tree;
  const std::string latin1 = "caf\xE9.jpg";
  const std::string other = "caf\xE8.jpg";
  tree.File(latin1);
  tree.File(other);
  Fixture f;
  const Files files = f.Build(tree.Path());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(f.sheet.BaseFolder + files[0]));
  EXPECT_TRUE(std::filesystem::exists(f.sheet.BaseFolder + files[1]));
}

TEST(BuildFileList, RootFolderGivesDoubledSeparator) {
  Fixture f;
  f.inputs.folder = "/";
  f.pump.onPump = [&](int) { f.progress.Cancel(); };
  f.sheet.BuildFileList();
  ASSERT_FALSE(f.search.opened.empty());
  EXPECT_EQ(f.search.opened[0], "//");
}

TEST(BuildFileList, RebuildReplacesTheList) {
  TempTree one;
  one.File("a.jpg");
  TempTree two;
  two.File("b.jpg");
  two.File("c.jpg");
  Fixture f;
  f.Build(one.Path());
  EXPECT_EQ(f.Build(two.Path()), (Files{"/b.jpg", "/c.jpg"}));
}

// A walk relative to open folders: files whose paths are longer than the system takes are listed
// and load; a tree 100,000 folders deep is walked as deep as the open-file budget allows, without
// exhausting the program's stack.
TEST(BuildFileList, FolderTreesOfAnyDepth) {
  const std::vector<uint8_t> bytes = ReadFileBytes((test::DataDir() / "bmp/pal8.bmp").string());
  test::ScratchDisk disk(64 << 10);
  for (const int depth : {2100, 100000}) {
    if (depth == 100000 && !disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs for the deep tree is not permitted here";
    TempTree tree;
    const std::string root = depth == 100000 ? disk.Path() : tree.Path();
    test::MakeFolderChain(root, depth, {0, 2100, depth}, "p.bmp", std::string(bytes.begin(), bytes.end()));
    struct QuietProgress : FakeProgress {
      void ShowStatus(const std::string&) override {}
    } progress;
    FakePump pump;
    FakeInputs inputs;
    FakeOptions options;
    PosixDirectorySearch search;
    if (search.MaxOpen() <= 2100) GTEST_SKIP() << "this process may not open enough files";
    TContactSheet sheet{SheetServices{.progress = &progress, .pump = &pump, .inputs = &inputs, .options = &options, .directories = &search}};
    inputs.folder = root;
    sheet.BuildFileList();
    const std::string deep = test::ChainFolder("", 2100) + "/p.bmp";
    const Files& found = sheet.FileList;
    EXPECT_EQ(found.size(), depth > 2100 && search.MaxOpen() > depth ? 3u : 2u);
    EXPECT_NE(std::find(found.begin(), found.end(), deep), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), "/p.bmp"), found.end());
    EXPECT_NE(ExtensionThumbnailLoader().Load(root + deep), nullptr);
  }
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// One folder built for the three orders: digits of different lengths and leading zeros, names
// differing only in case, pictures with and without a date, two taken at the same second; and a
// subfolder, whose pictures stay after the folder's own whatever the order.
TEST(BuildFileList, OrdersWithinEachFolder) {
  TempTree tree;
  for (const char* name : {"IMG_10.jpg", "IMG_2.jpg", "img_1.jpg", "IMG_010b.jpg", "scan.png", "IMG_9.jpg",
                           "sub/b.jpg", "sub/a.jpg"}) {
    tree.File(name);
  }
  test::FakeMetadata metadata;
  const auto taken = [&](const char* name, const char* date) { metadata.byName[name].dateTaken = date; };
  taken("IMG_10.jpg", "2024-06-01 09:00:00");
  taken("IMG_2.jpg", "2024-06-01 10:00:00");
  taken("IMG_9.jpg", "2024-05-31 23:59:59");
  taken("img_1.jpg", "2024-06-01 09:00:00");  // the same second as IMG_10: name order decides
  taken("sub/b.jpg", "2020-01-01 00:00:00");
  taken("b.jpg", "2020-01-01 00:00:00");
  const struct {
    SortOrder order;
    Files expected;
  } cases[] = {
      {SortOrder::Name, {"/IMG_010b.jpg", "/img_1.jpg", "/IMG_10.jpg", "/IMG_2.jpg", "/IMG_9.jpg", "/scan.png",
                         "/sub/a.jpg", "/sub/b.jpg"}},
      {SortOrder::Natural, {"/img_1.jpg", "/IMG_2.jpg", "/IMG_9.jpg", "/IMG_10.jpg", "/IMG_010b.jpg", "/scan.png",
                            "/sub/a.jpg", "/sub/b.jpg"}},
      {SortOrder::Date, {"/IMG_9.jpg", "/img_1.jpg", "/IMG_10.jpg", "/IMG_2.jpg", "/IMG_010b.jpg", "/scan.png",
                         "/sub/b.jpg", "/sub/a.jpg"}},
  };
  for (const auto& c : cases) {
    FakeProgress progress;
    FakePump pump;
    FakeInputs inputs;
    FakeOptions options;
    options.order = c.order;
    PosixDirectorySearch search;
    TContactSheet sheet{SheetServices{.progress = &progress, .pump = &pump, .inputs = &inputs, .options = &options,
                                      .directories = &search, .metadata = &metadata}};
    inputs.folder = tree.Path();
    metadata.reads = 0;
    sheet.BuildFileList();
    EXPECT_EQ(sheet.FileList, c.expected) << SortOrderName(c.order);
    // Name orders never open the pictures; the date order reads each once.
    EXPECT_EQ(metadata.reads, c.order == SortOrder::Date ? 8 : 0);
  }
}

// The rating filter reads the real files with sidecars of both conventions; a folder it empties
// is not listed, so it gets no heading, and the page count follows the shorter list.
TEST(BuildFileList, MinimumRatingKeepsRatedPicturesOnly) {
  TempTree tree;
  const auto sidecar = [&](const std::string& name, int rating) {
    tree.File(name, "<x:xmpmeta><rdf:Description xmp:Rating=\"" + std::to_string(rating) + "\"/></x:xmpmeta>");
  };
  for (const char* name : {"a.jpg", "b.cr3.jpg", "c.jpg", "d.jpg", "low/e.jpg", "low/f.jpg"}) tree.File(name);
  sidecar("a.xmp", 4);          // IMG.xmp
  sidecar("b.cr3.jpg.xmp", 5);  // IMG.CR3.xmp
  sidecar("c.jpg.xmp", 2);
  sidecar("d.xmp", -1);
  sidecar("low/e.xmp", 1);
  const struct {
    int minRating;
    Files expected;
    int pages;
  } cases[] = {
      {0, {"/a.jpg", "/b.cr3.jpg", "/c.jpg", "/d.jpg", "/low/e.jpg", "/low/f.jpg"}, 4},
      {1, {"/a.jpg", "/b.cr3.jpg", "/c.jpg", "/low/e.jpg"}, 3},
      {2, {"/a.jpg", "/b.cr3.jpg", "/c.jpg"}, 2},
      {5, {"/b.cr3.jpg"}, 1},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.inputs.rows = 1;
    f.inputs.columns = 2;
    f.options.minRating = c.minRating;
    EXPECT_EQ(f.Build(tree.Path()), c.expected) << c.minRating;
    f.sheet.Paginate();
    EXPECT_EQ(f.sheet.PageCount, c.pages) << c.minRating;
  }
}

}  // namespace
}  // namespace tablora

namespace tablora {
namespace {

// Reorder lists the walked pictures again under the options and the selection of the moment:
// the folder is not opened again, and the metadata read once serves every order.
TEST(Reorder, AppliesTheOrderTheFilterAndTheSelectionWithoutWalking) {
  TempTree tree;
  for (const char* name : {"IMG_10.jpg", "IMG_2.jpg", "IMG_1.jpg", "Day/b.jpg", "Day/a.jpg"}) tree.File(name);
  test::FakeMetadata metadata;
  metadata.byName["IMG_1.jpg"].rating = 3;
  metadata.byName["a.jpg"].rating = 3;
  Fixture f;
  f.sheet.Services().metadata = &metadata;
  f.inputs.rows = 1;
  f.inputs.columns = 1;
  f.Build(tree.Path());
  f.progress.Close();  // the owner closes the window after a build
  const std::size_t opened = f.search.opened.size();
  EXPECT_EQ(f.sheet.FileList, (Files{"/IMG_1.jpg", "/IMG_10.jpg", "/IMG_2.jpg", "/Day/a.jpg", "/Day/b.jpg"}));

  f.options.order = SortOrder::Natural;
  f.sheet.Reorder();
  EXPECT_EQ(f.sheet.FileList, (Files{"/IMG_1.jpg", "/IMG_2.jpg", "/IMG_10.jpg", "/Day/a.jpg", "/Day/b.jpg"}));
  EXPECT_EQ(f.sheet.PageCount, 5);

  f.options.minRating = 3;
  f.sheet.CurrentPage = 5;
  f.sheet.Reorder();
  EXPECT_EQ(f.sheet.FileList, (Files{"/IMG_1.jpg", "/Day/a.jpg"}));
  EXPECT_EQ(f.sheet.PageCount, 2);
  EXPECT_EQ(f.sheet.CurrentPage, 2);
  EXPECT_FALSE(f.progress.visible);
  EXPECT_EQ(metadata.reads, 5);

  f.options.minRating = 0;
  f.sheet.Reorder();
  f.sheet.Selection.LeaveOut({"/IMG_2.jpg"});
  f.sheet.Selection.Move({"/Day/b.jpg"}, "/Day/a.jpg", f.sheet.FileList);
  f.sheet.Reorder();
  EXPECT_EQ(f.sheet.FileList, (Files{"/IMG_1.jpg", "/IMG_10.jpg", "/Day/b.jpg", "/Day/a.jpg"}));
  f.sheet.ShowLeftOut = true;
  f.sheet.Reorder();
  EXPECT_EQ(f.sheet.FileList, (Files{"/IMG_1.jpg", "/IMG_2.jpg", "/IMG_10.jpg", "/Day/b.jpg", "/Day/a.jpg"}));
  EXPECT_EQ(f.search.opened.size(), opened);
}

// With a store the build takes the folder's selection from it; a damaged file is named and
// leaves every picture on the sheet.
TEST(BuildFileList, TakesTheBuiltFoldersSelectionFromTheStore) {
  TempTree tree;
  TempTree data;
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) tree.File(name);
  SelectionStore store(data.Path());
  PictureSelection selection;
  selection.LeaveOut({"/b.jpg"});
  selection.Move({"/c.jpg"}, "/a.jpg", {"/a.jpg", "/b.jpg", "/c.jpg"});
  store.Save(tree.Path(), selection);
  Fixture f;
  f.sheet.Services().selections = &store;
  EXPECT_EQ(f.Build(tree.Path()), (Files{"/c.jpg", "/a.jpg"}));
  EXPECT_EQ(f.sheet.Selection, selection);
  EXPECT_EQ(f.sheet.SelectionProblem, "");

  f.sheet.Selection.BringBack();
  f.sheet.SaveSelection();
  EXPECT_EQ(store.Load(tree.Path()).LeftOut().size(), 0u);

  std::filesystem::resize_file(store.FileFor(tree.Path()), 3);
  EXPECT_EQ(f.Build(tree.Path()), (Files{"/a.jpg", "/b.jpg", "/c.jpg"}));
  EXPECT_EQ(f.sheet.SelectionProblem.rfind(store.FileFor(tree.Path()) + ": not a selection file", 0), 0u)
      << f.sheet.SelectionProblem;
}

}  // namespace
}  // namespace tablora
