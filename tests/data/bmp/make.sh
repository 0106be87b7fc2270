#!/usr/bin/env bash
# Regenerates the BMP fixtures with ImageMagick: one small picture (ImageMagick's built-in rose,
# scaled to 23 x 15 so rows need padding) written in each BMP variant ImageMagick can produce,
# and beside each a binary PPM of ImageMagick's own decode, which the tests compare against.
# Hand-made variants (top-down, RLE4, damaged headers) are byte arrays in the tests instead.
set -euo pipefail
cd "$(dirname "$0")"
src="rose: -resize 23x15!"
convert $src -monochrome -compress None BMP3:pal1.bmp
convert $src -colors 16 -compress None BMP3:pal4.bmp
convert $src -colors 200 -compress None BMP3:pal8.bmp
convert $src -colors 200 -compress RLE BMP3:pal8rle.bmp
convert $src -type TrueColor -compress None BMP3:rgb24.bmp
convert $src -type TrueColor -compress None BMP:rgb24v5.bmp
convert $src -define bmp:subtype=RGB565 BMP:rgb16-565.bmp
convert $src -define bmp:subtype=RGB555 BMP:rgb16-555.bmp
convert $src -alpha on -channel A -evaluate set 100% +channel BMP:rgba32v5.bmp
convert $src -type TrueColor BMP2:core24.bmp
convert $src -colors 200 BMP2:core8.bmp
for f in *.bmp; do
  convert "$f" -depth 8 "${f%.bmp}.ppm"
done
