#include "sheet/file_pairs.h"

#include <gtest/gtest.h>

namespace tablora {
namespace {

struct PairCase {
  const char* what;
  PairMode mode;
  std::vector<std::string> entries;
  std::vector<std::string> kept;
  std::string noted;  // the kept entry with a note
  PairNote note;
};

// Files of one frame: the camera's rendering stands for its RAW unless the mode says otherwise;
// names match whatever the case of their letters, only within one folder, and only RAW with JPEG
// or HEIF (a TIFF or PNG of the same name is a picture of its own).
TEST(FilePairs, FramesWrittenTwiceShowOnce) {
  const std::vector<std::string> shoot = {"/a/IMG_0412.CR3", "/a/IMG_0412.JPG", "/a/IMG_0413.jpg", "/b/IMG_0413.NEF"};
  const PairCase cases[] = {
      {"once", PairMode::Once, shoot, {"/a/IMG_0412.JPG", "/a/IMG_0413.jpg", "/b/IMG_0413.NEF"}, "/a/IMG_0412.JPG",
       {"IMG_0412.CR3 + JPG", {"/a/IMG_0412.CR3"}, false}},
      {"raw", PairMode::Raw, shoot, {"/a/IMG_0412.CR3", "/a/IMG_0413.jpg", "/b/IMG_0413.NEF"}, "/a/IMG_0412.CR3",
       {"IMG_0412.CR3 + JPG", {"/a/IMG_0412.JPG"}, false}},
      {"jpeg", PairMode::Jpeg, shoot, {"/a/IMG_0412.JPG", "/a/IMG_0413.jpg", "/b/IMG_0413.NEF"}, "/a/IMG_0412.JPG",
       {"", {"/a/IMG_0412.CR3"}, false}},
      {"both", PairMode::Both, shoot, shoot, "", {}},
      {"case of the name", PairMode::Once, {"/DSC_1.nef", "/dsc_1.heic"}, {"/dsc_1.heic"}, "/dsc_1.heic",
       {"DSC_1.nef + heic", {"/DSC_1.nef"}, false}},
      {"not a rendering", PairMode::Once, {"/x.dng", "/x.tif", "/x.png"}, {"/x.dng", "/x.tif", "/x.png"}, "", {}},
      {"live photo", PairMode::Once, {"/IMG_7.HEIC", "/IMG_7.MOV", "/IMG_8.MOV"}, {"/IMG_7.HEIC", "/IMG_8.MOV"},
       "/IMG_7.HEIC", {"", {"/IMG_7.MOV"}, true}},
      {"live photo of a pair", PairMode::Raw, {"/P.ARW", "/P.JPG", "/P.mov"}, {"/P.ARW"}, "/P.ARW",
       {"P.ARW + JPG", {"/P.JPG", "/P.mov"}, true}},
      {"live photo kept apart", PairMode::Both, {"/IMG_7.HEIC", "/IMG_7.MOV"}, {"/IMG_7.HEIC", "/IMG_7.MOV"}, "", {}},
      {"names without extension", PairMode::Once, {"/README", "/.jpg", "/.cr2"}, {"/README", "/.jpg", "/.cr2"}, "", {}},
  };
  for (const PairCase& c : cases) {
    const PairedList paired = PairUp(c.entries, c.mode);
    EXPECT_EQ(paired.entries, c.kept) << c.what;
    if (c.noted.empty()) {
      EXPECT_TRUE(paired.notes.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(paired.notes.size(), 1u) << c.what;
    ASSERT_TRUE(paired.notes.contains(c.noted)) << c.what;
    EXPECT_EQ(paired.notes.at(c.noted), c.note) << c.what;
  }
}

TEST(FilePairs, ModesByName) {
  for (const PairMode mode : {PairMode::Once, PairMode::Both, PairMode::Raw, PairMode::Jpeg}) {
    EXPECT_EQ(PairModeNamed(PairModeName(mode)), mode);
  }
  EXPECT_FALSE(PairModeNamed("JPEG"));
  EXPECT_FALSE(PairModeNamed(""));
}

}  // namespace
}  // namespace tablora
