#!/usr/bin/env bash
# Carving benchmark: a 1 GiB FAT32 card full of generated photos (and a few clips),
# all deleted; the engine (Release, no sanitizers) and foremost carve it in the same
# run. Prints the throughput of each and of a plain cat of the image, and per format
# how many deleted originals each recovered byte for byte.
#
#   bench/carve.sh [-s MiB] [-w WORKDIR] [-f]     (-f: make a fresh card)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_mib=1024
work=/tmp/kestrune-bench
fresh=0
while getopts "s:w:f" opt; do
  case $opt in
    s) size_mib=$OPTARG ;;
    w) work=$OPTARG ;;
    f) fresh=1 ;;
    *) sed -n '2,8p' "$0"; exit 2 ;;
  esac
done
command -v foremost >/dev/null || { echo "carve.sh: foremost is missing (apt-get install foremost)" >&2; exit 1; }
mkdir -p "$work"
card=$work/card-$size_mib.img
media="jpg=fill,png=12,gif=8,bmp=6,tif=6,dng=2,mov=2,mp3=2"

if [ $fresh = 1 ] || [ ! -f "$card" ] || [ ! -f "$card.originals/manifest.tsv" ]; then
  echo "Making the card ($size_mib MiB; a few minutes)..."
  "$ROOT/tools/make-card.sh" -s "$size_mib" -m "$media" -d all "$card"
fi

echo "Building the engine (Release)..."
cmake -S "$ROOT/engine" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build "$ROOT/build/bench" --target kessrv >/dev/null
engine=$ROOT/build/bench/kessrv

now() { date +%s%N; }
mbps() {  # mbps <bytes> <ns>
  awk -v b="$1" -v t="$2" 'BEGIN { printf "%.1f", (b / 1e6) / (t / 1e9) }'
}
bytes=$(stat -c %s "$card")

# Everything is measured from the page cache: warm it first, then time a plain read.
cat "$card" > /dev/null
t0=$(now); cat "$card" > /dev/null; t_cat=$(( $(now) - t0 ))

# The option string the application builds with all three kinds wanted.
# shellcheck source=tools/search-options.sh
. "$ROOT/tools/search-options.sh"
opts=$(search_options 1 1 1)

rm -rf "$work/engine-out" "$work/foremost-out"
t0=$(now)
"$engine" /d "$work/engine-out" /cmd "$card" "$opts" 2> "$work/engine.log"
t_engine=$(( $(now) - t0 ))

# The same scan without JPEG: how fast the scan is apart from the JPEG structure walk.
t0=$(now)
"$engine" /d "$work/engine-nojpg" /cmd "$card" "${opts/jpg,enable,/}" 2> /dev/null
t_nojpg=$(( $(now) - t0 ))
rm -rf "$work/engine-nojpg"

t0=$(now)
foremost -Q -t jpg,png,gif,bmp,mov -i "$card" -o "$work/foremost-out" >/dev/null 2>&1 || true
t_foremost=$(( $(now) - t0 ))

# Byte-exact recovery: an original counts when some carved file has its hash.
find "$work/engine-out" -type f -print0 | xargs -0 -r sha256sum | cut -d' ' -f1 | sort -u > "$work/engine.sha"
find "$work/foremost-out" -type f ! -name audit.txt -print0 | xargs -0 -r sha256sum | cut -d' ' -f1 | sort -u > "$work/foremost.sha"
engine_files=$(find "$work/engine-out" -type f | wc -l)
foremost_files=$(find "$work/foremost-out" -type f ! -name audit.txt | wc -l)

e_mbps=$(mbps "$bytes" "$t_engine")
f_mbps=$(mbps "$bytes" "$t_foremost")
c_mbps=$(mbps "$bytes" "$t_cat")
echo
echo "Card: $card ($bytes bytes)"
printf '%-10s %10s MB/s  (%.2f s)\n' cat "$c_mbps" "$(awk -v t=$t_cat 'BEGIN{print t/1e9}')"
printf '%-10s %10s MB/s  (%.2f s), %d files\n' engine "$e_mbps" "$(awk -v t=$t_engine 'BEGIN{print t/1e9}')" "$engine_files"
printf '%-10s %10s MB/s  (%.2f s), %d files\n' foremost "$f_mbps" "$(awk -v t=$t_foremost 'BEGIN{print t/1e9}')" "$foremost_files"
printf '%-10s %10s MB/s  (all formats but jpg)\n' "no-jpg" "$(mbps "$bytes" "$t_nojpg")"
echo "engine/cat      $(awk -v a="$e_mbps" -v b="$c_mbps" 'BEGIN { printf "%.2f", a / b }')"
echo "engine/foremost $(awk -v a="$e_mbps" -v b="$f_mbps" 'BEGIN { printf "%.1f", a / b }')"
echo
echo "Deleted originals recovered byte-exact (contiguous originals in brackets):"
printf '%-8s %8s %18s %18s\n' format originals engine foremost
awk -F'\t' -v es="$work/engine.sha" -v fs="$work/foremost.sha" '
  BEGIN { while ((getline h < es) > 0) e[h] = 1; while ((getline h < fs) > 0) f[h] = 1 }
  NR > 1 && $5 == 1 {
    n[$2]++; c[$2] += $6
    if ($4 in e) { en[$2]++; if ($6) ec[$2]++ }
    if ($4 in f) { fn[$2]++; if ($6) fc[$2]++ }
  }
  END {
    for (k in n) printf "%-8s %4d [%3d] %12d [%3d] %12d [%3d]\n", k, n[k], c[k], en[k], ec[k], fn[k], fc[k]
  }' "$card.originals/manifest.tsv" | sort
echo
echo "Engine summary:"
sed 's/^/  /' "$work/engine.log" | tail -n 20
