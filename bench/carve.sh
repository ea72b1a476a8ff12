#!/usr/bin/env bash
# Carving benchmark: generated cards with deleted and fragmented files, carved in one
# run by the engine (Release, no sanitizers), Debian's foremost and scalpel. Prints one
# table: per format the deleted originals (fragmented ones in brackets) and how many each
# tool recovered byte for byte, the carved files that match no original (false outputs;
# a file cut short of its original is not counted), their share of all carved files,
# how many of them are a later part of an original byte for byte (a piece carved as a
# file of its own), and the throughput of each tool and of a plain cat of the images.
#
# Cards (every kind tools/make-card.sh can make; its --kinds lists them):
#   camera  FAT32, -s MiB (default 1024): about 80 % camera JPEGs, a few of every other
#           kind, written again into the gaps of deleted ones, all deleted
#   mixed   exFAT, a quarter of that size: every kind, in one to four pieces, half deleted
#
#   bench/carve.sh [-s MiB] [-w WORKDIR] [-f] [-r SEED] [-c KIB]
#     -f: make fresh cards; -r: another layout of the same media (tools/make-card.sh --seed);
#     -c: cluster size of both cards (cameras format cards of 8 GB and more with 32 KiB)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_mib=1024
work=/tmp/kestrune-bench
fresh=0
seed=7
cluster=()
while getopts "s:w:fr:c:" opt; do
  case $opt in
    s) size_mib=$OPTARG ;;
    w) work=$OPTARG ;;
    f) fresh=1 ;;
    r) seed=$OPTARG ;;
    c) cluster=(--cluster "$OPTARG") ;;
    *) sed -n '2,18p' "$0"; exit 2 ;;
  esac
done
for tool in foremost scalpel python3; do
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
cards="camera mixed"

echo "Building the engine (Release)..."
cmake -S "$ROOT/engine" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build "$ROOT/build/bench" --target kessrv >/dev/null
engine=$ROOT/build/bench/kessrv
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
import hashlib, os, sys
work, total = sys.argv[1], int(sys.argv[2])
secs = {t: int(v) / 1e9 for t, v in zip(('cat', 'engine', 'foremost', 'scalpel'), sys.argv[3:7])}
cards, tools = sys.argv[7:], ('engine', 'foremost', 'scalpel')
originals = {}   # (card, sha256) -> (format, fragmented, deleted): the cards share media
heads = {}       # first bytes -> originals' bytes, for telling cut files from false ones
blocks = {}      # hashes of 512-byte blocks at 512-byte offsets -> (original's bytes, offset)
for card in cards:
    folder = os.path.join(work, card + '.img.originals')
    rows = [l.rstrip('\n').split('\t') for l in open(os.path.join(folder, 'manifest.tsv'))][1:]
    for r in rows:
        originals[(card, r[3])] = (r[1], r[5] == '0', r[4] == '1')
    for name in os.listdir(os.path.join(folder, 'files')):
        data = open(os.path.join(folder, 'files', name), 'rb').read()
        heads.setdefault(data[:512], []).append(data)
        for off in range(512, len(data) - 511, 512):
            blocks.setdefault(hash(data[off:off + 512]), (data, off))
found = {t: set() for t in tools}
false = {t: 0 for t in tools}
parts = {t: 0 for t in tools}
def later_part(data):
    whole, off = blocks.get(hash(data[:512]), (b'', 0))
    return len(data) >= 512 and whole[off:off + len(data)] == data
outputs = {t: 0 for t in tools}
for t in tools:
    for card in cards:
        for base, _, names in os.walk(os.path.join(work, 'out-%s-%s' % (t, card))):
            for n in names:
                if n.startswith('audit') or n.endswith('.txt'):
                    continue
                data = open(os.path.join(base, n), 'rb').read()
                outputs[t] += 1
                h = (card, hashlib.sha256(data).hexdigest())
                if h in originals:
                    found[t].add(h)
                elif not any(o.startswith(data) for o in heads.get(data[:512], [])):
                    false[t] += 1
                    parts[t] += later_part(data)
formats = sorted({f for f, _, d in originals.values() if d})
print('\nDeleted originals recovered byte for byte (fragmented ones in brackets), %d MB carved:' % (total // 10**6))
print('%-8s %12s %12s %12s %12s' % ('format', 'originals', *tools))
def row(label, pick):
    sel = [h for h, v in originals.items() if v[2] and pick(v)]
    frag = [h for h in sel if originals[h][1]]
    cells = ['%5d [%4d]' % (len(sel), len(frag))]
    for t in tools:
        cells.append('%5d [%4d]' % (sum(h in found[t] for h in sel), sum(h in found[t] for h in frag)))
    print('%-8s %s' % (label, ' '.join('%12s' % c for c in cells)))
for f in formats:
    row(f, lambda v, f=f: v[0] == f)
row('all', lambda v: True)
print('%-8s %12s %s' % ('outputs', '', ' '.join('%12d' % outputs[t] for t in tools)))
print('%-8s %12s %s' % ('false', '', ' '.join('%12d' % false[t] for t in tools)))
print('%-8s %12s %s' % ('  parts', '', ' '.join('%12d' % parts[t] for t in tools)))
print('%-8s %12s %s' % ('false %', '', ' '.join('%12.1f' % (100.0 * false[t] / max(outputs[t], 1)) for t in tools)))
print('%-8s %12s %s' % ('MB/s', '%.1f (cat)' % (total / 1e6 / secs['cat']),
                        ' '.join('%12.1f' % (total / 1e6 / secs[t]) for t in tools)))
PY
echo
echo "Engine summary (camera card):"
sed 's/^/  /' "$work/engine-camera.log" | grep -v "MiB scanned" | tail -n 20
