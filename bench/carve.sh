#!/usr/bin/env bash
# Carving benchmark: generated cards with deleted and fragmented files, carved in one
# run by the engine (Release, no sanitizers), Debian's foremost and scalpel. Prints one
# table: per card and format the originals to recover (fragmented ones in brackets), how
# many each tool recovered byte for byte; the outputs that begin as an original but then
# hold other bytes where it has its own ("diverged": a wrong splice, or a contiguous
# reading through another file's clusters, written as if whole; a file cut short of its
# original is neither); the outputs that match no original at all (false; in brackets
# those that are a later part of an original byte for byte, a piece carved as a file of
# its own); then each tool's outputs, their false share, and the throughput of each tool
# and of a plain cat of the images.
#
# Cards (every kind tools/make-card.sh can make; its --kinds lists them):
#   camera        FAT32, -s MiB (default 1024): about 80 % camera JPEGs, a few of every
#                 other kind, written again into the gaps of deleted ones, all deleted
#   mixed         exFAT, a quarter of that size: every kind, in one to four pieces, half
#                 deleted
#   camera-quick, mixed-quick
#                 the same cards quick-formatted after use: the same file system made
#                 again over them (mkfs.fat, mkfs.exfat), so the data area stays and
#                 nothing is listed any more; every file on them is an original to recover
#
#   bench/carve.sh [-s MiB] [-w WORKDIR] [-f] [-r SEED] [-c KIB] [-e KESSRV]
#     -f: make fresh cards; -r: another layout of the same media (tools/make-card.sh --seed);
#     -c: cluster size of both cards (cameras format cards of 8 GB and more with 32 KiB);
#     -e: carve with this engine build instead of building one (to compare two builds)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_mib=1024
work=/tmp/kestrune-bench
fresh=0
seed=7
cluster=()
engine=
while getopts "s:w:fr:c:e:" opt; do
  case $opt in
    s) size_mib=$OPTARG ;;
    w) work=$OPTARG ;;
    f) fresh=1 ;;
    r) seed=$OPTARG ;;
    c) cluster=(--cluster "$OPTARG") ;;
    e) engine=$(realpath "$OPTARG") ;;
    *) sed -n '2,27p' "$0"; exit 2 ;;
  esac
done
for tool in foremost scalpel python3 mkfs.fat mkfs.exfat; do
  command -v $tool >/dev/null || { echo "carve.sh: $tool is missing (apt-get install $tool)" >&2; exit 1; }
done
mkdir -p "$work"

# Media lists from the kinds the card maker knows: new kinds join the cards by themselves.
kinds=$("$ROOT/tools/make-card.sh" --kinds)
media_of() {  # media_of <count of each kind> [jpg count]
  local k out=""
  for k in $kinds; do out+="$k=$([ "$k" = jpg ] && echo "${2:-$1}" || echo "$1"),"; done
  echo "${out%,}"
}
make_card() {  # make_card <name> <make-card options...>
  local card=$work/$1.img
  shift
  if [ $fresh = 1 ] || [ ! -f "$card.originals/manifest.tsv" ]; then
    echo "Making $card (a few minutes)..."
    "$ROOT/tools/make-card.sh" --seed "$seed" "${cluster[@]}" "$@" "$card" 2>/dev/null
  fi
}
make_card camera -s "$size_mib" -m "$(media_of 3 fill)" --fragment -d all
make_card mixed -s $((size_mib / 4)) --fs exfat -m "$(media_of 4 24)" --fragment -d half
# quick_format <name> <mkfs command...>: a copy of the card with its file system made anew.
quick_format() {
  local card=$work/$1.img copy=$work/$1-quick.img
  shift
  if [ $fresh = 1 ] || [ ! -f "$copy" ] || [ "$copy" -ot "$card" ]; then
    cp --sparse=always "$card" "$copy"
    "$@" "$copy" >/dev/null
  fi
}
kib=${cluster[1]:-}
quick_format camera mkfs.fat -F 32 -n KESCARD ${kib:+-s $((kib * 2))}
quick_format mixed mkfs.exfat -L KESCARD ${kib:+-c ${kib}K}
cards="camera camera-quick mixed mixed-quick"

