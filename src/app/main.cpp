#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/program_icon.h"
#include "app/app_actions.h"
#include "app/app_settings.h"
#include "app/qt_services.h"
#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "app/t_splash.h"
#include "app/translations.h"
#include "platform/directory_search.h"
#include "platform/qt_message_box.h"
#include "platform/qt_printer_device.h"
#include "sheet/picture_selection.h"
#include "sheet/thumbnail_cache.h"
#include "sheet/thumbnail_image.h"
#include "version/version.h"

namespace {
constexpr int kPrintServerStartMs = 5000;

constexpr const char* kHelp =
    "usage: tablora [OPTIONS]\n"
    "\n"
    "Contact sheets of a folder tree of photographs, in a window.\n"
    "\n"
    "Options:\n"
    "  --help     this text\n"
    "  --version  the version\n"
    "\n"
    "Qt's own options (-platform, -style, -display and others) are taken as well.\n";

// Answered before the application is made, so they work without a display.
bool AnswersAtOnce(int argc, char** argv, int& status) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tablora %s\n", tablora::kVersion);
      status = 0;
      return true;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      status = 0;
      return true;
    }
  }
  return false;
}
}  // namespace

int main(int argc, char** argv) {
  if (int status = 0; AnswersAtOnce(argc, argv, status)) return status;
  QApplication app(argc, argv);
  // Settings live in ~/.config/Tablora/Tablora.conf.
  QApplication::setOrganizationName("Tablora");
  QApplication::setApplicationName("Tablora");
  QApplication::setApplicationDisplayName("Tablora");
  QApplication::setDesktopFileName("org.tablora.Tablora");
  QApplication::setWindowIcon(tablora::ProgramIcon());
  // The windows speak the desktop's language (LANG, LC_MESSAGES) where a catalogue for it exists.
  tablora::Translations translations;
  translations.Install(QLocale::system());

  tablora::T_Splash splash;
  splash.show();
  splash.repaint();
  // A print server that takes connections but never answers would hold Qt's printer lookup, and
  // with it the start, for minutes; a few seconds of silence and the program starts without it.
  const auto printer = tablora::QtPrinterDevice::AskingServerFirst(
      [](const std::string&) {
        QCoreApplication::processEvents();
        return true;
      },
      kPrintServerStartMs);
  tablora::QtCanvasFactory canvases;
  tablora::ExtensionThumbnailLoader thumbnails;
  tablora::PosixDirectorySearch directories;
  tablora::QtEventPump pump;

  tablora::MainServices services;
  services.printer = printer.get();
  services.qprinter = printer->Printer();
  services.canvases = &canvases;
  services.thumbnails = &thumbnails;
  services.directories = &directories;
  services.pump = &pump;
  // Pictures left out and moved, per folder, in the user's data folder.
  tablora::SelectionStore selections;
  services.selections = &selections;

  // The four windows in their order: main window, splash, progress dialog, options dialog.
  tablora::T_Main main(services);
  tablora::T_Processing processing(&main);
  tablora::T_Options options(&main);
  tablora::QtMessageBox messages(&main);
  tablora::QtPrintDialog printDialog(*printer->Printer(), &main);
  main.Services().messages = &messages;
  main.Services().printDialog = &printDialog;
  main.SetWindows(&splash, &processing, &options);
  new tablora::TMainActions(main);

  tablora::AppSettings settings;
  tablora::AppSettings::Apply(settings.Load(), main, options, printer->Printer());
  // The layout last used; the rows and columns stay as the settings left them.
  const tablora::TemplateStore templates;
  main.SetTemplateStore(&templates);
  main.UseTemplate(templates.LastUsed(), false);
  // The layouts dialog, from the options: what it chose goes to the fields and the page at once.
  options.SetLayoutEditor([&] { main.EditLayouts(&options); });

  // The desktop's thumbnail cache, as the options dialog last left it.
  tablora::DesktopThumbnailCache desktop(tablora::DesktopThumbnailCache::DefaultRoot(),
                                         std::string("tablora-") + tablora::kVersion);
  const auto useCache = [&] {
    desktop.SetLimit(options.ThumbnailCacheLimit());
    const bool on = options.ThumbnailCache() && !desktop.Root().empty();
    main.Sheet().Thumbnails.SetDesktop(on ? &desktop : nullptr);
  };
  useCache();
  QObject::connect(&options, &QDialog::finished, &main, useCache);

  main.show();
  // Without a window manager to keep it on top, the splash would disappear behind the main window.
  splash.raise();
  const int status = QApplication::exec();
  settings.Save(tablora::AppSettings::Of(main, options, printer->Printer()));
  main.Sheet().Thumbnails.SetDesktop(nullptr);
  return status;
}
