// Writes HEIF and AVIF fixtures heif-enc cannot: any nclx (heif-enc 1.15 leaves it out of HEIC
// files), HDR transfers, an ICC profile beside the nclx, codes libheif does not know, a thumbnail.
// The picture is a colour gradient over sRGB, coded for the transfer asked for: PQ and HLG place
// sRGB's white at 203 cd/m², as HDR graphics white.
//
//   make_heif OUT KEY=VALUE...  keys: size=WxH bits=8|10|12 cp= tc= mc= full=0|1 (the nclx)
//   thumb=N (a thumbnail of at most N pixels) icc=FILE (written beside the nclx) av1=1 (AVIF)
//   grey=1 (one channel); MAKE_HEIF_CHROMA=420|422|444 (HEVC, default 444)
#include <libheif/heif.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static double SrgbLinear(double v) { return v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4); }

static double Pq(double nits) {
  const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
  const double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
  const double y = pow(nits / 10000.0, m1);
  return pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

static double Hlg(double nits) {
  // The inverse of the 1000 cd/m² display's system gamma of 1.2, then the OETF.
  const double scene = pow(nits / 1000.0, 1 / 1.2);
  const double a = 0.17883277, b = 0.28466892, c = 0.55991073;
  return scene <= 1.0 / 12 ? sqrt(3 * scene) : a * log(12 * scene - b) + c;
}

static void Check(struct heif_error error, const char* what) {
  if (error.code != heif_error_Ok) {
    fprintf(stderr, "make_heif: %s: %s\n", what, error.message);
    exit(1);
  }
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: make_heif OUT KEY=VALUE...\n");
    return 2;
  }
  int w = 64, h = 48, bits = 8, cp = 1, tc = 13, mc = 6, full = 1, thumb = 0, av1 = 0, grey = 0;
  const char* icc = NULL;
  for (int i = 2; i < argc; ++i) {
    const char* v = strchr(argv[i], '=');
    if (v == NULL) return 2;
    ++v;
    if (strncmp(argv[i], "size=", 5) == 0) sscanf(v, "%dx%d", &w, &h);
    if (strncmp(argv[i], "bits=", 5) == 0) bits = atoi(v);
    if (strncmp(argv[i], "cp=", 3) == 0) cp = atoi(v);
    if (strncmp(argv[i], "tc=", 3) == 0) tc = atoi(v);
    if (strncmp(argv[i], "mc=", 3) == 0) mc = atoi(v);
    if (strncmp(argv[i], "full=", 5) == 0) full = atoi(v);
    if (strncmp(argv[i], "thumb=", 6) == 0) thumb = atoi(v);
    if (strncmp(argv[i], "av1=", 4) == 0) av1 = atoi(v);
    if (strncmp(argv[i], "grey=", 5) == 0) grey = atoi(v);
    if (strncmp(argv[i], "icc=", 4) == 0) icc = v;
  }
  const int deep = bits > 8;
  const int channels = grey ? 1 : 3;
  struct heif_image* image = NULL;
  Check(heif_image_create(w, h, grey ? heif_colorspace_monochrome : heif_colorspace_RGB,
                          grey ? heif_chroma_monochrome : deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB,
                          &image),
        "image");
  const enum heif_channel channel = grey ? heif_channel_Y : heif_channel_interleaved;
  Check(heif_image_add_plane(image, channel, w, h, bits), "plane");
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, channel, &stride);
  const double most = (1 << bits) - 1;
  // BT.709 to BT.2020 primaries, in linear light.
  static const double kTo2020[3][3] = {{0.6274, 0.3293, 0.0433}, {0.0691, 0.9195, 0.0114}, {0.0164, 0.0880, 0.8956}};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double rgb[3] = {(double)x / (w - 1), (double)y / (h - 1), 0.5 + 0.5 * sin(x * 0.2) * cos(y * 0.15)};
      if (grey) rgb[0] = rgb[1] = rgb[2] = (rgb[0] + rgb[1]) / 2;
      double code[3];
      for (int c = 0; c < 3; ++c) code[c] = rgb[c];
      if (tc == 16 || tc == 18) {
        double linear[3], wide[3];
        for (int c = 0; c < 3; ++c) linear[c] = SrgbLinear(rgb[c]);
        for (int c = 0; c < 3; ++c) {
          wide[c] = cp == 9 ? kTo2020[c][0] * linear[0] + kTo2020[c][1] * linear[1] + kTo2020[c][2] * linear[2] : linear[c];
          code[c] = tc == 16 ? Pq(wide[c] * 203) : Hlg(wide[c] * 203);
        }
      }
      for (int c = 0; c < channels; ++c) {
        const unsigned value = (unsigned)lround(code[c] * most);
        if (deep) {
          uint8_t* p = plane + (size_t)y * stride + ((size_t)x * channels + c) * 2;
          p[0] = (uint8_t)(value & 0xFF);
          p[1] = (uint8_t)(value >> 8);
        } else {
          plane[(size_t)y * stride + (size_t)x * channels + c] = (uint8_t)value;
        }
      }
    }
  }
  struct heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
  // Set directly: the setters refuse the codes libheif does not know, which files carry.
  nclx->color_primaries = (enum heif_color_primaries)cp;
  nclx->transfer_characteristics = (enum heif_transfer_characteristics)tc;
  nclx->matrix_coefficients = (enum heif_matrix_coefficients)mc;
  nclx->full_range_flag = (uint8_t)full;
  Check(heif_image_set_nclx_color_profile(image, nclx), "nclx");
  if (icc != NULL) {
    FILE* f = fopen(icc, "rb");
    if (f == NULL) return 1;
    static uint8_t profile[1 << 20];
    const size_t size = fread(profile, 1, sizeof profile, f);
    fclose(f);
    Check(heif_image_set_raw_color_profile(image, "prof", profile, size), "icc");
  }
  struct heif_context* context = heif_context_alloc();
  struct heif_encoder* encoder = NULL;
  Check(heif_context_get_encoder_for_format(context, av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder),
        "encoder");
  heif_encoder_set_lossy_quality(encoder, 90);
  const char* chroma = getenv("MAKE_HEIF_CHROMA");
  if (!av1 && !grey) heif_encoder_set_parameter(encoder, "chroma", chroma != NULL ? chroma : "444");
  struct heif_encoding_options* options = heif_encoding_options_alloc();
  options->macOS_compatibility_workaround_no_nclx_profile = 0;
  options->save_two_colr_boxes_when_ICC_and_nclx_available = 1;
  options->output_nclx_profile = nclx;
  struct heif_image_handle* handle = NULL;
  Check(heif_context_encode_image(context, image, encoder, options, &handle), "encode");
  if (thumb > 0) {
    struct heif_image_handle* thumbnail = NULL;
    Check(heif_context_encode_thumbnail(context, image, handle, encoder, options, thumb, &thumbnail), "thumbnail");
    heif_image_handle_release(thumbnail);
  }
  Check(heif_context_write_to_file(context, argv[1]), "write");
  heif_image_handle_release(handle);
  heif_encoding_options_free(options);
  heif_encoder_release(encoder);
  heif_nclx_color_profile_free(nclx);
  heif_image_release(image);
  heif_context_free(context);
  return 0;
}
