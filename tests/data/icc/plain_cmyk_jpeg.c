/* Writes raw 8-bit CMYK ink amounts as a CMYK JPEG without Adobe's APP14 marker (so the inks are
   stored as they are, neither inverted nor as YCCK), with an ICC profile.
   cc plain_cmyk_jpeg.c -ljpeg && ./a.out WIDTH HEIGHT IN.cmyk PROFILE.icc OUT.jpg */
#include <stdio.h>
#include <stdlib.h>
#include <jpeglib.h>

static unsigned char* ReadAll(const char* path, long* size) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) exit(1);
  fseek(f, 0, SEEK_END);
  *size = ftell(f);
  fseek(f, 0, SEEK_SET);
  unsigned char* data = malloc((size_t)*size);
  if (fread(data, 1, (size_t)*size, f) != (size_t)*size) exit(1);
  fclose(f);
  return data;
}

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  const int width = atoi(argv[1]), height = atoi(argv[2]);
  long inkSize = 0, profileSize = 0;
  unsigned char* inks = ReadAll(argv[3], &inkSize);
  unsigned char* profile = ReadAll(argv[4], &profileSize);
  if (inkSize != (long)width * height * 4) return 1;
  FILE* out = fopen(argv[5], "wb");
  if (out == NULL) return 1;
  struct jpeg_compress_struct info;
  struct jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, out);
  info.image_width = (JDIMENSION)width;
  info.image_height = (JDIMENSION)height;
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, JCS_CMYK);
  jpeg_set_quality(&info, 98, TRUE);
  info.write_Adobe_marker = FALSE;
  jpeg_start_compress(&info, TRUE);
  jpeg_write_icc_profile(&info, profile, (unsigned int)profileSize);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = inks + (size_t)info.next_scanline * (size_t)width * 4;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  fclose(out);
  return 0;
}
