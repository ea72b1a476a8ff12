# Sourced by the set-up, build, run and test scripts: the program's two Windows editions.
#
#   32  i686 MinGW, run by Wine's 32-bit loader: the edition for 32-bit Windows
#   64  x86_64 MinGW, run by wine64: the edition every x86-64 machine can run
#
# Some machines run no 32-bit code at all (their kernel refuses i386 programs with "Exec
# format error", Wine's 32-bit loader included). Both editions are built everywhere; the
# 32-bit one is run only where 32-bit code runs.
#   TESS_EDITIONS="64"  test (and run) the 64-bit edition only, on any machine

# Whether this kernel starts an i386 program: a 93-byte static ELF that exits with 0.
# Asked once per shell; the answer is kept in TESS_RUNS_32BIT (1 or 0).
runs_32bit_code() {
  if [ -z "${TESS_RUNS_32BIT:-}" ]; then
    local probe
    probe=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX")
    printf '%b' '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000' \
      '\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' \
      '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000' \
      '\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
    chmod +x "$probe"
    if "$probe" 2>/dev/null; then TESS_RUNS_32BIT=1; else TESS_RUNS_32BIT=0; fi
    rm -f "$probe"
    export TESS_RUNS_32BIT
  fi
  [ "$TESS_RUNS_32BIT" = 1 ]
}

# The editions this machine runs, the 64-bit one last: TESS_EDITIONS, or both where 32-bit
# code runs and the 64-bit one alone elsewhere.
runnable_editions() {
  if [ -n "${TESS_EDITIONS:-}" ]; then
    local edition
    for edition in $TESS_EDITIONS; do
      case $edition in
        32) runs_32bit_code || { echo "TESS_EDITIONS: this machine runs no 32-bit code" >&2; return 1; } ;;
        64) ;;
        *) echo "TESS_EDITIONS: '$edition' is no edition (32 or 64)" >&2; return 1 ;;
      esac
    done
    echo "$TESS_EDITIONS"
  elif runs_32bit_code; then
    echo "32 64"
  else
    echo "64"
  fi
}

# The edition the program is started in: the 32-bit one where it runs.
preferred_edition() {
  local editions
  editions=$(runnable_editions) || return 1
  echo "${editions%% *}"
}

# The MinGW target of an edition.
edition_target() {
  case $1 in
    32) echo i686-w64-mingw32 ;;
    64) echo x86_64-w64-mingw32 ;;
    *) echo "no edition '$1'" >&2; return 1 ;;
  esac
}
