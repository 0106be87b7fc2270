#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Tablora need, when missing,
# on a machine that has only Debian's base system (scripts/check_fresh_machine.sh proves it).
# `install_deps.sh fuzz` adds what scripts/fuzz.sh builds with.
# Safe to run again; silent unless something has to be installed or fails.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-tools-dev qt6-svg-dev libqt6opengl6-dev libgl-dev qt6-l10n-tools qt6-translations-l10n
  libxcb1-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth poppler-utils imagemagick
  libpng-dev libtiff-dev libtiff-tools libgif-dev
  libwebp-dev libheif-dev libavif-dev libjxl-dev libexiv2-dev libraw-dev webp libheif-examples libjxl-tools libraw-bin
  liblcms2-dev liblcms2-utils colord-data libgs-common libimage-exiftool-perl libavif-bin
  fonts-dejavu-core
  python3
  cups-client cups printer-driver-cups-pdf
  desktop-file-utils appstream dpkg-dev file librsvg2-bin groff-base
  libqpdf-dev qpdf
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
)
for group in "$@"; do
  case "$group" in
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *)
      echo "usage: install_deps.sh [fuzz]" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "Installing: ${missing[*]}"
if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "Package installation failed." >&2
  exit 1
fi
