#!/usr/bin/env bash
# Long fuzzing of the thumbnail path under Wine, on demand (the suite runs a bounded 600
# inputs): rounds of mutated JPEG, PNG, GIF, BMP, TIFF and DNG files through the thumbnail
# worker (libjpeg, GDI+, LibRaw), each round a fresh process with its own seed, so that a
# crash or a hang ends only its round. Prints inputs, crashes and hangs; the inputs that
# crashed or hung are kept in $BUILD_DIR/thumbnail_fuzz_found/.
#   bench/thumbnail_fuzz.sh [inputs (default 20000)] [inputs per round (default 1000)]
# Needs a build (tools/build.sh); runs the edition TESS_EDITION (default: the
# 32-bit one where 32-bit code runs) in its own prefix.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
use_edition "${TESS_EDITION:-$(preferred_edition)}"
TOTAL="${1:-20000}"
ROUND="${2:-1000}"
dir="$BUILD_DIR/tests/thumbnail_fuzz_tests"
[ -x "$dir/thumbnail_fuzz_tests.exe" ] || { echo "build first: $dir/thumbnail_fuzz_tests.exe is missing" >&2; exit 1; }
found="$BUILD_DIR/thumbnail_fuzz_found"
mkdir -p "$found"
unset DISPLAY
wine_prepare_prefix
wine_start_server
trap wine_stop_server EXIT

cd "$dir"
done_inputs=0; rounds=0; failed_rounds=0; seed=$(( $(date +%s) % 100000 * 100 ))
start=$(date +%s)
while [ "$done_inputs" -lt "$TOTAL" ]; do
  n=$(( TOTAL - done_inputs < ROUND ? TOTAL - done_inputs : ROUND ))
  seed=$((seed + 1))
  if ! TESS_FUZZ_INPUTS=$n TESS_FUZZ_SEED=$seed TESS_FUZZ_KEEP="$(winepath -w "$found")" \
      timeout $(( n * 30 + 120 )) nice -n 19 wine thumbnail_fuzz_tests.exe \
      --gtest_filter='ThumbnailFuzz.*' </dev/null >"$found/round.log" 2>&1; then
    failed_rounds=$((failed_rounds + 1))
    grep -m3 -E 'fault|still decoding|Failure|error' "$found/round.log" | sed "s/^/  seed $seed: /" >&2 || true
    mv "$found/round.log" "$found/failed-round-$seed.log"
  fi
  done_inputs=$((done_inputs + n)); rounds=$((rounds + 1))
done
rm -f "$found/round.log"
crashes=$(find "$found" -name 'crash-*' | wc -l)
hangs=$(find "$found" -name 'hang-*' | wc -l)
echo "thumbnail path: $done_inputs inputs in $rounds rounds, $(( $(date +%s) - start )) s"
echo "crashes kept: $crashes, hangs kept: $hangs, rounds that failed: $failed_rounds (see $found)"
