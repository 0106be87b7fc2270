#!/usr/bin/env bash
# Renders the program's icon from tablora.svg at the sizes the desktop's icon theme looks for:
# icons/48/tablora.png, icons/128/tablora.png, icons/256/tablora.png. Needs rsvg-convert.
set -euo pipefail
cd "$(dirname "$0")"
for size in 48 128 256; do
  mkdir -p "icons/$size"
  rsvg-convert -w "$size" -h "$size" tablora.svg -o "icons/$size/tablora.png"
done
