#include "cli/cli.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "imaging/exceptions.h"
#include "imaging/image_format.h"
#include "version/version.h"

namespace tablora::cli {

namespace {

constexpr const char* kHelp =
    "usage: tablora-cli COMMAND [OPTIONS]\n"
    "\n"
    "Contact sheets of a folder tree of photographs, without a window.\n"
    "\n"
    "Commands:\n"
    "  list FOLDER     the sorted image files of FOLDER and the page each falls on\n"
    "  decode FILE     an image file decoded by its reader, written as PNG\n"
    "  info FILE       what the reader of an image file found in it\n"
    "  preview FOLDER  one page of the sheet as the window previews it, as PNG\n"
    "  sheet FOLDER    the whole sheet (or one per folder) as the window prints it, to PDF, PNG or\n"
    "                  JPEG pages\n"
    "\n"
    "tablora-cli COMMAND --help describes a command's options; --version prints the version.\n";

// The words of `text` in lines of at most 79 columns.
std::string Wrapped(const std::string& text) {
  std::string lines;
  std::size_t lineStart = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    if (at > lineStart && end - lineStart > 79) {
      lines.back() = '\n';
      lineStart = lines.size();
    }
    lines.append(text, at, end - at);
    if (end < text.size()) lines += ' ';
    at = end + 1;
  }
  return lines + '\n';
}

// The help, with the formats read as the format registry lists them.
std::string Help() {
  return kHelp + std::string("\n") +
         Wrapped("Pictures read: " + FormatKindList() + " files, by their extensions " +
                 AdmittedExtensionList() + ".");
}

// Qt's notes about the session it runs in (no XDG_RUNTIME_DIR, fonts substituted, libpng's
// complaints) are no news to the user of a batch tool: stderr carries the tool's own messages,
// and Qt's only when something is really wrong.
void KeepOnlyQtErrors(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  }
}

struct Command {
  const char* name;
  int (*run)(int, char**);
};

constexpr Command kCommands[] = {
    {"list", RunList},
    {"decode", RunDecode},
    {"info", RunInfo},
    {"preview", RunPreview},
    {"sheet", RunSheet},
};

}  // namespace

int Main(int argc, char** argv) {
  qInstallMessageHandler(KeepOnlyQtErrors);
  if (argc < 2) {
    std::fputs(Help().c_str(), stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(Help().c_str(), stdout);
    return kExitOk;
  }
  if (command == "--version") {
    std::printf("tablora-cli %s\n", kVersion);
    return kExitOk;
  }
  for (const Command& c : kCommands) {
    if (command != c.name) continue;
    try {
      return c.run(argc, argv);
    } catch (const UsageError& e) {
      std::fprintf(stderr, "tablora-cli %s: %s\n", c.name, e.message.c_str());
      return kExitUsage;
    } catch (const EAbort&) {
      std::fputs("tablora-cli: cancelled\n", stderr);
      return kExitFailed;
    } catch (const EJPEG& e) {
      // The system's message stays as it is; libjpeg's words say what went wrong.
      std::fprintf(stderr, "tablora-cli %s: %s%s%s%s\n", c.name, e.what(), e.Detail().empty() ? "" : " (",
                   e.Detail().c_str(), e.Detail().empty() ? "" : ")");
      return kExitFailed;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tablora-cli %s: %s\n", c.name, e.what());
      return kExitFailed;
    }
  }
  std::fprintf(stderr, "tablora-cli: unknown command '%s' (see tablora-cli --help)\n", command.c_str());
  return kExitUsage;
}

}  // namespace tablora::cli
