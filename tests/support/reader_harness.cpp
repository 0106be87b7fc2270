#include "support/reader_harness.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "imaging/exceptions.h"
#include "support/run_command.h"
#include "support/test_paths.h"

namespace tablora::test {

namespace fs = std::filesystem;

std::vector<uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::optional<RgbaImage> ParsePnm(const std::vector<uint8_t>& bytes) {
  std::size_t pos = 0;
  auto token = [&]() {
    while (pos < bytes.size() && std::isspace(bytes[pos])) ++pos;
    std::string t;
    while (pos < bytes.size() && !std::isspace(bytes[pos])) t += static_cast<char>(bytes[pos++]);
    return t;
  };
  const std::string magic = token();
  RgbaImage image;
  int depth = 0;
  if (magic == "P5" || magic == "P6") {
    image.width = std::atoi(token().c_str());
    image.height = std::atoi(token().c_str());
    if (token() != "255") return std::nullopt;
    depth = magic == "P5" ? 1 : 3;
  } else if (magic == "P7") {
    for (std::string key = token(); key != "ENDHDR"; key = token()) {
      if (key.empty()) return std::nullopt;
      const std::string value = token();
      if (key == "WIDTH") image.width = std::atoi(value.c_str());
      if (key == "HEIGHT") image.height = std::atoi(value.c_str());
      if (key == "DEPTH") depth = std::atoi(value.c_str());
      if (key == "MAXVAL" && value != "255") return std::nullopt;
      if (key == "TUPLTYPE" && value.find("_ALPHA") != std::string::npos && depth == 0) depth = -1;
    }
  } else {
    return std::nullopt;
  }
  ++pos;
  if (depth < 1 || depth > 4 || image.width <= 0 || image.height <= 0) return std::nullopt;
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  if (bytes.size() - pos < pixels * depth) return std::nullopt;
  image.rgba.resize(pixels * 4);
  for (std::size_t i = 0; i < pixels; ++i) {
    const uint8_t* s = bytes.data() + pos + i * depth;
    uint8_t* d = image.rgba.data() + i * 4;
    const bool grey = depth <= 2;
    d[0] = s[0];
    d[1] = grey ? s[0] : s[1];
    d[2] = grey ? s[0] : s[2];
    d[3] = depth == 2 ? s[1] : depth == 4 ? s[3] : 255;
  }
  return image;
}

bool HaveImageMagick() {
  static const bool have = std::system("convert -version >/dev/null 2>&1") == 0;
  return have;
}

std::optional<RgbaImage> MagickDecode(const fs::path& path, const std::string& options) {
  const std::string command =
      "convert '" + path.string() + "[0]' " + options + " -depth 8 pam:- 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  if (::pclose(pipe) != 0) return std::nullopt;
  return ParsePnm(bytes);
}

std::optional<RgbaImage> ToolDecode(const std::string& program, const std::vector<std::string>& args,
                                    const fs::path& in, const std::string& outExtension) {
  static std::atomic<int> serial{0};
  const fs::path out = fs::temp_directory_path() /
                       ("tablora-reference-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + outExtension);
  std::vector<std::string> filled;
  for (const std::string& arg : args) filled.push_back(arg == "{in}" ? in.string() : arg == "{out}" ? out.string() : arg);
  // Found on the PATH, as a shell would.
  std::string found = program;
  if (program.find('/') == std::string::npos) {
    std::istringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin");
    std::string folder;
    while (std::getline(path, folder, ':')) {
      if (::access((folder + "/" + program).c_str(), X_OK) == 0) {
        found = folder + "/" + program;
        break;
      }
    }
  }
  const CommandResult result = RunCommand(found, filled);
  std::optional<RgbaImage> image;
  if (result.status == 0 && fs::exists(out)) {
    image = outExtension == ".pam" || outExtension == ".ppm" ? ParsePnm(FileBytes(out)) : MagickDecode(out);
  }
  std::error_code ignored;
  fs::remove(out, ignored);
  return image;
}

RgbaImage ToRgba(const TBitmap& bitmap) {
  RgbaImage image;
  image.width = bitmap.Width();
  image.height = bitmap.Height();
  image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
  const bool indexed = bitmap.PixelFormat() >= pf1bit && bitmap.PixelFormat() <= pf8bit;
  const std::vector<uint8_t>& paletteAlpha = bitmap.PaletteAlpha();
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < image.width; ++x) {
      const TColor c = bitmap.PixelColor(x, y);
      uint8_t* d = image.rgba.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
      d[0] = GetRValue(c);
      d[1] = GetGValue(c);
      d[2] = GetBValue(c);
      d[3] = 255;
      if (bitmap.AlphaChannel() && bitmap.PixelFormat() == pf32bit) d[3] = row[x * 4 + 3];
      if (indexed) {
        const uint8_t index = PackedIndex(row, x, bitmap.BitsPerPixel());
        if (index < paletteAlpha.size()) d[3] = paletteAlpha[index];
      }
      if (bitmap.Transparent() && (c & 0xFFFFFF) == (bitmap.TransparentColor() & 0xFFFFFF)) d[3] = 0;
    }
  }
  return image;
}

