#!/usr/bin/env bash
# Cross-builds the Windows program, its engine and its tests into $BUILD_DIR (default build/win).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build/win}"
[ "${TESS_SKIP_SETUP:-0}" = 1 ] || "$ROOT/tools/setup.sh"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686-posix.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
