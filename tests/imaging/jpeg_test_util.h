#pragma once

// Oracles and builders for the JPEG tests: a binary PPM reader for ImageMagick's reference
// decodes, a plain libjpeg decode with the image's own settings, and a libjpeg encoder for files
// ImageMagick cannot make (YCCK, CMYK without Adobe's marker).

#include <cctype>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "support/reader_harness.h"
#include "support/test_paths.h"

namespace tablora::test {


inline std::filesystem::path JpegFixture(const std::string& name) { return DataDir() / "jpeg" / name; }

// Interleaved samples top row first: red, green, blue for colour, one byte for grey.
struct RawImage {
  int width = 0;
  int height = 0;
  int components = 0;
  std::vector<uint8_t> samples;
  const uint8_t* At(int x, int y) const {
    return samples.data() + (static_cast<std::size_t>(y) * width + x) * components;
  }
};

// A PPM reference as red, green, blue samples.
inline RawImage ReadPpm(const std::filesystem::path& path) {
  RawImage image;
  const std::optional<RgbaImage> rgba = ParsePnm(FileBytes(path));
  if (!rgba) return image;
  image.width = rgba->width;
  image.height = rgba->height;
  image.components = 3;
  for (std::size_t i = 0; i < rgba->rgba.size(); i += 4) {
    image.samples.insert(image.samples.end(), rgba->rgba.begin() + static_cast<std::ptrdiff_t>(i),
                         rgba->rgba.begin() + static_cast<std::ptrdiff_t>(i + 3));
  }
  return image;
}

namespace detail {
struct ReferenceError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
inline void ReferenceErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ReferenceError*>(info->err)->jump, 1);
}
inline void ReferenceSilence(j_common_ptr, int) {}
}  // namespace detail

// Plain libjpeg with the decoder's settings (floating-point DCT, block smoothing, scale 1/denom),
// RGB or grey output without quantisation. Returns an empty image when libjpeg fails.
inline RawImage ReferenceDecode(const std::vector<uint8_t>& bytes, unsigned denominator = 1) {
  RawImage image;
  jpeg_decompress_struct info{};
  detail::ReferenceError error{};
  info.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = &detail::ReferenceErrorExit;
  error.pub.emit_message = &detail::ReferenceSilence;
  jpeg_create_decompress(&info);
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return RawImage{};
  }
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.dct_method = JDCT_FLOAT;
  info.do_block_smoothing = TRUE;
  info.scale_num = 1;
  info.scale_denom = denominator;
  if (info.out_color_space != JCS_GRAYSCALE) info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  image.width = static_cast<int>(info.output_width);
  image.height = static_cast<int>(info.output_height);
  image.components = info.output_components;
  image.samples.resize(static_cast<std::size_t>(image.width) * image.height * image.components);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image.samples.data() + static_cast<std::size_t>(info.output_scanline) *
                                              image.width * image.components;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return image;
}

// Encodes interleaved samples (in_space with components per pixel) at quality 100 without
// chroma subsampling, stored in file_space; adobe says whether Adobe's APP14 marker is written.
// `tune` may change the settings last (progression, sampling, restarts).
inline std::vector<uint8_t> Encode(int width, int height, int components, J_COLOR_SPACE inSpace,
                                   J_COLOR_SPACE fileSpace, bool adobe,
                                   const std::vector<uint8_t>& samples,
                                   const std::function<void(jpeg_compress_struct&)>& tune = {}) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = inSpace;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, fileSpace);
  jpeg_set_quality(&info, 100, TRUE);
  for (int c = 0; c < info.num_components; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
  info.write_Adobe_marker = adobe ? TRUE : FALSE;
  if (tune) tune(info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(samples.data()) +
                   static_cast<std::size_t>(info.next_scanline) * width * components;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  std::free(out);
  jpeg_destroy_compress(&info);
  return bytes;
}

// A progressive file of `scans` scans that costs its decoder far more than its bytes: a first DC
// scan (all components, interleaved; its data all zero bits, one code per block, or none at all),
// for colour an AC scan of each component, and then empty AC refinement scans, one component each
// in turn. Every code is one bit, every sample of the picture mid-grey.
inline std::vector<uint8_t> ManyScanJpeg(int width, int height, int components, int scans, bool dcData) {
  std::vector<uint8_t> f{0xFF, 0xD8};
  const auto u16 = [&](int v) { f.insert(f.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}); };
  const auto segment = [&](uint8_t marker, int length) { f.insert(f.end(), {0xFF, marker}); u16(length); };
  segment(0xDB, 67);
  f.push_back(0);
  f.insert(f.end(), 64, 1);
  segment(0xC2, 8 + 3 * components);
  f.push_back(8);
  u16(height);
  u16(width);
  f.push_back(static_cast<uint8_t>(components));
  for (int c = 1; c <= components; ++c) f.insert(f.end(), {static_cast<uint8_t>(c), 0x11, 0});
  for (const uint8_t table : {uint8_t{0x00}, uint8_t{0x10}}) {  // one code, "0": DC size 0, AC end of block
    segment(0xC4, 20);
    f.push_back(table);
    f.push_back(1);
    f.insert(f.end(), 15, 0);
    f.push_back(0);
  }
  const auto scan = [&](const std::vector<int>& ids, int ss, int se, int approximation) {
    segment(0xDA, 6 + 2 * static_cast<int>(ids.size()));
    f.push_back(static_cast<uint8_t>(ids.size()));
    for (const int id : ids) f.insert(f.end(), {static_cast<uint8_t>(id), 0x00});
    f.insert(f.end(), {static_cast<uint8_t>(ss), static_cast<uint8_t>(se), static_cast<uint8_t>(approximation)});
  };
  std::vector<int> all;
  for (int c = 1; c <= components; ++c) all.push_back(c);
  scan(all, 0, 0, 0);
  if (dcData) {
    const std::size_t blocks = std::size_t{(static_cast<unsigned>(width) + 7) / 8} * ((static_cast<unsigned>(height) + 7) / 8);
    f.insert(f.end(), (blocks * static_cast<unsigned>(components) + 7) / 8, 0);
  }
  int done = 1;
  for (int c = 1; components > 1 && c <= components && done < scans; ++c, ++done) scan({c}, 1, 63, 0x00);
  for (int c = 0; done < scans; ++done, c = (c + 1) % components) scan({c + 1}, 1, 63, 0x10);
  f.insert(f.end(), {0xFF, 0xD9});
  return f;
}

}  // namespace tablora::test
