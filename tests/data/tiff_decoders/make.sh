#!/usr/bin/env bash
# Regenerates the TIFF strip fixtures with libtiff's tools (tiffcp, fax2tiff) and ImageMagick 6.
# The tests decode every strip of these files and compare with what libtiff decodes from it.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
samples=../../../samples

# A bilevel page of odd width: text, a rule wider than a byte run and a black block at the left
# edge, so rows start black and runs cross byte boundaries.
convert -size 301x120 xc:white -font DejaVu-Sans -pointsize 22 -fill black \
  -annotate +14+30 'Tablora fax 0123' -annotate +6+70 'Group 3 and 4' \
  -draw 'rectangle 0,80 40,119' -draw 'rectangle 60,100 300,104' \
  -monochrome pbm:"$tmp/page.pbm"
ppm2tiff -c none "$tmp/page.pbm" "$tmp/page.tif"
tiffcp -r 32 -c g3 "$tmp/page.tif" fax-g3-1d.tif
tiffcp -r 32 -c g3:2d "$tmp/page.tif" fax-g3-2d.tif
tiffcp -r 32 -c g3:2d:fill -f lsb2msb "$tmp/page.tif" fax-g3-2d-fill-lsb.tif
tiffcp -r 32 -c g4 "$tmp/page.tif" fax-g4.tif
tiffcp -r 32 -c g4 -f lsb2msb "$tmp/page.tif" fax-g4-lsb.tif
# fax2tiff from the raw data of a one-strip 1-D file: EOL-aligned 2-D output in its own
# (least significant bit first) fill order.
tiffcp -r 1000 -c g3 "$tmp/page.tif" "$tmp/one.tif"
# The first strip of a file: its offset and byte count.
strip0() { tiffdump "$1" | awk -v tag="$2" '$1 == tag { sub(/.*</, ""); sub(/[ >].*/, ""); print; exit }'; }
cut0() { tail -c +$(($(strip0 "$1" StripOffsets) + 1)) "$1" | head -c "$(strip0 "$1" StripByteCounts)"; }
cut0 "$tmp/one.tif" > "$tmp/page.g3"
fax2tiff -M -X 301 -r 40 -o fax2tiff-2d.tif "$tmp/page.g3" 2>/dev/null

# Colour and grey pictures, cut to strips whose last one is short.
convert "$samples/rose.jpg" -resize 96x58! -depth 8 -compress none "$tmp/rgb.tif"
convert "$samples/grey-plasma.jpg" -resize 90x61! -depth 8 -colorspace Gray -compress none "$tmp/gray.tif"
tiffcp -r 16 -c lzw "$tmp/rgb.tif" lzw-rgb.tif
tiffcp -r 13 -c lzw:2 "$tmp/gray.tif" lzw-gray-predictor.tif
tiffcp -r 16 -c jpeg "$tmp/rgb.tif" jpeg-ycbcr.tif
tiffcp -r 16 -c jpeg:r "$tmp/rgb.tif" jpeg-rgb.tif
tiffcp -r 16 -c jpeg "$tmp/gray.tif" jpeg-gray.tif

# Seeds for the fuzz target (tiff_decoders_fuzz): a decoder number, the width (16 bits, low
# byte first), the rows - 1, flags (bit 0 fill order 2; JPEG: colour scheme, sampling), the length
# of a JPEGTables block, then the strip.
mkdir -p seeds
seed() {  # name decoder width rows flags; the strip on standard input
  local w=$3
  printf "$(printf '\\x%02x' "$2" $((w & 255)) $((w >> 8)) $(($4 - 1)) "$5" 0)" > "seeds/$1"
  cat >> "seeds/$1"
}
cut0 lzw-rgb.tif | seed lzw 0 288 16 0
cut0 fax-g3-1d.tif | seed g3-1d 4 301 32 0
cut0 fax-g3-2d.tif | seed g3-2d 5 301 32 0
cut0 fax-g4-lsb.tif | seed g4-lsb 6 301 32 1
convert "$samples/rose.jpg" -resize 32x16! -strip -quality 80 -sampling-factor 2x2 jpeg:- | seed jpeg-ycbcr 7 32 16 $((0x30))
corpus=../../../../shared/corpus
if [ -f "$corpus/libtiff-pics/text.tif" ]; then cut0 "$corpus/libtiff-pics/text.tif" | head -c 4000 | seed thunder 1 1512 64 0; fi
