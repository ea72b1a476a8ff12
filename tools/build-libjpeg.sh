#!/usr/bin/env bash
# Cross-builds libjpeg-turbo (plain C, static) for one edition (32: i686, 64: x86_64)
# from Debian's source package into a cache folder (see tools/debian-source-cache.sh).
#   tools/build-libjpeg.sh [cache-dir] [32|64]
# Result: <cache-dir>/include/{jpeglib.h,jconfig.h,jmorecfg.h,jerror.h}, <cache-dir>/lib/libjpeg.a
set -euo pipefail
VERSION=1:2.1.5-2
UPSTREAM=2.1.5
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/debian-source-cache.sh"
EDITION=${2:-32}
TARGET=$(edition_target "$EDITION")
TOOLCHAIN=$ROOT/cmake/mingw-w64-${TARGET%%-*}-posix.cmake

install_libjpeg() {
  local work=$1 dest=$2
  cmake -S . -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
    -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
    -DCMAKE_INSTALL_PREFIX="$work/unused" -Wno-dev >/dev/null
  cmake --build "$work/build" -j"${LIBJPEG_JOBS:-2}" --target jpeg-static >/dev/null
  cp jpeglib.h jmorecfg.h jerror.h "$work/build/jconfig.h" "$dest/include/"
  cp "$work/build/libjpeg.a" "$dest/lib/"
  cp LICENSE.md "$dest/" 2>/dev/null || true
}

cross_build_debian_source libjpeg-turbo "$VERSION" "$UPSTREAM" \
  "${1:-$(debian_source_cache_dir "$TARGET/libjpeg-turbo-${VERSION#*:}")}" "libjpeg-turbo ($EDITION-bit)" install_libjpeg
