#!/usr/bin/env bash
# Cross-builds dav1d (the AV1 decoder, static, with its x86 assembly, no tools) for one
# edition (32: i686, 64: x86_64) from Debian's source package into a cache folder (see
# tools/debian-source-cache.sh).
#   tools/build-dav1d.sh [cache-dir] [32|64]
# Result: <cache-dir>/include/dav1d/*.h, <cache-dir>/lib/libdav1d.a
set -euo pipefail
VERSION=1.0.0-2+deb12u1
UPSTREAM=1.0.0
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/debian-source-cache.sh"
EDITION=${2:-32}
TARGET=$(edition_target "$EDITION")

install_dav1d() {
  local work=$1 dest=$2 family=x86 cpu=i686
  [ "$EDITION" = 64 ] && family=x86_64 cpu=x86_64
  cat >"$work/cross.meson" <<CROSS
[binaries]
c = '$TARGET-gcc-posix'
cpp = '$TARGET-g++-posix'
ar = '$TARGET-ar'
strip = '$TARGET-strip'
windres = '$TARGET-windres'

[properties]
needs_exe_wrapper = true

[host_machine]
system = 'windows'
cpu_family = '$family'
cpu = '$cpu'
endian = 'little'
CROSS
  meson setup "$work/build" --cross-file "$work/cross.meson" --buildtype release \
    --default-library static --prefix "$dest" --libdir lib \
    -Denable_tools=false -Denable_tests=false -Denable_examples=false -Dlogging=false >/dev/null
  ninja -C "$work/build" -j"${DAV1D_JOBS:-2}" >/dev/null
  ninja -C "$work/build" install >/dev/null
  rm -rf "$dest/lib/pkgconfig"
  cp COPYING "$dest/" 2>/dev/null || true
}

cross_build_debian_source dav1d "$VERSION" "$UPSTREAM" \
  "${1:-$(debian_source_cache_dir "$TARGET/dav1d-$VERSION")}" "dav1d ($EDITION-bit)" install_dav1d
