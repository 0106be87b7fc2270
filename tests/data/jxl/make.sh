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
