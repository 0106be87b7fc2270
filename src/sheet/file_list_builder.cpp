#include <algorithm>
#include <map>
#include <string_view>

#include "sheet/caption_template.h"
#include "sheet/contact_sheet.h"
#include "sheet/path_parts.h"
#include "platform/translated_text.h"

namespace tablora {

TContactSheet::TContactSheet(SheetServices services) : services_(services) {}

void TContactSheet::BuildFileList() {
  ProgressWindow& progress = *services_.progress;
  progress.Show();
  progress.ShowStatus(Translated("TContactSheet", "Building File List"));
  services_.pump->PumpMessages();
  BaseFolder = services_.inputs->SelectedFolder();
  FileList.clear();
  metadata_.clear();
  pairs_.clear();
  found_.clear();
  walked_.clear();
  walkedFolders_.clear();
  visited_.clear();
  problems_.clear();
  problemEntries_.clear();
  if (services_.selections != nullptr) {
    SelectionProblem.clear();
    Selection = BaseFolder.empty() ? PictureSelection() : services_.selections->Load(BaseFolder, &SelectionProblem);
  }

  // Without a selected folder there is nothing to walk; walking "/" instead would crawl the
  // whole file system.
  if (!BaseFolder.empty()) {
    uint64_t device = 0;
    uint64_t inode = 0;
    if (services_.directories->Identify(BaseFolder, device, inode)) visited_.insert({device, inode});
    ScanFolder("/");
  }

  if (progress.Working()) {
    walked_ = found_;
    FileList = Selected(OrderByFolder(std::move(found_)));
  }
  // Reading the pictures' metadata for the order or the filter can be cancelled too.
  if (!progress.Working()) {
    FileList.clear();
    walked_.clear();
  }
  found_.clear();
  visited_.clear();
  CurrentPage = 1;
}

void TContactSheet::Reorder() {
  ProgressWindow& progress = *services_.progress;
  // Only the date order and the rating filter read metadata, and only they can take long enough
  // to want the window (once per build: the metadata is kept).
  const bool reads = services_.options->MinRating() > 0 || services_.options->Order() == SortOrder::Date;
  const bool open = reads && !progress.Working();
  if (open) progress.Show();
  std::vector<std::string> ordered = OrderByFolder(walked_);
  if (!reads || progress.Working()) FileList = Selected(std::move(ordered));
  if (open) progress.Close();
  Paginate();
  CurrentPage = std::clamp(CurrentPage, 1, std::max(PageCount, 1));
}

void TContactSheet::NarrowTo(std::string folder, std::vector<std::string> entries) {
  BaseFolder = std::move(folder);
  FileList = std::move(entries);
  walked_ = FileList;
  metadata_.clear();
  problems_.clear();
  problemEntries_.clear();
  Selection = PictureSelection();
  CurrentPage = 1;
}

std::vector<std::string> TContactSheet::Selected(const std::vector<std::string>& sorted) const {
  return Selection.Apply(sorted, ShowLeftOut);
}

void TContactSheet::SaveSelection() {
  if (services_.selections != nullptr && !BaseFolder.empty()) services_.selections->Save(BaseFolder, Selection);
}

namespace {

// "/a/b/" as its components "a", "b"; the top folder "/" has none.
std::vector<std::string> FolderComponents(std::string_view folder) {
  std::vector<std::string> components;
  std::size_t start = 1;
  while (start < folder.size()) {
    const std::size_t slash = folder.find('/', start);
    if (slash == std::string_view::npos) break;
    components.emplace_back(folder.substr(start, slash - start));
    start = slash + 1;
  }
  return components;
}

}  // namespace

const PairNote* TContactSheet::PairOf(std::string_view entry) const {
  if (pairs_.empty()) return nullptr;
  const auto it = pairs_.find(BaseFolder + std::string(entry));
  return it == pairs_.end() ? nullptr : &it->second;
}

const TPhotoMetadata& TContactSheet::MetadataOf(const std::string& entry) {
  // A layout that shows other keys than those read reads its pictures again.
  if (std::vector<std::string> keys = MetadataKeysOf(Layout); keys != metadataKeys_) {
    metadata_.clear();
    metadataKeys_ = std::move(keys);
  }
  auto it = metadata_.find(entry);
  if (it == metadata_.end()) {
    MetadataReader& reader = services_.metadata != nullptr ? *services_.metadata : fileMetadata_;
    it = metadata_
             .emplace(entry, metadataKeys_.empty() ? reader.Read(BaseFolder + entry)
                                                   : reader.ReadWithKeys(BaseFolder + entry, metadataKeys_))
             .first;
  }
  return it->second;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Runs of digits compare by their value (IMG_2 before IMG_10, 007 as 7), the text between them
// under the collator; 0 when the names differ only where that cannot tell them apart.
int NaturalCompare(const LocaleCollator& collator, std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  const auto run = [](std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    const bool digits = IsDigit(text[at]);
    while (at < text.size() && IsDigit(text[at]) == digits) ++at;
    return text.substr(start, at - start);
  };
  while (i < a.size() && j < b.size()) {
    std::string_view x = run(a, i);
    std::string_view y = run(b, j);
    if (IsDigit(x[0]) && IsDigit(y[0])) {
      x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
      y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      if (const int order = x.compare(y); order != 0) return order;
    } else if (const int order = collator.Compare(std::string(x), std::string(y)); order != 0) {
      return order;
    }
  }
  return (i < a.size()) - (j < b.size());
}

}  // namespace

std::vector<std::size_t> TContactSheet::OrderWithinFolder(const std::vector<std::string>& names,
                                                          const std::vector<std::string>& entries) {
  // Name order first: the other orders keep it among pictures they cannot tell apart.
  std::vector<std::size_t> order = collator_.SortUnique(names);
  switch (services_.options->Order()) {
    case SortOrder::Name:
      break;
    case SortOrder::Natural:
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return NaturalCompare(collator_, names[a], names[b]) < 0;
      });
      break;
    case SortOrder::Date: {
      // Undated pictures after the dated ones, still in name order.
      std::vector<std::string> dates(names.size());
      for (std::size_t k : order) dates[k] = MetadataOf(entries[k]).dateTaken;
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (dates[a].empty() != dates[b].empty()) return dates[b].empty();
        return dates[a] < dates[b];
      });
      break;
    }
  }
  return order;
}

