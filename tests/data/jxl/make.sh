#!/usr/bin/env bash
# Makes the JPEG XL fixtures with cjxl from a photograph (ImageMagick's rose, enlarged): lossless
# (compared exactly with djxl's decode), lossy, lossless with alpha (the PNG logo), and a JPEG
# recompressed losslessly whose EXIF orientation libjxl applies itself.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert rose: -resize 200% -strip "$tmp/photo.png"
cjxl --quiet -d 0 "$tmp/photo.png" lossless.jxl
cjxl --quiet -d 2 "$tmp/photo.png" lossy.jxl
cjxl --quiet -d 0 ../png/logo-rgba.png alpha.jxl
cjxl --quiet --lossless_jpeg=1 ../orientation/o6.jpg orient6.jxl
# Colour: a grey picture stored in XYB with a linear curve (libjxl brings it to sRGB itself), a
# lossless picture with the BT.709 curve, a lossless 16-bit ProPhoto picture and a red square
# whose profile swaps red and green (lossless, and lossy in XYB), and a CMYK picture with black as
# its own channel and a press profile (written by encode_jxl.c through libjxl's encoder).
convert "$tmp/photo.png" -colorspace gray -strip "$tmp/grey.png"
cjxl --quiet -d 1 -x color_space=Gra_D65_Rel_Lin "$tmp/grey.png" grey-linear.jxl
cjxl --quiet -d 0 -x color_space=RGB_D65_SRG_Rel_709 "$tmp/photo.png" bt709.jxl
icc=/usr/share/color/icc/colord
convert "$tmp/photo.png" -profile "$icc/sRGB.icc" -intent relative -profile "$icc/ProPhotoRGB.icc" -depth 16 \
  "$tmp/prophoto16.png"
cjxl --quiet -d 0 "$tmp/prophoto16.png" prophoto16.jxl
cjxl --quiet -d 0 ../icc/swapped.png swapped.jxl
cjxl --quiet -d 1 ../icc/swapped.png swapped-xyb.jxl
cc encode_jxl.c -o "$tmp/encode_jxl" -ljxl
convert ../icc/cmyk.tif "$tmp/cmyk.pam"
convert ../icc/cmyk.tif "$tmp/press.icc"
"$tmp/encode_jxl" cmyk "$tmp/cmyk.pam" "$tmp/press.icc" cmyk.jxl
# A 16-bit picture 4400 pixels wide (three DC groups) whose sections lie in the order of streaming
# encoders, AC global behind DC groups it needs (streaming_order.py rewrites its table of
# contents): libjxl 0.7 fed it in pieces loses its place; djxl, given it whole, decodes it.
convert rose: -resize '4400x400!' -seed 37 -attenuate 0.3 +noise Gaussian -depth 16 -strip "$tmp/wide.png"
cjxl --quiet -d 1 --group_order=0 "$tmp/wide.png" "$tmp/plain.jxl"
cjxl --quiet -d 1 --group_order=1 "$tmp/wide.png" "$tmp/centre.jxl"
python3 streaming_order.py "$tmp/plain.jxl" "$tmp/centre.jxl" streaming.jxl 3
# damaged.jxl: lossy.jxl with eight bytes of its first section flipped; libjxl fails on its
# context map and, built with its debug messages, prints where.
python3 -c "
d = bytearray(open('lossy.jxl', 'rb').read())
for i in range(40, 48): d[i] ^= 0x5A
open('damaged.jxl', 'wb').write(d)"
