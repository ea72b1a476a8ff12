#!/usr/bin/env bash
# Cross-builds LibRaw as a static i686 library from Debian's source package into a
# cache folder outside any build tree, once per version. Parallel callers wait on a
# lock; later callers find the finished cache and return at once.
#   tools/build-libraw.sh [cache-dir]
# Result: <cache-dir>/include/libraw/*.h and <cache-dir>/lib/libraw.a
set -euo pipefail
VERSION=0.20.2-2.1+deb12u1
UPSTREAM=0.20.2
DEST="${1:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaline/libraw-$VERSION}"
mkdir -p "$(dirname "$DEST")"
exec 9>"$DEST.lock"
flock 9
if [ -f "$DEST/.complete" ]; then
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/libraw-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "Building LibRaw $VERSION (first time only, a few minutes)..." >&2
apt-get source -q "libraw=$VERSION" >/dev/null 2>&1 || {
  echo "apt-get source libraw=$VERSION failed: are deb-src entries enabled (tools/setup.sh)?" >&2
  exit 1
}
cd "libraw-$UPSTREAM"
# Makefile.mingw calls plain ar/ranlib: point them at the cross tools.
mkdir -p "$work/xbin"
ln -sf "$(command -v i686-w64-mingw32-ar)" "$work/xbin/ar"
ln -sf "$(command -v i686-w64-mingw32-ranlib)" "$work/xbin/ranlib"
PATH="$work/xbin:$PATH" make -f Makefile.mingw -j"${LIBRAW_JOBS:-2}" library \
  CC=i686-w64-mingw32-gcc-posix CXX=i686-w64-mingw32-g++-posix \
  CFLAGS="-O2 -I. -w -DLIBRAW_NODLL" >/dev/null

rm -rf "$DEST"
mkdir -p "$DEST/include" "$DEST/lib"
cp -r libraw "$DEST/include/"
cp lib/libraw.a "$DEST/lib/"
cp COPYRIGHT LICENSE.LGPL "$DEST/" 2>/dev/null || true
touch "$DEST/.complete"
