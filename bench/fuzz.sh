#!/usr/bin/env bash
# Long fuzzing of the engine's parsers, on demand (CI keeps its short bounded runs): each
# libFuzzer target of tests/engine/native/fuzz.cmake runs RUNS executions at low priority,
# starting again after a crash until the executions are spent, and one line per parser
# gives executions, crashes and time. Crash inputs are kept in $NATIVE_DIR/fuzz_crashes/.
#   bench/fuzz.sh [parser...]        (default: every parser)
#   RUNS=<n> (default 10000000)  MAX_TIME=<seconds per parser> (default none)
#   NATIVE_DIR=<build> (default build/native)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
NATIVE_DIR="${NATIVE_DIR:-$ROOT/build/native}"
RUNS="${RUNS:-10000000}"
MAX_TIME="${MAX_TIME:-0}"
MAX_CRASHES=20  # per parser: past that, the parser needs mending before more fuzzing

if [ ! -f "$NATIVE_DIR/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$ROOT/engine" -B "$NATIVE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTRUNE_TESTS=ON -DKESTRUNE_SANITIZE=ON >/dev/null
fi
nice -n 19 cmake --build "$NATIVE_DIR" -j2 >/dev/null

if [ $# -gt 0 ]; then
  parsers=("$@")
else
  # The parsers named in the fuzz targets' list.
  read -r -a parsers <<<"$(sed -n '/^foreach(fmt /,/)$/p' "$ROOT/tests/engine/native/fuzz.cmake" |
    sed -e 's/^foreach(fmt//' -e 's/)$//' | tr '\n' ' ')"
fi

printf '%-6s %14s %8s %9s\n' parser executions crashes seconds
total_runs=0; total_crashes=0
for p in "${parsers[@]}"; do
  target="$NATIVE_DIR/fuzz_$p"
  [ -x "$target" ] || { echo "$p: no target $target" >&2; continue; }
  work="$NATIVE_DIR/fuzz_long/$p"; crashes="$NATIVE_DIR/fuzz_crashes/$p"
  mkdir -p "$work" "$crashes"
  corpora=("$work" "$NATIVE_DIR/fuzz_seeds/$p")
  [ -d "$ROOT/tests/engine/native/fuzz/regressions/$p" ] && corpora+=("$ROOT/tests/engine/native/fuzz/regressions/$p")
  log=$(mktemp)
  left=$RUNS; done_runs=0; found=0; start=$(date +%s)
  while [ "$left" -gt 0 ] && [ "$found" -lt "$MAX_CRASHES" ]; do
    time_left=0
    if [ "$MAX_TIME" -gt 0 ]; then
      time_left=$(( MAX_TIME - ($(date +%s) - start) ))
      [ "$time_left" -gt 0 ] || break
    fi
    nice -n 19 "$target" -runs="$left" -max_total_time="$time_left" -max_len=16384 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$crashes/" "${corpora[@]}" >"$log" 2>&1 || true
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    n=${n:-0}
    if grep -qE '^==[0-9]+==ERROR|deadly signal|ALARM: working on the last Unit|out-of-memory|runtime error' "$log"; then
      found=$((found + 1))
      grep -m1 -E 'ERROR|deadly signal|ALARM|out-of-memory|runtime error' "$log" | sed "s/^/  $p: /" >&2
    fi
    done_runs=$((done_runs + n)); left=$((left - n))
    [ "$n" -gt 0 ] || break  # no progress: the target cannot start
  done
  rm -f "$log"
  printf '%-6s %14d %8d %9d\n' "$p" "$done_runs" "$found" "$(( $(date +%s) - start ))"
  total_runs=$((total_runs + done_runs)); total_crashes=$((total_crashes + found))
done
printf '%-6s %14d %8d\n' all "$total_runs" "$total_crashes"
