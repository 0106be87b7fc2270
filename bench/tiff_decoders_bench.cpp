// The TIFF strip decoders against libtiff decoding the same strips of the same file
// (TIFFReadEncodedStrip), turn about in every iteration so that both see the same machine:
// LZW and JPEG on a 20-megapixel photograph (two photographs of the set, one above the other),
// T.4 one- and two-dimensional and T.6 fax on an A4 page of text at 300 dpi. The counter
// "ratio" is our processor time over libtiff's. Targets: LZW 1.1, fax 1.2, JPEG 1.05.
// The pictures are made once with ImageMagick and tiffcp in the temporary folder.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/photo_set.h"
#include "imaging/decoders/ccitt_decoder.h"
#include "imaging/decoders/tiff_jpeg_decoder.h"
#include "imaging/decoders/tiff_lzw_decoder.h"
#include "imaging/raster_graphic.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

enum Kind { kLZW, kJPEG, kFax1D, kFax2D, kFax4, kKinds };
const char* const kNames[kKinds] = {"lzw", "jpeg", "g3", "g3:2d", "g4"};

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

fs::path CacheDir() {
  const fs::path dir = fs::temp_directory_path() / "tablora-tiff-bench";
  fs::create_directories(dir);
  return dir;
}

// 5120 x 3906 (20 megapixels): a photograph with most of another below it, uncompressed.
fs::path Photograph() {
  const fs::path path = CacheDir() / "photo-20mp.tif";
  if (fs::exists(path)) return path;
  const fs::path photos = tablora::bench::PhotoSetDir();
  const std::string fit = " -resize 5120x2880^ -gravity center -extent 5120x2880 ";
  Run("convert '" + (photos / "img_001.jpg").string() + "'" + fit + "'" + (photos / "img_002.jpg").string() +
      "'" + fit +
      "-append -gravity north -crop 5120x3906+0+0 +repage -depth 8 -type TrueColor -compress none '" +
      path.string() + "'");
  return path;
}

// An A4 page at 300 dpi, 2480 x 3508, filled with lines of text.
fs::path TextPage() {
  const fs::path path = CacheDir() / "page-a4.tif";
  if (fs::exists(path)) return path;
  std::string draw;
  const char* const lines[] = {"Contact sheets are pages of small pictures with their file names,",
                               "laid out in rows and columns under a title and a folder heading;",
                               "Tablora walks a folder tree and prints them at 300 dots per inch.",
                               "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 (#@)"};
  for (int i = 0; i < 60; ++i) {
    draw += " -annotate +150+" + std::to_string(220 + i * 54) + " '" + lines[i % 4] + "'";
  }
  const fs::path pbm = CacheDir() / "page-a4.pbm";
  Run("convert -size 2480x3508 xc:white -font DejaVu-Sans -pointsize 40 -fill black" + draw +
      " -monochrome '" + pbm.string() + "'");
  Run("ppm2tiff -c none '" + pbm.string() + "' '" + path.string() + "'");
  return path;
}

fs::path Compressed(Kind kind) {
  const fs::path source = kind == kLZW || kind == kJPEG ? Photograph() : TextPage();
  const fs::path path = CacheDir() / (source.stem().string() + "-" + std::to_string(kind) + ".tif");
  if (!fs::exists(path)) {
    Run("tiffcp -r 64 -c " + std::string(kNames[kind]) + " '" + source.string() + "' '" + path.string() +
        "'");
  }
  return path;
}

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Picture {
  std::unique_ptr<TIFF, void (*)(TIFF*)> tif{nullptr, TIFFClose};
  std::vector<Bytes> raw;
  std::vector<std::size_t> sizes;
  tablora::TImageProperties properties;
  std::unique_ptr<tablora::TDecoder> decoder;
};

