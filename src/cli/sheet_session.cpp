#include "cli/sheet_session.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "sheet/template_store.h"
#include "version/version.h"

namespace tablora::cli {

const std::vector<std::string> kSheetValueOptions = {"--rows", "--cols", "--title", "--font", "--jobs",
                                                     "--caption", "--sort", "--min-rating", "--pairs", "--template",
                                                     "--selection"};
const std::vector<std::string> kSheetFlagOptions = {"--facing", "--no-page-numbers", "--quiet",
                                                    "--help", "--no-cache", "--verbose"};
const char* const kSheetOptionsHelp =
    "  --template NAME     the layout: a template by its name (Classic, Proof sheet, Film strip,\n"
    "                      Archive index, or one saved in the window) or a template FILE.json\n"
    "                      (default: the template last used in the window, else Classic)\n"
    "  --rows N            thumbnail rows per page, 1..30 (default: the template's, 10)\n"
    "  --cols N            thumbnails per row, 1..30 (default: the template's, 6)\n"
    "  --title TEXT        title printed at the top of each page (default none)\n"
    "  --font NAME         typeface of all texts (default Tahoma)\n"
    "  --facing            facing pages: title and page number change sides on even pages\n"
    "  --no-page-numbers   no \"Page N of M\" on the title line\n"
    "  --jobs N            threads that load the pictures, 1..64 (default: the number of cores;\n"
    "                      1 loads them one by one)\n"
    "  --no-cache          neither read nor write the desktop's thumbnail cache\n"
    "  --caption FIELDS    a second caption line of the pictures' shooting data, the fields\n"
    "                      comma-separated in the order shown: date (taken, to the minute),\n"
    "                      exposure (shutter time, f-number, ISO), camera, lens, focal (focal\n"
    "                      length), iso, rating (stars), title; missing ones are left out\n"
    "  --sort ORDER        order within each folder: name (default), natural (numbers in names\n"
    "                      by value: IMG_2 before IMG_10) or date (taken; undated pictures last)\n"
    "  --min-rating N      only pictures rated N stars or more, 0..5 (default 0: every picture)\n"
    "  --pairs MODE        a frame the camera wrote as RAW and JPEG (or HEIF), files of one name\n"
    "                      in one folder: once (default) shows the JPEG captioned with both\n"
    "                      (\"IMG_0412.CR3 + JPG\"), both shows each file, raw the RAW, jpeg the\n"
    "                      JPEG under its own name. A Live Photo's clip (.mov of the still's name)\n"
    "                      goes with its still, which is marked LIVE, unless both\n"
    "  --selection FILE    the pictures left out and the order within folders as FILE holds them\n"
    "                      (default: those the window keeps for FOLDER, in\n"
    "                      $XDG_DATA_HOME/Tablora/selections)\n"
    "  --quiet             no progress line on stderr\n"
    "  --verbose           name each picture that could not be read, with the reason, before\n"
    "                      the closing count of them on stderr\n"
    "  --help              this text\n";

void ReadOrderOptions(const Args& args, CliInputs& inputs) {
  if (const auto sort = args.Value("--sort")) {
    const std::optional<SortOrder> order = SortOrderNamed(*sort);
    if (!order) throw UsageError{"option --sort must be name, natural or date, not '" + *sort + "'"};
    inputs.order = *order;
  }
  inputs.minRating = args.IntOr("--min-rating", 0, 0, kMaxRating);
  if (const auto pairs = args.Value("--pairs")) {
    const std::optional<PairMode> mode = PairModeNamed(*pairs);
    if (!mode) throw UsageError{"option --pairs must be once, both, raw or jpeg, not '" + *pairs + "'"};
    inputs.pairs = *mode;
  }
}

void ReadSelectionOption(const Args& args, CliInputs& inputs) {
  const auto file = args.Value("--selection");
  if (!file) return;
  try {
    inputs.selection = LoadSelectionFile(*file);
  } catch (const ESelection& e) {
    throw UsageError{std::string("option --selection: ") + e.what()};
  }
}

void UseSelection(TContactSheet& sheet, const CliInputs& inputs, SelectionStore& store) {
  if (inputs.selection) {
    sheet.Selection = *inputs.selection;
    sheet.Services().selections = nullptr;
  } else {
    sheet.Services().selections = &store;
  }
}

void ReportSelectionProblem(const TContactSheet& sheet) {
  if (!sheet.SelectionProblem.empty()) {
    std::fprintf(stderr, "tablora-cli: %s (ignored: every picture is on the sheet)\n", sheet.SelectionProblem.c_str());
  }
}

void ReportProblems(const TContactSheet& sheet, bool verbose) {
  const std::vector<PictureProblem>& problems = sheet.Problems();
  if (problems.empty()) return;
  if (verbose) {
    for (const PictureProblem& problem : problems) {
      const std::string line = std::string("  ").append(EscapedName(sheet.BaseFolder + problem.entry)).append(": ");
      std::fprintf(stderr, "%s%s\n", line.c_str(), problem.message.c_str());
    }
  }
  if (problems.size() == 1) {
    std::fputs("1 picture could not be read\n", stderr);
  } else {
    std::fprintf(stderr, "%zu pictures could not be read\n", problems.size());
  }
}

SheetTemplate ReadTemplateOption(const Args& args) {
  const TemplateStore store;
  if (const auto name = args.Value("--template")) {
    try {
      return store.Find(*name);
    } catch (const ETemplate& e) {
      throw UsageError{std::string("option --template: ") + e.what()};
    }
  }
  try {
    return store.Find(store.LastUsed());
  } catch (const ETemplate&) {
    return ClassicTemplate();
  }
}

void ReadSheetOptions(const Args& args, CliInputs& inputs) {
  inputs.layout = ReadTemplateOption(args);
  inputs.rows = args.IntOr("--rows", inputs.layout.rows, kMinGridSize, kMaxGridSize);
  inputs.columns = args.IntOr("--cols", inputs.layout.columns, kMinGridSize, kMaxGridSize);
  inputs.title = args.ValueOr("--title", "");
  inputs.fontName = args.ValueOr("--font", "Tahoma");
  if (inputs.fontName.empty()) throw UsageError{"option --font needs a typeface name"};
  inputs.facing = args.Has("--facing");
  inputs.pageNumbers = !args.Has("--no-page-numbers");
  inputs.jobs = args.IntOr("--jobs", DefaultJobs(), 1, 64);
  inputs.cache = !args.Has("--no-cache");
  if (const auto caption = args.Value("--caption")) {
    const auto fields = ParseCaptionFields(*caption);
    if (!fields) {
      throw UsageError{"option --caption takes date, exposure, camera, lens, focal, iso, rating or title, "
                       "comma-separated, not '" + *caption + "'"};
    }
    inputs.captionFields = *fields;
  }
  ReadOrderOptions(args, inputs);
  ReadSelectionOption(args, inputs);
}

int DefaultJobs() { return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 64); }

