#!/usr/bin/env bash
# The preview grid over 100 000 found files under Wine and Xvfb: intake per tick, repaint,
# scrolling through everything, memory and GDI handles; with a file name, also a picture
# of the screen showing the top of the grid afterwards.
#   bench/grid.sh [pages per thumbnail tick] [screenshot.png]
# Needs a build (tools/build.sh); runs the edition TESS_EDITION (default: the
# 32-bit one where 32-bit code runs) in its own prefix.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
use_edition "${TESS_EDITION:-$(preferred_edition)}"
PAGES="${1:-10}"
SHOT="${2:-}"
[ -n "$SHOT" ] && SHOT="$(cd "$(dirname "$SHOT")" && pwd)/$(basename "$SHOT")"
BENCH="$BUILD_DIR/bench/grid_bench.exe"
[ -x "$BENCH" ] || { echo "build first: $BENCH is missing" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tess-grid.XXXXXX")
trap 'rm -rf "$work"' EXIT
timeout 1200 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  . "$1/tools/wine-env.sh"; wine_start_server
  hold=0; [ -n "$5" ] && hold=8
  "$TESS_WINE" "$2" "$(winepath -w "$3" 2>/dev/null)" "$4" "$hold" </dev/null >"$3/out" 2>&1 & pid=$!
  if [ -n "$5" ]; then
    while kill -0 $pid 2>/dev/null && ! grep -qs "^holding" "$3/out"; do sleep 1; done
    sleep 3; import -window root "$5"
  fi
  wait $pid || true; cat "$3/out"; wine_stop_server' _ "$ROOT" "$BENCH" "$work" "$PAGES" "$SHOT"
