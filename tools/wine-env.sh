# Sourced by the run and test scripts: a quiet, prepared Wine prefix.
# WINEPREFIX may be set by the caller to keep parallel runs apart.
export WINEPREFIX="${WINEPREFIX:-/tmp/wineprefix-tessaline}"
export WINEDEBUG=-all
# No .NET or HTML engine prompts, and no host menu entries for the installer's shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win32
TOOLS_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

wine_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (first time only, about 15 s)..."
    timeout 180 wineboot -i </dev/null >/dev/null 2>&1 || true
    timeout 120 wineserver -w || true
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
