// Build's folder walk over a large tree against `find | sort` on the same warm tree, and
// pagination of a million entries.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "cli/commands.h"
#include "cli/console_progress.h"
#include "platform/directory_search.h"
#include "sheet/contact_sheet.h"
#include "sheet/pagination.h"

namespace tablora {
namespace {

const std::string& Tree() { return bench::LargeTree(); }

void BM_FindSort(benchmark::State& state) {
  const std::string command = "find '" + Tree() + "' -type f | sort > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
  }
}
BENCHMARK(BM_FindSort)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_BuildFileList(benchmark::State& state) {
  cli::ConsoleProgress progress(true);
  cli::CliInputs inputs;
  inputs.folder = Tree();
  PosixDirectorySearch directories;
  TContactSheet sheet(SheetServices{.progress = &progress, .pump = &progress, .inputs = &inputs, .options = &inputs, .directories = &directories});
  for (auto _ : state) {
    sheet.BuildFileList();
    benchmark::DoNotOptimize(sheet.FileList.data());
  }
  state.counters["files"] = static_cast<double>(sheet.FileList.size());
}
BENCHMARK(BM_BuildFileList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Paginate(benchmark::State& state) {
  std::vector<std::string> entries;
  const auto n = static_cast<int>(state.range(0));
  entries.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    entries.push_back("/Roll " + std::to_string(i / 10000) + "/Day " + std::to_string(i / 100) +
                      "/IMG_" + std::to_string(i) + ".jpg");
  }
  for (auto _ : state) {
    auto ends = PaginateEntries(entries, 10, 6);
    benchmark::DoNotOptimize(ends.data());
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_Paginate)->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
}  // namespace tablora

BENCHMARK_MAIN();
