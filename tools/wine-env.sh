# Sourced by the run, test and bench scripts: a quiet, prepared Wine prefix per edition.
#
#   use_edition 32|64   picks the edition: its build folder (BUILD_DIR), its Wine prefix
#                       (WINEPREFIX, win32 or win64) and its loader (TESS_WINE, and the
#                       function `wine`)
#
# TESS_EDITION, when set by the caller, is the edition taken at once (the CTest emulator
# and the scripts run inside the virtual display rely on it). Build folders live in
# BUILD_ROOT (default build/), the prefixes at TESS_WINE_ROOT-win32 and -win64; the
# default root is named after the checkout, so parallel checkouts keep apart.
TOOLS_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/editions.sh
. "$TOOLS_DIR/editions.sh"
export BUILD_ROOT="${BUILD_ROOT:-$(dirname "$TOOLS_DIR")/build}"
export TESS_WINE_ROOT="${TESS_WINE_ROOT:-/tmp/wineprefix-tessaline-$(printf %s "$TOOLS_DIR" | cksum | cut -d' ' -f1)}"
export WINEDEBUG=-all
# No .NET or HTML engine prompts, and no host menu entries for the installer's shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

use_edition() {
  edition_target "$1" >/dev/null || return 1
  export TESS_EDITION=$1
  export BUILD_DIR="$BUILD_ROOT/win$1"
  export WINEARCH="win$1"
  export WINEPREFIX="$TESS_WINE_ROOT-win$1"
  # Debian's `wine` picks the 32-bit loader whenever wine32 is installed: the 64-bit
  # edition names its loader.
  if [ "$1" = 64 ]; then
    export TESS_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
  else
    export TESS_WINE=/usr/bin/wine
    unset WINELOADER
  fi
}

# The edition's loader; `timeout` and other wrappers take "$TESS_WINE" itself.
wine() { "$TESS_WINE" "$@"; }

# Makes the prefix on first use; fails with Wine's own words when Wine cannot start.
wine_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (first time only, about 15 s)..."
    local log="${TMPDIR:-/tmp}/wineboot-$TESS_EDITION.$$.log" rc=0
    timeout 180 "$TESS_WINE" wineboot -i </dev/null >"$log" 2>&1 || rc=$?
    timeout 120 wineserver -w || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Wine cannot start the $TESS_EDITION-bit edition's prefix (wineboot exit code $rc):" >&2
      tail -n 5 "$log" >&2
      rm -f "$log"
      return 1
    fi
    rm -f "$log"
  fi
  # Fonts the program asks for, mapped to installed Debian fonts (incl. CJK),
  # and frames drawn by the program itself rather than by a window manager.
  wine regedit /S "$TOOLS_DIR/wine-fonts.reg" </dev/null >/dev/null 2>&1 || true
  # The Latin stand-ins have no CJK glyphs: link them to Noto CJK for Japanese and Chinese.
  local link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  local cjk='NotoSansCJK-Regular.ttc,Noto Sans CJK JP\0NotoSansCJK-Bold.ttc,Noto Sans CJK JP'
  local face
  for face in "DejaVu Sans" "DejaVu Sans Bold" "Verdana"; do
    wine reg add "$link" /v "$face" /t REG_MULTI_SZ /d "$cjk" /f </dev/null >/dev/null 2>&1 || true
  done
  # Liberation Sans (Arial) has no Arabic either: DejaVu Sans first, then CJK.
  local arabic='DejaVuSans.ttf,DejaVu Sans\0DejaVuSans-Bold.ttf,DejaVu Sans Bold\0'
  for face in "Liberation Sans" "Arial"; do
    wine reg add "$link" /v "$face" /t REG_MULTI_SZ /d "$arabic$cjk" /f </dev/null >/dev/null 2>&1 || true
  done
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 || true
}

# Wine's helper processes inherit the stdio of the first Wine process of a session;
# starting them here with /dev/null keeps CTest's pipes from being held open.
wine_start_server() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

wine_stop_server() { wineserver -k 2>/dev/null || true; }

if [ -n "${TESS_EDITION:-}" ]; then use_edition "$TESS_EDITION"; fi