std::unique_ptr<Picture> Load(Kind kind) {
  auto p = std::make_unique<Picture>();
  p->tif.reset(TIFFOpen(Compressed(kind).c_str(), "r"));
  TIFF* tif = p->tif.get();
  uint32_t width = 0, height = 0, rows = 0, options = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
  switch (kind) {
    case kLZW:
      p->decoder = std::make_unique<tablora::TTIFFLZWDecoder>();
      break;
    case kJPEG: {
      TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
      tablora::TImageProperties& props = p->properties;
      props.Width = width;
      props.Height = height;
      props.RowsPerStrip = {rows};
      props.SamplesPerPixel = 3;
      props.BitsPerSample = 8;
      props.PlanarConfig = 1;
      props.ColorScheme = tablora::csYCbCr;
      props.YCbCrSubsampling = {2, 2};
      uint32_t count = 0;
      const uint8_t* tables = nullptr;
      if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &count, &tables))
        props.JPEGTables.assign(tables, tables + count);
      props.BytesPerLine = width * 3;
      p->decoder = std::make_unique<tablora::TTIFFJPEGDecoder>(props);
      break;
    }
    case kFax1D:
    case kFax2D:
      TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP3OPTIONS, &options);
      p->decoder = std::make_unique<tablora::TCCITTFax3Decoder>(options, false, false, width);
      break;
    default:
      p->decoder = std::make_unique<tablora::TCCITTFax4Decoder>(0, false, false, width);
      break;
  }
  const auto line = static_cast<std::size_t>(TIFFScanlineSize(tif));
  for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
    Bytes raw(static_cast<std::size_t>(TIFFRawStripSize(tif, s)));
    TIFFReadRawStrip(tif, s, raw.data(), static_cast<tmsize_t>(raw.size()));
    p->raw.push_back(std::move(raw));
    p->sizes.push_back(std::min<std::size_t>(rows, height - s * rows) * line);
  }
  return p;
}

// Every strip through libtiff, false when it fails one.
bool DecodeWithLibtiff(Picture& p, Bytes& out, std::vector<Bytes>* keep = nullptr) {
  for (std::size_t s = 0; s < p.raw.size(); ++s) {
    const auto strip = static_cast<uint32_t>(s);
    if (TIFFReadEncodedStrip(p.tif.get(), strip, out.data(), static_cast<tmsize_t>(p.sizes[s])) < 0)
      return false;
    if (keep != nullptr) keep->emplace_back(out.begin(), out.begin() + static_cast<long>(p.sizes[s]));
  }
  return true;
}

void DecodeWithOurs(Picture& p, Bytes& out, std::vector<Bytes>* keep = nullptr) {
  p.decoder->StartDecoding();
  for (std::size_t s = 0; s < p.raw.size(); ++s) {
    if (!p.properties.RowsPerStrip.empty())
      p.properties.CurrentRow = static_cast<uint32_t>(s * p.properties.RowsPerStrip[0]);
    p.decoder->Decode(p.raw[s], std::span(out.data(), p.sizes[s]));
    if (keep != nullptr) keep->emplace_back(out.begin(), out.begin() + static_cast<long>(p.sizes[s]));
  }
  p.decoder->FinishDecoding();
}

// Both decode the same pixels (JPEG: blue, green, red against red, green, blue, within 2).
bool SamePixels(Picture& p, Kind kind, Bytes& out) {
  std::vector<Bytes> theirs, ours;
  if (!DecodeWithLibtiff(p, out, &theirs)) return false;
  DecodeWithOurs(p, out, &ours);
  for (std::size_t s = 0; s < ours.size(); ++s) {
    for (std::size_t i = 0; i < ours[s].size(); ++i) {
      const int reference = kind == kJPEG ? theirs[s][i - i % 3 + 2 - i % 3] : theirs[s][i];
      if (std::abs(ours[s][i] - reference) > (kind == kJPEG ? 2 : 0)) return false;
    }
  }
  return true;
}

void BM_Decode(benchmark::State& state) {
  const auto kind = static_cast<Kind>(state.range(0));
  std::unique_ptr<Picture> p = Load(kind);
  Bytes out(*std::max_element(p->sizes.begin(), p->sizes.end()));
  if (!SamePixels(*p, kind, out)) {
    state.SkipWithError("the decoders disagree");
    return;
  }
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    double start = ThreadSeconds();
    DecodeWithLibtiff(*p, out);
    benchmark::DoNotOptimize(out.data());
    theirs += ThreadSeconds() - start;
    start = ThreadSeconds();
    DecodeWithOurs(*p, out);
    benchmark::DoNotOptimize(out.data());
    ours += ThreadSeconds() - start;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ours_ms"] = ours / n * 1e3;
  state.counters["libtiff_ms"] = theirs / n * 1e3;
  state.counters["ratio"] = ours / theirs;
  state.SetLabel(kNames[kind]);
}

BENCHMARK(BM_Decode)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
