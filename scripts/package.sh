#!/usr/bin/env bash
# Builds the Debian package of the release build: build/tablora_VERSION_ARCH.deb.
# Its dependencies are the packages of the libraries the two programs link, found by
# dpkg-shlibdeps (dpkg-dev).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install_deps.sh
./scripts/build.sh release
(cd build && cpack -G DEB >/dev/null)
ls "$PWD"/build/tablora_*.deb
