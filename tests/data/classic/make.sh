#!/usr/bin/env bash
# Draws the Classic pages of samples/ that classic_reference_test compares with (see README).
set -euo pipefail
cd "$(dirname "$0")"
cli=${1:-../../../build/src/cli/tablora-cli}
samples=../../../samples
common=(--no-cache --jobs 1 --quiet --title "Harbour days")
"$cli" preview "$samples" -o preview-3x2-p1.png --rows 3 --cols 2 "${common[@]}"
"$cli" preview "$samples" -o preview-3x2-facing-p2.png --page 2 --rows 3 --cols 2 --facing "${common[@]}"
"$cli" preview "$samples" -o preview-600x700.png --size 600x700 "${common[@]}"
"$cli" sheet "$samples" -o page600.png "${common[@]}"
mv page600-001.png page600-p1.png
