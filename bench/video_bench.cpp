// A video clip's cell against ffmpeg making the same picture, in the same run: a 20-second
// 1920 × 1080 H.264 clip (a test pattern, keyframes every 2 s, made once in the build directory),
// its whole cell at 600 dpi (map, open, seek, decode one frame, scale: ThumbnailPipeline::Produce)
// against `ffmpeg -ss T -i clip -frames:v 1 -vf scale=W:H` at the poster's time and the cell's
// size, the floor of seeking and one frame's decode. The target is at most 1.2 of it.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "sheet/thumbnail_image.h"
#include "sheet/thumbnail_pipeline.h"

namespace fs = std::filesystem;

namespace {

// A cell of a 10 x 6 sheet on A4 at 600 dpi; the clip lands in it at 700 × 394.
constexpr int32_t kCellWidth = 700;
constexpr int32_t kCellHeight = 520;

const fs::path& Clip() {
  static const fs::path clip = [] {
    const fs::path dir = fs::path(BENCH_BINARY_DIR) / "video-bench";
    fs::create_directories(dir);
    const fs::path out = dir / "clip.mp4";
    if (!fs::exists(out)) {
      const std::string command =
          "ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=20 -c:v libx264 -preset superfast "
          "-g 60 -pix_fmt yuv420p -colorspace bt709 '" + out.string() + "'";
      if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not make %s\n", out.c_str());
    }
    return out;
  }();
  return clip;
}

void FfmpegOneFrame(benchmark::State& state) {
  // The poster: the keyframe at a tenth of 20 s.
  const std::string command = "ffmpeg -v error -ss 2 -i '" + Clip().string() +
                              "' -frames:v 1 -vf scale=700:394 -f rawvideo -pix_fmt bgr24 -y /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
  }
}

void VideoCell(benchmark::State& state) {
  tablora::ExtensionThumbnailLoader loader;
  const std::string path = Clip().string();
  for (auto _ : state) {
    const tablora::CellPicture picture = tablora::ThumbnailPipeline::Produce(loader, {path, kCellWidth, kCellHeight});
    if (!picture.pixels || picture.pixels->Width() != 700) state.SkipWithError("no picture");
    benchmark::DoNotOptimize(picture.pixels);
  }
}

BENCHMARK(FfmpegOneFrame)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(VideoCell)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  tablora::bench::InitializeInterleaved(argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
