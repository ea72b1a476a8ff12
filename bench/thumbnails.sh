#!/usr/bin/env bash
# Thumbnail throughput under Wine: N camera-sized noisy JPEGs (12 megapixels, made by
# ImageMagick) and a few 12-megapixel synthetic DNGs, each without and with the first
# JPEG embedded as its preview, through make_thumbnail; every file is also timed through
# the full-size decode that thumbnails took before (seconds per RAW thumbnail, before
# and after, are on the "raw" lines).
#   bench/thumbnails.sh [jpeg-count] [dng-count]
# Needs a build (tools/build.sh); runs the edition TESS_EDITION (default: the
# 32-bit one where 32-bit code runs) in its own prefix.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
use_edition "${TESS_EDITION:-$(preferred_edition)}"
JPEGS="${1:-6}"  # at least 1 for the DNGs with a preview
DNGS="${2:-2}"
BENCH="$BUILD_DIR/bench/thumbnail_bench.exe"
[ -x "$BENCH" ] || { echo "build first: $BENCH is missing" >&2; exit 1; }
unset DISPLAY

work=$(mktemp -d "${TMPDIR:-/tmp}/tess-thumbs.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "Making $JPEGS 4000x3000 JPEGs in $work ..."
for i in $(seq 1 "$JPEGS"); do
  /usr/bin/convert -seed "$i" -size 4000x3000 gradient:red-blue -attenuate 0.4 \
    +noise Gaussian -quality 90 "$work/photo$i.jpg"
done
wine_start_server
trap 'wine_stop_server; rm -rf "$work"' EXIT
winpath=$(winepath -w "$work" 2>/dev/null)
echo "Running make_thumbnail under Wine ..."
wine "$BENCH" "$winpath" "$DNGS"
