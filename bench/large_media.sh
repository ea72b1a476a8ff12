#!/usr/bin/env bash
# Files too large for the tests, each alone on a card image between random sectors,
# carved by the engine (Release) with every option the program sends:
#   mov  a movie of more than 4 GiB: a 31 s phone clip given a 64-bit mdat size and co64
#        chunk offsets past 4 GiB (tests/engine/native/formats/big_movie.py), the gap of
#        zeros left sparse on the card;
#   avi  an OpenDML AVI of more than 1 GiB (RIFF AVIX extensions and their indexes), as
#        ffmpeg writes raw video.
# Prints per file its size, whether it came back byte for byte and under which
# extension, the engine's seconds and MB/s over the card (the median of -n runs), and
# the MB/s of a plain cat of the card in the same runs.
#
#   bench/large_media.sh [-w WORKDIR] [-n RUNS]
#     WORKDIR keeps the generated media between runs (default /tmp/kestrune-large).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
work=/tmp/kestrune-large
runs=3
while getopts "w:n:" opt; do
  case $opt in
    w) work=$OPTARG ;;
    n) runs=$OPTARG ;;
    *) sed -n '2,14p' "$0"; exit 2 ;;
  esac
done
mkdir -p "$work"
cmake -S "$ROOT/engine" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKESTRUNE_TESTS=OFF -DKESTRUNE_SANITIZE=OFF >/dev/null
cmake --build "$ROOT/build/bench" --target kessrv >/dev/null
# shellcheck source=tools/search-options.sh
. "$ROOT/tools/search-options.sh"
opts=$(search_options 1 1 1)
av() { nice ffmpeg -nostdin -loglevel error -y "$@"; }

cd "$work"
gap=$(((1 << 32) + 12345))
if [ ! -f movie.tail ]; then
  echo "Making the media (once)..."
  av -f lavfi -i testsrc2=size=320x240:rate=25:duration=31 -f lavfi -i sine=frequency=440:duration=31 \
    -c:v libx264 -preset veryfast -b:v 400k -pix_fmt yuv420p -c:a aac -metadata title=Holiday clip.mp4
  python3 "$ROOT/tests/engine/native/formats/big_movie.py" clip.mp4 $gap movie.head movie.tail
fi
[ -f opendml.avi ] || av -f lavfi -i testsrc2=size=640x480:rate=25:duration=48 -f lavfi -i sine=duration=48 \
  -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le opendml.avi

# card <image> <pieces...>: random sectors, the pieces ("+N" a sparse gap of N zeros),
# random sectors up to the next sector and beyond.
card() {
  local img=$1 p
  shift
  head -c $((64 * 512)) /dev/urandom > "$img"
  for p in "$@"; do
    if [[ $p == +* ]]; then truncate -s +"${p#+}" "$img"; else cat "$p" >> "$img"; fi
  done
  head -c $(((512 - $(stat -c %s "$img") % 512) % 512 + 64 * 512)) /dev/urandom >> "$img"
}

printf '%-5s %14s %7s %5s %9s %8s %8s\n' file bytes exact ext seconds MB/s cat-MB/s
# carve <name> <card image> <file size> <expected bytes...>: runs the engine, compares.
carve() {
  local name=$1 img=$2 size=$3 times=() cats=() i out found t0 t1
  shift 3
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out"
    t0=$(date +%s%N)
    cat "$img" > /dev/null
    t1=$(date +%s%N)
    cats+=($((t1 - t0)))
    "$ROOT/build/bench/kessrv" /d "$work/out" /cmd "$img" "$opts" 2>/dev/null
    times+=($(($(date +%s%N) - t1)))
  done
  found=$(find "$work/out" -type f -size "${size}c" | head -1)
  out=no
  # The expected bytes are the pieces the card was made of, the gaps read as zeros.
  if [ -n "$found" ] && cmp -s "$found" <(for p in "$@"; do
      if [[ $p == +* ]]; then head -c "${p#+}" /dev/zero; else cat "$p"; fi; done); then
    out=yes
  fi
  median() { printf '%s\n' "$@" | sort -n | sed -n "$(((runs + 1) / 2))p"; }
  python3 -c "import sys; n, s, b, o, e, card, c = sys.argv[1:8]; s, c = int(s) / 1e9, int(c) / 1e9
print('%-5s %14d %7s %5s %9.1f %8.0f %8.0f' % (n, int(b), o, e, s, int(card) / s / 1e6, int(card) / c / 1e6))" \
    "$name" "$(median "${times[@]}")" "$size" "$out" "${found##*.}" "$(stat -c %s "$img")" "$(median "${cats[@]}")"
  rm -rf "$work/out"
}

movie_size=$(($(stat -c %s movie.head) + gap + $(stat -c %s movie.tail)))
card movie.img movie.head +$gap movie.tail
carve mov movie.img $movie_size movie.head +$gap movie.tail
card avi.img opendml.avi
carve avi avi.img "$(stat -c %s opendml.avi)" opendml.avi
rm -f movie.img avi.img
