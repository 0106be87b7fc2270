#!/usr/bin/env bash
# Makes one JPEG per EXIF orientation from the same 48 x 32 picture of six coloured blocks (an
# Exif APP1 segment holding only the Orientation tag, big-endian for odd values and little-endian
# for even ones, inserted after SOI), a TIFF with each orientation, and the upright picture
# ImageMagick shows for each (its -auto-orient).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 16x16 xc:red xc:lime xc:blue +append "$tmp/top.ppm"
convert -size 16x16 xc:yellow xc:magenta xc:black +append "$tmp/bottom.ppm"
convert "$tmp/top.ppm" "$tmp/bottom.ppm" -append "$tmp/blocks.ppm"
convert "$tmp/blocks.ppm" -quality 95 "$tmp/plain.jpg"
names=(TopLeft TopRight BottomRight BottomLeft LeftTop RightTop RightBottom LeftBottom)
for o in 1 2 3 4 5 6 7 8; do
  python3 - "$tmp/plain.jpg" "o$o.jpg" "$o" <<'PY'
import struct, sys
src, dst, o = sys.argv[1], sys.argv[2], int(sys.argv[3])
e = '>' if o % 2 else '<'
tiff = (b'MM' if e == '>' else b'II') + struct.pack(e + 'HI', 42, 8)
tiff += struct.pack(e + 'H', 1) + struct.pack(e + 'HHI', 0x0112, 3, 1) + struct.pack(e + 'HH', o, 0)
tiff += struct.pack(e + 'I', 0)
body = b'Exif\0\0' + tiff
data = open(src, 'rb').read()
open(dst, 'wb').write(data[:2] + b'\xff\xe1' + struct.pack('>H', len(body) + 2) + body + data[2:])
PY
  convert "o$o.jpg" -auto-orient "upright$o.ppm"
  convert "$tmp/blocks.ppm" -orient "${names[$((o-1))]}" -compress none "o$o.tif"
done
