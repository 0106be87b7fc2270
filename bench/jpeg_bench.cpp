// Loading and first decode of real photographs through TJPEGImage, against plain libjpeg-turbo
// calls with the same settings (floating-point DCT, block smoothing, full size, blue-green-red
// output, 236-colour quantisation for greyscale) in the same run. The photographs come from
// TABLORA_PHOTO_SET, or /tmp/tablora-photos, which is built with make-photo-set when absent.

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo_set.h"
#include "imaging/exceptions.h"
#include "imaging/readers/jpeg_image.h"
#include "imaging/stream.h"

namespace {

namespace fs = std::filesystem;

struct Photo {
  std::string path;
  int width = 0;
  int height = 0;
};

using tablora::bench::PhotoSetDir;

const std::vector<Photo>& AllPhotos() {
  static const std::vector<Photo> photos = [] {
    std::vector<Photo> list;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(PhotoSetDir(), ec)) {
      if (entry.path().extension() != ".jpg") continue;
      tablora::TJPEGImage image;
      try {
        image.LoadFromFile(entry.path().string());
      } catch (const tablora::Exception&) {
        continue;
      }
      list.push_back({entry.path().string(), image.Width(), image.Height()});
    }
    std::sort(list.begin(), list.end(), [](const Photo& a, const Photo& b) { return a.path < b.path; });
    return list;
  }();
  return photos;
}

// The 15-megapixel photographs (5120 x 2880), the size the targets are stated for.
const std::vector<Photo>& LargePhotos() {
  static const std::vector<Photo> photos = [] {
    std::vector<Photo> list;
    for (const Photo& p : AllPhotos()) {
      if (int64_t{p.width} * p.height >= 14'000'000) list.push_back(p);
    }
    return list;
  }();
  return photos;
}

void DecodeWithTJPEGImage(const Photo& photo) {
  tablora::TJPEGImage image;
  image.LoadFromFile(photo.path);
  const tablora::TBitmap& bitmap = image.Bitmap();
  benchmark::DoNotOptimize(bitmap.Bits());
}

void DecodeWithPlainLibjpeg(const Photo& photo) {
  const std::vector<uint8_t> bytes = tablora::ReadFileBytes(photo.path);
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = 1;
  info.do_block_smoothing = TRUE;
  info.dct_method = JDCT_FLOAT;
  if (info.out_color_space == JCS_RGB) info.out_color_space = JCS_EXT_BGR;
  const bool grey = info.out_color_space == JCS_GRAYSCALE;
  if (grey) {
    info.quantize_colors = TRUE;
    info.desired_number_of_colors = 236;
  }
  jpeg_start_decompress(&info);
  const std::size_t stride = (std::size_t{info.output_width} * (grey ? 1 : 3) + 3) & ~std::size_t{3};
  std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * info.output_height]);
  JSAMPROW rows[16];
  while (info.output_scanline < info.output_height) {
    const JDIMENSION first = info.output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(
        static_cast<JDIMENSION>(std::clamp(info.rec_outbuf_height, 1, 16)), info.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = pixels.get() + stride * (first + i);
    if (jpeg_read_scanlines(&info, rows, count) == 0) break;
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  benchmark::DoNotOptimize(pixels.get());
}

template <void (*Decode)(const Photo&)>
void RunOver(benchmark::State& state, const std::vector<Photo>& photos) {
  if (photos.empty()) {
    state.SkipWithError("no photographs found");
    return;
  }
  int64_t pixels = 0;
  for (auto _ : state) {
    for (const Photo& photo : photos) {
      Decode(photo);
      pixels += int64_t{photo.width} * photo.height;
    }
  }
  state.counters["Mpixel/s"] =
      benchmark::Counter(static_cast<double>(pixels) / 1e6, benchmark::Counter::kIsRate);
  state.counters["files"] = static_cast<double>(photos.size());
}

void BM_LargePhotos_PlainLibjpeg(benchmark::State& state) {
  RunOver<DecodeWithPlainLibjpeg>(state, LargePhotos());
}
void BM_LargePhotos_TJPEGImage(benchmark::State& state) {
  RunOver<DecodeWithTJPEGImage>(state, LargePhotos());
}
void BM_AllPhotos_PlainLibjpeg(benchmark::State& state) {
  RunOver<DecodeWithPlainLibjpeg>(state, AllPhotos());
}
void BM_AllPhotos_TJPEGImage(benchmark::State& state) {
  RunOver<DecodeWithTJPEGImage>(state, AllPhotos());
}

BENCHMARK(BM_LargePhotos_PlainLibjpeg)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(3);
BENCHMARK(BM_LargePhotos_TJPEGImage)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(3);
BENCHMARK(BM_AllPhotos_PlainLibjpeg)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_AllPhotos_TJPEGImage)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  tablora::bench::InitializeInterleaved(argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
