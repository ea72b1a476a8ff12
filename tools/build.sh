#!/usr/bin/env bash
# Cross-builds both Windows editions of the program, its engine, its tests and its
# installer: the 32-bit one into build/win32, the 64-bit one into build/win64 (BUILD_ROOT
# moves both). Every build makes both, so that neither can rot.
#   TESS_BUILD_EDITIONS="64"  build one edition only (for quick work on one machine kind)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[ "${TESS_SKIP_SETUP:-0}" = 1 ] || "$ROOT/tools/setup.sh"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
for edition in ${TESS_BUILD_EDITIONS:-32 64}; do
  use_edition "$edition"
  echo "Building the $edition-bit edition in $BUILD_DIR"
  cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-$(edition_target "$edition" | cut -d- -f1)-posix.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)"
done
