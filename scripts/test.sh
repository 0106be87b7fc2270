#!/usr/bin/env bash
# Installs what is missing, builds three configurations and runs every test:
# the whole suite in the release build, the non-GUI tests under ASan + UBSan, and the engine and
# image library tests under ThreadSanitizer. `scripts/test.sh release` stops after the first.
set -euo pipefail
cd "$(dirname "$0")/.."
only=${1:-all}
case "$only" in
  all | release) ;;
  *)
    echo "usage: scripts/test.sh [release]" >&2
    exit 2
    ;;
esac
./scripts/install_deps.sh

export QT_QPA_PLATFORM=offscreen
./scripts/build.sh release
(cd build && ctest --output-on-failure -j2 --timeout 600)
[ "$only" = release ] && exit 0

./scripts/build.sh asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan_suppressions.txt
(cd build-asan && ctest --output-on-failure -j2 --timeout 900 -LE gui)

./scripts/build.sh tsan
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
(cd build-tsan && ctest --output-on-failure -j2 --timeout 900 -L "sheet|imaging")
