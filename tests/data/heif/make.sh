#!/usr/bin/env bash
# Makes the HEIF and AVIF fixtures with libheif's encoder from a photograph (ImageMagick's rose,
# enlarged): lossless HEIC and AVIF (compared exactly, or within 2 levels, with heif-convert's
# decode), a lossy HEIC with a 64-pixel thumbnail, a lossless HEIC with alpha (the PNG logo),
# and a 10-bit lossy AVIF.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert rose: -resize 200% -strip "$tmp/photo.png"
heif-enc -q 90 -L "$tmp/photo.png" -o lossless.heic >/dev/null
heif-enc -q 60 -t 64 "$tmp/photo.png" -o thumb.heic >/dev/null
heif-enc -L ../png/logo-rgba.png -o alpha.heic >/dev/null
heif-enc -A -L "$tmp/photo.png" -o lossless.avif >/dev/null
heif-enc -A -q 60 -b 10 "$tmp/photo.png" -o deep10.avif >/dev/null
# HDR and nclx cases heif-enc 1.15 cannot write (it leaves the nclx out of HEIC files), by
# make_heif.c over libheif: 10-bit PQ in BT.2020 with a thumbnail, the same with a profile that
# swaps red and green beside its nclx (tone-mapped pictures are sRGB: the profile must not apply
# again), and with colour primaries of a reserved code (3), which libheif refuses after
# allocating the profile it hands back.
cc -O2 -o "$tmp/make_heif" make_heif.c $(pkg-config --cflags --libs libheif) -lm
"$tmp/make_heif" pq10.heic size=96x64 bits=10 cp=9 tc=16 mc=9 thumb=48
"$tmp/make_heif" pq10-icc.heic size=96x64 bits=10 cp=9 tc=16 mc=9 icc=/usr/share/color/icc/colord/SwappedRedAndGreen.icc
"$tmp/make_heif" pq10-reserved-primaries.heic size=96x64 bits=10 cp=3 tc=16 mc=9
