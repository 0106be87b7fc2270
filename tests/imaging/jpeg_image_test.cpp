#include "imaging/readers/jpeg_image.h"

#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>
#include <cstdlib>

#include "imaging/exceptions.h"
#include "imaging/format.h"
#include "imaging/image_limits.h"
#include "imaging/readers/jpeg_dc_image.h"
#include "imaging/readers/jpeg_decompressor.h"
#include "imaging/memory_budget.h"
#include "jpeg_test_util.h"

namespace tablora {
namespace {

using test::JpegFixture;
using test::RawImage;
using Stage = TJPEGImage::TProgressStage;

std::string JpegError(int code) { return Format("JPEG error #%d", code); }

struct Difference {
  int max = 0;
  double mean = 0;
};

// Per-channel difference between a decoded bitmap and a reference image of the same size.
Difference Compare(const TBitmap& bitmap, const RawImage& reference) {
  Difference d;
  EXPECT_EQ(bitmap.Width(), reference.width);
  EXPECT_EQ(bitmap.Height(), reference.height);
  if (bitmap.Width() != reference.width || bitmap.Height() != reference.height) {
    d.max = 999;
    return d;
  }
  long total = 0;
  for (int y = 0; y < reference.height; ++y) {
    for (int x = 0; x < reference.width; ++x) {
      const TColor c = bitmap.PixelColor(x, y);
      const uint8_t* r = reference.At(x, y);
      const int want[3] = {r[0], reference.components == 3 ? r[1] : r[0],
                           reference.components == 3 ? r[2] : r[0]};
      const int got[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
      for (int i = 0; i < 3; ++i) {
        const int diff = std::abs(want[i] - got[i]);
        d.max = std::max(d.max, diff);
        total += diff;
      }
    }
  }
  d.mean = static_cast<double>(total) / (3.0 * reference.width * reference.height);
  return d;
}

class DefaultsScope {
 public:
  DefaultsScope() : saved_(JPEGDefaults()) {}
  ~DefaultsScope() { JPEGDefaults() = saved_; }

 private:
  TJPEGDefaults saved_;
};

template <class E>
std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

TEST(JPEGImage, ZeroByteFileLoadsEmptyAndFailsOnFirstDecode) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("empty.jpg"));
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(MessageOf<EJPEG>([&] { image.Bitmap(); }), JpegError(JERR_INPUT_EMPTY));
  // What the failed decode wrote stays as the decoded bitmap; it is not decoded again.
  EXPECT_TRUE(image.Decoded());
  EXPECT_NO_THROW(image.Bitmap());
  EXPECT_TRUE(image.Bitmap().Empty());
}

TEST(JPEGImage, FileThatIsNotAJpegFailsAtLoad) {
  TJPEGImage image;
  EXPECT_EQ(MessageOf<EJPEG>([&] { image.LoadFromFile(JpegFixture("png-named.jpg")); }),
            JpegError(JERR_NO_SOI));
  EXPECT_EQ(image.Width(), 0);
  // EJPEG is a kind of invalid graphic, which the sheet engine catches.
  EXPECT_THROW(image.LoadFromFile(JpegFixture("png-named.jpg")), EInvalidGraphic);
}

TEST(JPEGImage, MissingFileRaisesOpenError) {
  TJPEGImage image;
  EXPECT_THROW(image.LoadFromFile(JpegFixture("no-such-file.jpg")), EFOpenError);
}

TEST(JPEGImage, HeaderSizeIsKnownBeforeDecoding) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("colour.jpg"));
  EXPECT_FALSE(image.Decoded());
  EXPECT_FALSE(image.Empty());
  EXPECT_EQ(image.Width(), 64);
  EXPECT_EQ(image.Height(), 48);
  EXPECT_FALSE(image.Data().Grayscale);
  EXPECT_FALSE(image.ProgressiveEncoding);

  image.LoadFromFile(JpegFixture("progressive.jpg"));
  EXPECT_TRUE(image.ProgressiveEncoding);
  image.LoadFromFile(JpegFixture("gray.jpg"));
  EXPECT_TRUE(image.Data().Grayscale);
}

