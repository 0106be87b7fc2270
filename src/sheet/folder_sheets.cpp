#include "sheet/folder_sheets.h"

#include <filesystem>
#include <map>
#include <optional>

#include "platform/message_box.h"
#include "platform/output_file.h"
#include "platform/pending_outputs.h"
#include "sheet/caption_template.h"
#include "sheet/contact_sheet.h"
#include "sheet/sheet_manifest.h"

namespace tablora {

namespace {

std::string NameOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path.substr(path.rfind('/') + 1);
}

std::optional<std::string> FieldValueOf(std::string_view field, const FolderFields& fields) {
  if (field == "folder") return fields.folder;
  if (field == "path") return fields.path;
  if (field == "date") return fields.date;
  if (field == "count") return std::to_string(fields.count);
  return std::nullopt;
}

std::vector<std::string> Levels(const std::string& pattern) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = pattern.find('/', start);
    levels.push_back(pattern.substr(start, slash - start));
    if (slash == std::string::npos) return levels;
    start = slash + 1;
  }
}

}  // namespace

std::vector<FolderPart> SplitByFolder(const std::vector<std::string>& fileList, FolderSplit split) {
  std::vector<FolderPart> parts;
  std::map<std::string, std::size_t> index;
  for (const std::string& entry : fileList) {
    std::string folder;
    if (split == FolderSplit::Own) {
      folder = entry.substr(0, entry.rfind('/') + 1);
    } else {
      const std::size_t slash = entry.find('/', 1);
      folder = slash == std::string::npos ? "/" : entry.substr(0, slash + 1);
    }
    const auto [at, added] = index.emplace(folder, parts.size());
    if (added) parts.push_back({folder, {}});
    parts[at->second].entries.push_back(entry.substr(folder.size() - 1));
  }
  return parts;
}

FolderFields FieldsOf(const FolderPart& part, const std::string& root, const std::string& date) {
  FolderFields fields;
  const bool top = part.folder == "/";
  fields.folder = top ? NameOf(root) : NameOf(part.folder);
  fields.path = top ? NameOf(root) : part.folder.substr(1, part.folder.size() - 2);
  fields.date = date.substr(0, 10);
  fields.count = static_cast<int32_t>(part.entries.size());
  return fields;
}

bool UsesDate(const std::string& pattern) {
  bool found = false;
  FillTemplate(pattern, [&found](std::string_view field) -> std::optional<std::string> {
    found = found || field == "date";
    return std::string();
  });
  return found;
}

std::optional<std::string> UnknownNameField(const std::string& pattern) {
  const std::vector<std::string> unknown =
      UnknownFields(pattern, [](std::string_view field) { return FieldValueOf(field, FolderFields{}); });
  if (unknown.empty()) return std::nullopt;
  return unknown.front();
}

std::optional<std::string> FillName(const std::string& pattern, const FolderFields& fields) {
  const FieldValue value = [&fields](std::string_view field) { return FieldValueOf(field, fields); };
  std::vector<std::string> levels = Levels(pattern);
  std::string& last = levels.back();
  const std::size_t dot = last.rfind('.');
  const std::string extension = dot == std::string::npos ? std::string() : last.substr(dot);
  last.resize(last.size() - extension.size());
  std::string name;
  for (std::size_t k = 0; k < levels.size(); ++k) {
    const std::string filled = FillTemplate(levels[k], value);
    if (k + 1 == levels.size()) {
      if (filled.empty()) return std::nullopt;
      name.append(filled).append(extension);
    } else if (k == 0 && levels[k].empty()) {
      name.push_back('/');  // an absolute path
    } else if (!filled.empty()) {
      name.append(filled).append("/");
    }
  }
  return name;
}

std::string SameFileKey(const std::string& name) { return std::filesystem::path(name).lexically_normal().string(); }

std::vector<PlannedSheet> PlanFolderSheets(TContactSheet& sheet, FolderSplit split, const std::string& output,
                                           const std::string& manifest) {
  const std::string root = sheet.BaseFolder;
  const bool dated = UsesDate(output) || UsesDate(manifest);
  std::vector<PlannedSheet> plan;
  std::map<std::string, std::string> owners;
  const auto name = [&owners](const std::string& pattern, const PlannedSheet& planned, bool isManifest) {
    std::optional<std::string> filled = FillName(pattern, planned.fields);
    if (!filled) throw EFolderNames(EFolderNames::Kind::NoName, isManifest, planned.part.folder, {}, {});
    const auto [at, added] = owners.emplace(SameFileKey(*filled), planned.part.folder);
    if (!added) throw EFolderNames(EFolderNames::Kind::Clash, isManifest, planned.part.folder, at->second, *filled);
    return *filled;
  };
  for (FolderPart& part : SplitByFolder(sheet.FileList, split)) {
    std::string earliest;
    for (const std::string& entry : part.entries) {
      if (!dated) break;
      const std::string& taken = sheet.MetadataOf(std::string(part.folder, 0, part.folder.size() - 1) + entry).dateTaken;
      if (!taken.empty() && (earliest.empty() || taken < earliest)) earliest = taken;
    }
    PlannedSheet planned{std::move(part), {}, {}, {}};
    planned.fields = FieldsOf(planned.part, root, earliest);
    planned.output = name(output, planned, false);
    if (!manifest.empty()) planned.manifest = name(manifest, planned, true);
    plan.push_back(std::move(planned));
  }
  return plan;
}