if [ -z "$engine" ]; then
  echo "Building the engine (Release)..."
  cmake -S "$ROOT/engine" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKESTRUNE_TESTS=OFF -DKESTRUNE_SANITIZE=OFF >/dev/null
  cmake --build "$ROOT/build/bench" --target kessrv >/dev/null
  engine=$ROOT/build/bench/kessrv
fi
# The option string the application builds with all three kinds wanted.
# shellcheck source=tools/search-options.sh
. "$ROOT/tools/search-options.sh"
opts=$(search_options 1 1 1)

# scalpel carves only what its configuration names: header (and footer) patterns of the
# kinds on the cards, taken from the formats' own signatures.
cat > "$work/scalpel.conf" <<'EOF'
jpg  y 20000000  \xff\xd8\xff                 \xff\xd9
png  y 20000000  \x89PNG\x0d\x0a\x1a\x0a      IEND\xaeB\x60\x82
gif  y 5000000   GIF8                         \x00\x3b
bmp  y 20000000  BM????\x00\x00\x00\x00
tif  y 20000000  II\x2a\x00
tif  y 20000000  MM\x00\x2a
avi  y 50000000  RIFF????AVI\x20
wav  y 50000000  RIFF????WAVE
mov  y 50000000  ????ftyp
mp3  y 10000000  ID3
EOF

now() { date +%s%N; }
declare -A ns
for tool in cat engine foremost scalpel; do ns[$tool]=0; done
bytes=0
for card in $cards; do
  img=$work/$card.img
  bytes=$((bytes + $(stat -c %s "$img")))
  cat "$img" > /dev/null  # everything is read from the page cache
  t0=$(now); cat "$img" > /dev/null; ns[cat]=$((ns[cat] + $(now) - t0))
  rm -rf "$work/out-"*"-$card"
  t0=$(now)
  "$engine" /d "$work/out-engine-$card" /cmd "$img" "$opts" 2> "$work/engine-$card.log"
  ns[engine]=$((ns[engine] + $(now) - t0))
  t0=$(now)
  foremost -Q -t jpg,png,gif,bmp,avi,wav,mov -i "$img" -o "$work/out-foremost-$card" >/dev/null 2>&1 || true
  ns[foremost]=$((ns[foremost] + $(now) - t0))
  t0=$(now)
  scalpel -c "$work/scalpel.conf" -o "$work/out-scalpel-$card" "$img" >/dev/null 2>&1 || true
  ns[scalpel]=$((ns[scalpel] + $(now) - t0))
done

python3 - "$work" "$bytes" "${ns[cat]}" "${ns[engine]}" "${ns[foremost]}" "${ns[scalpel]}" $cards <<'PY'
import collections, hashlib, os, sys
work, total = sys.argv[1], int(sys.argv[2])
secs = {t: int(v) / 1e9 for t, v in zip(('cat', 'engine', 'foremost', 'scalpel'), sys.argv[3:7])}
cards, tools = sys.argv[7:], ('engine', 'foremost', 'scalpel')
alias = {'tiff': 'tif', 'm2t': 'mts', 'm2ts': 'mts', 'jpeg': 'jpg', 'webm': 'mkv', 'mp4': 'mov'}
rows = collections.OrderedDict()  # (card, format) -> counters
def cell(card, fmt):
    return rows.setdefault((card, fmt), collections.Counter())
