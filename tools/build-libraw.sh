#!/usr/bin/env bash
# Cross-builds LibRaw as a static library of one edition (32: i686, 64: x86_64) from
# Debian's source package into a cache folder (see tools/debian-source-cache.sh).
#   tools/build-libraw.sh [cache-dir] [32|64]
# Result: <cache-dir>/include/libraw/*.h and <cache-dir>/lib/libraw.a
set -euo pipefail
VERSION=0.20.2-2.1+deb12u1
UPSTREAM=0.20.2
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/debian-source-cache.sh"
EDITION=${2:-32}
TARGET=$(edition_target "$EDITION")

install_libraw() {
  local work=$1 dest=$2
  # Makefile.mingw calls plain ar/ranlib: point them at the cross tools.
  mkdir -p "$work/xbin"
  ln -sf "$(command -v "$TARGET-ar")" "$work/xbin/ar"
  ln -sf "$(command -v "$TARGET-ranlib")" "$work/xbin/ranlib"
  PATH="$work/xbin:$PATH" make -f Makefile.mingw -j"${LIBRAW_JOBS:-2}" library \
    CC="$TARGET-gcc-posix" CXX="$TARGET-g++-posix" \
    CFLAGS="-O2 -I. -w -DLIBRAW_NODLL" >/dev/null
  cp -r libraw "$dest/include/"
  cp lib/libraw.a "$dest/lib/"
  cp COPYRIGHT LICENSE.LGPL "$dest/" 2>/dev/null || true
}

cross_build_debian_source libraw "$VERSION" "$UPSTREAM" \
  "${1:-$(debian_source_cache_dir "$TARGET/libraw-$VERSION")}" "LibRaw ($EDITION-bit)" install_libraw
