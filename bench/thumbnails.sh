#!/usr/bin/env bash
# Thumbnail throughput under Wine: N camera-sized noisy JPEGs (12 megapixels, made by
# ImageMagick) and a few 12-megapixel synthetic DNGs, each without and with the first
# JPEG embedded as its preview, through make_thumbnail; every file is also timed through
# the full-size decode that thumbnails took before (seconds per RAW thumbnail, before
# and after, are on the "raw" lines). Then the stills current cameras write: a
# 12-megapixel HEIC as ImageMagick writes it, one from heif-enc with a thumbnail item, a
# 12-megapixel AVIF, and the CR3 of a 24-megapixel camera (tools/make-cr3.py: its three
# JPEG previews, raw tracks of their real size), against the primary image decoded
# whole (HEIF) and LibRaw's own preview, the full-size JPEG (CR3).
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
echo "Making the HEIC, AVIF and CR3 stills ..."
noisy() { /usr/bin/convert -seed 9 -size "$1" gradient:red-blue -attenuate 0.4 +noise Gaussian "${@:2}"; }
noisy 4000x3000 -quality 60 "$work/still.heic"
heif-enc -q 60 -t 320 -o "$work/still_thumb.heic" "$work/photo1.jpg" >/dev/null
noisy 4000x3000 -quality 60 "$work/still.avif"
noisy 160x120 -quality 80 "JPEG:$work/thmb.part"
noisy 1620x1080 -quality 85 "JPEG:$work/prvw.part"
noisy 6000x4000 -quality 90 "JPEG:$work/full.part"
python3 "$ROOT/tools/make-cr3.py" "$("$ROOT/tools/exiftool-samples.sh")/CanonRaw.cr3" "$work/still.cr3" \
  "$work/thmb.part" "$work/prvw.part" "$work/full.part" --raw 1700000,24000000
wine_start_server
trap 'wine_stop_server; rm -rf "$work"' EXIT
winpath=$(winepath -w "$work" 2>/dev/null)
echo "Running make_thumbnail under Wine ..."
wine "$BENCH" "$winpath" "$DNGS"
