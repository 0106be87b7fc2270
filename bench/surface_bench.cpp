// Stretching a decoded 15-megapixel photograph into a thumbnail cell through the Qt surface, against
// one plain copy of the photograph's bytes in the same run: the stretch should cost a small
// fraction of that copy, since only the sampled rows and columns are read. Real time: Qt spreads
// large image operations over its thread pool, so the main thread's CPU time would flatter it.
#include <benchmark/benchmark.h>

#include <QImage>
#include <cstring>
#include <vector>

#include "imaging/bitmap.h"
#include "platform/qt_drawing_surface.h"

namespace tablora {
namespace {

constexpr int kPhotoWidth = 4480;
constexpr int kPhotoHeight = 3360;
constexpr int kCellWidth = 270;
constexpr int kCellHeight = 215;

const TBitmap& Photo(TPixelFormat format) {
  static TBitmap photos[2];
  TBitmap& photo = photos[format == pf24bit ? 0 : 1];
  if (photo.Empty()) {
    photo.SetPixelFormat(format);
    photo.SetSize(kPhotoWidth, kPhotoHeight);
    uint32_t seed = 12345;
    uint8_t* bits = photo.Bits();
    const std::size_t size = photo.RowSize() * static_cast<std::size_t>(photo.Height());
    for (std::size_t i = 0; i < size; ++i) {
      seed = seed * 1664525u + 1013904223u;
      bits[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
  return photo;
}

void BM_CopyPhotoBytes(benchmark::State& state) {
  const TBitmap& photo = Photo(pf24bit);
  const std::size_t size = photo.RowSize() * static_cast<std::size_t>(photo.Height());
  std::vector<uint8_t> copy(size);
  for (auto _ : state) {
    std::memcpy(copy.data(), photo.Bits(), size);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyPhotoBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

// The cell bitmap is made per cell by the renderer, so its surface is part of the cost.
void StretchIntoCell(benchmark::State& state, TPixelFormat sourceFormat, bool transparent) {
  TBitmap photo = Photo(sourceFormat);
  photo.SetTransparent(transparent);
  photo.SetTransparentColor(clWhite);
  TBitmap cell;
  cell.SetPixelFormat(pf24bit);
  cell.SetSize(kCellWidth, kCellHeight);
  for (auto _ : state) {
    QtDrawingSurface surface(cell);
    surface.FillRect(surface.ClipRect());
    surface.StretchDraw(Rect(0, 0, kCellWidth, kCellHeight), photo);
    benchmark::DoNotOptimize(cell.Bits());
  }
}

void BM_StretchPhoto24IntoCell(benchmark::State& state) { StretchIntoCell(state, pf24bit, false); }
void BM_StretchPhoto32IntoCell(benchmark::State& state) { StretchIntoCell(state, pf32bit, false); }
void BM_StretchTransparentPhotoIntoCell(benchmark::State& state) { StretchIntoCell(state, pf24bit, true); }
BENCHMARK(BM_StretchPhoto24IntoCell)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StretchPhoto32IntoCell)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StretchTransparentPhotoIntoCell)->Unit(benchmark::kMillisecond)->UseRealTime();

// A reduced cell bitmap doubled onto a 600-dpi page, as printing does for every cell.
void BM_StretchCellOntoPrinterPage(benchmark::State& state) {
  TBitmap cell;
  cell.SetPixelFormat(pf24bit);
  cell.SetSize(330, 260);
  {
    QtDrawingSurface surface(cell);
    surface.StretchDraw(surface.ClipRect(), Photo(pf24bit));
  }
  QImage page(4800, 6600, QImage::Format_RGB32);
  page.fill(Qt::white);
  QtDrawingSurface surface(page);
  for (auto _ : state) {
    surface.StretchDraw(Rect(400, 700, 400 + 660, 700 + 520), cell);
    benchmark::DoNotOptimize(page.constBits());
  }
}
BENCHMARK(BM_StretchCellOntoPrinterPage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tablora

BENCHMARK_MAIN();
