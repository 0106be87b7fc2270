#pragma once

#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"
#include "support/engine_fakes.h"
#include "support/sheet_fakes.h"

namespace tablora::test {

// A contact sheet wired to fakes for everything but the file system.
struct EngineRig {
  SheetServices Services() {
    return SheetServices{.progress = &progress,
                         .pump = &pump,
                         .inputs = &inputs,
                         .options = &options,
                         .directories = &directories,
                         .printer = &printer,
                         .preview = &preview,
                         .canvases = &canvases,
                         .thumbnails = &loader};
  }

  FakeProgress progress;
  FakePump pump;
  FakeInputs inputs;
  FakeOptions options;
  PosixDirectorySearch directories;
  FakePrinter printer;
  FakePreview preview;
  RecordingCanvases canvases;
  FakeLoader loader;
  TContactSheet sheet{Services()};
};

}  // namespace tablora::test
