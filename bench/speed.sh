#!/usr/bin/env bash
# Speed benchmark: the engine (Release, every search option on) on one core and on two
# (taskset), Debian's foremost and a plain cat, on the bench cards in the page cache.
# Prints one table: per card the size, the engine's median wall time and MB/s on one core
# and on two and their ratio, foremost's time and MB/s and the engine's lead over it,
# cat's time, the deleted originals the engine recovered byte for byte (on a quick-
# formatted card every file is one), its false outputs (matching no original, nor cut
# from one) and whether one core and two wrote the same files (and, with -r, the time of
# a reference build on two cores, once, and whether it wrote the same files). Then the aims, each with its figure, and the engine's JPEG
# check on one core against libjpeg-turbo's djpeg -scale 1/8 over the same 60 camera
# JPEGs (processor time; djpeg's start-up, timed on a tiny picture, taken off).
#
# Cards (bench/cards.sh):
#   camera, mixed          those of bench/carve.sh (FAT32 1 GiB, exFAT 256 MiB)
#   camera-quick, mixed-quick   the same quick-formatted after use (mkfs again over them)
#   camera-256m, camera-4g      the camera card's mix on 256 MiB and on 4 GiB
#
#   bench/speed.sh [-w WORKDIR] [-o OUTDIR] [-n RUNS] [-e KESSRV] [-r REFERENCE] [-f] [-c CARDS]
#     -o: where the engine and foremost write (default WORKDIR; a tmpfs such as /dev/shm
#     keeps a disk shared with other work out of the figures); -n: engine runs per card
#     and core count (default 3; medians); -e: this engine build; -r: also carve each card
#     once with this build and compare the files; -f: fresh cards; -c: a subset of the
#     cards ("camera mixed")
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BENCH_WORK=/tmp/kestrune-bench
out_root=
runs=3
engine=
reference=
cards="camera camera-quick mixed mixed-quick camera-256m camera-4g"
while getopts "w:o:n:e:r:fc:" opt; do
  case $opt in
    w) BENCH_WORK=$OPTARG ;;
    o) out_root=$OPTARG ;;
    n) runs=$OPTARG ;;
    e) engine=$(realpath "$OPTARG") ;;
    r) reference=$(realpath "$OPTARG") ;;
    f) BENCH_FRESH=1 ;;
    c) cards=$OPTARG ;;
    *) sed -n '2,24p' "$0"; exit 2 ;;
  esac
done
for tool in foremost djpeg taskset python3 mkfs.fat mkfs.exfat; do
  command -v $tool >/dev/null || { echo "speed.sh: $tool is missing (tools/setup.sh installs it)" >&2; exit 1; }
done
out_root=${out_root:-$BENCH_WORK}
mkdir -p "$BENCH_WORK" "$out_root"
# shellcheck source=bench/cards.sh
. "$ROOT/bench/cards.sh"
for card in $cards; do  # only the cards asked for: the 4 GiB one takes a while to make
  case $card in
    camera*) bench_card camera 1024 -m "$(media_of 3 fill)" --fragment -d all ;;&
    mixed*) bench_card mixed 256 --fs exfat -m "$(media_of 4 24)" --fragment -d half ;;&
    camera-quick) quick_format camera mkfs.fat -F 32 -n KESCARD ;;
    mixed-quick) quick_format mixed mkfs.exfat -L KESCARD ;;
    camera-256m) bench_card camera-256m 256 -m "$(media_of 1 fill)" --fragment -d all ;;
    camera-4g) bench_card camera-4g 4096 -m "$(media_of 12 fill)" --fragment -d all ;;
  esac
done

echo "Building the engine (Release)..." >&2
cmake -S "$ROOT/engine" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build "$ROOT/build/bench" --target kessrv kes_jpeg_check_bench >/dev/null
engine=${engine:-$ROOT/build/bench/kessrv}
# shellcheck source=tools/search-options.sh
. "$ROOT/tools/search-options.sh"
opts=$(search_options 1 1 1)

