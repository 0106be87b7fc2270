#include "sheet/contact_sheet.h"
#include "sheet/pagination.h"
#include "sheet/path_parts.h"

namespace tablora {

TContactSheet::TContactSheet(SheetServices services) : services_(services) {}

void TContactSheet::BuildFileList() {
  ProgressWindow& progress = *services_.progress;
  progress.Show();
  progress.ShowStatus("Building File List");
  services_.pump->PumpMessages();
  BaseFolder = services_.inputs->SelectedFolder();
  FileList.clear();
  found_.clear();
  visited_.clear();

  // Without a selected folder there is nothing to walk; walking "/" instead would crawl the
  // whole file system.
  if (!BaseFolder.empty()) {
    uint64_t device = 0;
    uint64_t inode = 0;
    if (services_.directories->Identify(BaseFolder, device, inode)) visited_.insert({device, inode});
    ScanFolder("/");
  }

  if (progress.Working()) {
    const std::vector<std::size_t> order = collator_.SortUnique(found_);
    FileList.reserve(order.size());
    for (std::size_t index : order) FileList.push_back(std::move(found_[index]));
  }
  found_.clear();
  visited_.clear();
  CurrentPage = 1;
}

void TContactSheet::ScanFolder(const std::string& relative) {
  ProgressWindow& progress = *services_.progress;
  progress.ShowStatus("Building File List\n\r" + relative);

  // One listing serves both passes: the files of the folder first, then its subfolders.
  std::vector<DirectoryEntry> entries;
  if (auto listing = services_.directories->Open(BaseFolder + relative)) {
    while (auto entry = listing->Next()) entries.push_back(std::move(*entry));
  }

  for (const DirectoryEntry& entry : entries) {
    if (entry.isDirectory) continue;
    services_.pump->PumpMessages();
    if (IsAdmittedExtension(LowerAscii(ExtensionPart(entry.name)))) found_.push_back(relative + entry.name);
    if (!progress.Working()) break;
  }

  for (const DirectoryEntry& entry : entries) {
    const bool hidden = !entry.name.empty() && entry.name[0] == '.';
    if (hidden) continue;
    services_.pump->PumpMessages();
    // A folder already entered by this walk (reached again through a link) is not entered twice,
    // so a link cycle cannot recurse forever.
    if (entry.isDirectory && visited_.insert({entry.device, entry.inode}).second) {
      ScanFolder(relative + entry.name + "/");
    }
    if (!progress.Working()) break;
  }
}

void TContactSheet::Paginate() {
  PageEnds = PaginateEntries(FileList, Rows(), Columns());
  PageCount = static_cast<int32_t>(PageEnds.size());
}

}  // namespace tablora
