#!/usr/bin/env bash
# Makes the GIF fixtures with ImageMagick: a photograph quantised to 256 colours, the same
# interlaced, a 4-colour gradient (2-bit codes, so the code width grows early), an animation
# whose frames differ, and a picture with a transparent colour. The tests compare each with
# giflib's decode of the same file.
set -euo pipefail
cd "$(dirname "$0")"
convert rose: -colors 256 photo.gif
convert rose: -resize 61x37! -colors 200 -interlace GIF interlaced.gif
convert -size 33x9 gradient:black-white -colors 4 gray4.gif
convert -size 24x16 -delay 10 \( rose: -resize 24x16! \) xc:red xc:blue -loop 0 animated.gif
convert -size 40x30 xc:none -fill navy -draw 'circle 20,15 20,4' -fill orange -draw 'rectangle 2,2 9,9' \
  transparent.gif
