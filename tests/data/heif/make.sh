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
