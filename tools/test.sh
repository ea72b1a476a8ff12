#!/usr/bin/env bash
# Builds everything and runs every test: the Windows tests under Wine (window tests under
# Xvfb) on each edition this machine runs (always the 64-bit one, the 32-bit one where
# 32-bit code runs; TESS_EDITIONS="64" forces the 64-bit one alone), then the engine's
# native tests and fuzz runs. Does its own set-up.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
NATIVE_DIR="${NATIVE_DIR:-$ROOT/build/native}"
start=$(date +%s)

# A full run writes about 8 GiB (two editions, their Wine prefixes, the sanitized native
# build with its fuzz targets): say so at once rather than fail at a link half an hour in.
free_gib=$(( $(df -Pk "$ROOT" | awk 'NR == 2 {print $4}') / 1048576 ))
if [ "$free_gib" -lt 8 ]; then
  echo "test.sh: only $free_gib GiB free on this disk; a full run writes about 8 GiB" >&2
fi

"$ROOT/tools/setup.sh"
# shellcheck source=tools/wine-env.sh
. "$ROOT/tools/wine-env.sh"
editions=$(runnable_editions)
unset DISPLAY
TESS_SKIP_SETUP=1 "$ROOT/tools/build.sh"

passed=0; failed=0
tally() {  # reads ctest's summary line from a log
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1 || true)
  [ -n "$line" ] || return 0
  local f t
  f=$(sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + t - f)); failed=$((failed + f))
}
run_ctest() {  # run_ctest <log> <ctest args...>
  local log=$1; shift
  local rc=0
  timeout 2400 "$@" 2>&1 | tee "$log" || rc=$?
  tally "$log"
  [ "$rc" = 0 ] || status=1
}

# One edition's Windows tests, in its own prefix.
test_edition() {
  use_edition "$1"
  echo; echo "== Windows tests, $1-bit edition ($BUILD_DIR, prefix $WINEPREFIX)"
  if ! wine_prepare_prefix; then status=1; return; fi
  wine_start_server
  run_ctest "$logs/win$1.log" ctest --test-dir "$BUILD_DIR" --timeout 300 --output-on-failure -LE gui
  wine_stop_server
  # Window tests: Wine's desktop process must start with the display, so these get a
  # server of their own inside the virtual display.
  if ctest --test-dir "$BUILD_DIR" -N -L gui | grep -q 'Total Tests: [1-9]'; then
    run_ctest "$logs/gui$1.log" xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
      '. "$1/tools/wine-env.sh"; wine_start_server; rc=0
       ctest --test-dir "$BUILD_DIR" --timeout 300 --output-on-failure -L gui || rc=$?
       wine_stop_server; exit $rc' _ "$ROOT"
  fi
}

# Each edition's executables are of its machine: PE32 for Intel 80386, PE32+ for x86-64.
check_machines() {
  local edition exe kind want
  for edition in 32 64; do
    want="PE32 executable.*Intel 80386"; [ "$edition" = 64 ] && want="PE32\+ executable.*x86-64"
    for exe in bin/Tessaline.exe bin/Kestrune/kessrv.exe; do
      kind=$(file -b "$BUILD_ROOT/win$edition/$exe")
      echo "$edition-bit $exe: $kind"
      grep -Eq "$want" <<<"$kind" || { echo "  not the $edition-bit edition's machine" >&2; status=1; }
    done
  done
}

status=0
logs=$(mktemp -d)
trap wine_stop_server EXIT
check_machines
for edition in $editions; do test_edition "$edition"; done

# The engine natively: tests, sanitizers and bounded fuzzing.
if [ -f "$ROOT/engine/CMakeLists.txt" ]; then
  # clang, so that the same build carries the sanitizers and the libFuzzer targets
  CC=clang CXX=clang++ cmake -S "$ROOT/engine" -B "$NATIVE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTRUNE_TESTS=ON -DKESTRUNE_SANITIZE=ON >/dev/null
  cmake --build "$NATIVE_DIR" -j"$(nproc)"
  run_ctest "$logs/native.log" ctest --test-dir "$NATIVE_DIR" --timeout 600 --output-on-failure -j2
fi

echo
echo "Test run took $(( $(date +%s) - start )) s."
echo "Both editions built; Windows tests ran on: $(sed 's/\([0-9]*\)/\1-bit/g; s/ /, /' <<<"$editions")."
echo "$passed passed, $failed failed"
exit $status
