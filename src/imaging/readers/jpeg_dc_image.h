#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tablora {

// A progressive JPEG shown at an eighth of its size needs only each block's DC coefficient, and
// its DC coefficients come in scans of their own. libjpeg decodes every scan into a buffer of all
// the coefficients of the whole image (90 MB for a 15-megapixel photograph) whatever the scale;
// this reads the DC scans alone, skips the rest of the data and makes libjpeg's pixels at 1/8 (its
// 1x1 inverse DCT, its replication of chroma subsampled one way, its YCbCr table) to the bit, from
// 1/64 of the memory.
//
// It takes 8-bit Huffman-coded YCbCr whose chroma libjpeg would replicate (not 4:2:0, which it
// turns with a transform that reads AC coefficients), from files that deliver every bit of the
// first ten coefficients (libjpeg smooths the blocks of others). It answers false as soon as
// anything is unusual (a table missing, a damaged or short DC scan, a restart marker out of
// place): the caller then decodes with libjpeg, whose handling of damaged files stays the rule.

struct JpegDcComponent {
  int id = 0;
  int h = 1;                   // sampling factors
  int v = 1;
  int quantTable = 0;          // from the frame header
  uint32_t widthInBlocks = 0;  // of the component's own picture
  uint32_t heightInBlocks = 0;
};

struct JpegDcFrame {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<JpegDcComponent> components;  // Y, Cb, Cr
};

// Decodes `file` (a whole JPEG file) at 1/8: ceil(width / 8) x ceil(height / 8) pixels, each row
// written as BGR to `row(y)`. `checkpoint` runs once per row of blocks of each DC scan and may
// throw to stop (a cancel). False, with rows possibly written, when the file is not one it takes.
// A file of more scans, or scans of more work, than libjpeg is allowed fails as it would there.
bool DecodeJpegDcOnly(std::span<const uint8_t> file, const JpegDcFrame& frame,
                      const std::function<uint8_t*(uint32_t y)>& row, const std::function<void()>& checkpoint);

}  // namespace tablora
