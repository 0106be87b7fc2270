#!/usr/bin/env bash
# Configures and builds one configuration: scripts/build.sh [release|asan|tsan]
# release is CMake's Release configuration, the one a packager builds, with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
# Paths inside the checkout are hashed relative to it, so a fresh clone elsewhere (CI's) reuses
# what earlier builds compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
jobs=${JOBS:-2}
case "$kind" in
  release)
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABLORA_WERROR=ON >/dev/null
    cmake --build build -j"$jobs"
    ;;
  asan)
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTABLORA_SANITIZE=ON -DTABLORA_WERROR=ON \
      -DTABLORA_BENCH=OFF >/dev/null
    cmake --build build-asan -j"$jobs"
    ;;
  tsan)
    # The engine and the image library under ThreadSanitizer: pages load their pictures on
    # worker threads.
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABLORA_TSAN=ON \
      -DTABLORA_WERROR=ON -DTABLORA_BENCH=OFF -DTABLORA_GUI=OFF >/dev/null
    cmake --build build-tsan -j"$jobs"
    ;;
  *)
    echo "usage: scripts/build.sh [release|asan|tsan]" >&2
    exit 2
    ;;
esac
