#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop finds there: the two programs
# answering --version with the project's version, the menu entry and the metainfo passing their
# validators, the icons at their sizes, the manual pages readable.
# usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
expected=(
  bin/tablora
  bin/tablora-cli
  share/applications/org.tablora.Tablora.desktop
  share/metainfo/org.tablora.Tablora.metainfo.xml
  share/icons/hicolor/48x48/apps/tablora.png
  share/icons/hicolor/128x128/apps/tablora.png
  share/icons/hicolor/256x256/apps/tablora.png
  share/icons/hicolor/scalable/apps/tablora.svg
  share/man/man1/tablora.1.gz
  share/man/man1/tablora-cli.1.gz
  share/tablora/translations/tablora_de.qm
)
for f in "${expected[@]}"; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done

[ "$(QT_QPA_PLATFORM=none "$prefix/bin/tablora" --version)" = "tablora $version" ] || fail "tablora --version"
[ "$("$prefix/bin/tablora-cli" --version)" = "tablora-cli $version" ] || fail "tablora-cli --version"

desktop-file-validate "$prefix/share/applications/org.tablora.Tablora.desktop" || fail "desktop file"
appstreamcli validate --no-net --explain "$prefix/share/metainfo/org.tablora.Tablora.metainfo.xml" >/dev/null ||
  fail "metainfo: $(appstreamcli validate --no-net "$prefix/share/metainfo/org.tablora.Tablora.metainfo.xml")"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/org.tablora.Tablora.metainfo.xml" ||
  fail "metainfo release"

for size in 48 128 256; do
  file "$prefix/share/icons/hicolor/${size}x${size}/apps/tablora.png" | grep -q "$size x $size" ||
    fail "icon $size"
done

for page in tablora tablora-cli; do
  gzip -t "$prefix/share/man/man1/$page.1.gz" || fail "manual $page"
  if command -v groff >/dev/null; then
    warnings=$(zcat "$prefix/share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "manual $page: $warnings"
  fi
done
echo "installed and checked: ${#expected[@]} files"
