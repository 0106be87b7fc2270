#!/usr/bin/env bash
# Regenerates the fixture images under tests/data/. Each format has its own script beside its
# fixtures; this runs them all. Needs ImageMagick (and, for some formats, libtiff's tools).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for script in "$here"/*/make.sh; do
  [ -f "$script" ] || continue
  echo "== ${script#$here/}"
  bash "$script"
done