// Folders compare name by name down the path, so a folder's own pictures come before those of its
// subfolders and each folder's pictures stay together under one heading; a plain sort of whole
// paths would put "/a/b/x.jpg" between "/a/" and "/a/c.jpg" ("b/" sorts before "c").
std::vector<std::string> TContactSheet::OrderByFolder(std::vector<std::string> entries) {
  // Pairs first: the picture kept of a pair is the one the filter and the order then see.
  // A layout that says how pairs show decides for its sheets.
  PairedList paired = PairUp(std::move(entries), Layout.pairs.value_or(services_.options->Pairs()));
  entries = std::move(paired.entries);
  pairs_.clear();
  for (auto& [entry, note] : paired.notes) pairs_.emplace(BaseFolder + entry, std::move(note));
  const int minRating = services_.options->MinRating();
  if (minRating > 0 || services_.options->Order() == SortOrder::Date) {
    ProgressWindow& progress = *services_.progress;
    std::vector<std::string> kept;
    kept.reserve(entries.size());
    for (std::string& entry : entries) {
      services_.pump->PumpMessages();
      if (!progress.Working()) return {};
      const TPhotoMetadata& metadata = MetadataOf(entry);
      if (metadata.rating.value_or(0) >= minRating) kept.push_back(std::move(entry));
    }
    entries = std::move(kept);
  }

  struct Folder {
    std::string path;
    std::vector<std::string> components;
    std::vector<std::size_t> members;
  };
  std::vector<Folder> folders;
  std::map<std::string, std::size_t, std::less<>> byPath;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string_view folder = FolderPart(entries[i]);
    auto it = byPath.find(folder);
    if (it == byPath.end()) {
      it = byPath.emplace(std::string(folder), folders.size()).first;
      folders.push_back({std::string(folder), FolderComponents(folder), {}});
    }
    folders[it->second].members.push_back(i);
  }
  std::stable_sort(folders.begin(), folders.end(), [this](const Folder& a, const Folder& b) {
    const std::size_t common = std::min(a.components.size(), b.components.size());
    for (std::size_t k = 0; k < common; ++k) {
      const int order = collator_.Compare(a.components[k], b.components[k]);
      if (order != 0) return order < 0;
    }
    return a.components.size() < b.components.size();
  });

  std::vector<std::string> ordered;
  ordered.reserve(entries.size());
  for (const Folder& folder : folders) {
    std::vector<std::string> names;
    std::vector<std::string> members;
    names.reserve(folder.members.size());
    members.reserve(folder.members.size());
    for (std::size_t i : folder.members) {
      names.emplace_back(NamePart(entries[i]));
      members.push_back(entries[i]);
    }
    for (std::size_t k : OrderWithinFolder(names, members)) ordered.push_back(std::move(members[k]));
  }
  return ordered;
}

