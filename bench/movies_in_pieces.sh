#!/usr/bin/env bash
# Movies as phones and cameras write them (moov after mdat), deleted in pieces: eight
# distinct movies of 2-44 MB made by ffmpeg (H.264/AAC MP4 with metadata, an HEVC MOV,
# an MJPEG MOV with PCM sound), placed in two to five pieces by the fragment placer on a
# FAT32 card with 4 KiB clusters and an exFAT card with 32 KiB clusters, three seeds
# each. Prints per card how many come back byte for byte from the engine (Release, the
# mov option alone) and from foremost, how many are cut to a correct prefix, and how
# many written files hold bytes that are not their original's at their place.
#
#   bench/movies_in_pieces.sh [-w WORKDIR]
#     WORKDIR keeps the generated movies between runs (default /tmp/kestrune-movies).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
work=/tmp/kestrune-movies
while getopts "w:" opt; do
  case $opt in
    w) work=$OPTARG ;;
    *) sed -n '2,11p' "$0"; exit 2 ;;
  esac
done
for tool in ffmpeg foremost mkfs.fat mkfs.exfat python3; do
  command -v $tool >/dev/null || { echo "movies_in_pieces.sh: $tool is missing" >&2; exit 1; }
done
mkdir -p "$work"
cmake -S "$ROOT/engine" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build "$ROOT/build/bench" --target kessrv >/dev/null

movie() {  # movie NAME ffmpeg-arguments...
  local name=$1
  shift
  [ -s "$work/$name" ] || ffmpeg -v error -y "$@" "$work/$name"
}
for i in 1 2 3 4 5 6; do
  t=$((20 + i * 5))
  movie m$i.mp4 -f lavfi -i testsrc2=size=640x360:rate=30:duration=$t \
    -f lavfi -i sine=frequency=$((300 + i * 50)):sample_rate=48000:duration=$t -vf hue=h=$((i * 40)) \
    -c:v libx264 -preset veryfast -b:v $((800 + i * 300))k -pix_fmt yuv420p -c:a aac -b:a 128k -metadata title=Clip$i
done
movie m7.mov -f lavfi -i testsrc=size=640x360:rate=30:duration=30 -f lavfi -i sine=frequency=500:duration=30 \
  -c:v libx265 -preset ultrafast -b:v 1M -tag:v hvc1 -x265-params log-level=error -c:a aac
movie m8.mov -f lavfi -i mandelbrot=size=640x360:rate=25 -f lavfi -i sine=frequency=700:duration=30 -t 30 \
  -c:v mjpeg -q:v 6 -c:a pcm_s16le

plan=(m1.mp4:2:0 m2.mp4:3:0 m3.mp4:4:0 m4.mp4:3:0 m5.mp4:2:0 m6.mp4:5:0 m7.mov:3:0 m8.mov:4:0)
printf '%-8s %4s %6s %7s %7s %8s %9s\n' card seed movies engine prefix foremost "foreign e/f"
for fs in fat32 exfat; do
  for seed in 1 2 3; do
    img=$work/card.img
    rm -f "$img" "$work/m.tsv"
    if [ $fs = fat32 ]; then
      mkfs.fat -F 32 -s 8 -C "$img" 400000 >/dev/null
    else
      truncate -s 400M "$img"
      mkfs.exfat "$img" >/dev/null
    fi
    (cd "$work" && python3 "$ROOT/tools/place-fragments.py" --seed $seed "$img" m.tsv "${plan[@]}" >/dev/null)
    rm -rf "$work/out-engine" "$work/out-foremost"
    "$ROOT/build/bench/kessrv" /d "$work/out-engine" /cmd "$img" "fileopt,everything,disable,mov,enable,search" \
      >/dev/null 2>&1
    foremost -Q -t mov,mp4 -i "$img" -o "$work/out-foremost" >/dev/null 2>&1 || true
    python3 - "$work" $fs $seed <<'PY'
import os, sys
work, fs, seed = sys.argv[1:]
names = [line.split('\t')[0] for line in open(os.path.join(work, 'm.tsv'))]
movies = [open(os.path.join(work, n), 'rb').read() for n in names]
def outputs(d):
    return [open(os.path.join(b, n), 'rb').read() for b, _, ns in os.walk(d) for n in ns if not n.endswith('.txt')]
def tally(outs):
    exact = sum(any(o == m for o in outs) for m in movies)
    prefix = sum(not any(o == m for o in outs) and any(0 < len(o) < len(m) and m.startswith(o) for o in outs)
                 for m in movies)
    foreign = sum(not any(m.startswith(o) for m in movies) for o in outs)
    return exact, prefix, foreign
e, f = tally(outputs(os.path.join(work, 'out-engine'))), tally(outputs(os.path.join(work, 'out-foremost')))
print('%-8s %4s %6d %7d %7d %8d %5d/%d' % (fs, seed, len(movies), e[0], e[1], f[0], e[2], f[2]))
PY
  done
done