TEST(JPEGImage, LoadFromStreamReadsFromThePositionToTheEnd) {
  std::vector<uint8_t> bytes = {'j', 'u', 'n', 'k'};
  const std::vector<uint8_t> jpeg = test::FileBytes(JpegFixture("colour.jpg"));
  bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
  TMemoryStream stream(bytes);
  stream.SetPosition(4);
  TJPEGImage image;
  image.LoadFromStream(stream);
  EXPECT_EQ(image.Data().Data.Bytes().size(), jpeg.size());
  EXPECT_EQ(image.Width(), 64);
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(JPEGImage, ShortSourceRaisesStreamReadErrorAndLeavesTheImageEmpty) {
  const std::vector<uint8_t> jpeg = test::FileBytes(JpegFixture("colour.jpg"));
  TBufferStream stream(jpeg.data(), jpeg.size());
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("colour.jpg"));
  EXPECT_EQ(MessageOf<EReadError>([&] {
              image.ReadStream(static_cast<int64_t>(jpeg.size()) + 1, stream);
            }),
            "Stream read error");
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);
}

TEST(JPEGImage, SizeCannotBeChanged) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("colour.jpg"));
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { image.SetWidth(10); }),
            "Cannot change the size of a JPEG image");
  EXPECT_EQ(MessageOf<EInvalidGraphicOperation>([&] { image.SetHeight(10); }),
            "Cannot change the size of a JPEG image");
  EXPECT_EQ(image.Width(), 64);
}

TEST(JPEGImage, ColourDecodesInto24BitRowsLikeTheReference) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("colour.jpg"));
  const TBitmap& bitmap = image.Bitmap();
  EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
  EXPECT_EQ(bitmap.RowSize(), 192u);
  const Difference d = Compare(bitmap, test::ReadPpm(JpegFixture("colour.ppm")));
  EXPECT_LE(d.max, 2);
  EXPECT_LT(d.mean, 0.5);
  // Rows are blue, green, red: the top-left corner is red.
  EXPECT_GT(bitmap.ScanLine(0)[2], 200);
  EXPECT_LT(bitmap.ScanLine(0)[0], 60);
}

TEST(JPEGImage, ProgressiveDecodesLikeTheReference) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("progressive.jpg"));
  // Block smoothing of the later scans may round a sample differently from ImageMagick's set-up.
  const Difference d = Compare(image.Bitmap(), test::ReadPpm(JpegFixture("progressive.ppm")));
  EXPECT_LE(d.max, 4);
  EXPECT_LT(d.mean, 0.5);
}

TEST(JPEGImage, GreyscaleIsQuantisedToAtMost236Greys) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("gray.jpg"));
  const TBitmap& bitmap = image.Bitmap();
  EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
  ASSERT_FALSE(bitmap.Palette().empty());
  EXPECT_LE(bitmap.Palette().size(), 236u);
  for (const TPaletteEntry& e : bitmap.Palette()) {
    EXPECT_EQ(e.peRed, e.peGreen);
    EXPECT_EQ(e.peRed, e.peBlue);
    EXPECT_EQ(e.peFlags, 0);
  }
  const Difference d = Compare(bitmap, test::ReadPpm(JpegFixture("gray.ppm")));
  EXPECT_LE(d.max, 3);
  EXPECT_TRUE(image.PaletteModified());
}

TEST(JPEGImage, EightBitDefaultsGiveAPaletteOfAtMost236Colours) {
  DefaultsScope restore;
  JPEGDefaults().PixelFormat = JPEGPixelFormatForScreen(8);
  TJPEGImage image;
  EXPECT_EQ(image.PixelFormat, jf8Bit);
  image.LoadFromFile(JpegFixture("colour.jpg"));
  const TBitmap& bitmap = image.Bitmap();
  EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
  EXPECT_GT(bitmap.Palette().size(), 16u);
  EXPECT_LE(bitmap.Palette().size(), 236u);
  // The palette must carry red where the picture is red: component order blue, green, red.
  const Difference d = Compare(bitmap, test::ReadPpm(JpegFixture("colour.ppm")));
  EXPECT_LT(d.mean, 6.0);
  EXPECT_LE(d.max, 60);
}

