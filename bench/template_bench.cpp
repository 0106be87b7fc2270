// What a template costs: a preview page of the 60-photograph set drawn with "Proof sheet" (/0: its
// own 5 x 4 grid; /1: on Classic's grid) against the same page with "Classic", alternating within each iteration so the ratio ("x_classic") is
// taken in one run on a shared machine; and the division of 100,000 entries in many folders into
// pages with each built-in template ("ms" per pagination).
//
// The photographs come from TABLORA_PHOTO_SET, else /tmp/tablora-photos (made when absent).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/photo_set.h"
#include "bench/stopwatch.h"
#include "cli/commands.h"
#include "cli/sheet_session.h"
#include "platform/qt_printer_device.h"
#include "sheet/sheet_geometry.h"
#include "sheet/template_store.h"

namespace tablora {
namespace {

// One preview page of the set in a template, each picture decoded afresh (no caches).
double PreviewSeconds(const SheetTemplate& layout, QtPrinterDevice& printer) {
  cli::CliInputs inputs;
  inputs.folder = bench::PhotoSetDir().string();
  inputs.layout = layout;
  inputs.rows = layout.rows;
  inputs.columns = layout.columns;
  inputs.captionFields = {};
  inputs.jobs = 1;
  cli::ImagePreview preview(738, 563);
  cli::SheetSession session(inputs, true, &printer, &preview);
  session.Build();
  return bench::Seconds([&] {
    TContactSheet& sheet = session.Sheet();
    sheet.Paginate();
    sheet.CurrentPage = 1;
    sheet.RefreshPreview();
  });
}

void BM_ProofSheetPreview(benchmark::State& state) {
  cli::EnsureGuiApplication();
  QtPrinterDevice printer{std::string("unused.pdf")};
  SheetTemplate proof = TemplateStore().Find("Proof sheet");
  // /1: on Classic's 10 x 6 grid, so both pages decode the same 60 pictures and the ratio is the
  // template's own cost (its captions, fields and geometry).
  if (state.range(0) == 1) proof.rows = 10, proof.columns = 6;
  double classic = 0, templated = 0;
  for (auto _ : state) {
    classic += PreviewSeconds(ClassicTemplate(), printer);
    templated += PreviewSeconds(proof, printer);
  }
  state.counters["x_classic"] = templated / classic;
}
BENCHMARK(BM_ProofSheetPreview)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

std::vector<std::string> ManyEntries() {
  std::vector<std::string> entries;
  for (int i = 0; i < 100000; ++i) {
    entries.push_back("/shoot " + std::to_string(i / 240) + "/day " + std::to_string(i / 60 % 4) + "/IMG_" +
                      std::to_string(i) + ".CR3");
  }
  return entries;
}

void BM_Paginate100k(benchmark::State& state) {
  static const std::vector<std::string> entries = ManyEntries();
  const SheetTemplate layout = BuiltInTemplates()[static_cast<std::size_t>(state.range(0))];
  const SheetPage a4{Rect(0, 0, 4961, 7016), 600 / 25.4};
  const SheetGeometry geometry(layout, static_cast<int>(layout.captions.size()), false);
  for (auto _ : state) benchmark::DoNotOptimize(geometry.Paginate(entries, a4));
  state.SetLabel(layout.name);
}
BENCHMARK(BM_Paginate100k)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tablora

BENCHMARK_MAIN();
