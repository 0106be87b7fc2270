#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "cli/args.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "cli/sheet_output.h"
#include "platform/pending_outputs.h"
#include "cli/png_output.h"
#include "imaging/icc_profile.h"
#include "imaging/icc_transform.h"
#include "imaging/image_format.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "platform/bitmap_image.h"
#include "sheet/path_parts.h"
#include "sheet/thumbnail_image.h"

namespace tablora::cli {

namespace {

constexpr const char* kDecodeHelp =
    "usage: tablora-cli decode FILE -o OUT.png\n"
    "\n"
    "Loads FILE the way a thumbnail cell does (the reader is chosen by the file's extension,\n"
    "or by its content when that is another format's; the extensions are listed below) and\n"
    "writes the decoded image at full size as PNG, with the transparency its file gave as alpha,\n"
    "its colours converted to sRGB from the profile the file embeds.\n"
    "A file that does not load prints the reader's message and exits with status 1 (a JPEG\n"
    "error with libjpeg's own words added). The picture is written under a temporary name and\n"
    "takes OUT's name only when complete; OUT may not be FILE itself (status 2).\n"
    "\n"
    "  -o, --output OUT.png   where to write the picture\n"
    "  --help                 this text\n"
    "\n"
    "Extensions:";

constexpr const char* kInfoHelp =
    "usage: tablora-cli info FILE\n"
    "\n"
    "Loads FILE the way a thumbnail cell does and prints what its reader found, one\n"
    "'name: value' line each: reader, width, height, orientation (the EXIF value 1..8 that\n"
    "turns it upright; decode writes the picture as stored), pixel format, palette entries,\n"
    "transparent (a colour key), alpha (any transparency), profile (the description of the\n"
    "colour profile its pixels are converted from, or none); then what else the reader found:\n"
    "a camera RAW file's camera and the source drawn (preview, thumbnail or raw, with its size).\n"
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

// The decoded image with the alpha its file gave: straight alpha of 32-bit pixels, alpha of
// palette entries, and 0 where the colour key matches. Opaque bitmaps are written as they are;
// the copy a transparent one needs is charged to `copy`.
QImage PictureOf(const TBitmap& bitmap, TMemoryCharge& copy) {
  const QImage image = BitmapImage(bitmap);
  if (!bitmap.HasTransparency()) return image;
  copy.Set(uint64_t{4} * static_cast<uint64_t>(bitmap.Width()) * static_cast<uint64_t>(bitmap.Height()));
  QImage picture = image.convertToFormat(QImage::Format_ARGB32);
  const TPixelFormat format = bitmap.PixelFormat();
  const bool indexed = format == pf1bit || format == pf4bit || format == pf8bit;
  const bool alphaBytes = bitmap.AlphaChannel() && format == pf32bit;
  const std::vector<uint8_t>& paletteAlpha = bitmap.PaletteAlpha();
  const QRgb key = ToQRgb(bitmap.TransparentColor() & 0xFFFFFF) & 0xFFFFFFu;
  for (int y = 0; y < picture.height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      int alpha = 255;
      if (alphaBytes) alpha = row[x * 4 + 3];
      if (indexed) {
        const uint8_t index = PackedIndex(row, x, bitmap.BitsPerPixel());
        if (index < paletteAlpha.size()) alpha = paletteAlpha[index];
      }
      if (bitmap.Transparent() && (out[x] & 0xFFFFFFu) == key) alpha = 0;
      out[x] = qRgba(qRed(out[x]), qGreen(out[x]), qBlue(out[x]), alpha);
    }
  }
  return picture;
}

// What a load from the command line runs under: Ctrl-C stops it, and all it costs stays within the
// image-size limit, as one cell of a sheet does.
struct CommandLoad {
  InterruptGuard interrupts;
  TCancelScope cancel{InterruptGuard::Token()};
  TMemoryBudget budget{ImageSizeLimit()};
};

// Loads a file as a cell does; raises the reader's own error.
std::unique_ptr<ThumbnailImage> LoadImage(const std::string& path) {
  if (!IsAdmittedExtension(LowerAscii(ExtensionPart(path)))) {
    throw std::runtime_error("no reader for the extension of '" + path + "'");
  }
  return LoadThumbnail(path);
}

}  // namespace

int RunDecode(int argc, char** argv) {
  const Args args(argc, argv, 2, {"-o", "--output"}, {"--help"});
  if (args.Has("--help")) {
    std::fputs(kDecodeHelp, stdout);
    std::printf(" %s\n", AdmittedExtensionList().c_str());
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"decode needs exactly one FILE"};
  const std::string output = args.ValueOr("-o", args.ValueOr("--output", ""));
  if (output.empty()) throw UsageError{"decode needs -o OUT.png"};

  const std::string& input = args.Positional()[0];
  RefuseInputAsOutput({input}, {output});

  CommandLoad load;
  std::unique_ptr<ThumbnailImage> image = LoadImage(input);
  const TBitmap& pixels = image->Pixels();
  if (pixels.Empty()) throw std::runtime_error("the image is empty (0 x 0 pixels)");
  TMemoryCharge copy;
  QImage picture = PictureOf(pixels, copy);
  if (const auto transform = TIccTransform::ToSrgb(image->ColorProfile(), true)) {
    // 32-bit Qt pixels are blue, green, red, alpha in memory, as the transform takes them.
    if (!picture.hasAlphaChannel()) {
      copy.Set(uint64_t{4} * static_cast<uint64_t>(picture.width()) * static_cast<uint64_t>(picture.height()));
    }
    picture = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
      transform->Convert(picture.scanLine(y), static_cast<uint32_t>(picture.width()));
    }
  }
  PendingOutputs outputs;
  WritePng(picture, outputs.Add(output));
  outputs.Commit();
  return kExitOk;
}

int RunInfo(int argc, char** argv) {
  const Args args(argc, argv, 2, {}, {"--help"});
  if (args.Has("--help")) {
    std::fputs(kInfoHelp, stdout);
    return kExitOk;
  }
  if (args.Positional().size() != 1) throw UsageError{"info needs exactly one FILE"};
  CommandLoad load;
  std::unique_ptr<ThumbnailImage> image = LoadImage(args.Positional()[0]);
  std::printf("reader: %s\n", image->ReaderName().c_str());
  std::printf("width: %d\n", image->Width());
  std::printf("height: %d\n", image->Height());
  std::printf("orientation: %d\n", image->Orientation());
  if (image->Width() > 0 && image->Height() > 0) {
    const TBitmap& pixels = image->Pixels();
    std::printf("pixel format: %s\n", PixelFormatName(pixels.PixelFormat()));
    std::printf("palette entries: %zu\n", pixels.Palette().size());
    std::printf("transparent: %s\n", pixels.Transparent() ? "yes" : "no");
    std::printf("alpha: %s\n", pixels.HasTransparency() ? "yes" : "no");
    for (const auto& [name, value] : image->Details()) std::printf("%s: %s\n", name.c_str(), value.c_str());
  }
  // A profile that cannot be used is ignored by the drawing too.
  std::vector<uint8_t> profile = image->ColorProfile();
  if (!TIccTransform::ToSrgb(profile, false)) profile = image->ReaderProfile();
  std::string description = profile.empty() ? "none" : IccDescription(profile);
  if (description.empty()) description = "unnamed";
  std::printf("profile: %s\n", description.c_str());
  return kExitOk;
}

}  // namespace tablora::cli