TEST(JPEGImage, DefaultsPickTheOutputFormatByScreenDepth) {
  EXPECT_EQ(JPEGPixelFormatForScreen(1), jf8Bit);
  EXPECT_EQ(JPEGPixelFormatForScreen(8), jf8Bit);
  EXPECT_EQ(JPEGPixelFormatForScreen(16), jf24Bit);
  EXPECT_EQ(JPEGPixelFormatForScreen(32), jf24Bit);
  const TJPEGDefaults defaults;
  EXPECT_EQ(defaults.CompressionQuality, 90);
  EXPECT_EQ(defaults.Scale, jsFullSize);
  EXPECT_TRUE(defaults.Smoothing);
  EXPECT_FALSE(defaults.Grayscale);
  EXPECT_EQ(defaults.Performance, jpBestQuality);
  EXPECT_EQ(defaults.PixelFormat, jf24Bit);
  EXPECT_FALSE(defaults.ProgressiveDisplay);
}

TEST(JPEGImage, OnePixelHighDecodes) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("row1.jpg"));
  const TBitmap& bitmap = image.Bitmap();
  EXPECT_EQ(bitmap.Width(), 40);
  EXPECT_EQ(bitmap.Height(), 1);
  EXPECT_LE(Compare(bitmap, test::ReadPpm(JpegFixture("row1.ppm"))).max, 2);
}

TEST(JPEGImage, TruncatedFileDecodesAsFarAsItsDataGoes) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("truncated.jpg"));
  EXPECT_EQ(image.Width(), 96);
  EXPECT_EQ(image.Height(), 96);
  const TBitmap* bitmap = nullptr;
  ASSERT_NO_THROW(bitmap = &image.Bitmap());
  EXPECT_EQ(bitmap->Width(), 96);
  EXPECT_EQ(bitmap->Height(), 96);
  // The top-left corner of the picture is there; libjpeg's end-of-data handling matches ours.
  EXPECT_GT(GetRValue(bitmap->PixelColor(0, 0)), 200);
  const RawImage reference = test::ReferenceDecode(test::FileBytes(JpegFixture("truncated.jpg")));
  EXPECT_EQ(Compare(*bitmap, reference).max, 0);
}

TEST(JPEGImage, AdobeCmykDecodesToTheReferenceColours) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("cmyk.jpg"));
  const TBitmap& bitmap = image.Bitmap();
  EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
  const Difference d = Compare(bitmap, test::ReadPpm(JpegFixture("cmyk.ppm")));
  EXPECT_LE(d.max, 3);
  EXPECT_LT(d.mean, 1.0);
}

// Four flat 8 x 8 patches side by side, as ink amounts (0 = no ink).
std::vector<uint8_t> InkPatches(bool inverted) {
  const uint8_t inks[4][4] = {{0, 0, 0, 0}, {0, 255, 255, 0}, {255, 128, 0, 0}, {0, 0, 0, 200}};
  std::vector<uint8_t> samples;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 32; ++x) {
      for (int c = 0; c < 4; ++c) {
        const uint8_t ink = inks[x / 8][c];
        samples.push_back(inverted ? static_cast<uint8_t>(255 - ink) : ink);
      }
    }
  }
  return samples;
}

void ExpectInkPatchColours(const TBitmap& bitmap) {
  ASSERT_EQ(bitmap.Width(), 32);
  ASSERT_EQ(bitmap.PixelFormat(), pf24bit);
  const TColor want[4] = {RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 127, 255), RGB(55, 55, 55)};
  for (int patch = 0; patch < 4; ++patch) {
    const TColor got = bitmap.PixelColor(patch * 8 + 4, 4);
    SCOPED_TRACE(patch);
    EXPECT_NEAR(GetRValue(got), GetRValue(want[patch]), 3);
    EXPECT_NEAR(GetGValue(got), GetGValue(want[patch]), 3);
    EXPECT_NEAR(GetBValue(got), GetBValue(want[patch]), 3);
  }
}

