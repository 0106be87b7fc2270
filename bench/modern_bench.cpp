// The library-backed readers against their libraries, in the same run, on four photographs of the
// photo set turned into WebP (cwebp -q 80) and HEIC (heif-enc -q 60, no thumbnail) in the build
// directory:
// - WebP: a thumbnail at a quarter of the picture's sides (libwebp scaling while it decodes)
//   against a full WebPDecodeBGR; the target is at most 0.5 of it.
// - HEIC: a whole cell's thumbnail at 600 dpi (map, decode, reduce: ThumbnailPipeline::Produce)
//   against libheif decoding the primary image to interleaved RGB, the floor, since HEVC cannot
//   decode smaller; the target is at most 1.1 of it.
// - RAW: a whole cell's thumbnail at 600 dpi from DNGs (make-dng.py) whose preview is the
//   photograph's own JPEG, against finding the preview's bytes and decoding them with libjpeg at
//   the scale the cell needs; the target is at most 1.2 of it.

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <webp/decode.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo_set.h"
#include "imaging/image_format.h"
#include "imaging/readers/raw_preview.h"
#include "imaging/readers/webp_reader.h"
#include "imaging/stream.h"
#include "sheet/thumbnail_image.h"
#include "sheet/thumbnail_pipeline.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 4;
// A cell of a 10 x 6 sheet on A4 at 600 dpi.
constexpr int32_t kCellWidth = 700;
constexpr int32_t kCellHeight = 520;

fs::path Made(const std::string& extension, int i) {
  const fs::path dir = fs::path(BENCH_BINARY_DIR) / "modern-bench";
  fs::create_directories(dir);
  char name[32];
  std::snprintf(name, sizeof name, "img_%03d", i + 1);
  const fs::path out = dir / (std::string(name) + extension);
  if (!fs::exists(out)) {
    const fs::path in = tablora::bench::PhotoSetDir() / (std::string(name) + ".jpg");
    const fs::path tools = fs::path(__FILE__).parent_path().parent_path().parent_path() / "shared" / "tools";
    const std::string scene = (dir / (std::string(name) + ".ppm")).string();
    const std::string command =
        extension == ".webp"  ? "cwebp -quiet -q 80 '" + in.string() + "' -o '" + out.string() + "'"
        : extension == ".dng" ? "convert '" + in.string() + "' -resize 320x320 '" + scene + "' && python3 '" +
                                    (tools / "make-dng.py").string() + "' '" + scene + "' '" + out.string() +
                                    "' --preview '" + in.string() + "' >/dev/null"
                              : "heif-enc -q 60 '" + in.string() + "' -o '" + out.string() + "' >/dev/null";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not make %s\n", out.c_str());
  }
  return out;
}

const std::vector<std::vector<uint8_t>>& Files(const std::string& extension) {
  static std::vector<std::vector<uint8_t>> webp, heic, dng;
  auto& files = extension == ".webp" ? webp : extension == ".dng" ? dng : heic;
  if (files.empty()) {
    for (int i = 0; i < kFiles; ++i) files.push_back(tablora::ReadFileBytes(Made(extension, i).string()));
  }
  return files;
}

void WebPFull(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& file : Files(".webp")) {
      int w = 0, h = 0;
      uint8_t* pixels = WebPDecodeBGR(file.data(), file.size(), &w, &h);
      benchmark::DoNotOptimize(pixels);
      WebPFree(pixels);
    }
  }
}

void WebPQuarter(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& file : Files(".webp")) {
      tablora::TWebPReader reader;
      reader.Load(file);
      reader.PrepareFor(reader.Width() / 4, reader.Height() / 4);
      benchmark::DoNotOptimize(reader.Pixels().Bits());
    }
  }
}

void HeifLibrary(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& file : Files(".heic")) {
      heif_context* context = heif_context_alloc();
      heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr);
      heif_image_handle* handle = nullptr;
      heif_context_get_primary_image_handle(context, &handle);
      heif_image* image = nullptr;
      heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
      benchmark::DoNotOptimize(image);
      heif_image_release(image);
      heif_image_handle_release(handle);
      heif_context_free(context);
    }
  }
}

void HeifThumbnail(benchmark::State& state) {
  tablora::ExtensionThumbnailLoader loader;
  std::vector<std::string> paths;
  for (int i = 0; i < kFiles; ++i) paths.push_back(Made(".heic", i).string());
  for (auto _ : state) {
    for (const std::string& path : paths) {
      const tablora::CellPicture picture = tablora::ThumbnailPipeline::Produce(loader, {path, kCellWidth, kCellHeight});
      if (!picture.pixels) state.SkipWithError("a HEIC file did not load");
    }
  }
}

// The baseline: the preview found and decoded by libjpeg at the scale that covers the cell.
void RawPreviewLibjpeg(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& file : Files(".dng")) {
      const std::optional<tablora::TRawPreview> preview = tablora::LocateRawPreview(file);
      if (!preview) return state.SkipWithError("no preview");
      tablora::TImageHeader header;
      header.width = preview->width;
      header.height = preview->height;
      header.scaleBits = 0b1111;
      const auto [w, h] = tablora::DecodeSizeFor(header, kCellWidth, kCellHeight);
      jpeg_decompress_struct cinfo;
      jpeg_error_mgr jerr;
      cinfo.err = jpeg_std_error(&jerr);
      jpeg_create_decompress(&cinfo);
      jpeg_mem_src(&cinfo, preview->jpeg.data(), static_cast<unsigned long>(preview->jpeg.size()));
      jpeg_read_header(&cinfo, TRUE);
      cinfo.scale_num = 1;
      cinfo.scale_denom = preview->width / w;
      jpeg_start_decompress(&cinfo);
      std::vector<uint8_t> row(static_cast<std::size_t>(cinfo.output_width) * 3);
      JSAMPROW rows[1] = {row.data()};
      while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
      jpeg_finish_decompress(&cinfo);
      jpeg_destroy_decompress(&cinfo);
      benchmark::DoNotOptimize(row.data());
    }
  }
}

void RawThumbnail(benchmark::State& state) {
  tablora::ExtensionThumbnailLoader loader;
  std::vector<std::string> paths;
  for (int i = 0; i < kFiles; ++i) paths.push_back(Made(".dng", i).string());
  for (auto _ : state) {
    for (const std::string& path : paths) {
      const tablora::CellPicture picture = tablora::ThumbnailPipeline::Produce(loader, {path, kCellWidth, kCellHeight});
      if (!picture.pixels) state.SkipWithError("a DNG file did not load");
    }
  }
}

BENCHMARK(WebPFull)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(WebPQuarter)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(HeifLibrary)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(HeifThumbnail)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(RawPreviewLibjpeg)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(RawThumbnail)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  tablora::bench::InitializeInterleaved(argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
