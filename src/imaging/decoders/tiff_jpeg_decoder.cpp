#include "imaging/decoders/tiff_jpeg_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/exceptions.h"
#include "imaging/readers/jpeg_decompressor.h"
#include "imaging/raster_graphic.h"

namespace tablora {

namespace {

// The colour space the TIFF says the stream holds. Left to libjpeg's own guess from the stream's
// markers, an RGB or greyscale strip of libtiff would come out in the wrong colours.
void SetColorSpaces(jpeg_decompress_struct& info, TColorScheme scheme) {
  switch (scheme) {
    case csYCbCr:
      info.jpeg_color_space = JCS_YCbCr;
      break;
    case csRGB:
    case csRGBA:
      // RGB with an extra sample: four components with no colour transform.
      info.jpeg_color_space = info.num_components == 3 ? JCS_RGB : JCS_UNKNOWN;
      break;
    case csGray:
    case csGrayAlpha:
      info.jpeg_color_space = JCS_GRAYSCALE;
      break;
    case csCMYK:
      info.jpeg_color_space = JCS_CMYK;
      break;
    default:
      break;
  }
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      info.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      info.out_color_space = JCS_CMYK;
      break;
    case JCS_UNKNOWN:
      info.out_color_space = JCS_UNKNOWN;
      break;
    default:
      info.out_color_space = JCS_EXT_BGR;
      break;
  }
  info.raw_data_out = FALSE;
}

}  // namespace

TTIFFJPEGDecoder::TTIFFJPEGDecoder(const TImageProperties& properties) : properties_(properties) {}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() = default;

void TTIFFJPEGDecoder::StartDecoding() {
  jpeg_ = std::make_unique<JpegDecompressor>();
  const TByteArray& subsampling = properties_.YCbCrSubsampling;
  horizontalSampling_ = subsampling.empty() ? 1 : subsampling[0];
  verticalSampling_ = subsampling.size() < 2 ? 1 : subsampling[1];
  const TByteArray& tables = properties_.JPEGTables;
  if (!tables.empty()) {
    jpeg_decompress_struct& info = jpeg_->Info();
    int result = 0;
    jpeg_->SetSource(tables.data(), tables.size());
    jpeg_->Run([&] { result = jpeg_read_header(&info, FALSE); });
    if (result != JPEG_HEADER_TABLES_ONLY) throw ECompressionError("Bogus JPEG tables field.");
  }
}

void TTIFFJPEGDecoder::FinishDecoding() { jpeg_.reset(); }

TDecodeResult TTIFFJPEGDecoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  if (!jpeg_) StartDecoding();
  JpegDecompressor& jpeg = *jpeg_;
  jpeg_decompress_struct& info = jpeg.Info();
  // A new image; the tables loaded by StartDecoding stay.
  jpeg.Run([&] { jpeg_abort(reinterpret_cast<j_common_ptr>(&info)); });
  jpeg.SetSource(source.data(), source.size());
  jpeg.Run([&] { jpeg_read_header(&info, TRUE); });

  const TImageProperties& p = properties_;
  const uint32_t stripRows = p.RowsPerStrip.empty() ? p.Height : p.RowsPerStrip[0];
  const uint32_t rows = std::min(stripRows, p.Height - std::min(p.CurrentRow, p.Height));
  if (info.image_width != p.Width || info.image_height != rows) {
    throw ECompressionError("Improper JPEG strip/tile size.");
  }
  const bool interleaved = p.PlanarConfig == 1;
  if (info.num_components != (interleaved ? p.SamplesPerPixel : 1)) {
    throw ECompressionError("Improper JPEG component count.");
  }
  if (info.data_precision != p.BitsPerSample) throw ECompressionError("Improper JPEG data precision.");
  const jpeg_component_info* components = info.comp_info;
  bool samplingOk;
  if (interleaved) {
    samplingOk = components[0].h_samp_factor == horizontalSampling_ &&
                 components[0].v_samp_factor == verticalSampling_;
    for (int c = 1; c < info.num_components; ++c) {
      samplingOk = samplingOk && components[c].h_samp_factor == 1 && components[c].v_samp_factor == 1;
    }
  } else {
    samplingOk = components[0].h_samp_factor == 1 && components[0].v_samp_factor == 1;
  }
  if (!samplingOk) throw ECompressionError("Improper JPEG sampling factors.");

  SetColorSpaces(info, p.ColorScheme);
  // libjpeg's whole-image buffers (a strip in several scans keeps all its coefficients) are held
  // to the limits of a JPEG file.
  jpeg.ChargeWholeImage();
  jpeg.Run([&] { jpeg_start_decompress(&info); });
  const std::size_t lineBytes = p.BytesPerLine;
  if (lineBytes == 0 || destination.size() % lineBytes != 0) {
    jpeg.Run([&] { jpeg_abort_decompress(&info); });
    throw ECompressionError("Fractional JPEG scanline unsupported.");
  }
  // libjpeg writes whole decoded lines; one longer than a line of the strip goes through scratch
  // space, so nothing lands outside the line it belongs to.
  const std::size_t decodedBytes =
      std::size_t{info.output_width} * static_cast<std::size_t>(info.output_components);
  std::vector<uint8_t> scratch(decodedBytes > lineBytes ? decodedBytes : 0);
  const std::size_t lines = destination.size() / lineBytes;
  std::size_t done = 0;
  jpeg.Run([&] {
    while (done < lines && info.output_scanline < info.output_height) {
      uint8_t* const line = destination.data() + done * lineBytes;
      JSAMPROW target = scratch.empty() ? line : scratch.data();
      if (jpeg_read_scanlines(&info, &target, 1) != 1) break;
      if (!scratch.empty()) std::memcpy(line, scratch.data(), lineBytes);
      ++done;
    }
    if (info.output_scanline == info.output_height) {
      jpeg_finish_decompress(&info);
    } else {
      jpeg_abort_decompress(&info);
    }
  });
  return {source.size(), done * lineBytes};
}

}  // namespace tablora