now() { date +%s%N; }
# carve <engine> <image> <out folder> <cpus> [keep]: the wall time in ns; the files'
# hashes go to <out folder>.sha. The files are removed unless kept: a 4 GiB card's
# output left on a tmpfs pushes the card out of the page cache on the next run.
carve() {
  rm -rf "$3"
  local t0; t0=$(now)
  taskset -c "$4" "$1" /d "$3" /cmd "$2" "$opts" 2>"$3.log" || true
  echo $(($(now) - t0))
  (cd "$3" && find . -type f -printf '%P\n' | sort | xargs -r sha256sum) >"$3.sha"
  [ -n "${5:-}" ] || rm -rf "$3"
}
median() { tr ' ' '\n' | awk 'NF' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

results=$BENCH_WORK/speed.tsv
: >"$results"
for card in $cards; do
  img=$BENCH_WORK/$card.img
  [ -f "$img" ] || { echo "speed.sh: no card $img" >&2; exit 1; }
  echo "Carving $card..." >&2
  cat "$img" >/dev/null  # into the page cache
  t0=$(now); cat "$img" >/dev/null; cat_ns=$(($(now) - t0))
  out=$out_root/out-speed-$card
  one="" two=""
  for ((i = 0; i < runs; i++)); do  # alternated, so that the machine's load falls on both
    one+=" $(carve "$engine" "$img" "$out-1" 0)"
    two+=" $(carve "$engine" "$img" "$out-2" 0,1 "$( ((i == runs - 1)) && echo keep)")"
  done
  same=$(cmp -s "$out-1.sha" "$out-2.sha" && echo yes || echo NO)
  counts=$(python3 "$ROOT/bench/recovered.py" "$card" "$BENCH_WORK/${card%-quick}.img.originals" "$out-2")
  rm -rf "$out-2"
  ref=- ref_ns=0
  if [ -n "$reference" ]; then
    ref_ns=$(carve "$reference" "$img" "$out-ref" 0,1)
    ref=$(cmp -s "$out-ref.sha" "$out-2.sha" && echo yes || echo NO)
  fi
  rm -rf "$out_root/out-speed-foremost"
  t0=$(now)
  foremost -Q -t jpg,png,gif,bmp,avi,wav,mov -i "$img" -o "$out_root/out-speed-foremost" >/dev/null 2>&1 || true
  fm_ns=$(($(now) - t0))
  rm -rf "$out_root/out-speed-foremost"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$card" "$(stat -c %s "$img")" "$(echo "$one" | median)" \
    "$(echo "$two" | median)" "$fm_ns" "$cat_ns" "$counts" "$same" "$ref" "$ref_ns" >>"$results"
done

# The JPEG check per core: the engine's against djpeg's entropy decoding, same files.
jpegs=$(awk -F'\t' 'NR > 1 && $2 == "jpg" { print $1 }' "$BENCH_WORK/camera.img.originals/manifest.tsv" | head -60 |
  sed "s|^|$BENCH_WORK/camera.img.originals/files/|")
read -r jpeg_bytes check_mbs < <(taskset -c 0 "$ROOT/build/bench/kes_jpeg_check_bench" $jpegs)
tiny=$BENCH_WORK/tiny.jpg
[ -f "$tiny" ] || /usr/bin/convert -size 8x8 xc:gray "$tiny"
cpu_of() {  # cpu_of <file>...: processor seconds of djpeg -scale 1/8 on each, on one core
  /usr/bin/time -f '%U %S' taskset -c 0 bash -c 'for f; do djpeg -scale 1/8 "$f" >/dev/null; done' _ "$@" 2>&1 |
    tail -n 1 | awk '{ print $1 + $2 }'
}
djpeg_s=""
for ((i = 0; i < runs; i++)); do
  djpeg_s+=" $(python3 -c "import sys; print(max(float(sys.argv[1]) - float(sys.argv[2]), 1e-3))" \
    "$(cpu_of $jpegs)" "$(cpu_of $(for _ in $jpegs; do echo "$tiny"; done))")"
done
djpeg_mbs=$(python3 -c "import sys; print(float(sys.argv[1]) / float(sys.argv[2]) / 1e6)" "$jpeg_bytes" \
  "$(echo "$djpeg_s" | median)")

python3 - "$results" "$check_mbs" "$djpeg_mbs" "$jpeg_bytes" <<'PY'
import csv, sys
rows = [r for r in csv.reader(open(sys.argv[1]), delimiter='\t')]
check, djpeg, jpeg_bytes = float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
table, c = [], {}
for card, size, one, two, fm, cat, counts, same, ref, ref_ns in rows:
    size, one, two, fm, cat = int(size), int(one) / 1e9, int(two) / 1e9, int(fm) / 1e9, int(cat) / 1e9
    ref_s = '%.2f' % (int(ref_ns) / 1e9) if ref != '-' else '-'
    exact, total, false = counts.split()
    mb = size / 1e6
    c[card] = dict(size=size, one=one, two=two, fm=fm)
    table.append((card, '%d' % (size >> 20), '%.2f' % one, '%.0f' % (mb / one), '%.2f' % two, '%.0f' % (mb / two),
                  '%.2f' % (one / two), '%.2f' % fm, '%.0f' % (mb / fm), '%.1f' % (fm / two), '%.2f' % cat,
                  '%s/%s' % (exact, total), false, same, ref_s, ref))
head = ('card', 'MiB', '1 core s', 'MB/s', '2 cores s', 'MB/s', '2c/1c', 'foremost s', 'MB/s', 'x foremost',
        'cat s', 'exact', 'false', 'same 1c/2c', 'ref 2c s', 'same ref')
widths = [max(len(str(r[i])) for r in table + [head]) for i in range(len(head))]
print()
for r in [head] + table:
    print('  '.join(str(v).rjust(w) if i else str(v).ljust(w) for i, (v, w) in enumerate(zip(r, widths))))

print('\nAims (engine on two cores):')
def aim(text, value, goal, higher=True):
    met = value >= goal if higher else value <= goal
    print('  %-52s %7.2f  (aim %s %.2f) %s' % (text, value, '>=' if higher else '<=', goal, 'met' if met else 'NOT met'))
if 'camera' in c: aim('camera card: times foremost', c['camera']['fm'] / c['camera']['two'], 5)
if 'mixed' in c: aim('mixed card: times foremost', c['mixed']['fm'] / c['mixed']['two'], 10)
for card in ('camera', 'mixed'):
    if card in c and card + '-quick' in c:
        aim('%s card quick-formatted: time / unformatted' % card, c[card + '-quick']['two'] / c[card]['two'], 1.3, False)
for card in ('camera', 'mixed'):
    if card in c: aim('%s card: 2 cores / 1 core' % card, c[card]['one'] / c[card]['two'], 1.85)
per_gib = [c[k]['two'] / (c[k]['size'] / 2**30) for k in ('camera-256m', 'camera', 'camera-4g') if k in c]
if len(per_gib) > 1:
    print('  %-52s %s' % ('camera mix, s per GiB at 256 MiB / 1 GiB / 4 GiB', ' / '.join('%.2f' % v for v in per_gib)))
    aim('  flat: largest / smallest', max(per_gib) / min(per_gib), 1.15, False)
print('\nJPEG check on one core, 60 camera JPEGs (%.0f MB):' % (jpeg_bytes / 1e6))
print('  engine %.0f MB/s, djpeg -scale 1/8 %.0f MB/s' % (check, djpeg))
aim('engine / djpeg', check / djpeg, 2)
PY