TEST(JPEGImage, CmykConventionFollowsTheAdobeMarker) {
  struct Case {
    const char* name;
    J_COLOR_SPACE space;
    bool adobe;
  } cases[] = {{"Adobe CMYK", JCS_CMYK, true}, {"Adobe YCCK", JCS_YCCK, true},
               {"plain CMYK", JCS_CMYK, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> file =
        test::Encode(32, 8, 4, JCS_CMYK, c.space, c.adobe, InkPatches(c.adobe));
    TBufferStream stream(file.data(), file.size());
    TJPEGImage image;
    image.LoadFromStream(stream);
    ExpectInkPatchColours(image.Bitmap());
  }
}

TEST(JPEGImage, CmykWithEightBitDefaultsEndsInAPaletteBitmap) {
  DefaultsScope restore;
  JPEGDefaults().PixelFormat = jf8Bit;
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("cmyk.jpg"));
  EXPECT_EQ(image.Bitmap().PixelFormat(), pf8bit);
  EXPECT_EQ(image.Bitmap().Width(), 64);
}

TEST(JPEGImage, OversizedImageDecodesAtTheLargestScaleThatFits) {
  const std::vector<uint8_t> file = test::FileBytes(JpegFixture("colour.jpg"));
  struct Case {
    uint64_t limit;
    int width, height;
    unsigned denominator;
  } cases[] = {
      {9216, 64, 48, 1},  // 192-byte rows x 48: exactly the limit
      {9215, 32, 24, 2},  {2304, 32, 24, 2}, {2303, 16, 12, 4},
      {576, 16, 12, 4},   {575, 8, 6, 8},    {144, 8, 6, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    test::ScopedImageLimit limit(c.limit);
    TJPEGImage image;
    TBufferStream stream(file.data(), file.size());
    image.LoadFromStream(stream);
    EXPECT_EQ(image.Width(), 64);  // the header's size until decoded
    const TBitmap& bitmap = image.Bitmap();
    EXPECT_EQ(image.Width(), c.width);
    EXPECT_EQ(image.Height(), c.height);
    EXPECT_EQ(Compare(bitmap, test::ReferenceDecode(file, c.denominator)).max, 0);
  }
}

TEST(JPEGImage, ImageTooLargeAtEveryScaleFails) {
  test::ScopedImageLimit limit(143);
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("colour.jpg"));
  const std::string message = MessageOf<EInvalidGraphic>([&] { image.Bitmap(); });
  EXPECT_EQ(message.rfind("Image too large", 0), 0u) << message;
}

TEST(JPEGImage, GreyscaleIsMeasuredAtEightBitsAgainstTheLimit) {
  test::ScopedImageLimit limit(64 * 48);
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("gray.jpg"));
  EXPECT_EQ(image.Bitmap().Width(), 64);
}

TEST(JPEGImage, QuantisedColourIsMeasuredAtTheQuantiserBufferSize) {
  // The two-pass quantiser keeps the whole picture at 24 bits; an 8-bit bitmap that fits is not
  // enough when that buffer does not.
  DefaultsScope restore;
  JPEGDefaults().PixelFormat = jf8Bit;
  test::ScopedImageLimit limit(64 * 48);
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("colour.jpg"));
  EXPECT_EQ(image.Bitmap().Width(), 32);
  EXPECT_EQ(image.Bitmap().PixelFormat(), pf8bit);
}

TEST(JPEGImage, LibraryWorkingMemoryIsBoundedByTheLimit) {
  // The progressive fixture with its frame header claiming 4000 x 4000 pixels: the 48 MB bitmap
  // fits a 64 MiB limit, but the coefficient buffer (2 bytes x 3 samples per pixel, 96 MB) does
  // not fit the limit plus libjpeg's 16 MiB of workspace.
  std::vector<uint8_t> file = test::FileBytes(JpegFixture("progressive.jpg"));
  bool patched = false;
  for (std::size_t i = 0; i + 8 < file.size() && !patched; ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xC2) {
      const uint8_t size[4] = {0x0F, 0xA0, 0x0F, 0xA0};  // height, width: 4000, big-endian
      std::copy(size, size + 4, file.begin() + static_cast<std::ptrdiff_t>(i + 5));
      patched = true;
    }
  }
  ASSERT_TRUE(patched);
  test::ScopedImageLimit limit(uint64_t{64} << 20);
  TJPEGImage image;
  TBufferStream stream(file.data(), file.size());
  image.LoadFromStream(stream);
  EXPECT_EQ(image.Width(), 4000);
  std::vector<std::pair<Stage, int>> stages;
  image.OnProgress = [&](Stage stage, uint8_t percent, bool, const TRect&, const std::string&) {
    stages.emplace_back(stage, percent);
  };
  EXPECT_EQ(MessageOf<EJPEG>([&] { image.Bitmap(); }), JpegError(JERR_NO_BACKING_STORE));
  ASSERT_EQ(stages.size(), 2u);
  EXPECT_EQ(stages.front(), std::make_pair(Stage::psStarting, 0));
  EXPECT_EQ(stages.back(), std::make_pair(Stage::psEnding, 0));
}

