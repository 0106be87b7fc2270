// Decoding GIFs made from real photographs through TGIFGraphic, against giflib's DGifSlurp on the
// same files in the same run; the ratio of the medians is printed at the end. The GIFs (256
// colours, 1 to 6 megapixels, one interlaced) are made from the shared photo set with ImageMagick
// once, in gif-bench/ of the build directory.

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo_set.h"
#include "imaging/exceptions.h"
#include "imaging/readers/gif_reader.h"

namespace {

namespace fs = std::filesystem;

fs::path BuildDir() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

struct GifFile {
  std::string path;
  int64_t pixels = 0;
};

const std::vector<GifFile>& Gifs() {
  static const std::vector<GifFile> files = [] {
    std::vector<fs::path> photos;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(tablora::bench::PhotoSetDir(), ec)) {
      if (entry.path().extension() == ".jpg") photos.push_back(entry.path());
    }
    std::sort(photos.begin(), photos.end());
    const fs::path dir = BuildDir() / "gif-bench";
    fs::create_directories(dir, ec);
    std::vector<GifFile> list;
    for (int megapixels = 1; megapixels <= 6 && !photos.empty(); ++megapixels) {
      const fs::path& photo = photos[std::size_t(megapixels - 1) * 7 % photos.size()];
      const bool interlaced = megapixels == 3;
      const std::string out = (dir / (std::to_string(megapixels) + "mp")).string() +
                              (interlaced ? "-interlaced.gif" : ".gif");
      if (!fs::exists(out, ec)) {
        // Written under a temporary name, so an interrupted run leaves no half file behind.
        const std::string command = "convert '" + photo.string() + "' -resize " +
                                    std::to_string(megapixels) + "000000@ -colors 256" +
                                    (interlaced ? " -interlace GIF" : "") + " 'gif:" + out +
                                    ".part' && mv '" + out + ".part' '" + out + "'";
        if (std::system(command.c_str()) != 0) continue;
      }
      tablora::TGIFGraphic gif;
      try {
        gif.LoadFromFile(out);
      } catch (const tablora::Exception& e) {
        std::fprintf(stderr, "%s: %s\n", out.c_str(), e.what());
        continue;
      }
      list.push_back({out, int64_t{gif.Width()} * gif.Height()});
    }
    return list;
  }();
  return files;
}

void DecodeWithTGIFGraphic(const std::string& path) {
  tablora::TGIFGraphic gif;
  gif.LoadFromFile(path);
  benchmark::DoNotOptimize(gif.Bits());
}

void DecodeWithGiflib(const std::string& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr || DGifSlurp(gif) != GIF_OK) std::abort();
  benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
  DGifCloseFile(gif, &error);
}

template <void (*Decode)(const std::string&)>
void RunOver(benchmark::State& state) {
  const std::vector<GifFile>& files = Gifs();
  if (files.size() < 6) {
    state.SkipWithError("could not make the GIFs");
    return;
  }
  int64_t pixels = 0;
  for (auto _ : state) {
    for (const GifFile& file : files) {
      Decode(file.path);
      pixels += file.pixels;
    }
  }
  state.counters["Mpixel/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Giflib_DGifSlurp(benchmark::State& state) { RunOver<DecodeWithGiflib>(state); }
void BM_TGIFGraphic(benchmark::State& state) { RunOver<DecodeWithTGIFGraphic>(state); }

BENCHMARK(BM_Giflib_DGifSlurp)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_TGIFGraphic)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);

// Keeps every repetition's time per benchmark, for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        real_[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        cpu_[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Median time of product over baseline; 0 when either did not run.
  double Ratio(bool cpu, const std::string& product, const std::string& baseline) {
    const double b = Median((cpu ? cpu_ : real_)[baseline]);
    return b > 0 ? Median((cpu ? cpu_ : real_)[product]) / b : 0;
  }

 private:
  static double Median(std::vector<double>& t) {
    if (t.empty()) return 0;
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
  }
  std::map<std::string, std::vector<double>> real_, cpu_;
};

}  // namespace

int main(int argc, char** argv) {
  tablora::bench::InitializeInterleaved(argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("TGIFGraphic / DGifSlurp, medians (target <= 1.2): real time %.3f, CPU time %.3f\n",
              reporter.Ratio(false, "BM_TGIFGraphic", "BM_Giflib_DGifSlurp"),
              reporter.Ratio(true, "BM_TGIFGraphic", "BM_Giflib_DGifSlurp"));
  benchmark::Shutdown();
  return 0;
}
