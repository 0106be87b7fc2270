#!/usr/bin/env bash
# Installs what is missing, builds Tablora and starts it. Without a display it starts the program
# on a virtual one (Xvfb), so a headless machine can still run it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install_deps.sh
./scripts/build.sh release
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/src/app/tablora "$@"
fi
echo "No display found: starting Tablora on a virtual display (Xvfb)." >&2
exec xvfb-run -a -s "-screen 0 1280x1024x24" build/src/app/tablora "$@"
