#!/usr/bin/env bash
# Makes the PNG fixtures with ImageMagick: a photograph (8-bit RGB), a logo whose background is
# fully transparent and whose edges are partly so (RGBA), a palette picture with alpha per entry
# (tRNS), and a 16-bit grey picture stored interlaced (Adam7). The tests compare each with
# libpng's decode of the same file and damage them; the fuzz replay runs over them.
set -euo pipefail
cd "$(dirname "$0")"
strip=(-define png:exclude-chunks=date,time -strip)
convert rose: "${strip[@]}" PNG24:rgb8.png
convert -size 48x32 xc:none -fill '#1060c0' -draw 'roundrectangle 3,3 44,28 8,8' \
  -fill '#f0a000' -draw 'circle 24,16 24,8' -channel A -blur 0x1 +channel "${strip[@]}" PNG32:logo-rgba.png
convert -size 24x16 xc:none -fill red -draw 'circle 12,8 12,2' -fill '#00800080' -draw 'rectangle 0,0 7,15' \
  -colors 8 "${strip[@]}" PNG8:palette-trns.png
convert rose: -colorspace Gray -depth 16 -interlace PNG -define png:bit-depth=16 \
  -define png:color-type=0 "${strip[@]}" grey16-adam7.png
convert rose: -alpha set -channel A -fx 'i/w' +channel -depth 16 "${strip[@]}" PNG64:rgba16.png
