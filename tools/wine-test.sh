#!/usr/bin/env bash
# Runs one Windows test executable under Wine for CTest, in its edition's prefix:
#   wine-test.sh 32|64 <test.exe> [args...]
# Its output goes through a file: Wine sometimes leaves a helper behind (a headless
# conhost for a console child that was ended while starting) that keeps the test's stdio
# open, and CTest would wait on such a pipe until its timeout although the test has long
# ended.
# Wine now and then fails to start a process at all (about one start in a thousand
# here, more on some machines): it exits at once, non-zero, having printed nothing.
# Every test prints before its first case, so such a run never reached the tests: it is
# said and started once more. Now and then, too, Wine's own loader dies by a signal on
# its way out after every case has passed (a segmentation fault of the host process, not
# an exception of the program, which Wine reports as a Windows exit code): that run is
# said and started once more as well. A test that fails or crashes has printed and is
# not rerun.
TESS_EDITION=$1
shift
# shellcheck source=tools/wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh" || exit 1
out=$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX") || exit 1
for attempt in 1 2; do
  wine "$@" >"$out" 2>&1 </dev/null
  rc=$?
  if [ "$rc" = 0 ] || [ "$attempt" = 2 ]; then break; fi
  if [ ! -s "$out" ]; then
    echo "Wine did not start $1 (exit code $rc, nothing printed): starting it once more."
  elif [ "$rc" -ge 128 ] && grep -q '^\[  PASSED  \]' "$out" && ! grep -q '^\[  FAILED  \]' "$out"; then
    echo "Wine died by signal $((rc - 128)) after every case of $1 had passed: starting it once more."
  else
    break
  fi
done
cat "$out"
rm -f "$out"
exit $rc
