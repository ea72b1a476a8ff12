#!/usr/bin/env bash
# Cross-builds libjpeg-turbo (plain C, static, i686) from Debian's source package into a
# cache folder outside any build tree, once per version; parallel callers wait on a lock.
#   tools/build-libjpeg.sh [cache-dir]
# Result: <cache-dir>/include/{jpeglib.h,jconfig.h,jmorecfg.h,jerror.h}, <cache-dir>/lib/libjpeg.a
set -euo pipefail
VERSION=1:2.1.5-2
UPSTREAM=2.1.5
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEST="${1:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline/libjpeg-turbo-${VERSION#*:}}"
mkdir -p "$(dirname "$DEST")"
exec 9>"$DEST.lock"
flock 9
if [ -f "$DEST/.complete" ]; then
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/libjpeg-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "Building libjpeg-turbo $VERSION (first time only, about a minute)..." >&2
apt-get source -q "libjpeg-turbo=$VERSION" >/dev/null 2>&1 || {
  echo "apt-get source libjpeg-turbo=$VERSION failed: are deb-src entries enabled (tools/setup.sh)?" >&2
  exit 1
}
cmake -S "libjpeg-turbo-$UPSTREAM" -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686-posix.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
  -DCMAKE_INSTALL_PREFIX="$work/unused" -Wno-dev >/dev/null
cmake --build build -j"${LIBJPEG_JOBS:-2}" --target jpeg-static >/dev/null

rm -rf "$DEST"
mkdir -p "$DEST/include" "$DEST/lib"
cp "libjpeg-turbo-$UPSTREAM"/{jpeglib.h,jmorecfg.h,jerror.h} build/jconfig.h "$DEST/include/"
cp build/libjpeg.a "$DEST/lib/"
cp "libjpeg-turbo-$UPSTREAM"/LICENSE.md "$DEST/" 2>/dev/null || true
touch "$DEST/.complete"
