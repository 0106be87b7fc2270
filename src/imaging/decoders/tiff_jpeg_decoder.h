#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "imaging/decoders/decoder.h"

namespace tablora {

class JpegDecompressor;
struct TImageProperties;

// TIFF compression 7: every strip is an abbreviated JPEG stream, decoded by libjpeg, with the
// quantisation and Huffman tables shared through the JPEGTables tag. Each strip's header must
// agree with the TIFF tags in size, component count, precision and sampling, or the strip fails
// with an ECompressionError naming what disagrees. Rows come out blue, green, red for colour
// (RGB and YCbCr), one byte per pixel for greyscale and as stored for CMYK and for RGB with an
// extra sample, BytesPerLine apart.
// A strip whose data ends early ends there, silently, as a truncated JPEG file does.
class TTIFFJPEGDecoder : public TDecoder {
 public:
  // The record belongs to the TIFF being read; Width, Height, RowsPerStrip, CurrentRow,
  // SamplesPerPixel, BitsPerSample, PlanarConfig, ColorScheme, YCbCrSubsampling, JPEGTables and
  // BytesPerLine are read from it at each call.
  explicit TTIFFJPEGDecoder(const TImageProperties& properties);
  ~TTIFFJPEGDecoder() override;

  // Creates the decompression object and loads the shared tables ("Bogus JPEG tables field."
  // when the tag holds anything but tables). Decode starts by itself when this was not called.
  void StartDecoding() override;
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;
  void FinishDecoding() override;

 private:
  const TImageProperties& properties_;
  std::unique_ptr<JpegDecompressor> jpeg_;
  uint16_t horizontalSampling_ = 1;
  uint16_t verticalSampling_ = 1;
};

}  // namespace tablora