void ExpectPixelsNear(const TBitmap& bitmap, const RgbaImage& reference, int tolerance,
                      const std::string& what, bool compareAlpha) {
  ASSERT_EQ(bitmap.Width(), reference.width) << what;
  ASSERT_EQ(bitmap.Height(), reference.height) << what;
  const RgbaImage got = ToRgba(bitmap);
  int reported = 0;
  int worst = 0;
  for (int y = 0; y < got.height; ++y) {
    for (int x = 0; x < got.width; ++x) {
      const uint8_t* g = got.At(x, y);
      const uint8_t* r = reference.At(x, y);
      int diff = 0;
      for (int k = 0; k < (compareAlpha ? 4 : 3); ++k) diff = std::max(diff, std::abs(g[k] - r[k]));
      worst = std::max(worst, diff);
      if (diff > tolerance && reported++ < 4) {
        ADD_FAILURE() << what << " pixel " << x << "," << y << ": got " << int(g[0]) << ","
                      << int(g[1]) << "," << int(g[2]) << "," << int(g[3]) << " want " << int(r[0])
                      << "," << int(r[1]) << "," << int(r[2]) << "," << int(r[3]);
      }
    }
  }
  EXPECT_LE(worst, tolerance) << what;
}

bool HaveCorpus() { return fs::is_regular_file(CorpusDir() / "MANIFEST.tsv"); }

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A folder's own manifest: path, source, path in source, format, what the file exercises.
std::vector<CorpusFile> FolderManifestFiles(const std::string& folder, const std::string& folderPrefix,
                                            const std::string& extension) {
  std::vector<CorpusFile> files;
  std::ifstream manifest(CorpusDir() / folder / "MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);  // the column names
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string path, source, original, format, what;
    if (!std::getline(fields, path, '\t') || !std::getline(fields, source, '\t') ||
        !std::getline(fields, original, '\t') || !std::getline(fields, format, '\t')) {
      continue;
    }
    std::getline(fields, what);
    path = folder + "/" + path;
    if (path.rfind(folderPrefix, 0) != 0 || !EndsWith(Lower(path), extension)) continue;
    const std::string described = Lower(what);
    bool broken = false;
    for (const char* word : {"malformed", "non-compliant", "truncated", "fuzz", "crash", "invalid"}) {
      broken = broken || described.find(word) != std::string::npos;
    }
    files.push_back({CorpusDir() / path, broken ? "broken" : "good", format + ": " + what});
  }
  return files;
}

}  // namespace

std::vector<CorpusFile> CorpusFiles(const std::string& folderPrefix, const std::string& extension) {
  std::vector<CorpusFile> files;
  std::ifstream manifest(CorpusDir() / "MANIFEST.tsv");
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    CorpusFile file;
    std::string path, bytes, hash;
    if (!std::getline(fields, path, '\t') || !std::getline(fields, bytes, '\t') ||
        !std::getline(fields, hash, '\t') || !std::getline(fields, file.status, '\t')) {
      continue;
    }
    std::getline(fields, file.summary);
    if (path.rfind(folderPrefix, 0) != 0 || !EndsWith(Lower(path), extension)) continue;
    file.path = CorpusDir() / path;
    files.push_back(file);
  }
  if (files.empty() && !folderPrefix.empty()) {
    const std::string folder = folderPrefix.substr(0, folderPrefix.find('/'));
    if (fs::is_regular_file(CorpusDir() / folder / "MANIFEST.tsv")) return FolderManifestFiles(folder, folderPrefix, extension);
  }
  return files;
}

std::string LoadOutcome(const LoadBytesFn& load, const std::vector<uint8_t>& bytes) {
  try {
    load(bytes);
  } catch (const Exception& e) {
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "not a library exception: " << e.what();
    return e.what();
  }
  return "";
}

int DamageSweep(const LoadBytesFn& load, const std::vector<uint8_t>& good, const std::string& name,
                int rounds, std::size_t headerBytes) {
  const ScopedImageLimit limit(uint64_t{16} << 20);
  int loaded = 0;
  std::vector<std::size_t> lengths = {0, 1, 2, 4, 8, 13, 16, 26, 33, 40, 64, 100};
  for (int i = 1; i < 16; ++i) lengths.push_back(good.size() * i / 16);
  lengths.push_back(good.size() - 1);
  for (std::size_t length : lengths) {
    if (length >= good.size()) continue;
    SCOPED_TRACE(name + " cut at " + std::to_string(length));
    loaded += LoadOutcome(load, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length))).empty();
  }
  std::mt19937 random(static_cast<unsigned>(good.size()));
  for (int round = 0; round < rounds && !good.empty(); ++round) {
    std::vector<uint8_t> bytes = good;
    for (int f = 0; f < 1 + round % 4; ++f) {
      const std::size_t span = round % 2 == 0 ? std::min(bytes.size(), headerBytes) : bytes.size();
      const std::size_t at = random() % span;
      bytes[at] = static_cast<uint8_t>(bytes[at] ^ (1u << (random() % 8)));
    }
    SCOPED_TRACE(name + " flip round " + std::to_string(round));
    loaded += LoadOutcome(load, bytes).empty();
  }
  return loaded;
}

}  // namespace tablora::test
