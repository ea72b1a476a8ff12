#!/usr/bin/env bash
# Builds everything and starts it under Wine with a demo card mapped as removable drive K:.
# Until the main window exists, this runs the engine over the demo card and shows
# what exists of the interface (the dialog gallery) on the display, or on a virtual
# one (with a screenshot in build/run/) when there is no DISPLAY.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build/win}"
RUN_DIR="$ROOT/build/run"
"$ROOT/tools/setup.sh"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
wine_prepare_prefix
TESS_SKIP_SETUP=1 "$ROOT/tools/build.sh"
BIN="$BUILD_DIR/bin"
mkdir -p "$RUN_DIR"

# The demo card: a FAT32 image with photos that were deleted, mapped as drive K:.
CARD="$RUN_DIR/demo-card.img"
if [ ! -f "$CARD" ] && [ -x "$ROOT/tools/make-card.sh" ]; then
  "$ROOT/tools/make-card.sh" --size 64M --out "$CARD" --demo
fi
if [ -f "$CARD" ]; then
  mkdir -p "$RUN_DIR/card-root"
  ln -sfn "$RUN_DIR/card-root" "$WINEPREFIX/dosdevices/k:"
  ln -sfn "$CARD" "$WINEPREFIX/dosdevices/k::"
  wine reg add 'HKLM\Software\Wine\Drives' /v 'k:' /t REG_SZ /d floppy /f </dev/null >/dev/null 2>&1 || true
  echo "Demo card: $CARD as drive K:"
fi

with_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}

if [ -f "$BIN/Tessaline.exe" ]; then
  cd "$BIN" && with_display wine Tessaline.exe
  exit 0
fi

if [ -f "$BIN/Kestrune/kessrv.exe" ] && [ -f "$CARD" ]; then
  rm -rf "$RUN_DIR/scan"
  echo "Scanning the demo card with the engine..."
  wine "$BIN/Kestrune/kessrv.exe" /d "$(winepath -w "$RUN_DIR/scan")" /cmd '\\.\K:' \
    "fileopt,everything,disable,jpg,enable,png,enable,gif,enable,bmp,enable,tif,enable,search" </dev/null || true
  echo "Recovered into $RUN_DIR/scan:"
  find "$RUN_DIR/scan" -type f | sed "s|$RUN_DIR/scan/||" | sort | head -50
  manifest="$CARD.originals/manifest.tsv"
  if [ -f "$manifest" ]; then
    found=$(find "$RUN_DIR/scan" -type f -exec sha256sum {} + | cut -d' ' -f1 | sort -u)
    total=$(tail -n +2 "$manifest" | wc -l)
    exact=$(tail -n +2 "$manifest" | cut -f4 | sort -u | comm -12 - <(echo "$found") | wc -l)
    echo "Deleted originals on the card: $total; recovered byte for byte: $exact"
  fi
fi

if [ -x "$ROOT/tools/gallery.sh" ] && [ "${TESS_NO_GALLERY:-0}" != 1 ]; then
  "$ROOT/tools/gallery.sh"
fi
