#pragma once

// What every reader's tests share: pixels of a bitmap as RGBA, a reference decode by ImageMagick,
// pixel comparison, the conformance corpus by its manifest, and the damage sweep (truncations and
// byte flips that must load or fail with the library's own exception, never crash).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/image_limits.h"
#include "imaging/stream.h"

namespace tablora::test {

std::vector<uint8_t> FileBytes(const std::filesystem::path& path);

// Red, green, blue, alpha per pixel, top row first.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const {
    return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
};

// A PNM image (P5, P6 or P7 with any tuple type, maxval 255) as RGBA.
std::optional<RgbaImage> ParsePnm(const std::vector<uint8_t>& bytes);
bool HaveImageMagick();
// ImageMagick's decode of the first image of a file, as the reference.
std::optional<RgbaImage> MagickDecode(const std::filesystem::path& path, const std::string& options = "");
// A library's own tool as the reference: program and arguments, "{in}" and "{out}" standing for
// the file and a temporary output of the given extension (".pam" and ".ppm" are read directly,
// others through ImageMagick). Nothing when the tool is missing or fails.
std::optional<RgbaImage> ToolDecode(const std::string& program, const std::vector<std::string>& args,
                                    const std::filesystem::path& in, const std::string& outExtension);
// Colours through the palette; alpha from the bitmap's alpha channel, palette alpha or colour key.
RgbaImage ToRgba(const TBitmap& bitmap);

// Largest difference of any channel (alpha only when compareAlpha); fails with the first few
// differing pixels when it is above tolerance.
void ExpectPixelsNear(const TBitmap& bitmap, const RgbaImage& reference, int tolerance,
                      const std::string& what, bool compareAlpha = false);

// Files of a corpus folder by the manifest: "good" ones, or those whose status begins "broken".
// A folder the corpus manifest leaves out that keeps a MANIFEST.tsv of its own (path, source,
// path in source, format, what it exercises: modern-conformance/) is read from that: a file whose
// description calls it malformed, non-compliant, truncated, fuzz-found or a crash is "broken",
// the others "good"; the summary is its format and description.
struct CorpusFile {
  std::filesystem::path path;
  std::string status;
  std::string summary;
};
std::vector<CorpusFile> CorpusFiles(const std::string& folderPrefix, const std::string& extension);
bool HaveCorpus();

// Loads bytes into a new reader; raises what the reader raises.
using LoadBytesFn = std::function<void(const std::vector<uint8_t>&)>;
template <typename Reader>
LoadBytesFn LoaderOf() {
  return [](const std::vector<uint8_t>& bytes) {
    Reader reader;
    TBufferStream stream(bytes.data(), bytes.size());
    reader.LoadFromStream(stream);
  };
}
template <typename Reader>
void LoadInto(Reader& reader, const std::vector<uint8_t>& bytes) {
  TBufferStream stream(bytes.data(), bytes.size());
  reader.LoadFromStream(stream);
}

// Loads bytes into the reader make() returns and asks for its pixels: the readers that decode only
// when first drawn.
template <typename Make>
LoadBytesFn DecodeWith(Make make) {
  return [make](const std::vector<uint8_t>& bytes) {
    auto reader = make();
    reader.Load(bytes);
    reader.Pixels();
  };
}

// "" when the load succeeds, else the library's message; any other exception fails the test.
std::string LoadOutcome(const LoadBytesFn& load, const std::vector<uint8_t>& bytes);

// Truncations at fixed and proportional lengths and rounds of byte flips (with a fixed seed, most
// of them within the first headerBytes), under a 16 MiB image limit; every outcome must be a
// clean load or a library exception. Returns how many damaged copies loaded.
int DamageSweep(const LoadBytesFn& load, const std::vector<uint8_t>& good, const std::string& name,
                int rounds = 60, std::size_t headerBytes = 160);

class ScopedImageLimit {
 public:
  explicit ScopedImageLimit(uint64_t bytes) : saved_(ImageSizeLimit()) { SetImageSizeLimit(bytes); }
  ~ScopedImageLimit() { SetImageSizeLimit(saved_); }
  ScopedImageLimit(const ScopedImageLimit&) = delete;
  ScopedImageLimit& operator=(const ScopedImageLimit&) = delete;

 private:
  uint64_t saved_;
};

}  // namespace tablora::test
