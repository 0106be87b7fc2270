#include "sheet/folder_sheets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/pending_outputs.h"
#include "support/engine_rig.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

class AllPages : public PrintDialog {
 public:
  PrintChoice Execute(int, int) override { return {true, prAllPages, 0, 0}; }
};

class NoMessages : public MessageBox {
 public:
  void Show(const std::string& text, const std::string&, MessageIcon) override { ADD_FAILURE() << text; }
};

TEST(FolderNames, FillName) {
  const FolderFields rome{"Rome", "2024/Rome", "", 3};
  const FolderFields dated{"Rome", "2024/Rome", "2024-06-01", 3};
  const struct {
    std::string pattern;
    FolderFields fields;
    std::optional<std::string> name;
  } cases[] = {
      {"/out/{path}.pdf", rome, "/out/2024/Rome.pdf"},
      // An empty field takes the text joining it along; an empty level is left out.
      {"/out/{date}_{count}.png", rome, "/out/3.png"},
      {"/out/{date}_{count}.png", dated, "/out/2024-06-01_3.png"},
      {"out/{date}/{folder}.csv", rome, "out/Rome.csv"},
      {"{{x}}{folder}.pdf", rome, "{x}Rome.pdf"},
      {"/out/{date}.pdf", rome, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FillName(c.pattern, c.fields), c.name) << c.pattern;
  EXPECT_EQ(UnknownNameField("{path}/{name}_{folder}.pdf"), "{name}");
  EXPECT_EQ(UnknownNameField("{path}/{count}{{.pdf"), std::nullopt);
}

// Two folders of the tree Photos/{a.jpg, Harbour/b.jpg, Harbour/c.jpg, Rome/d.jpg}, printed by a
// printer that writes its page count into its file when the job ends.
class FolderSheets : public ::testing::Test, public test::EngineRig {
 protected:
  struct CountingPrinter : test::FakePrinter {
    std::string file;
    int pages = 0;
    std::function<void()> onNewPage;
    void BeginDoc() override { pages = 1; }
    void NewPage() override {
      ++pages;
      if (onNewPage) onNewPage();
    }
    void EndDoc() override { std::ofstream(file) << pages; }
  };

  FolderSheets() {
    for (const char* name : {"Photos/a.jpg", "Photos/Harbour/b.jpg", "Photos/Harbour/c.jpg", "Photos/Rome/d.jpg"}) {
      tree.File(name, "x");
    }
    sheet.BaseFolder = tree.Path() + "/Photos";
    sheet.FileList = {"/a.jpg", "/Harbour/b.jpg", "/Harbour/c.jpg", "/Rome/d.jpg"};
    inputs.rows = 1;
    inputs.columns = 1;
    job.printer = [this](const PlannedSheet&, PendingOutputs& outputs) {
      auto device = std::make_unique<CountingPrinter>();
      device->file = outputs.Add(out + "/" + std::to_string(made++) + ".txt");
      device->onNewPage = onNewPage;
      return device;
    };
    job.cancelled = [this] { return cancelled; };
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(out)) files.push_back(fs::relative(entry.path(), out));
    std::sort(files.begin(), files.end());
    return files;
  }
  static std::string Read(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }

  test::TempTree tree;
  std::string out = tree.Path() + "/out";
  AllPages dialog;
  NoMessages messages;
  FolderSheetsJob job;
  int made = 0;
  bool cancelled = false;
  std::function<void()> onNewPage;
};

TEST_F(FolderSheets, PlanNamesEachFolderOrRefusesAClash) {
  const std::vector<PlannedSheet> plan = PlanFolderSheets(sheet, FolderSplit::Own, out + "/{path}.pdf", "m/{path}.csv");
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].output, out + "/Photos.pdf");
  EXPECT_EQ(plan[1].output, out + "/Harbour.pdf");
  EXPECT_EQ(plan[1].manifest, "m/Harbour.csv");
  EXPECT_EQ(plan[1].part.entries, (std::vector<std::string>{"/b.jpg", "/c.jpg"}));
  try {
    PlanFolderSheets(sheet, FolderSplit::Own, out + "/{folder}.pdf", out + "/{count}.csv");
    FAIL() << "no clash";
  } catch (const EFolderNames& e) {
    EXPECT_EQ(e.kind, EFolderNames::Kind::Clash);
    EXPECT_TRUE(e.manifest);
    EXPECT_EQ(e.other, "/");
    EXPECT_EQ(e.folder, "/Rome/");
    EXPECT_EQ(e.name, out + "/1.csv");
  }
  try {
    PlanFolderSheets(sheet, FolderSplit::Tree, out + "/{date}.pdf", "");
    FAIL() << "a name without a date";
  } catch (const EFolderNames& e) {
    EXPECT_EQ(e.kind, EFolderNames::Kind::NoName);
    EXPECT_FALSE(e.manifest);
    EXPECT_EQ(e.folder, "/");
  }
}

TEST_F(FolderSheets, EachFolderIsCommittedWithItsManifest) {
  const std::vector<PlannedSheet> plan = PlanFolderSheets(sheet, FolderSplit::Own, "{path}", out + "/{path}/list.json");
  std::vector<std::string> started;
  job.manifestJson = true;
  job.starting = [&](std::size_t k, std::size_t count, const PlannedSheet& planned) {
    started.push_back(std::to_string(k + 1) + "/" + std::to_string(count) + " " + planned.fields.path + " " +
                      sheet.BaseFolder.substr(tree.Path().size()));
  };
  ASSERT_TRUE(PrintFolderSheets(sheet, plan, dialog, messages, job));
  EXPECT_EQ(started, (std::vector<std::string>{"1/3 Photos /Photos", "2/3 Harbour /Photos/Harbour",
                                               "3/3 Rome /Photos/Rome"}));
  EXPECT_EQ(Files(), (std::vector<std::string>{"0.txt", "1.txt", "2.txt", "Harbour", "Harbour/list.json", "Photos",
                                               "Photos/list.json", "Rome", "Rome/list.json"}));
  EXPECT_EQ(Read(out + "/1.txt"), "2");
  EXPECT_NE(Read(out + "/Harbour/list.json").find("\"path\": \"Harbour/c.jpg\""), std::string::npos)
      << Read(out + "/Harbour/list.json");
}

TEST_F(FolderSheets, CancelKeepsTheSheetsFinishedAndNothingOfTheOneUnderWay) {
  const std::vector<PlannedSheet> plan = PlanFolderSheets(sheet, FolderSplit::Own, "{path}", out + "/{path}.csv");
  fs::create_directories(out);
  onNewPage = [this] {
    cancelled = true;
    progress.Cancel();
  };
  EXPECT_THROW(PrintFolderSheets(sheet, plan, dialog, messages, job), EAbort);
  EXPECT_EQ(Files(), (std::vector<std::string>{"0.txt", "Photos.csv"}));
}

TEST_F(FolderSheets, AFailureNamesTheFolder) {
  const std::vector<PlannedSheet> plan = PlanFolderSheets(sheet, FolderSplit::Tree, "{path}", out + "/{path}/list.csv");
  tree.File("out/Harbour", "a file where a folder goes");
  try {
    PrintFolderSheets(sheet, plan, dialog, messages, job);
    FAIL() << "no failure";
  } catch (const EFolderSheet& e) {
    EXPECT_EQ(e.folder, "/Harbour/");
    EXPECT_EQ(std::string(e.what()), "cannot write '" + out + "/Harbour/list.csv': Not a directory");
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"0.txt", "Harbour", "Photos", "Photos/list.csv"}));
}

}  // namespace
}  // namespace tablora
