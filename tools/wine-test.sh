#!/usr/bin/env bash
# Runs one Windows test executable under Wine for CTest, in its edition's prefix:
#   wine-test.sh 32|64 <test.exe> [args...]
# Its output goes through a file: Wine sometimes leaves a helper behind (a headless
# conhost for a console child that was ended while starting) that keeps the test's stdio
# open, and CTest would wait on such a pipe until its timeout although the test has long
# ended.
TESS_EDITION=$1
shift
# shellcheck source=tools/wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh" || exit 1
out=$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX") || exit 1
wine "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
rm -f "$out"
exit $rc
