// Build of a large tree in the window: the real progress dialog and message pump, so the cost of
// handling messages once per directory entry shows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "app/qt_services.h"
#include "app/t_processing.h"
#include "bench/bench_tree.h"
#include "cli/commands.h"
#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"

namespace tablora {
namespace {

void BM_GuiBuildFileList(benchmark::State& state) {
  T_Processing processing;
  QtEventPump pump;
  cli::CliInputs inputs;
  inputs.folder = bench::LargeTree();
  PosixDirectorySearch directories;
  TContactSheet sheet(SheetServices{.progress = &processing, .pump = &pump, .inputs = &inputs,
                                    .options = &inputs, .directories = &directories});
  for (auto _ : state) {
    sheet.BuildFileList();
    processing.Close();
  }
  state.counters["files"] = static_cast<double>(sheet.FileList.size());
}
BENCHMARK(BM_GuiBuildFileList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace tablora

int main(int argc, char** argv) {
  if (std::getenv("DISPLAY") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
