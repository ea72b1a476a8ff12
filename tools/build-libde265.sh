#!/usr/bin/env bash
# Cross-builds libde265 (the HEVC decoder, static, no tools) for one edition (32: i686,
# 64: x86_64) from Debian's source package into a cache folder (see
# tools/debian-source-cache.sh).
#   tools/build-libde265.sh [cache-dir] [32|64]
# Result: <cache-dir>/include/libde265/*.h, <cache-dir>/lib/libde265.a
set -euo pipefail
VERSION=1.0.11-1+deb12u2
UPSTREAM=1.0.11
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/debian-source-cache.sh"
EDITION=${2:-32}
TARGET=$(edition_target "$EDITION")
TOOLCHAIN=$ROOT/cmake/mingw-w64-${TARGET%%-*}-posix.cmake

install_libde265() {
  local work=$1 dest=$2
  cmake -S . -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF \
    -DCMAKE_INSTALL_PREFIX="$dest" -Wno-dev >/dev/null
  cmake --build "$work/build" -j"${LIBDE265_JOBS:-2}" >/dev/null
  cmake --install "$work/build" >/dev/null
  rm -rf "$dest/lib/pkgconfig" "$dest/lib/cmake"
  cp COPYING "$dest/" 2>/dev/null || true
}

cross_build_debian_source libde265 "$VERSION" "$UPSTREAM" \
  "${1:-$(debian_source_cache_dir "$TARGET/libde265-$VERSION")}" "libde265 ($EDITION-bit)" install_libde265
