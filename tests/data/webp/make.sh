#!/usr/bin/env bash
# Makes the WebP fixtures with libwebp's tools from a photograph (ImageMagick's rose, enlarged so
# that scaled decoding has room): lossy, lossless, lossless with alpha (the PNG logo), an
# animation of two frames whose second is smaller and offset, and a lossy file carrying an EXIF
# orientation of 6. The tests compare them with dwebp's decode.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert rose: -resize 200% -strip "$tmp/photo.png"
cwebp -quiet -q 80 -metadata none "$tmp/photo.png" -o lossy.webp
cwebp -quiet -lossless -metadata none "$tmp/photo.png" -o lossless.webp
cwebp -quiet -lossless -exact -metadata none ../png/logo-rgba.png -o alpha.webp
convert -size 140x92 xc:'#2080c0' -strip "$tmp/f1.png"
convert "$tmp/f1.png" -fill '#f0a000' -draw 'rectangle 60,40 99,69' -strip "$tmp/f2.png"
img2webp -loop 0 -lossless "$tmp/f1.png" -d 100 "$tmp/f2.png" -o animated.webp 2>/dev/null
# An EXIF chunk holding a little-endian TIFF structure with Orientation 6.
printf 'II*\0\010\0\0\0\001\0\022\001\003\0\001\0\0\0\006\0\0\0\0\0\0\0' >"$tmp/exif"
webpmux -set exif "$tmp/exif" lossy.webp -o orient6.webp
