// Decodes arbitrary bytes as a TIFF strip. The first byte picks the decoder, the next five its
// set-up (width, rows, fill order, the JPEG tags); the rest is the strip, for JPEG after an
// optional JPEGTables block. A decoder must stay inside the strip and the destination, end on any
// input, say truthfully how far it got, and fail only with the library's own exception.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "imaging/decoders/ccitt_decoder.h"
#include "imaging/decoders/thunder_decoder.h"
#include "imaging/decoders/tiff_jpeg_decoder.h"
#include "imaging/decoders/tiff_lzw_decoder.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/raster_graphic.h"

using namespace tablora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool limited = (SetImageSizeLimit(uint64_t{48} << 20), true);
  (void)limited;
  if (size < 6) return 0;
  const unsigned kind = data[0] % 8;
  const uint32_t width = data[1] | (data[2] << 8);
  const uint32_t rows = 1 + data[3] % 64;
  const uint8_t flags = data[4];
  const uint8_t tablesLength = data[5];
  std::span<const uint8_t> strip(data + 6, size - 6);

  TImageProperties properties;
  std::unique_ptr<TDecoder> decoder;
  uint64_t lineBytes = (uint64_t{width} + 7) / 8;
  const bool reversed = flags & 1;
  switch (kind) {
    case 0:
      decoder = std::make_unique<TTIFFLZWDecoder>();
      lineBytes = width;
      break;
    case 1:
      decoder = std::make_unique<TThunderDecoder>(width);
      lineBytes = (uint64_t{width} + 1) / 2;
      break;
    case 2:
    case 3:
      decoder = std::make_unique<TCCITTMHDecoder>(0, reversed, kind == 3, width);
      break;
    case 4:
    case 5:
      decoder = std::make_unique<TCCITTFax3Decoder>(kind == 5 ? 1 : 0, reversed, false, width);
      break;
    case 6:
      decoder = std::make_unique<TCCITTFax4Decoder>(0, reversed, false, width);
      break;
    default: {
      static const TColorScheme schemes[4] = {csYCbCr, csRGB, csGray, csCMYK};
      static const uint8_t samples[4] = {3, 3, 1, 4};
      const unsigned scheme = (flags >> 1) & 3;
      properties.Width = width;
      properties.Height = rows + (flags >> 7);  // sometimes the strip is not the last one
      properties.RowsPerStrip = {rows};
      properties.SamplesPerPixel = samples[scheme];
      properties.BitsPerSample = 8;
      properties.PlanarConfig = (flags & 8) ? 2 : 1;
      properties.ColorScheme = schemes[scheme];
      if (scheme == 0)
        properties.YCbCrSubsampling = {static_cast<uint8_t>(1 + ((flags >> 4) & 1)),
                                       static_cast<uint8_t>(1 + ((flags >> 5) & 1))};
      if (tablesLength != 0 && tablesLength <= strip.size()) {
        properties.JPEGTables.assign(strip.begin(), strip.begin() + tablesLength);
        strip = strip.subspan(tablesLength);
      }
      lineBytes = uint64_t{width} * (properties.PlanarConfig == 1 ? properties.SamplesPerPixel : 1);
      properties.BytesPerLine = static_cast<uint32_t>(lineBytes);
      decoder = std::make_unique<TTIFFJPEGDecoder>(properties);
      break;
    }
  }
  std::vector<uint8_t> out(static_cast<std::size_t>(lineBytes * rows));
  try {
    decoder->StartDecoding();
    const TDecodeResult result = decoder->Decode(strip, out);
    if (result.consumed > strip.size() || result.produced > out.size()) std::abort();
    decoder->FinishDecoding();
  } catch (const Exception&) {
  }
  return 0;
}
