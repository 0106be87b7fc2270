#!/usr/bin/env bash
# check_translations.sh LUPDATE CATALOGUE.ts LUPDATE_OPTIONS... -- SOURCES...
# Collects the texts of the sources into a copy of the catalogue, as update_translations would,
# and fails on every text of the copy that has no finished translation: a new text, a changed
# one, or one left unfinished in the catalogue.
set -euo pipefail
lupdate=$1
catalogue=$2
shift 2
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  options+=("$1")
  shift
done
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy="$work/$(basename "$catalogue")"
cp "$catalogue" "$copy"
"$lupdate" "${options[@]}" "$@" -ts "$copy" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
python3 - "$copy" "$catalogue" <<'PY'
import sys
import xml.etree.ElementTree as ET

copy, catalogue = sys.argv[1], sys.argv[2]
missing = []
count = 0
for context in ET.parse(copy).getroot().iter("context"):
    name = context.findtext("name")
    for message in context.iter("message"):
        count += 1
        translation = message.find("translation")
        kind = translation.get("type") if translation is not None else "unfinished"
        if kind in ("unfinished", "vanished", "obsolete") or not (translation.text or message.find("translation/numerusform") is not None):
            missing.append(f"{name}: {message.findtext('source')!r} ({kind or 'empty'})")
for line in missing:
    print(f"{catalogue}: not translated: {line}")
print(f"{count} texts, {len(missing)} without a finished translation")
sys.exit(1 if missing or count == 0 else 0)
PY
