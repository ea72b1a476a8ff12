#!/usr/bin/env bash
# Files far into a medium: an exFAT image (sparse, but for its files) of -g GiB, camera
# media written into it in pieces past 4 GiB and past its last 2 TiB boundary, the card
# then quick-formatted (nothing listed). Carved by the native engine (Release) and, when
# the Windows build is there, by kessrv.exe under Wine; prints for each how many files
# came back byte for byte and how long the scan took. The scan reads the whole image:
# 2 TiB take the better part of an hour, hence a bench rather than a test (the engine's
# tests place files past 4 GiB).
#
#   bench/far-offsets.sh [-g GIB] [-w WORKDIR] [-e KESSRV] [-x KESSRV.EXE]
#     -g: image size in GiB (default 2049: past 2 TiB); -e, -x: engine builds to carve with
#     (-x: the 32-bit Windows engine, by default that of tools/build.sh)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
gib=2049
work=/tmp/kestrune-far
engine=
exe=
while getopts "g:w:e:x:" opt; do
  case $opt in
    g) gib=$OPTARG ;;
    w) work=$OPTARG ;;
    e) engine=$(realpath "$OPTARG") ;;
    x) exe=$(realpath "$OPTARG") ;;
    *) sed -n '2,12p' "$0"; exit 2 ;;
  esac
done
mkdir -p "$work/media"
if [ -z "$engine" ]; then
  cmake -S "$ROOT/engine" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKESTRUNE_TESTS=OFF -DKESTRUNE_SANITIZE=OFF >/dev/null
  cmake --build "$ROOT/build/bench" --target kessrv >/dev/null
  engine=$ROOT/build/bench/kessrv
fi

# A camera's photo, a clip as a DVD camcorder and as an AVCHD one writes it, a voice memo.
m=$work/media
[ -f "$m/IMG_0001.JPG" ] || /usr/bin/convert -size 4000x3000 -seed 3 plasma:fractal -quality 92 "$m/IMG_0001.JPG"
av() { [ -f "$1" ] || ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=720x480:rate=25:duration=20 \
  -f lavfi -i sine=frequency=500:duration=20 -pix_fmt yuv420p "${@:2}" "$1"; }
av "$m/MOV_0001.MPG" -c:v mpeg2video -b:v 6M -c:a mp2 -f vob
av "$m/MOV_0002.MTS" -c:v mpeg2video -b:v 6M -c:a ac3 -f mpegts
[ -f "$m/VOICE001.WAV" ] || ffmpeg -nostdin -loglevel error -f lavfi -i sine=frequency=300:duration=20 -c:a pcm_s16le "$m/VOICE001.WAV"
files=("$m"/*)

img=$work/far.img
rm -f "$img" "$work/m.tsv"
truncate -s "${gib}G" "$img"
mkfs.exfat -L FAR "$img" >/dev/null
two_tib=$((2 << 40))
place() {  # place <at>: every file, in three pieces, pairs interleaved, from that offset
  local list=()
  for f in "${files[@]}"; do list+=("$f:3:0"); done
  python3 "$ROOT/tools/place-fragments.py" --seed 5 --at "$1" "$img" "$work/m.tsv" "${list[@]}"
}
place $(((4 << 30) + 12345))
[ $((gib << 30)) -gt $two_tib ] && place $(((gib << 30) - (256 << 20)))
mkfs.exfat -L FAR "$img" >/dev/null  # formatted anew: nothing listed
placed=$(wc -l < "$work/m.tsv")

# shellcheck source=tools/search-options.sh
. "$ROOT/tools/search-options.sh"
opts=$(search_options 1 1 1)
# score <out dir>: the placed files among those written.
score() {
  python3 - "$work/m.tsv" "$1" <<'PY'
import hashlib, os, sys
want = [l.split('\t')[3] for l in open(sys.argv[1])]
got = set()
for base, _, names in os.walk(sys.argv[2]):
    for n in names:
        got.add(hashlib.sha256(open(os.path.join(base, n), 'rb').read()).hexdigest())
print(sum(h in got for h in want))
PY
}
carve() {  # carve <label> <path form: echo or winepath -w> <command...>
  local label=$1 path=$2 out=$work/out-${1%% *} t0
  shift 2
  rm -rf "$out"
  mkdir -p "$out"
  t0=$(date +%s)
  "$@" /d "$($path "$out")" /cmd "$($path "$img")" "$opts" >/dev/null 2>&1 || true
  printf '%-24s %3d of %3d byte for byte  %6d s\n' "$label" "$(score "$out")" "$placed" $(($(date +%s) - t0))
}
echo "$(du -h --apparent-size "$img" | cut -f1) image, files past 4 GiB and at $((gib - 1)) GiB (past 2 TiB: $([ $((gib << 30)) -gt $two_tib ] && echo yes || echo no)):"
carve native echo nice "$engine"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
use_edition 32  # the 32-bit engine: every offset past 4 GiB must be 64-bit there
exe=${exe:-$BUILD_DIR/bin/Kestrune/kessrv.exe}
if [ -f "$exe" ]; then
  wine_prepare_prefix
  carve "Windows, 32-bit (Wine)" "winepath -w" nice "$TESS_WINE" "$exe"
else
  echo "Windows engine: $exe not built (tools/build.sh)"
fi
rm -f "$img"
