#include <QDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/sheet_export.h"
#include "support/qt_application.h"
#include "support/run_command.h"
#include "support/test_paths.h"
#include "support/window_rig.h"

namespace tablora {
namespace {

namespace fs = std::filesystem;

// Photos: one picture of its own and three in Photos/Harbour, built two to a page, so Harbour's
// sheet has two pages.
class FolderExport : public ::testing::Test, public test::RealWindowRig {
 protected:
  static void SetUpTestSuite() { test::Application(); }

  FolderExport() {
    fs::create_directories(root + "/Harbour");
    fs::copy_file(test::DataDir() / "jpeg/gray.jpg", root + "/top.jpg");
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
      fs::copy_file(test::DataDir() / "jpeg/colour.jpg", root + "/Harbour/" + name);
    }
    services.chooseFolderExport = [this](const FolderExportChoices& proposed) {
      proposedFolder = proposed.folder;
      return std::optional<FolderExportChoices>(choices);
    };
    services.reportWritten = [this](const QString& text, const QString& folder) {
      reports.push_back(text.toStdString());
      reportedFolder = folder.toStdString();
    };
    Open();
    main->SelectFolder(QString::fromStdString(root));
    main->RowInput->SetValue(1);
    main->ColInput->SetValue(2);
    main->BuildBtn->click();
    choices.folder = QString::fromStdString(out);
    choices.manifest = true;
  }

  // Every file below the output folder, hidden ones too, relative to it.
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(out, error)) {
      if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), out));
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  static int Pages(const std::string& pdf) {
    const std::string info = test::RunCommand("/usr/bin/pdfinfo", {pdf}).out;
    std::smatch match;
    return std::regex_search(info, match, std::regex("Pages: +([0-9]+)")) ? std::stoi(match[1]) : -1;
  }
  static std::string Read(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }
  // The first five columns of each row after the header: page, row, column, frame, path.
  static std::vector<std::string> Cells(const std::string& csv) {
    std::vector<std::string> rows;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
      std::size_t end = 0;
      for (int k = 0; k < 5; ++k) end = line.find(',', end + 1);
      rows.push_back(line.substr(0, end));
    }
    return rows;
  }

  test::TempTree tree;
  std::string root = tree.Path() + "/Photos";
  std::string out = tree.Path() + "/sheets";
  FolderExportChoices choices;
  QString proposedFolder;
  std::vector<std::string> reports;
  std::string reportedFolder;
};

TEST_F(FolderExport, EachFolderGetsItsPdfAndManifest) {
  if (!fs::exists("/usr/bin/pdfinfo")) GTEST_SKIP() << "pdfinfo is not installed";
  ASSERT_EQ(main->Sheet().PageCount, 3);
  main->PrintEachFolder();
  EXPECT_EQ(proposedFolder, QDir::homePath());
  EXPECT_EQ(Files(), (std::vector<std::string>{"Harbour.csv", "Harbour.pdf", "Photos.csv", "Photos.pdf"}));
  EXPECT_EQ(Pages(out + "/Photos.pdf"), 1);
  EXPECT_EQ(Pages(out + "/Harbour.pdf"), 2);
  EXPECT_EQ(Cells(Read(out + "/Harbour.csv")),
            (std::vector<std::string>{"1,1,1,1,Harbour/a.jpg", "1,1,2,2,Harbour/b.jpg", "2,1,1,3,Harbour/c.jpg"}));
  EXPECT_EQ(Cells(Read(out + "/Photos.csv")), (std::vector<std::string>{"1,1,1,1,top.jpg"}));
  EXPECT_EQ(reports, (std::vector<std::string>{"2 sheets were written to " + out + "."}));
  EXPECT_EQ(reportedFolder, out);
  EXPECT_TRUE(messages.shown.empty());
  // The window's sheet is the whole tree's still, and the choices are kept for the next time.
  EXPECT_EQ(main->Sheet().BaseFolder, root);
  EXPECT_EQ(main->Sheet().FileList.size(), 4u);
  EXPECT_EQ(main->ExportChoices(), choices);
  EXPECT_FALSE(processing->isVisible());
}

TEST_F(FolderExport, CancelKeepsTheFinishedSheetAndNothingOfTheNext) {
  choices.tree = true;
  choices.pattern = "{folder}/sheet";
  pump.onPump = [this](int) {
    if (processing->Label1->text().startsWith("Folder 2 of 2") && processing->isVisible()) processing->Button1->click();
  };
  main->PrintEachFolder();
  EXPECT_EQ(Files(), (std::vector<std::string>{"Photos/sheet.csv", "Photos/sheet.pdf"}));
  EXPECT_EQ(reports, (std::vector<std::string>{"Cancelled. 1 of 2 sheets were written to " + out + "."}));
  const std::string pdf = Read(out + "/Photos/sheet.pdf");
  EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
}

TEST_F(FolderExport, TwoFoldersOfOneNameAreToldBeforeAnythingIsWritten) {
  choices.pattern = "{count}.pdf";
  fs::copy_file(test::DataDir() / "jpeg/gray.jpg", root + "/top2.jpg");
  fs::copy_file(test::DataDir() / "jpeg/gray.jpg", root + "/Harbour/Boats.jpg");
  fs::create_directories(root + "/Rome");
  fs::copy_file(test::DataDir() / "jpeg/gray.jpg", root + "/Rome/r.jpg");
  fs::copy_file(test::DataDir() / "jpeg/gray.jpg", root + "/Rome/s.jpg");
  main->BuildBtn->click();
  main->PrintEachFolder();
  EXPECT_EQ(messages.shown, (std::vector<std::string>{"The folders " + root + " and " + root + "/Rome would both be "
                                                      "written to " + out + "/2.pdf. Nothing was written; put {path} "
                                                      "in the names."}));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_TRUE(reports.empty());
}

TEST_F(FolderExport, TheWholeSheetAsPdfWithItsManifestBeside) {
  if (!fs::exists("/usr/bin/pdfinfo")) GTEST_SKIP() << "pdfinfo is not installed";
  fs::create_directories(out);
  services.chooseSheetPdf = [this](const SheetPdfChoice& proposed) {
    EXPECT_EQ(proposed.path, QDir::home().filePath("Photos.pdf"));
    return std::optional<SheetPdfChoice>({QString::fromStdString(out + "/all"), true});
  };
  main->Services().chooseSheetPdf = services.chooseSheetPdf;
  main->SaveSheetAsPdf();
  EXPECT_EQ(Files(), (std::vector<std::string>{"all.csv", "all.pdf"}));
  EXPECT_EQ(Pages(out + "/all.pdf"), 3);
  EXPECT_EQ(Cells(Read(out + "/all.csv")).back(), "3,1,1,4,Harbour/c.jpg");
  EXPECT_EQ(main->StatusLine->text().toStdString(),
            "Saved to " + out + "/all.pdf and " + out + "/all.csv");
  EXPECT_TRUE(main->SheetPdfManifest());
}

}  // namespace
}  // namespace tablora
