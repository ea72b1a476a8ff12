# Sourced by the benchmarks: the bench cards, made by tools/make-card.sh into a work folder
# once and kept there (every kind the card maker knows; its --kinds lists them).
#
#   bench_card <name> <size MiB> <make-card options...>   a card, unless it is there
#   quick_format <name> <mkfs command...>                 <name>-quick: the card with its
#       file system made again over it (a quick format), so the data area stays and
#       nothing is listed any more
#   media_of <count of each kind> [jpg count]             a make-card media list
#
# Set BENCH_WORK (the folder), BENCH_SEED and BENCH_FRESH=1 (make them anew) first.
BENCH_KINDS=$("$(dirname "${BASH_SOURCE[0]}")/../tools/make-card.sh" --kinds)

media_of() {
  local k out=""
  for k in $BENCH_KINDS; do out+="$k=$([ "$k" = jpg ] && echo "${2:-$1}" || echo "$1"),"; done
  echo "${out%,}"
}

bench_card() {
  local card=$BENCH_WORK/$1.img size=$2
  shift 2
  if [ "${BENCH_FRESH:-0}" = 1 ] || [ ! -f "$card.originals/manifest.tsv" ]; then
    echo "Making $card (minutes: its media are generated)..." >&2
    "$(dirname "${BASH_SOURCE[0]}")/../tools/make-card.sh" --seed "${BENCH_SEED:-7}" -s "$size" "$@" "$card" 2>/dev/null
  fi
}

quick_format() {
  local card=$BENCH_WORK/$1.img copy=$BENCH_WORK/$1-quick.img
  shift
  if [ "${BENCH_FRESH:-0}" = 1 ] || [ ! -f "$copy" ] || [ "$copy" -ot "$card" ]; then
    cp --sparse=always "$card" "$copy"
    "$@" "$copy" >/dev/null
  fi
}