void EnsureGuiApplication() {
  if (QGuiApplication::instance() != nullptr) return;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  static int argc = 1;
  static char name[] = "tablora-cli";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

SheetSession::SheetSession(CliInputs& inputs, bool quiet, PrinterDevice* printer,
                           PreviewControl* preview)
    : progress_(quiet),
      sheet_(SheetServices{.progress = &progress_,
                           .pump = &progress_,
                           .inputs = &inputs,
                           .options = &inputs,
                           .directories = &directories_,
                           .printer = printer,
                           .preview = preview,
                           .canvases = &canvases_,
                           .thumbnails = &thumbnails_}) {
  sheet_.ThumbnailJobs = inputs.jobs;
  sheet_.Layout = inputs.layout;
  UseSelection(sheet_, inputs, selections_);
  if (inputs.cache && !DesktopThumbnailCache::DefaultRoot().empty()) {
    desktop_ = std::make_unique<DesktopThumbnailCache>(DesktopThumbnailCache::DefaultRoot(),
                                                       std::string("tablora-") + kVersion);
    sheet_.Thumbnails.SetDesktop(desktop_.get());
  }
}

SheetSession::~SheetSession() {
  // The thumbnails still queued are written before the command ends, so the next one finds them.
  sheet_.Thumbnails.SetDesktop(nullptr);
}

bool SheetSession::Build() {
  sheet_.BuildFileList();
  const bool finished = progress_.Working();
  progress_.Close();
  ReportSelectionProblem(sheet_);
  return finished;
}

std::vector<std::string> SheetSession::InputFiles() const {
  std::vector<std::string> files;
  files.reserve(sheet_.FileList.size());
  for (const std::string& entry : sheet_.FileList) files.push_back(sheet_.BaseFolder + entry);
  return files;
}

}  // namespace tablora::cli
