#!/usr/bin/env bash
# Cross-builds LibRaw as a static i686 library from Debian's source package into a
# cache folder (see tools/debian-source-cache.sh).
#   tools/build-libraw.sh [cache-dir]
# Result: <cache-dir>/include/libraw/*.h and <cache-dir>/lib/libraw.a
set -euo pipefail
VERSION=0.20.2-2.1+deb12u1
UPSTREAM=0.20.2
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/debian-source-cache.sh"

install_libraw() {
  local work=$1 dest=$2
  # Makefile.mingw calls plain ar/ranlib: point them at the cross tools.
  mkdir -p "$work/xbin"
  ln -sf "$(command -v i686-w64-mingw32-ar)" "$work/xbin/ar"
  ln -sf "$(command -v i686-w64-mingw32-ranlib)" "$work/xbin/ranlib"
  PATH="$work/xbin:$PATH" make -f Makefile.mingw -j"${LIBRAW_JOBS:-2}" library \
    CC=i686-w64-mingw32-gcc-posix CXX=i686-w64-mingw32-g++-posix \
    CFLAGS="-O2 -I. -w -DLIBRAW_NODLL" >/dev/null
  cp -r libraw "$dest/include/"
  cp lib/libraw.a "$dest/lib/"
  cp COPYRIGHT LICENSE.LGPL "$dest/" 2>/dev/null || true
}

cross_build_debian_source libraw "$VERSION" "$UPSTREAM" \
  "${1:-$(debian_source_cache_dir "libraw-$VERSION")}" LibRaw install_libraw
