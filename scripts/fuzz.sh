#!/usr/bin/env bash
# Builds one fuzz target with libFuzzer (clang; the image library instrumented too) and runs it:
#   scripts/fuzz.sh TARGET [SECONDS]      e.g. scripts/fuzz.sh psd 1200
# Seeds: the target's fixtures in tests/data/TARGET and the conformance corpus beside the project
# (for heif, avif, webp, jxl and raw also the files of their formats in modern-conformance/; video,
# whose formats the corpus lacks, starts from its clips alone).
# New inputs collect in build-fuzz/corpus/TARGET; a crashing input is kept as a regression file in
# tests/data/TARGET/crashers/, which the replay test runs from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET [SECONDS]}
seconds=${2:-600}
./scripts/install_deps.sh fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTABLORA_FUZZ=ON -DTABLORA_GUI=OFF -DTABLORA_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j"${JOBS:-2}" --target "${target}_fuzz"
work=build-fuzz/corpus/$target
crashers=tests/data/$target/crashers
mkdir -p "$work" "$crashers"
# The conformance files of the target's format seed it; the whole corpus is the replay's.
declare -A suites=([bmp]="bmpsuite" [jpeg]="image-rs pillow" [psd]="psd-tools" [png]="pngsuite libpng-contrib"
                   [gif]="giflib" [tiff]="libtiff-pics libtiff-test image-tiff"
                   [tiff_decoders]="libtiff-pics libtiff-test" [webp]="modern/more/webp"
                   [heif]="modern/more/heic modern/more/avif" [avif]="modern/more/avif" [jxl]="modern/more/jxl" [raw]="modern/more/dng modern/more/cr3 modern/more/arw")
seeds=(tests/data/"$target")
for suite in ${suites[$target]:-}; do
  [ -d ../shared/corpus/"$suite" ] && seeds+=(../shared/corpus/"$suite")
done
# The public conformance files are kept by where they come from, formats mixed: the target's own
# formats (the manifest's fourth column) are linked into a folder of their own.
declare -A conformance=([heif]="heic heif avif" [avif]="avif avifs" [webp]="webp" [jxl]="jxl" [raw]="dng raf rw2 raw crw")
manifest=../shared/corpus/modern-conformance/MANIFEST.tsv
if [ -n "${conformance[$target]:-}" ] && [ -f "$manifest" ]; then
  linked=build-fuzz/seeds/$target
  rm -rf "$linked"
  mkdir -p "$linked"
  while IFS=$'\t' read -r path _ _ format _; do
    for wanted in ${conformance[$target]}; do
      if [ "$format" = "$wanted" ]; then
        ln -s "$PWD/../shared/corpus/modern-conformance/$path" "$linked/${path//\//_}"
      fi
    done
  done < <(tail -n +2 "$manifest")
  seeds+=("$linked")
fi
build-fuzz/fuzz/"${target}_fuzz" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=20 \
  -artifact_prefix="$crashers/" -print_final_stats=1 "$work" "${seeds[@]}"