outputs = collections.Counter()
false_total = collections.Counter()
for card in cards:
    quick = card.endswith('-quick')
    folder = os.path.join(work, card.replace('-quick', '') + '.img.originals')
    lines = [l.rstrip('\n').split('\t') for l in open(os.path.join(folder, 'manifest.tsv'))][1:]
    # The deleted files are the originals to recover; a quick format drops every listing,
    # and all files on the card are then. A listed file written back is no false output.
    originals, listed = {}, set()  # sha256 -> (format, fragmented)
    heads = collections.defaultdict(list)  # first 512 bytes -> files with them
    blocks = {}  # hashes of 512-byte blocks at 512-byte offsets -> (file, offset)
    for r in lines:
        data = open(os.path.join(folder, 'files', r[0]), 'rb').read()
        for off in range(512, len(data) - 511, 512):
            blocks.setdefault(hash(data[off:off + 512]), (data, off))
        heads[data[:512]].append((data, r[1]))
        if not (quick or r[4] == '1'):
            listed.add(r[3])
            continue
        originals[r[3]] = (r[1], r[5] == '0')
        c = cell(card, r[1])
        c['originals'] += 1
        c['fragmented'] += r[5] == '0'
    for t in tools:
        found = set()
        for base, _, names in os.walk(os.path.join(work, 'out-%s-%s' % (t, card))):
            for n in names:
                if n.startswith('audit') or n.endswith('.txt'):
                    continue
                data = open(os.path.join(base, n), 'rb').read()
                outputs[t] += 1
                h = hashlib.sha256(data).hexdigest()
                if h in originals or h in listed:
                    found.add(h)
                    continue
                same_head = heads.get(data[:512], [])
                if any(o.startswith(data) for o, _ in same_head):
                    continue  # cut short of its original
                if same_head:
                    cell(card, same_head[0][1])['diverged ' + t] += 1
                    continue
                ext = n.rsplit('.', 1)[-1].lower()
                whole, off = blocks.get(hash(data[:512]), (b'', 0))
                c = cell(card, alias.get(ext, ext))
                c['false ' + t] += 1
                c['parts ' + t] += len(data) >= 512 and whole[off:off + len(data)] == data
                false_total[t] += 1
        for h in found & originals.keys():
            fmt, frag = originals[h]
            cell(card, fmt)['exact ' + t] += 1
            cell(card, fmt)['fragmented ' + t] += frag

print('\nOriginals recovered byte for byte (fragmented ones in brackets), wrong outputs, %d MB carved:' % (total // 10**6))
head = ('card', 'format', 'originals', 'engine', 'foremost', 'scalpel', 'diverged e/f/s', 'false [parts] e/f/s')
fmt_row = '%-12s %-7s %11s %11s %9s %8s %15s %24s'
print(fmt_row % head)
def show(card, label, c):
    exact = ['%5d [%3d]' % (c['exact engine'], c['fragmented engine'])] + ['%d' % c['exact ' + t] for t in tools[1:]]
    div = '/'.join('%d' % c['diverged ' + t] for t in tools)
    fal = '/'.join('%d [%d]' % (c['false ' + t], c['parts ' + t]) for t in tools)
    print(fmt_row % (card, label, '%5d [%3d]' % (c['originals'], c['fragmented']), *exact, div, fal))
for card in cards:
    sums = collections.Counter()
    for (k, fmt), c in sorted(rows.items()):
        if k == card:
            show(card, fmt, c)
            sums.update(c)
    show(card, 'all', sums)
print('%-20s %s' % ('outputs', ' '.join('%9s %d' % (t, outputs[t]) for t in tools)))
print('%-20s %s' % ('false %', ' '.join('%9s %.1f' % (t, 100.0 * false_total[t] / max(outputs[t], 1)) for t in tools)))
print('%-20s %s' % ('MB/s', ' '.join('%9s %.1f' % (t, total / 1e6 / secs[t]) for t in ('cat',) + tools)))
PY
echo
echo "Engine summary (camera card):"
sed 's/^/  /' "$work/engine-camera.log" | grep -v "MiB scanned" | tail -n 20
