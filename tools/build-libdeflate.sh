#!/usr/bin/env bash
# Cross-builds libdeflate (plain C, static) for one edition (32: i686, 64: x86_64) from
# Debian's source package into a cache folder (see tools/debian-source-cache.sh).
#   tools/build-libdeflate.sh [cache-dir] [32|64]
# Result: <cache-dir>/include/libdeflate.h, <cache-dir>/lib/libdeflate.a
set -euo pipefail
VERSION=1.14-1
UPSTREAM=1.14
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/debian-source-cache.sh"
EDITION=${2:-32}
TARGET=$(edition_target "$EDITION")

install_libdeflate() {
  local dest=$2
  # For a MinGW compiler the Makefile names the static library libdeflatestatic.lib (an
  # ar archive, as any .a).
  make -j"${LIBDEFLATE_JOBS:-2}" CC="$TARGET-gcc-posix" AR="$TARGET-ar" libdeflatestatic.lib >/dev/null
  cp libdeflate.h "$dest/include/"
  cp libdeflatestatic.lib "$dest/lib/libdeflate.a"
  cp COPYING "$dest/" 2>/dev/null || true
}

cross_build_debian_source libdeflate "$VERSION" "$UPSTREAM" \
  "${1:-$(debian_source_cache_dir "$TARGET/libdeflate-$VERSION")}" "libdeflate ($EDITION-bit)" install_libdeflate
