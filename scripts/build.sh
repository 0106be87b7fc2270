#!/usr/bin/env bash
# Configures and builds one configuration: scripts/build.sh [release|asan|tsan] [TARGET...]
# release is CMake's Release configuration, the one a packager builds, with warnings as errors.
# Without targets everything is built: programs, tests, benchmarks and fuzz replays.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
shift || true
# Paths inside the checkout are hashed relative to it, so a fresh clone elsewhere (CI's) reuses
# what earlier builds compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
jobs=${JOBS:-2}
case "$kind" in
  release)
    dir=build
    options=(-DCMAKE_BUILD_TYPE=Release)
    ;;
  asan)
    dir=build-asan
    options=(-DCMAKE_BUILD_TYPE=Debug -DTABLORA_SANITIZE=ON -DTABLORA_BENCH=OFF)
    ;;
  tsan)
    # The engine and the image library under ThreadSanitizer: pages load their pictures on
    # worker threads.
    dir=build-tsan
    options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABLORA_TSAN=ON -DTABLORA_BENCH=OFF -DTABLORA_GUI=OFF)
    ;;
  *)
    echo "usage: scripts/build.sh [release|asan|tsan] [TARGET...]" >&2
    exit 2
    ;;
esac
if ! cmake -S . -B "$dir" -G Ninja "${options[@]}" -DTABLORA_WERROR=ON >/dev/null; then
  echo "scripts/build.sh: the configure step failed (cmake -S . -B $dir); scripts/install_deps.sh installs what it needs" >&2
  exit 1
fi
targets=()
for target in "$@"; do targets+=(--target "$target"); done
if ! cmake --build "$dir" -j"$jobs" "${targets[@]}"; then
  echo "scripts/build.sh: the build step failed (cmake --build $dir)" >&2
  exit 1
fi
