#!/usr/bin/env bash
# Builds the dialog gallery and runs it under Xvfb: one picture per dialog, mode, text
# length and language in build/win32/gallery/gallery/ (or win64), plus a picture of the whole screen.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
use_edition "${TESS_EDITION:-$(preferred_edition)}"
wine_prepare_prefix
cmake --build "$BUILD_DIR" -j2 --target tess_gallery
cd "$BUILD_DIR/gallery"
rm -rf gallery screen.png
# Wine's desktop process must start with the display: a server of its own inside it.
timeout 600 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
  '. "$1/tools/wine-env.sh"; wine_start_server
   "$TESS_WINE" ./tess_gallery.exe </dev/null >/dev/null 2>&1 & pid=$!
   sleep 8; import -window root screen.png; wait $pid; wine_stop_server' _ "$ROOT"
ls gallery | wc -l | xargs echo "pictures:"
echo "in $BUILD_DIR/gallery/gallery"
