#!/usr/bin/env bash
# Installs what is missing and builds Tablora. With a display it starts the program; without one
# it makes a contact sheet of the sample folder, sample-sheet.pdf at the top of the checkout,
# with the command-line companion, and says where it is. Arguments go to the program or, without
# a display, to `tablora-cli sheet` (for example --rows 4 --cols 3 --title "Samples").
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install_deps.sh
# Only what runs: the window, the command line and the catalogues (built with the window).
./scripts/build.sh release tablora tablora-cli
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/src/app/tablora "$@"
fi
out="$PWD/sample-sheet.pdf"
echo "No display found: making a contact sheet of samples/ instead of starting the window." >&2
build/src/cli/tablora-cli sheet samples -o "$out" --title "Tablora samples" "$@"
echo "The contact sheet is in $out"
