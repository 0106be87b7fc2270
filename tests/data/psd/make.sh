#!/usr/bin/env bash
# Makes the PSD fixtures: one small document per colour mode, depth and compression that
# ImageMagick writes, from a swirled gradient with odd dimensions (rows of odd length).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 23x17 gradient:red-blue -swirl 90 -depth 8 "$tmp/src.png"
psd() { convert "$tmp/src.png" "${@:2}" "$1"; }
psd rgb8.psd -depth 8 -type TrueColor
psd rgb8raw.psd -depth 8 -type TrueColor -compress None
psd rgb16.psd -depth 16 -type TrueColor
psd cmyk8.psd -colorspace CMYK -depth 8 -type ColorSeparation
psd gray8.psd -colorspace Gray -depth 8
psd gray16raw.psd -colorspace Gray -depth 16 -compress None
psd gray16.psd -colorspace Gray -depth 16
psd indexed8.psd -depth 8 -colors 19 -type Palette
# ImageMagick cannot read back its own indexed documents: the same quantisation as a reference.
convert "$tmp/src.png" -depth 8 -colors 19 -type Palette indexed8.ppm
psd rgba8.psd -depth 8 -type TrueColorAlpha -alpha set -channel A -fx 'i/w' +channel
cp rgb8.psd rgb8.pdd
