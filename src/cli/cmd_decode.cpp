#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "cli/args.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "platform/bitmap_image.h"
#include "sheet/path_parts.h"
#include "sheet/thumbnail_image.h"

namespace tablora::cli {

namespace {

constexpr const char* kDecodeHelp =
    "usage: tablora-cli decode FILE -o OUT.png\n"
    "\n"
    "Loads FILE the way a thumbnail cell does (the reader is chosen by the file's extension:\n"
    ".bmp .dib .rle .jpg .jpeg) and writes the decoded image at full size as PNG.\n"
    "A file that does not load prints the reader's message and exits with status 1.\n"
    "\n"
    "  -o, --output OUT.png   where to write the picture\n"
    "  --help                 this text\n";

constexpr const char* kInfoHelp =
    "usage: tablora-cli info FILE\n"
    "\n"
    "Loads FILE the way a thumbnail cell does and prints what its reader found, one\n"
    "'name: value' line each: reader, width, height, pixel format.\n"
    "\n"
    "  --help   this text\n";

const char* PixelFormatName(TPixelFormat format) {
  switch (format) {
    case pfDevice: return "device (32 bits)";
    case pf1bit: return "1 bit";
    case pf4bit: return "4 bits";
    case pf8bit: return "8 bits";
    case pf15bit: return "15 bits";
    case pf16bit: return "16 bits";
    case pf24bit: return "24 bits";
    case pf32bit: return "32 bits";
    default: return "custom";
  }
}

// Loads a file with the reader its extension selects; raises the reader's own error.
std::unique_ptr<ThumbnailImage> LoadImage(const std::string& path) {
  std::unique_ptr<ThumbnailImage> image = CreateThumbnailReader(LowerAscii(ExtensionPart(path)));
  if (!image) throw std::runtime_error("no reader for the extension of '" + path + "'");
  image->LoadFromFile(path);
  return image;
}

}  // namespace

int RunDecode(int argc, char** argv) {
  const Args args(argc, argv, 2, {"-o", "--output"}, {"--help"});
  if (args.Has("--help")) {
    std::fputs(kDecodeHelp, stdout);
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"decode needs exactly one FILE"};
  const std::string output = args.ValueOr("-o", args.ValueOr("--output", ""));
  if (output.empty()) throw UsageError{"decode needs -o OUT.png"};

  std::unique_ptr<ThumbnailImage> image = LoadImage(args.Positional()[0]);
  const TBitmap& pixels = image->Pixels();
  if (pixels.Empty()) throw std::runtime_error("the image is empty (0 x 0 pixels)");
  const QImage picture = BitmapImage(pixels);
  if (!picture.save(QString::fromStdString(output), "PNG")) {
    throw std::runtime_error("cannot write '" + output + "'");
  }
  return kExitOk;
}

int RunInfo(int argc, char** argv) {
  const Args args(argc, argv, 2, {}, {"--help"});
  if (args.Has("--help")) {
    std::fputs(kInfoHelp, stdout);
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"info needs exactly one FILE"};
  std::unique_ptr<ThumbnailImage> image = LoadImage(args.Positional()[0]);
  std::printf("reader: %s\n", image->ReaderName().c_str());
  std::printf("width: %d\n", image->Width());
  std::printf("height: %d\n", image->Height());
  if (image->Width() > 0 && image->Height() > 0) {
    const TBitmap& pixels = image->Pixels();
    std::printf("pixel format: %s\n", PixelFormatName(pixels.PixelFormat()));
    std::printf("palette entries: %zu\n", pixels.Palette().size());
    std::printf("transparent: %s\n", pixels.Transparent() ? "yes" : "no");
  }
  return kExitOk;
}

}  // namespace tablora::cli
