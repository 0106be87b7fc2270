/* Writes the lossless JPEG XL files cjxl 0.7 cannot make:
   encode_jxl cmyk in.pam profile.icc out.jxl: the inks of a CMYK PAM (as ImageMagick writes one,
     0 = no ink) stored the way JPEG XL keeps CMYK, the top of the range meaning no ink, with black
     as an extra channel and the CMYK profile embedded;
   encode_jxl premultiplied in.pam out.jxl: an sRGB RGBA PAM stored with premultiplied alpha. */
#include <jxl/encode.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned char* slurp(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  if (!f) return NULL;
  fseek(f, 0, SEEK_END);
  *size = (size_t)ftell(f);
  fseek(f, 0, SEEK_SET);
  unsigned char* data = malloc(*size);
  if (fread(data, 1, *size, f) != *size) exit(1);
  fclose(f);
  return data;
}

static int premultiplied(const char* in, const char* outPath);
static int finish(JxlEncoder* enc, const char* path);

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "premultiplied") == 0) return premultiplied(argv[2], argv[3]);
  if (argc != 5 || strcmp(argv[1], "cmyk") != 0) return 2;
  ++argv;
  size_t pamSize = 0, iccSize = 0;
  unsigned char* pam = slurp(argv[1], &pamSize);
  unsigned char* icc = slurp(argv[2], &iccSize);
  if (!pam || !icc) return 1;
  unsigned w = 0, h = 0;
  const char* p = (const char*)pam;
  const char* wp = strstr(p, "WIDTH ");
  const char* hp = strstr(p, "HEIGHT ");
  const char* end = strstr(p, "ENDHDR\n");
  if (!wp || !hp || !end || !strstr(p, "DEPTH 4")) return 1;
  w = (unsigned)atoi(wp + 6);
  h = (unsigned)atoi(hp + 7);
  const unsigned char* inks = pam + (end - p) + 7;
  size_t n = (size_t)w * h;
  unsigned char* cmy = malloc(n * 3);
  unsigned char* k = malloc(n);
  for (size_t i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) cmy[i * 3 + c] = (unsigned char)(255 - inks[i * 4 + c]);
    k[i] = (unsigned char)(255 - inks[i * 4 + 3]);
  }
  JxlEncoder* enc = JxlEncoderCreate(NULL);
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = w;
  info.ysize = h;
  info.bits_per_sample = 8;
  info.num_color_channels = 3;
  info.num_extra_channels = 1;
  info.uses_original_profile = JXL_TRUE;
  if (JxlEncoderSetBasicInfo(enc, &info) != JXL_ENC_SUCCESS) return 1;
  JxlExtraChannelInfo black;
  JxlEncoderInitExtraChannelInfo(JXL_CHANNEL_BLACK, &black);
  black.bits_per_sample = 8;
  if (JxlEncoderSetExtraChannelInfo(enc, 0, &black) != JXL_ENC_SUCCESS) return 1;
  if (JxlEncoderSetICCProfile(enc, icc, iccSize) != JXL_ENC_SUCCESS) return 1;
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc, NULL);
  JxlEncoderSetFrameLossless(settings, JXL_TRUE);
  JxlPixelFormat three = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  JxlPixelFormat one = {1, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  if (JxlEncoderAddImageFrame(settings, &three, cmy, n * 3) != JXL_ENC_SUCCESS) return 1;
  if (JxlEncoderSetExtraChannelBuffer(settings, &one, k, n, 0) != JXL_ENC_SUCCESS) return 1;
  return finish(enc, argv[3]);
}

static int finish(JxlEncoder* enc, const char* path) {
  JxlEncoderCloseInput(enc);
  size_t capacity = 1 << 20, used = 0;
  unsigned char* out = malloc(capacity);
  for (;;) {
    unsigned char* next = out + used;
    size_t avail = capacity - used;
    JxlEncoderStatus status = JxlEncoderProcessOutput(enc, &next, &avail);
    used = (size_t)(next - out);
    if (status == JXL_ENC_SUCCESS) break;
    if (status != JXL_ENC_NEED_MORE_OUTPUT) return 1;
    capacity *= 2;
    out = realloc(out, capacity);
  }
  FILE* f = fopen(path, "wb");
  if (!f || fwrite(out, 1, used, f) != used) return 1;
  fclose(f);
  JxlEncoderDestroy(enc);
  return 0;
}

static int premultiplied(const char* in, const char* outPath) {
  size_t pamSize = 0;
  unsigned char* pam = slurp(in, &pamSize);
  if (!pam) return 1;
  const char* p = (const char*)pam;
  const char* wp = strstr(p, "WIDTH ");
  const char* hp = strstr(p, "HEIGHT ");
  const char* end = strstr(p, "ENDHDR\n");
  if (!wp || !hp || !end || !strstr(p, "DEPTH 4")) return 1;
  unsigned w = (unsigned)atoi(wp + 6), h = (unsigned)atoi(hp + 7);
  unsigned char* rgba = pam + (end - p) + 7;
  size_t n = (size_t)w * h;
  for (size_t i = 0; i < n; ++i) {
    unsigned a = rgba[i * 4 + 3];
    for (int c = 0; c < 3; ++c) rgba[i * 4 + c] = (unsigned char)((rgba[i * 4 + c] * a + 127) / 255);
  }
  JxlEncoder* enc = JxlEncoderCreate(NULL);
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = w;
  info.ysize = h;
  info.bits_per_sample = 8;
  info.num_color_channels = 3;
  info.num_extra_channels = 1;
  info.alpha_bits = 8;
  info.alpha_premultiplied = JXL_TRUE;
  info.uses_original_profile = JXL_TRUE;
  if (JxlEncoderSetBasicInfo(enc, &info) != JXL_ENC_SUCCESS) return 1;
  JxlColorEncoding srgb;
  JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
  if (JxlEncoderSetColorEncoding(enc, &srgb) != JXL_ENC_SUCCESS) return 1;
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc, NULL);
  JxlEncoderSetFrameLossless(settings, JXL_TRUE);
  JxlPixelFormat four = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  if (JxlEncoderAddImageFrame(settings, &four, rgba, n * 4) != JXL_ENC_SUCCESS) return 1;
  return finish(enc, outPath);
}
