#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test:
# the whole suite in the release build, then the non-GUI tests under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install_deps.sh

export QT_QPA_PLATFORM=offscreen
./scripts/build.sh release
(cd build && ctest --output-on-failure -j2 --timeout 600)

./scripts/build.sh asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan_suppressions.txt
(cd build-asan && ctest --output-on-failure -j2 --timeout 900 -LE gui)
