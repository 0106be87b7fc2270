#include "imaging/cancel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "imaging/decoders/gif_lzw_decoder.h"
#include "imaging/exceptions.h"
#include "imaging/readers/jpeg_decompressor.h"
#include "imaging/readers/jpeg_image.h"
#include "sheet/thumbnail_image.h"
#include "support/hostile_files.h"
#include "support/test_paths.h"

namespace tablora {
namespace {

// Loads and decodes a file with the reader the thumbnail table picks for it.
void Load(const std::string& path) {
  std::unique_ptr<ThumbnailImage> image =
      CreateThumbnailReader(std::filesystem::path(path).extension().string());
  image->LoadFromFile(path);
  image->Pixels();
}

TEST(Cancel, EveryReaderStopsAtItsNextRowOnItsOwnThreadOnly) {
  const std::string fixtures[] = {"bmp/rgb24.bmp", "bmp/pal8rle.bmp", "jpeg/progressive.jpg", "psd/rgb8.psd",
                                  "png/rgb8.png", "gif/photo.gif"};
  TCancelToken stop;
  stop.Request();
  TCancelScope scope(stop);
  for (const std::string& fixture : fixtures) {
    const std::string path = (test::DataDir() / fixture).string();
    EXPECT_THROW(Load(path), EAbort) << fixture;
    // Another thread's loads do not honour this thread's request.
    std::thread([&] { EXPECT_NO_THROW(Load(path)) << fixture; }).join();
  }
}

// A decode on a thread that learns of Cancel only by handling its own events: the poll runs
// while libjpeg works through a file of many scans.
TEST(Cancel, APollDuringAJpegDecodeStopsIt) {
  const std::string bytes = test::ProgressiveGreyJpeg(4000, 4000, 60);
  TBufferStream stream(bytes.data(), bytes.size());
  TJPEGImage image;
  image.LoadFromStream(stream);
  TCancelToken stop;
  int polls = 0;
  TCancelScope scope(stop, [&] {
    ++polls;
    stop.Request();
  });
  EXPECT_THROW(image.Bitmap(), EAbort);
  EXPECT_EQ(polls, 1);
}

// A GIF frame decodes in one call; a cancel stops it on the way, not at its end.
TEST(Cancel, AGifFrameStopsWithinItsDecode) {
  // 9-bit codes, least significant bit first: root 0 over and over, a clear code before the
  // table would widen them.
  std::vector<uint8_t> codes;
  uint32_t bits = 0;
  int count = 0;
  for (int i = 0; i < 10'000'000; ++i) {
    const uint32_t code = i % 250 == 0 ? 256 : 0;
    bits |= code << count;
    for (count += 9; count >= 8; count -= 8, bits >>= 8) codes.push_back(static_cast<uint8_t>(bits));
  }
  std::vector<uint8_t> pixels(std::size_t{64} << 20);
  TCancelToken stop;
  TCancelScope scope(stop);
  EXPECT_GT(TGIFLZWDecoder(8).Decode(codes, pixels).produced, std::size_t{8} << 20);
  stop.Request();
  EXPECT_THROW(TGIFLZWDecoder(8).Decode(codes, pixels), EAbort);
}

// Every scan costs a pass over the whole image, so a small file of thousands of them would decode
// for minutes; past the cap it fails with the JPEG message.
TEST(Cancel, JpegOfTooManyScansFails) {
  for (const int scans : {JpegDecompressor::kMaxScans, JpegDecompressor::kMaxScans + 1}) {
    const std::string bytes = test::ProgressiveGreyJpeg(16, 16, scans);
    TBufferStream stream(bytes.data(), bytes.size());
    TJPEGImage image;
    image.LoadFromStream(stream);
    if (scans == JpegDecompressor::kMaxScans) {
      EXPECT_EQ(image.Bitmap().Width(), 16);
      continue;
    }
    try {
      image.Bitmap();
      ADD_FAILURE() << "decoded";
    } catch (const EJPEG& e) {
      EXPECT_STREQ(e.what(), "JPEG error #1000");
      EXPECT_EQ(e.Detail(), "Too many scans: more than 500");
    }
  }
}

}  // namespace
}  // namespace tablora