TEST(JPEGImage, AssignFromAnotherImageSharesTheDataAndCopiesTheBitmap) {
  TJPEGImage source;
  source.LoadFromFile(JpegFixture("colour.jpg"));
  TJPEGImage copy;
  copy.Assign(source);
  EXPECT_EQ(copy.SharedData(), source.SharedData());
  EXPECT_FALSE(copy.Decoded());
  EXPECT_EQ(copy.Width(), 64);

  source.Bitmap();
  TJPEGImage decoded;
  decoded.Assign(source);
  ASSERT_TRUE(decoded.Decoded());
  EXPECT_NE(&decoded.Bitmap(), &source.Bitmap());
  EXPECT_EQ(decoded.Bitmap().PixelColor(5, 5), source.Bitmap().PixelColor(5, 5));

  // A new load makes a fresh holder; the other image keeps the old one.
  source.LoadFromFile(JpegFixture("gray.jpg"));
  EXPECT_NE(copy.SharedData(), source.SharedData());
  EXPECT_FALSE(copy.Data().Grayscale);
  EXPECT_EQ(copy.SharedData().use_count(), 3);  // copy, decoded and this temporary
}

TEST(JPEGImage, AssignFromBitmapTakesItAsTheDecodedPixels) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(7, 3);
  bitmap.SetPixelColor(2, 1, RGB(10, 20, 30));
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("colour.jpg"));
  image.Assign(bitmap);
  EXPECT_EQ(image.Data().Data.Bytes().size(), 0u);
  EXPECT_FALSE(image.Empty());
  EXPECT_EQ(image.Width(), 7);
  EXPECT_EQ(image.Height(), 3);
  EXPECT_EQ(image.Bitmap().PixelColor(2, 1), RGB(10, 20, 30));
}

TEST(JPEGImage, ChangeNotifications) {
  TJPEGImage image;
  int changes = 0;
  image.OnChange = [&] { ++changes; };
  image.LoadFromFile(JpegFixture("colour.jpg"));
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(image.PaletteModified());
  image.SetPaletteModified(false);
  image.Bitmap();
  EXPECT_EQ(changes, 1);  // 24-bit output brings no palette
  image.LoadFromFile(JpegFixture("gray.jpg"));
  image.SetPaletteModified(false);
  image.Bitmap();
  EXPECT_EQ(changes, 3);  // the load, and the palette the decode made
}

TEST(JPEGImage, ProgressIsThrottledByTheClock) {
  struct Event {
    Stage stage;
    int percent;
    bool redraw;
    TRect rect;
  };
  auto run = [](int64_t step) {
    TJPEGImage image;
    image.LoadFromFile(JpegFixture("colour.jpg"));
    int64_t now = 1000;
    image.TickSource = [&] { return now += step; };
    std::vector<Event> events;
    image.OnProgress = [&](Stage stage, uint8_t percent, bool redraw, const TRect& rect,
                           const std::string& message) {
      EXPECT_TRUE(message.empty());
      events.push_back({stage, percent, redraw, rect});
    };
    image.Bitmap();
    return events;
  };

  const std::vector<Event> frozen = run(0);
  ASSERT_EQ(frozen.size(), 2u);
  EXPECT_EQ(frozen[0].stage, Stage::psStarting);
  EXPECT_EQ(frozen[1].stage, Stage::psEnding);
  EXPECT_EQ(frozen[1].percent, 100);
  EXPECT_EQ(frozen[1].rect, TRect{});

  const std::vector<Event> fast = run(1000);
  ASSERT_GT(fast.size(), 4u);
  int lastPercent = 0;
  int lastBottom = 0;
  for (std::size_t i = 1; i + 1 < fast.size(); ++i) {
    EXPECT_EQ(fast[i].stage, Stage::psRunning);
    EXPECT_GT(fast[i].percent, lastPercent);
    EXPECT_EQ(fast[i].rect.Top, lastBottom);
    EXPECT_EQ(fast[i].rect.Right, 64);
    EXPECT_EQ(fast[i].redraw, fast[i].rect.Height() >= 4);
    lastPercent = fast[i].percent;
    lastBottom = fast[i].rect.Bottom;
  }
  EXPECT_LE(lastPercent, 100);

  // Ticks of 100 ms: only every fifth call of the monitor may report.
  EXPECT_LT(run(100).size() - 2, (fast.size() - 2) / 3 + 2);
}

