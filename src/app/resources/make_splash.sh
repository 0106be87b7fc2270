#!/usr/bin/env bash
# Draws the splash picture: a contact sheet on a dark card with the program's name. Everything in
# the key colour #FF0066 is see-through on screen, so the rounded card and the sheet's torn-off
# corner give the splash its shape. Needs ImageMagick; writes splash.bmp (24-bit, uncompressed).
#
# The key is all or nothing: an edge pixel blended between the key and the card would show as a
# pink fringe. The two shapes that border the key are therefore drawn without anti-aliasing, so
# every pixel is either exactly the key or drawn; inside the card anti-aliasing is welcome again.
set -euo pipefail
cd "$(dirname "$0")"
key='#FF0066'
args=(-size 400x300 "xc:$key" +antialias
  -fill '#1f2933' -draw 'roundrectangle 8,40 391,291 28,28'
  -fill '#f5f1e8' -draw 'polygon 196,10 372,10 372,238 348,262 196,262'
  -antialias
  -fill '#d9d2c3' -draw 'polygon 348,262 372,238 348,238')
colours=('#6b8fb3' '#c98b5a' '#7fa35c' '#b35a5a' '#5a9ea3' '#a38c5c' '#8a6bb3' '#5c7fa3' '#b3a05a')
i=0
for row in 0 1 2; do
  for col in 0 1 2; do
    x=$((208 + col * 54)); y=$((40 + row * 70))
    args+=(-fill "${colours[$i]}" -draw "rectangle $x,$y $((x + 44)),$((y + 40))")
    args+=(-fill '#9aa0a6' -draw "rectangle $((x + 6)),$((y + 46)) $((x + 38)),$((y + 49))")
    i=$((i + 1))
  done
done
args+=(-fill '#3b4750' -draw 'rectangle 208,22 300,28' -draw 'rectangle 330,22 360,26')
args+=(-font DejaVu-Sans-Bold -pointsize 34 -fill '#f5f1e8' -draw "text 26,160 'Tablora'")
# The line under the name is the window's own label, in the user's language.
convert "${args[@]}" -type TrueColor BMP3:splash.bmp

# The program's icon: the same sheet on a transparent background.
convert -size 128x128 xc:none \
  -fill '#f5f1e8' -stroke '#1f2933' -strokewidth 4 -draw 'polygon 22,6 106,6 106,98 84,122 22,122' \
  -stroke none -fill '#6b8fb3' -draw 'rectangle 32,20 60,44' -fill '#c98b5a' -draw 'rectangle 68,20 96,44' \
  -fill '#7fa35c' -draw 'rectangle 32,56 60,80' -fill '#b35a5a' -draw 'rectangle 68,56 96,80' \
  -fill '#5a9ea3' -draw 'rectangle 32,92 60,112' -define png:exclude-chunk=date,time tablora.png
