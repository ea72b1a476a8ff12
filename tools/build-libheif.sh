#!/usr/bin/env bash
# Cross-builds libheif (static, decoding only) for one edition (32: i686, 64: x86_64) from
# Debian's source package into a cache folder (see tools/debian-source-cache.sh), with
# its two decoders built in: libde265 for HEVC (HEIC) and dav1d for AV1 (AVIF), each
# cross-built first into its own cache folder beside this one.
#   tools/build-libheif.sh [cache-dir] [32|64]
# Result: <cache-dir>/include/libheif/*.h and <cache-dir>/lib/{libheif,libde265,libdav1d}.a
set -euo pipefail
VERSION=1.15.1-1+deb12u1
UPSTREAM=1.15.1
DE265_VERSION=1.0.11-1+deb12u2
DAV1D_VERSION=1.0.0-2+deb12u1
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/debian-source-cache.sh"
EDITION=${2:-32}
TARGET=$(edition_target "$EDITION")
TOOLCHAIN=$ROOT/cmake/mingw-w64-${TARGET%%-*}-posix.cmake
DEST=${1:-$(debian_source_cache_dir "$TARGET/libheif-$VERSION")}
DE265=$(dirname "$DEST")/libde265-$DE265_VERSION
DAV1D=$(dirname "$DEST")/dav1d-$DAV1D_VERSION

install_libheif() {
  local work=$1 dest=$2
  # Warnings of a newer compiler are not this build's concern.
  sed -i '/add_definitions(-Werror)/d' CMakeLists.txt
  PKG_CONFIG_LIBDIR=/nonexistent cmake -S . -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_PLUGIN_LOADING=OFF -DWITH_EXAMPLES=OFF \
    -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF -DWITH_DAV1D=ON -DWITH_DAV1D_PLUGIN=OFF \
    -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF \
    -DLIBDE265_INCLUDE_DIR="$DE265/include" -DLIBDE265_LIBRARY="$DE265/lib/libde265.a" \
    -DDAV1D_INCLUDE_DIR="$DAV1D/include" -DDAV1D_LIBRARY="$DAV1D/lib/libdav1d.a" \
    -DCMAKE_INSTALL_PREFIX="$dest" -Wno-dev >"$work/configure.log" 2>&1
  grep -q "libde265' as built-in" "$work/configure.log" && grep -q "dav1d' as built-in" "$work/configure.log" || {
    cat "$work/configure.log" >&2
    echo "libheif: a decoder was not found" >&2
    exit 1
  }
  cmake --build "$work/build" -j"${LIBHEIF_JOBS:-2}" --target heif >/dev/null
  mkdir -p "$dest/include/libheif"
  cp libheif/heif.h "$work/build/libheif/heif_version.h" "$dest/include/libheif/"
  cp "$work/build/libheif/libheif.a" "$DE265/lib/libde265.a" "$DAV1D/lib/libdav1d.a" "$dest/lib/"
  cp COPYING "$dest/" 2>/dev/null || true
}

"$ROOT/tools/build-libde265.sh" "$DE265" "$EDITION"
"$ROOT/tools/build-dav1d.sh" "$DAV1D" "$EDITION"
cross_build_debian_source libheif "$VERSION" "$UPSTREAM" "$DEST" "libheif ($EDITION-bit)" install_libheif
