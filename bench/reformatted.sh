#!/usr/bin/env bash
# A camera card formatted anew, as a computer may format it: with 1 KiB clusters off the
# camera's grid, and with 32 KiB clusters on a grid that the camera's 4 KiB one refines.
# Prints, for the card as the camera left it and for each copy, how many of its deleted
# originals the engine recovers byte for byte (the fragmented ones in brackets), how
# many files it writes, and how many of those begin as an original and then hold other
# bytes (diverged: written as if whole with another file's clusters).
#
#   bench/reformatted.sh [-w WORKDIR]
#     WORKDIR: that of bench/carve.sh (default /tmp/kestrune-bench), whose FAT32 camera
#     card with 4 KiB clusters it takes; run carve.sh first.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
work=/tmp/kestrune-bench
while getopts "w:" opt; do
  case $opt in
    w) work=$OPTARG ;;
    *) sed -n '2,9p' "$0"; exit 2 ;;
  esac
done
card=$work/camera.img
manifest=$card.originals/manifest.tsv
[ -f "$manifest" ] || { echo "reformatted.sh: no camera card in $work (run bench/carve.sh)" >&2; exit 1; }
command -v mkfs.fat >/dev/null || { echo "reformatted.sh: mkfs.fat is missing (apt-get install dosfstools)" >&2; exit 1; }

cmake -S "$ROOT/engine" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build "$ROOT/build/bench" --target kessrv >/dev/null
# shellcheck source=tools/search-options.sh
. "$ROOT/tools/search-options.sh"
opts=$(search_options 1 1 1)

# exact <image> <label>: the deleted originals among the engine's files.
exact() {
  rm -rf "$work/out-reformatted"
  "$ROOT/build/bench/kessrv" /d "$work/out-reformatted" /cmd "$1" "$opts" 2>/dev/null
  python3 - "$manifest" "$work/out-reformatted" "$2" <<'PY'
import csv, hashlib, os, sys
manifest, out, label = sys.argv[1:]
rows = [r for r in csv.DictReader(open(manifest), delimiter='\t') if r['deleted'] == '1']
heads = {}
for r in rows:
    data = open(os.path.join(os.path.dirname(manifest), 'files', r['name']), 'rb').read()
    heads.setdefault(data[:512], []).append(data)
got, written, diverged = set(), 0, 0
for root, _, files in os.walk(out):
    for f in files:
        data = open(os.path.join(root, f), 'rb').read()
        got.add(hashlib.sha256(data).hexdigest())
        written += 1
        same = heads.get(data[:512], [])
        diverged += bool(same) and not any(o.startswith(data) for o in same)
frag = [r for r in rows if int(r['pieces']) > 1]
print('%-46s %4d of %4d [%3d of %3d] %7d %8d' % (label, sum(r['sha256'] in got for r in rows), len(rows),
                                                 sum(r['sha256'] in got for r in frag), len(frag), written, diverged))
PY
}

echo "card                                           exact [fragmented]  written diverged"
exact "$card" "as the camera left it"
copy=$work/reformatted.img
for format in "-a -F 32 -s 2 -R 33|1 KiB clusters, off the old grid" "-F 16 -s 64|32 KiB clusters, on a coarser grid"; do
  cp "$card" "$copy"
  mkfs.fat ${format%%|*} "$copy" >/dev/null 2>&1
  exact "$copy" "formatted anew: ${format#*|}"
done
rm -f "$copy"
