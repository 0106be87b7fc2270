#include <stdexcept>
#include <QImage>
#include <cstdio>

#include "cli/args.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/sheet_output.h"
#include "platform/pending_outputs.h"
#include "cli/png_output.h"
#include "cli/sheet_session.h"
#include "platform/bitmap_image.h"
#include "platform/qt_printer_device.h"

namespace tablora::cli {

namespace {

// How long the preview waits for the print server to name the default printer's paper.
constexpr int kPrintServerAnswerMs = 5000;

constexpr const char* kPreviewHelp =
    "usage: tablora-cli preview FOLDER -o PAGE.png [--page N] [--size WxH] [OPTIONS]\n"
    "\n"
    "Builds the sheet of FOLDER and writes the preview of one page, as the window shows it\n"
    "(the page in the printer's proportions on grey), as a PNG picture.\n"
    "\n"
    "  -o, --output PAGE.png   where to write the picture\n"
    "  --page N                the page to show (default 1); a page beyond the sheet is a\n"
    "                          wrong argument\n"
    "  --size WxH              size of the preview in pixels (default 738x563)\n";

void ParseSize(const std::string& text, int& width, int& height) {
  const std::size_t x = text.find('x');
  const auto bad = [&] { return UsageError{"option --size must look like 738x563, not '" + text + "'"}; };
  if (x == std::string::npos) throw bad();
  try {
    std::size_t used = 0;
    width = std::stoi(text.substr(0, x), &used);
    if (used != x) throw bad();
    height = std::stoi(text.substr(x + 1), &used);
    if (used != text.size() - x - 1) throw bad();
  } catch (const std::logic_error&) {
    throw bad();
  }
  if (width < 1 || height < 1 || width > 20000 || height > 20000) throw bad();
}

}  // namespace

int RunPreview(int argc, char** argv) {
  std::vector<std::string> values = kSheetValueOptions;
  values.insert(values.end(), {"-o", "--output", "--page", "--size"});
  const Args args(argc, argv, 2, values, kSheetFlagOptions);
  if (args.Has("--help")) {
    std::fputs(kPreviewHelp, stdout);
    std::fputs(kSheetOptionsHelp, stdout);
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"preview needs exactly one FOLDER"};
  const std::string output = args.ValueOr("-o", args.ValueOr("--output", ""));
  if (output.empty()) throw UsageError{"preview needs -o PAGE.png"};
  CliInputs inputs;
  ReadSheetOptions(args, inputs);
  inputs.folder = FolderArgument(args.Positional()[0]);
  const int page = args.IntOr("--page", 1, 1, 1 << 30);
  const bool pageGiven = args.Has("--page");
  int width = 738;
  int height = 563;
  if (const auto size = args.Value("--size")) ParseSize(*size, width, height);

  EnsureGuiApplication();
  // The window's page: the default printer's paper, or A4 when the print server does not answer.
  const auto printer = QtPrinterDevice::AskingServerFirst({}, kPrintServerAnswerMs);
  ImagePreview preview(width, height);
  SheetSession session(inputs, args.Has("--quiet"), printer.get(), &preview);
  if (!session.Build()) {
    std::fputs("tablora-cli: cancelled\n", stderr);
    return kExitFailed;
  }
  TContactSheet& sheet = session.Sheet();
  if (sheet.FileList.empty()) throw std::runtime_error("No pictures in " + inputs.folder);
  sheet.Paginate();
  if (pageGiven && page > sheet.PageCount) {
    throw UsageError{"option --page " + std::to_string(page) + " lies beyond the sheet's " +
                     std::to_string(sheet.PageCount) + " pages"};
  }
  RefuseInputAsOutput(session.InputFiles(), {output});
  sheet.CurrentPage = page;
  sheet.RefreshPreview();
  if (session.Progress().Interrupted()) {
    std::fputs("tablora-cli: cancelled\n", stderr);
    return kExitFailed;
  }
  PendingOutputs outputs;
  WritePng(BitmapImage(preview.shown), outputs.Add(output));
  outputs.Commit();
  std::fprintf(stderr, "%s: %s\n", output.c_str(), preview.label.c_str());
  ReportProblems(sheet, args.Has("--verbose"));
  return kExitOk;
}

}  // namespace tablora::cli