namespace {

// The print dialog of a job, asked through; what it chose is kept.
class KeptChoice : public PrintDialog {
 public:
  explicit KeptChoice(PrintDialog& dialog) : dialog_(dialog) {}
  PrintChoice Execute(int minPage, int maxPage) override {
    asked = true;
    pages = maxPage;
    choice = dialog_.Execute(minPage, maxPage);
    return choice;
  }
  bool asked = false;
  int pages = 0;
  PrintChoice choice;

 private:
  PrintDialog& dialog_;
};

class CountedMessages : public MessageBox {
 public:
  explicit CountedMessages(MessageBox& messages) : messages_(messages) {}
  void Show(const std::string& text, const std::string& caption, MessageIcon icon) override {
    ++shown;
    messages_.Show(text, caption, icon);
  }
  int shown = 0;

 private:
  MessageBox& messages_;
};

}  // namespace

SheetFiles PrintSheetToFiles(TContactSheet& sheet, PrintDialog& dialog, MessageBox& messages, const SheetFilesJob& job) {
  // Declared before the printer, so a file it still holds open is closed before it is removed.
  PendingOutputs outputs;
  std::unique_ptr<PrinterDevice> printer = job.printer(outputs);
  PrinterDevice* const before = sheet.Services().printer;
  sheet.Services().printer = printer.get();
  struct Unplug {
    TContactSheet& sheet;
    PrinterDevice* before;
    ~Unplug() { sheet.Services().printer = before; }
  } unplug{sheet, before};

  KeptChoice kept(dialog);
  CountedMessages counted(messages);
  sheet.Print(kept, counted);
  SheetFiles files;
  files.messageShown = counted.shown > 0;
  files.declined = kept.asked && !kept.choice.accepted;
  files.pages = kept.pages;
  if (kept.choice.range == prPageNums) {
    files.first = kept.choice.fromPage;
    files.last = std::min(kept.choice.toPage, kept.pages);
  } else {
    files.first = 1;
    files.last = kept.pages;
  }
  if (files.messageShown || files.declined) return files;
  if ((job.cancelled && job.cancelled()) || !kept.asked) throw EAbort();
  if (job.printed) job.printed(*printer, files.first, files.last);
  if (!job.manifest.empty()) {
    // Laid out on the page just printed, while the printer still tells it.
    FileMetadataReader reader;
    const std::vector<ManifestRow> rows = ManifestRows(sheet, job.prefix, files.first, files.last, reader);
    WriteTextTo(outputs.Add(job.manifest), job.manifestJson ? ManifestJson(rows) : ManifestCsv(rows));
  }
  printer.reset();
  files.written = outputs.Commit();
  return files;
}

bool PrintFolderSheets(TContactSheet& sheet, const std::vector<PlannedSheet>& plan, PrintDialog& dialog,
                       MessageBox& messages, const FolderSheetsJob& job) {
  const std::string root = sheet.BaseFolder;
  for (std::size_t k = 0; k < plan.size(); ++k) {
    const PlannedSheet& planned = plan[k];
    const std::string& folder = planned.part.folder;
    sheet.NarrowTo(folder == "/" ? root : std::string(root).append(folder, 0, folder.size() - 1), planned.part.entries);
    if (job.starting) job.starting(k, plan.size(), planned);
    if (job.unchanged && job.unchanged(planned)) continue;
    SheetFiles files;
    try {
      for (const std::string* name : {&planned.output, &planned.manifest}) {
        const std::filesystem::path parent = std::filesystem::path(*name).parent_path();
        std::error_code error;
        if (!name->empty() && !parent.empty()) std::filesystem::create_directories(parent, error);
        if (error) throw std::runtime_error(CannotWrite(*name, error.message()));
      }
      SheetFilesJob one;
      one.printer = [&job, &planned](PendingOutputs& outputs) { return job.printer(planned, outputs); };
      one.manifest = planned.manifest;
      one.manifestJson = job.manifestJson;
      one.prefix = folder.substr(1);
      one.cancelled = job.cancelled;
      if (job.printed) {
        one.printed = [&job, &planned](PrinterDevice& printer, int first, int last) {
          job.printed(planned, printer, first, last);
        };
      }
      files = PrintSheetToFiles(sheet, dialog, messages, one);
    } catch (const EAbort&) {
      throw;
    } catch (const std::runtime_error& e) {
      throw EFolderSheet(folder, e.what());
    }
    if (files.messageShown) return false;
    if (job.finished) job.finished(planned, files);
  }
  return true;
}

}  // namespace tablora
