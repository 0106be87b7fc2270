#!/usr/bin/env bash
# Regenerates the JPEG fixtures and their reference decodes (binary PPM written by ImageMagick
# with the floating-point DCT, the decoder's own setting). Needs ImageMagick 6.
set -euo pipefail
cd "$(dirname "$0")"
ref() { convert "$1" -define jpeg:dct-method=float ${2:-} ppm:"${1%.jpg}.ppm"; }

# A smooth four-corner blend with two hard-edged boxes, so both flat areas and edges are compared.
pattern() {
  convert -size "$1" xc: -sparse-color Bilinear "0,0 red %[fx:w-1],0 yellow 0,%[fx:h-1] blue %[fx:w-1],%[fx:h-1] white" \
    -fill black -draw "rectangle 8,8 20,20" -fill lime -draw "rectangle 30,10 40,30" "$2"
}

pattern 64x48 png:/tmp/tablora-jpeg-pattern.png
convert /tmp/tablora-jpeg-pattern.png -strip -quality 90 -sampling-factor 2x2 colour.jpg
ref colour.jpg
convert /tmp/tablora-jpeg-pattern.png -strip -quality 90 -colorspace Gray gray.jpg
ref gray.jpg
convert /tmp/tablora-jpeg-pattern.png -strip -quality 85 -sampling-factor 1x1 -interlace JPEG progressive.jpg
ref progressive.jpg
convert /tmp/tablora-jpeg-pattern.png -strip -crop 40x1+0+20 +repage -quality 90 row1.jpg
ref row1.jpg
# ImageMagick writes CMYK with Adobe's inverted convention and the APP14 marker that says so.
convert /tmp/tablora-jpeg-pattern.png -strip -colorspace CMYK -quality 95 cmyk.jpg
ref cmyk.jpg "-colorspace sRGB"
# A bigger image cut to 60 %: the bottom rows are missing.
pattern 96x96 png:/tmp/tablora-jpeg-pattern96.png
convert /tmp/tablora-jpeg-pattern96.png -strip -quality 90 /tmp/tablora-jpeg-full96.jpg
size=$(stat -c %s /tmp/tablora-jpeg-full96.jpg)
head -c $((size * 6 / 10)) /tmp/tablora-jpeg-full96.jpg > truncated.jpg
# Real files of 60 scans (the scripts beside them), 4:4:4 and 4:2:0 (about 20 passes) and grey (60).
jpegtran -scans scans60.txt -outfile scans60.jpg progressive.jpg
jpegtran -scans scans60.txt -outfile scans60-420.jpg colour.jpg
jpegtran -scans scans60-grey.txt -outfile scans60-grey.jpg gray.jpg
# A PNG that only carries a JPEG name.
convert /tmp/tablora-jpeg-pattern.png png:png-named.jpg
: > empty.jpg
rm -f /tmp/tablora-jpeg-pattern.png /tmp/tablora-jpeg-pattern96.png /tmp/tablora-jpeg-full96.jpg

# Progressive grey files whose scans cost far more than their bytes: a first DC scan and empty AC
# refinement scans, no entropy-coded data at all (libjpeg fills in zero bits), every code one bit.
# 16384 x 16384 with 2,001 scans and 16000 x 16000 with 499: each scan walks 4 million blocks.
many_scans() {
  python3 - "$@" <<'PY'
import struct, sys
width, height, scans, out = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
seg = lambda marker, body: b"\xff" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body
f = b"\xff\xd8" + seg(0xDB, b"\x00" + b"\x01" * 64)
f += seg(0xC2, struct.pack(">BHHB", 8, height, width, 1) + b"\x01\x11\x00")
for table in (0x00, 0x10):
    f += seg(0xC4, bytes([table, 1]) + b"\x00" * 15 + b"\x00")
f += seg(0xDA, b"\x01\x01\x00\x00\x00\x00")
f += seg(0xDA, b"\x01\x01\x00\x01\x3f\x10") * (scans - 1)
open(out, "wb").write(f + b"\xff\xd9")
PY
}
many_scans 16384 16384 2001 scans2000.jpg
many_scans 16000 16000 499 scans499.jpg
