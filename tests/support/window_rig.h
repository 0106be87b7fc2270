#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/t_main.h"
#include "app/t_options.h"
#include "app/t_processing.h"
#include "platform/canvas_factory.h"
#include "platform/directory_search.h"
#include "sheet/thumbnail_image.h"
#include "support/engine_fakes.h"
#include "support/sheet_fakes.h"

namespace tablora::test {

// A print dialog that prints every page and remembers how many it was offered.
class AllPagesDialog : public PrintDialog {
 public:
  PrintChoice Execute(int, int maxPage) override {
    lastMax = maxPage;
    return {true, prAllPages, 0, 0};
  }
  int lastMax = 0;
};

// Message boxes that only keep what they were to say.
class KeptMessages : public MessageBox {
 public:
  void Show(const std::string& text, const std::string&, MessageIcon) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

// The main window with its progress and options windows over a fake printer and dialogs, the
// real file system, and canvases and pictures of the given kinds (recording fakes by default).
// Adjust `services` before Open.
template <class Canvases = RecordingCanvases, class Loader = FakeLoader>
struct BasicWindowRig {
  BasicWindowRig() {
    services.printer = &printer;
    services.canvases = &canvases;
    services.thumbnails = &loader;
    services.directories = &directories;
    services.pump = &pump;
    services.printDialog = &dialog;
    services.messages = &messages;
  }
  T_Main& Open() {
    main = std::make_unique<T_Main>(services);
    processing = std::make_unique<T_Processing>(main.get());
    options = std::make_unique<T_Options>(main.get());
    main->SetWindows(nullptr, processing.get(), options.get());
    return *main;
  }

  FakePrinter printer;
  Canvases canvases;
  Loader loader;
  PosixDirectorySearch directories;
  FakePump pump;
  AllPagesDialog dialog;
  KeptMessages messages;
  MainServices services;
  std::unique_ptr<T_Main> main;
  std::unique_ptr<T_Processing> processing;
  std::unique_ptr<T_Options> options;
};

using WindowRig = BasicWindowRig<>;
// The program's own canvases and readers: pages drawn as on screen, pictures read from files.
using RealWindowRig = BasicWindowRig<QtCanvasFactory, ExtensionThumbnailLoader>;

}  // namespace tablora::test