TEST(JPEGImage, ExceptionFromAProgressListenerPassesThroughTheLibrary) {
  TJPEGImage image;
  image.LoadFromFile(JpegFixture("colour.jpg"));
  int64_t now = 1000;
  image.TickSource = [&] { return now += 1000; };
  std::vector<Stage> stages;
  image.OnProgress = [&](Stage stage, uint8_t, bool, const TRect&, const std::string&) {
    stages.push_back(stage);
    if (stage == Stage::psRunning) throw EAbort();
  };
  EXPECT_THROW(image.Bitmap(), EAbort);
  ASSERT_EQ(stages.size(), 3u);
  EXPECT_EQ(stages.back(), Stage::psEnding);
}

TEST(JPEGProgressThrottle, WorkedExample) {
  TJPEGProgressThrottle throttle;
  TJPEGProgressThrottle::Report report;
  TJPEGProgressThrottle::Counters c;
  c.passLimit = 100;
  c.totalPasses = 2;
  c.outputWidth = 50;
  c.outputHeight = 80;

  c.passCounter = 10;
  EXPECT_FALSE(throttle.Update(600, c, report));  // first call only starts the clock
  EXPECT_FALSE(throttle.Update(1099, c, report));  // 499 ms later
  c.passCounter = 25;
  c.outputScanline = 20;
  ASSERT_TRUE(throttle.Update(1100, c, report));
  EXPECT_EQ(report.percent, 13);  // 25 / 100 of the first of two passes, rounded
  EXPECT_EQ(report.rect, Rect(0, 0, 50, 20));
  EXPECT_TRUE(report.redrawNow);

  c.outputScanline = 22;
  c.passCounter = 26;
  EXPECT_FALSE(throttle.Update(1600, c, report));  // 13 % again
  c.passCounter = 30;
  ASSERT_TRUE(throttle.Update(2100, c, report));
  EXPECT_EQ(report.percent, 15);
  EXPECT_EQ(report.rect, Rect(0, 20, 50, 22));
  EXPECT_FALSE(report.redrawNow);  // two rows

  // The second pass starts again at the top: the rectangle runs to the bottom of the image.
  c.completedPasses = 1;
  c.passCounter = 0;
  c.outputScanline = 5;
  ASSERT_TRUE(throttle.Update(2600, c, report));
  EXPECT_EQ(report.percent, 50);
  EXPECT_EQ(report.rect, Rect(0, 22, 50, 80));
}

// A progressive colour file made by libjpeg from a picture with smooth runs, hard edges and noise:
// `h` x `v` luma sampling, restarts every `restart` MCUs.
std::vector<uint8_t> ProgressiveFile(int width, int height, int h, int v, int restart) {
  std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
      const bool box = (x / 13 + y / 11) % 3 == 0;
      p[0] = static_cast<uint8_t>(box ? 230 : x * 255 / width);
      p[1] = static_cast<uint8_t>((y * 255 / height + (noise >> 27)) & 255);
      p[2] = static_cast<uint8_t>(box ? 20 : 128 + ((x ^ y) & 63));
    }
  }
  return test::Encode(width, height, 3, JCS_RGB, JCS_YCbCr, false, rgb, [&](jpeg_compress_struct& info) {
    jpeg_set_quality(&info, 85, TRUE);
    info.comp_info[0].h_samp_factor = h;
    info.comp_info[0].v_samp_factor = v;
    info.restart_interval = static_cast<unsigned>(restart);
    jpeg_simple_progression(&info);
  });
}

