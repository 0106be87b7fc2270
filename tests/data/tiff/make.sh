#!/bin/sh
# Makes the TIFF fixtures: combinations of compression, photometric, depth, byte order, planes
# and tiles that the corpus lacks. Odd sizes so tiles are clipped at the right and bottom edges.
# Needs ImageMagick, libtiff's tiffcp and python3.
set -e
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 67x45 -seed 7 plasma:red-blue -depth 8 -compress none "$tmp/rgb8.tif"
convert "$tmp/rgb8.tif" -depth 16 -compress none "$tmp/rgb16.tif"
convert "$tmp/rgb8.tif" -alpha set -channel A -fx 'i/w' -depth 8 -compress none "$tmp/rgba8.tif"
convert "$tmp/rgb8.tif" -colorspace gray -alpha set -channel A -fx 'j/h' -depth 8 -compress none "$tmp/greya8.tif"
convert "$tmp/rgb8.tif" -colorspace gray -depth 4 -compress none "$tmp/grey4.tif"
convert "$tmp/rgb8.tif" -colors 4 -type palette -depth 2 -compress none "$tmp/pal2.tif"
convert "$tmp/rgb8.tif" -colorspace cmyk -depth 8 -compress none "$tmp/cmyk8.tif"
convert "$tmp/rgb8.tif" -monochrome -type bilevel -depth 1 -compress none "$tmp/bw.tif"
tiffcp -c lzw:2 "$tmp/rgb8.tif" rgb8-lzw-pred.tif
tiffcp -B -p separate -c zip:2 "$tmp/rgb8.tif" rgb8-be-planar-zip-pred.tif
tiffcp -t -w 16 -l 16 -c packbits "$tmp/rgb8.tif" rgb8-tiled-packbits.tif
tiffcp -B -t -w 32 -l 16 -p separate -c lzw:2 "$tmp/rgb8.tif" rgb8-be-tiled-planar-lzw-pred.tif
tiffcp -c jpeg -t -w 16 -l 16 "$tmp/rgb8.tif" ycbcr-jpeg-tiled.tif
tiffcp -c jpeg -r 16 "$tmp/rgb8.tif" ycbcr-jpeg-strips.tif
tiffcp -B -c lzw:2 "$tmp/rgb16.tif" rgb16-be-lzw-pred.tif
convert "$tmp/rgb16.tif" -interlace plane -compress zip -define tiff:predictor=2 -define tiff:rows-per-strip=7 rgb16-planar-zip-pred.tif
tiffcp -c zip "$tmp/rgba8.tif" rgba8-unassociated-zip.tif
tiffcp -c lzw:2 "$tmp/greya8.tif" greya8-lzw-pred.tif
tiffcp -c packbits -r 5 "$tmp/grey4.tif" grey4-packbits.tif
tiffcp -c lzw "$tmp/pal2.tif" palette2-lzw.tif
tiffcp -B -c none "$tmp/cmyk8.tif" cmyk8-be.tif
tiffcp -c g4 "$tmp/bw.tif" bw-g4.tif
tiffcp -f lsb2msb -c g3:2d -r 9 "$tmp/bw.tif" bw-g3-2d-fill2.tif
tiffcp -t -w 16 -l 16 -c g4 "$tmp/bw.tif" bw-g4-tiled.tif
# Subsampled YCbCr, which neither tool writes outside JPEG.
convert "$tmp/rgb8.tif" "$tmp/rgb8.ppm"
python3 make_tiff.py "$tmp/rgb8.ppm" .
# Integer depths the colour manager lacks, scaled to 8 bits by the reader; a smaller picture.
convert -size 33x21 -seed 7 plasma:red-blue -depth 8 -compress none "$tmp/small.tif"
for d in 2 6 12 24 32; do convert "$tmp/small.tif" -depth $d -compress none "$tmp/rgb$d.tif"; done
for d in 6 10 12 14 24 32; do convert "$tmp/small.tif" -colorspace gray -depth $d -compress none "$tmp/grey$d.tif"; done
tiffcp -c none "$tmp/rgb2.tif" depth-rgb2.tif
tiffcp -c lzw "$tmp/rgb6.tif" depth-rgb6-lzw.tif
convert "$tmp/small.tif" -depth 12 -interlace plane -compress none "$tmp/rgb12p.tif"
tiffcp -B -c zip "$tmp/rgb12p.tif" depth-rgb12-be-planar-zip.tif
tiffcp -B -c none "$tmp/rgb24.tif" depth-rgb24-be.tif
tiffcp -c lzw:2 "$tmp/rgb32.tif" depth-rgb32-lzw-pred.tif
tiffcp -c packbits "$tmp/grey6.tif" depth-grey6-packbits.tif
tiffcp -t -w 16 -l 16 -c lzw "$tmp/grey10.tif" depth-grey10-tiled-lzw.tif
tiffcp -c none "$tmp/grey12.tif" depth-grey12.tif
tiffcp -B -c zip "$tmp/grey14.tif" depth-grey14-be-zip.tif
tiffcp -c none "$tmp/grey24.tif" depth-grey24.tif
tiffcp -B -c lzw:2 "$tmp/grey32.tif" depth-grey32-be-lzw-pred.tif
# IEEE floating-point samples, 0.0 to 1.0. ImageMagick warns (and fails) over the predictor tag it
# cannot set on uncompressed data, but writes the file.
convert "$tmp/small.tif" -define quantum:format=floating-point -depth 32 -compress none float-rgb32.tif || true
convert "$tmp/small.tif" -colorspace gray -define quantum:format=floating-point -depth 16 -compress none "$tmp/half.tif" || true
tiffcp -c zip:1 "$tmp/half.tif" float-grey16-zip.tif
convert "$tmp/small.tif" -resize 50% -define quantum:format=floating-point -depth 64 -compress none "$tmp/f64.tif" || true
tiffcp -B -c none "$tmp/f64.tif" float-rgb64-be.tif
# The floating-point predictor, differencing of floating-point bit patterns, and 24-bit floating
# point (written by the script, then differenced by tiffcp).
tiffcp -c lzw:3 float-rgb32.tif float-rgb32-lzw-pred3.tif
tiffcp -t -w 16 -l 16 -c zip:3 "$tmp/half.tif" float-grey16-tiled-zip-pred3.tif
tiffcp -c lzw:2 "$tmp/half.tif" float-grey16-lzw-pred2.tif
convert "$tmp/small.tif" -resize 50% -define quantum:format=floating-point -depth 64 -interlace plane -compress none "$tmp/f64p.tif" || true
# (libtiff 4.5 writes the floating-point predictor wrongly into big-endian files.)
tiffcp -c zip:3 "$tmp/f64p.tif" float-rgb64-planar-zip-pred3.tif
convert "$tmp/small.tif" "$tmp/small.ppm"
python3 make_tiff.py "$tmp/rgb8.ppm" . "$tmp/small.ppm"
tiffcp -c lzw:3 float-rgb24-be.tif float-rgb24-lzw-pred3.tif
# BigTIFF in the layouts classic files take: strips and tiles, planes, both byte orders, and the
# compressions with their own data paths.
tiffcp -8 -c lzw:2 "$tmp/rgb8.tif" bigtiff-rgb8-lzw-pred.tif
tiffcp -8 -B -t -w 16 -l 16 -p separate -c zip "$tmp/rgb8.tif" bigtiff-be-rgb8-tiled-planar-zip.tif
tiffcp -8 -c jpeg -t -w 16 -l 16 "$tmp/rgb8.tif" bigtiff-ycbcr-jpeg-tiled.tif
tiffcp -8 -B -c g4 "$tmp/bw.tif" bigtiff-be-bw-g4.tif
tiffcp -8 -c packbits -r 5 "$tmp/pal2.tif" bigtiff-palette2-packbits.tif
# JPEG-compressed RGB with alpha: four-component streams without a colour transform.
tiffcp -c jpeg:r -r 16 "$tmp/rgba8.tif" rgba8-jpeg-strips.tif
tiffcp -c jpeg:r -t -w 16 -l 16 "$tmp/rgba8.tif" rgba8-jpeg-tiled.tif
# Old-style JPEG: the interchange-format form and the tables-only form in strips (one restart
# interval of 16 rows each), from baseline JPEG files of 2 x 2 subsampled YCbCr.
cjpeg -quality 85 -sample 2x2 "$tmp/rgb8.ppm" > "$tmp/plain.jpg"
cjpeg -quality 85 -sample 2x2 -restart 1 "$tmp/rgb8.ppm" > "$tmp/restarts.jpg"
python3 make_tiff.py "$tmp/rgb8.ppm" . "$tmp/small.ppm" "$tmp/plain.jpg" "$tmp/restarts.jpg"
