#include <sys/stat.h>

#include <cstdio>

#include "cli/args.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/console_progress.h"
#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"

namespace tablora::cli {

namespace {

constexpr const char* kListHelp =
    "usage: tablora-cli list FOLDER [--rows N] [--cols N] [--quiet]\n"
    "\n"
    "Walks FOLDER and its subfolders the way Build does and prints the sorted image files,\n"
    "one line per file: the page it falls on, a tab, and its path relative to FOLDER.\n"
    "The last line gives the number of files and pages.\n"
    "\n"
    "  --rows N    thumbnail rows per page, 1..30 (default 10)\n"
    "  --cols N    thumbnails per row, 1..30 (default 6)\n"
    "  --quiet     no progress line on stderr\n"
    "  --help      this text\n";

}  // namespace

std::string FolderArgument(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) {
    throw UsageError{"folder '" + path + "' does not exist"};
  }
  if (!S_ISDIR(info.st_mode)) throw UsageError{"'" + path + "' is not a folder"};
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

int RunList(int argc, char** argv) {
  const Args args(argc, argv, 2, {"--rows", "--cols"}, {"--quiet", "--help"});
  if (args.Has("--help")) {
    std::fputs(kListHelp, stdout);
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"list needs exactly one FOLDER"};
  CliInputs inputs;
  inputs.rows = args.IntOr("--rows", kDefaultRows, kMinGridSize, kMaxGridSize);
  inputs.columns = args.IntOr("--cols", kDefaultColumns, kMinGridSize, kMaxGridSize);
  inputs.folder = FolderArgument(args.Positional()[0]);
  // A root folder is passed as "/" and its entries join it as "//...", which the file functions
  // accept.

  ConsoleProgress progress(args.Has("--quiet"));
  PosixDirectorySearch directories;
  TContactSheet sheet(SheetServices{.progress = &progress, .pump = &progress, .inputs = &inputs, .options = &inputs, .directories = &directories});
  sheet.BuildFileList();
  const bool cancelled = !progress.Working();
  progress.Close();
  if (cancelled) {
    std::fputs("tablora-cli: cancelled\n", stderr);
    return kExitFailed;
  }
  sheet.Paginate();

  std::size_t page = 0;
  for (std::size_t i = 0; i < sheet.FileList.size(); ++i) {
    while (page < sheet.PageEnds.size() && static_cast<int32_t>(i) > sheet.PageEnds[page]) ++page;
    std::printf("%zu\t", page + 1);
    std::fwrite(sheet.FileList[i].data(), 1, sheet.FileList[i].size(), stdout);
    std::fputc('\n', stdout);
  }
  std::printf("%zu files, %d pages\n", sheet.FileList.size(), sheet.PageCount);
  return kExitOk;
}

}  // namespace tablora::cli