// The outcome of decoding at 1/8: the pixels as libjpeg's RGB, or nothing when the load failed.
RawImage EighthOf(const std::vector<uint8_t>& bytes) {
  TJPEGImage image;
  image.Scale = jsEighth;
  try {
    test::LoadInto(image, bytes);
    const TBitmap& bitmap = image.Bitmap();
    RawImage raw{bitmap.Width(), bitmap.Height(), 3, {}};
    for (int y = 0; y < raw.height; ++y) {
      for (int x = 0; x < raw.width; ++x) {
        const TColor c = bitmap.PixelColor(x, y);
        raw.samples.insert(raw.samples.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
      }
    }
    return raw;
  } catch (const Exception&) {
    return {};
  }
}

// Progressive colour files at 1/8 come from their DC scans alone: libjpeg's pixels, without the
// 128 bytes per block and component of libjpeg's buffer of all coefficients. 4:2:0 chroma, which
// libjpeg turns with AC coefficients, is left to libjpeg.
TEST(JPEGImage, ProgressiveAtAnEighthNeedsOnlyItsDcScans) {
  struct Case {
    int width, height, h, v, restart;
    bool dcOnly;
  } cases[] = {
      {203, 117, 1, 1, 0, true}, {203, 117, 1, 1, 3, true}, {9, 1, 1, 1, 0, true}, {1, 30, 1, 1, 1, true},
      {203, 117, 2, 1, 7, true}, {64, 48, 1, 2, 0, true},   {203, 117, 2, 2, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.h << "x" << c.v << " restart " << c.restart);
    const std::vector<uint8_t> file = ProgressiveFile(c.width, c.height, c.h, c.v, c.restart);
    TMemoryBudget budget(uint64_t{1} << 30);
    EXPECT_EQ(EighthOf(file).samples, test::ReferenceDecode(file, 8).samples);
    const uint64_t blocks = uint64_t{(c.width + 7u) / 8} * ((c.height + 7u) / 8);
    if (c.dcOnly) {
      EXPECT_LT(budget.Peak(), file.size() + blocks * 16 + 256);
    } else {
      EXPECT_GT(budget.Peak(), file.size() + blocks * 128);
    }
  }
}

// Damaged and cut files at 1/8 end as libjpeg ends them: the same pixels, or a failure for both.
TEST(JPEGImage, DamagedProgressiveAtAnEighthEndsAsLibjpegEndsIt) {
  const std::vector<uint8_t> good = ProgressiveFile(203, 117, 1, 1, 4);
  uint32_t seed = 7;
  int loaded = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> bad = good;
    seed = seed * 1103515245u + 12345u;
    const std::size_t at = (seed >> 8) % good.size();
    if (round < 100) {
      bad.resize(good.size() * static_cast<std::size_t>(round) / 100);
    } else {
      bad[at] = static_cast<uint8_t>(bad[at] ^ (1u << (seed >> 29)));
    }
    SCOPED_TRACE(testing::Message() << "round " << round << " size " << bad.size() << " at " << at);
    const RawImage reference = test::ReferenceDecode(bad, 8);
    const RawImage got = EighthOf(bad);
    EXPECT_EQ(got.width, reference.width);
    EXPECT_TRUE(got.samples == reference.samples);
    loaded += !got.samples.empty();
  }
  EXPECT_GT(loaded, 200);
}

// What a decode at the scale given ends in: "" when it loads, else the message and its detail.
std::string ScanOutcome(const std::vector<uint8_t>& file, TJPEGScale scale) {
  TJPEGImage image;
  image.Scale = scale;
  try {
    test::LoadInto(image, file);
    image.Bitmap();
    return "";
  } catch (const EJPEG& e) {
    return std::string(e.what()) + " / " + e.Detail();
  }
}

// The same through libjpeg's progress monitor alone (the way of JPEG strips in TIFF files).
std::string MonitorOutcome(const std::vector<uint8_t>& file) {
  JpegDecompressor jpeg;
  jpeg.SetSource(file.data(), file.size());
  try {
    jpeg.Run([&] {
      jpeg_read_header(&jpeg.Info(), TRUE);
      jpeg.Info().scale_denom = 8;
      jpeg_start_decompress(&jpeg.Info());
      jpeg_abort_decompress(&jpeg.Info());
    });
    return "";
  } catch (const EJPEG& e) {
    return std::string(e.what()) + " / " + e.Detail();
  }
}

