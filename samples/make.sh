#!/usr/bin/env bash
# Regenerates the sample folder that scripts/run.sh turns into sample-sheet.pdf: a dozen small
# pictures in the formats Tablora reads (BMP variants and JPEG) over two nested folders, and two
# files of formats whose readers are still to come, which show as a caption over an empty cell.
# Everything is drawn from ImageMagick's built-in images with fixed seeds, so reruns give the same
# pictures. Needs ImageMagick (convert).
set -euo pipefail
cd "$(dirname "$0")"
rm -rf Harbour
rm -f ./*.jpg ./*.bmp ./*.dib ./*.png
mkdir -p Harbour/Boats

im() { convert "$@"; }
plasma() {
  local seed=$1 colours=$2
  shift 2
  im -seed "$seed" -size 200x150 plasma:"$colours" "$@"
}

# The top folder: JPEG in its common kinds and 24-bit BMP.
im rose: -resize 320x210! -quality 85 rose.jpg
im wizard: -resize 240x291 -interlace Plane -quality 80 wizard-progressive.jpg
im -seed 7 -size 320x240 plasma:grey50-white -colorspace Gray -quality 85 grey-plasma.jpg
im logo: -resize 200x150 -define bmp:format=bmp3 -type TrueColor logo-24bit.bmp
im -size 200x150 gradient:navy-gold -define bmp:format=bmp3 -type TrueColor BMP3:gradient.dib
# Not yet readable: a caption and an empty cell.
im netscape: -resize 216x144 -define png:exclude-chunk=date,time netscape.png

# Palettes and packed pixels.
plasma 11 red-blue -type Palette -colors 200 -define bmp:format=bmp3 -compress None Harbour/palette-8bit.bmp
plasma 12 green-yellow -type Palette -colors 16 -define bmp:format=bmp3 Harbour/palette-4bit.bmp
im -seed 13 -size 200x150 plasma:white-black -monochrome -define bmp:format=bmp3 Harbour/mono-1bit.bmp
# Run-length coding pays on flat colour: bands of a posterised gradient.
im -size 200x150 gradient:orange-purple -type Palette -colors 24 -compress RLE BMP3:Harbour/run-length.rle

# Bit fields and alpha.
im granite: -resize 180x180 -define bmp:subtype=RGB565 Harbour/Boats/granite-565.bmp
plasma 15 cyan-magenta -alpha on -channel A -evaluate set 80% +channel -define bmp:format=bmp4 \
  Harbour/Boats/alpha-32bit.bmp
im rose: -resize 200x132! -quality 60 -sampling-factor 2x2 Harbour/Boats/rose-small.jpg
# Not yet readable either.
im -size 120x90 gradient:white-teal -compress LZW Harbour/Boats/gradient.tif