// The walk keeps its own stack of open folders instead of recursing, so a tree nested however deep
// cannot overflow the program's stack, and opens each folder relative to its parent's handle, so
// no limit on the length of paths applies. It visits entries in the same order as the recursive
// walk: a folder's files, then each subfolder in turn, depth first.
void TContactSheet::ScanFolder(const std::string& top) {
  ProgressWindow& progress = *services_.progress;
  struct Frame {
    std::unique_ptr<DirectoryListing> listing;
    // One listing serves both passes: the files of the folder first, then its subfolders.
    std::vector<DirectoryEntry> entries;
    std::size_t next = 0;
    std::size_t relativeLength = 0;
    bool done = false;
  };
  std::vector<Frame> stack;
  std::string relative = top;

  // Lists the folder `relative` names and runs its file pass.
  const auto enter = [&](std::unique_ptr<DirectoryListing> listing) {
    progress.ShowStatus(Translated("TContactSheet", "Building File List") + "\n\r" + relative);
    walkedFolders_.push_back(relative);
    Frame& frame = stack.emplace_back();
    frame.listing = std::move(listing);
    frame.relativeLength = relative.size();
    if (frame.listing) {
      while (auto entry = frame.listing->Next()) frame.entries.push_back(std::move(*entry));
    }
    for (const DirectoryEntry& entry : frame.entries) {
      if (entry.isDirectory) continue;
      services_.pump->PumpMessages();
      if (IsAdmittedExtension(LowerAscii(ExtensionPart(entry.name)))) found_.push_back(relative + entry.name);
      if (!progress.Working()) break;
    }
  };

  enter(services_.directories->Open(BaseFolder + relative));
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.done || frame.next == frame.entries.size()) {
      stack.pop_back();
      // The parent's entry for this folder is done; the parent goes on only while Working.
      if (!stack.empty() && !progress.Working()) stack.back().done = true;
      continue;
    }
    relative.resize(frame.relativeLength);
    const DirectoryEntry& entry = frame.entries[frame.next++];
    const bool hidden = !entry.name.empty() && entry.name[0] == '.';
    if (hidden) continue;
    services_.pump->PumpMessages();
    // A folder already entered by this walk (reached again through a link) is not entered twice,
    // so a link cycle cannot go round forever.
    if (entry.isDirectory && visited_.insert({entry.device, entry.inode}).second) {
      std::unique_ptr<DirectoryListing> child;
      if (frame.listing) {
        child = services_.directories->OpenChild(*frame.listing, entry.name, BaseFolder + relative + entry.name + "/");
      }
      relative += entry.name;
      relative += '/';
      enter(std::move(child));
      continue;
    }
    if (!progress.Working()) frame.done = true;
  }
}

void TContactSheet::Paginate() {
  PageEnds = Geometry().Paginate(FileList, PrinterPage());
  PageCount = static_cast<int32_t>(PageEnds.size());
}

SheetTemplate TContactSheet::EffectiveTemplate() const {
  SheetTemplate layout = Layout;
  if (sampleGrid_) return layout;
  layout.rows = Rows();
  layout.columns = Columns();
  return layout;
}

SheetGeometry TContactSheet::Geometry() const {
  const SheetTemplate layout = EffectiveTemplate();
  // The options' line of shooting data goes under a name that stands alone.
  const SheetOptions* options = services_.options;
  const bool nameAlone = layout.captions == ClassicTemplate().captions;
  const bool shootingData = nameAlone && options != nullptr && !options->CaptionFields().empty();
  return SheetGeometry(layout, static_cast<int>(layout.captions.size()) + (shootingData ? 1 : 0),
                       options != nullptr && options->PrintFacing());
}

namespace {
// A printer that tells no resolution stands for one of this many dots per inch.
constexpr int kAssumedDpi = 600;
}  // namespace

SheetPage TContactSheet::PrinterPage() const {
  // Without a printer (the command line's list) pages are A4.
  if (services_.printer == nullptr) return {Rect(0, 0, 4961, 7016), kAssumedDpi / 25.4};
  PrinterDevice& printer = *services_.printer;
  const int dpi = printer.Resolution() > 0 ? printer.Resolution() : kAssumedDpi;
  return {Rect(0, 0, printer.PageWidth(), printer.PageHeight()), dpi / 25.4};
}

SheetPage TContactSheet::PageOn(const TRect& rect) const {
  const SheetPage paper = PrinterPage();
  const int32_t paperWidth = paper.rect.Right - paper.rect.Left;
  const double scale = paperWidth > 0 ? static_cast<double>(rect.Right - rect.Left) / paperWidth : 0.0;
  return {rect, paper.pixelsPerMm * scale};
}

}  // namespace tablora