// A file pays for its scans by the blocks each one walks: at most 64 passes over its picture
// (small pictures always 2^20 blocks, within the cap of 500 scans): counted from the file's
// markers before decoding, by libjpeg's progress monitor as it reads them, and on the DC scans'
// way, which refuses such a file itself rather than hand it on to libjpeg.
TEST(JPEGImage, ScansCostAtMost64PassesOverThePicture) {
  struct Case {
    int size, components, scans;
    const char* outcome;
  } cases[] = {
      {2048, 1, 64, ""},   {2048, 1, 65, "JPEG error #1000 / Too many scans: more than 64"},
      {512, 1, 256, ""},   {512, 1, 257, "JPEG error #1000 / Too many scans: more than 256"},
      {64, 1, 500, ""},    {64, 1, 501, "JPEG error #1000 / Too many scans: more than 500"},
      // 3 x 16384 blocks: a DC scan over all of them and 189 scans of one component fit.
      {1024, 3, 190, ""},  {1024, 3, 191, "JPEG error #1000 / Too many scans: more than 190"},
      {64, 3, 500, ""},    {64, 3, 501, "JPEG error #1000 / Too many scans: more than 500"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " " << c.components << " components, " << c.scans << " scans");
    const std::vector<uint8_t> file = test::ManyScanJpeg(c.size, c.size, c.components, c.scans, c.components == 3);
    EXPECT_EQ(ScanOutcome(file, jsEighth), c.outcome);
    EXPECT_EQ(MonitorOutcome(file), c.outcome);
    if (c.components == 1) continue;
    JpegDcFrame frame{static_cast<uint32_t>(c.size), static_cast<uint32_t>(c.size), {}};
    const auto blocks = static_cast<uint32_t>(c.size / 8);
    for (int id = 1; id <= 3; ++id) frame.components.push_back({id, 1, 1, 0, blocks, blocks});
    std::vector<uint8_t> row(std::size_t{blocks} * 3);
    std::string dcOutcome;
    try {
      EXPECT_TRUE(DecodeJpegDcOnly(file, frame, [&](uint32_t) { return row.data(); }, [] {}));
    } catch (const EJPEG& e) {
      dcOutcome = std::string(e.what()) + " / " + e.Detail();
    }
    EXPECT_EQ(dcOutcome, c.outcome);
  }
}

// Files of 60 real scans (about 20 passes for colour, 60 for grey) load; the colour ones decode as
// libjpeg decodes them, through the DC scans (4:4:4 at 1/8) and through libjpeg.
TEST(JPEGImage, SixtyScanFilesLoad) {
  for (const char* name : {"scans60.jpg", "scans60-420.jpg", "scans60-grey.jpg"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = test::FileBytes(test::JpegFixture(name));
    EXPECT_EQ(ScanOutcome(file, jsFullSize), "");
    EXPECT_EQ(ScanOutcome(file, jsEighth), "");
    if (std::string(name) != "scans60-grey.jpg") {
      EXPECT_EQ(EighthOf(file).samples, test::ReferenceDecode(file, 8).samples);
    }
  }
}

TEST(JPEGImage, ColorMapToPaletteOrdersComponentsBlueGreenRed) {
  const uint8_t blue[2] = {1, 4};
  const uint8_t green[2] = {2, 5};
  const uint8_t red[2] = {3, 6};
  const uint8_t* map[3] = {blue, green, red};
  const TPalette colour = ColorMapToPalette(map, 2, false);
  ASSERT_EQ(colour.size(), 2u);
  EXPECT_EQ(colour[1], (TPaletteEntry{6, 5, 4, 0}));
  const TPalette grey = ColorMapToPalette(map, 2, true);
  EXPECT_EQ(grey[0], (TPaletteEntry{1, 1, 1, 0}));
  EXPECT_EQ(grey[1], (TPaletteEntry{4, 4, 4, 0}));
}

}  // namespace
}  // namespace tablora
