#!/usr/bin/env bash
# Builds everything and starts Tessaline under Wine with a demo card (deleted photos, a
# clip and a voice memo) mapped as removable drive K:. With DISPLAY set it runs on that
# display until closed; without, on a virtual display that is ended after the picture.
# Either way a screenshot taken a few seconds after the start lands in build/run/.
# The 32-bit edition runs where 32-bit code runs, the 64-bit one elsewhere (or with
# TESS_EDITIONS="64").
#   TESS_SHOT_AFTER=<seconds>  when the screenshot is taken (default 6)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export RUN_DIR="$ROOT/build/run"
"$ROOT/tools/setup.sh"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
use_edition "$(preferred_edition)"
echo "Starting the $TESS_EDITION-bit edition ($(runs_32bit_code && echo "this machine runs 32-bit code" ||
  echo "this machine runs no 32-bit code"))"
wine_prepare_prefix
TESS_SKIP_SETUP=1 "$ROOT/tools/build.sh"
export BIN="$BUILD_DIR/bin"
mkdir -p "$RUN_DIR"

# The demo card: a FAT32 image whose files were all deleted, mapped as drive K: (the
# folder stands for the mounted view, the image for the device) and typed removable.
CARD="$RUN_DIR/demo-card.img"
if [ ! -f "$CARD" ] && [ -x "$ROOT/tools/make-card.sh" ]; then
  "$ROOT/tools/make-card.sh" --size 64M --out "$CARD" --demo
fi
if [ -f "$CARD" ]; then
  mkdir -p "$RUN_DIR/card-root"
  ln -sfn "$RUN_DIR/card-root" "$WINEPREFIX/dosdevices/k:"
  ln -sfn "$CARD" "$WINEPREFIX/dosdevices/k::"
  wine reg add 'HKLM\Software\Wine\Drives' /v 'k:' /t REG_SZ /d floppy /f </dev/null >/dev/null 2>&1 || true
  # Wine's mount manager lists the drives it finds when its services start: restart them.
  wine_stop_server
  echo "Demo card: $CARD as drive K:"
fi

# Runs inside the display: starts the program, takes the screenshot, then waits for the
# user to close it or, on a virtual display, ends it.
show_program() {
  . "$ROOT/tools/wine-env.sh"
  wine_start_server
  cd "$BIN"
  "$TESS_WINE" Tessaline.exe </dev/null >/dev/null 2>&1 &
  local pid=$! shot="$RUN_DIR/tessaline-$(date +%Y%m%d-%H%M%S).png"
  sleep "${TESS_SHOT_AFTER:-6}"
  if /usr/bin/import -window root "$shot"; then echo "Screenshot: $shot"; fi
  if [ "$1" = virtual ]; then
    wine taskkill /im Tessaline.exe </dev/null >/dev/null 2>&1 || true  # a close request, as from the user
    for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
    kill "$pid" 2>/dev/null || true
  else
    echo "Tessaline runs on $DISPLAY; close it to end."
  fi
  wait "$pid" || true
  wine_stop_server
}
export ROOT

if [ -n "${DISPLAY:-}" ]; then
  show_program display
else
  # xvfb-run's shell drops exported functions: hand the function over as text.
  timeout 600 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$(declare -f show_program); show_program virtual"
fi
