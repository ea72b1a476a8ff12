# Sourced by the tools/build-<library>.sh scripts: cross-builds a Debian source package
# once per version into a cache folder outside any build tree. Parallel callers wait on
# a lock; later callers find the finished cache (marked by .complete) and return at once.
#
#   cross_build_debian_source PACKAGE VERSION UPSTREAM DEST NAME INSTALL
#
# fetches PACKAGE=VERSION with apt-get source into a scratch folder, then runs the
# caller's function INSTALL inside the unpacked PACKAGE-UPSTREAM folder with the scratch
# folder as $1 and an emptied DEST (with include/ and lib/) as $2.

# shellcheck source=tools/editions.sh
. "$(dirname "${BASH_SOURCE[0]}")/editions.sh"

# The default cache folder for FOLDER: $XDG_CACHE_HOME (or ~/.cache)/tessaline/FOLDER.
debian_source_cache_dir() {
  echo "${XDG_CACHE_HOME:-$HOME/.cache}/tessaline/$1"
}

cross_build_debian_source() {
  local package=$1 version=$2 upstream=$3 dest=$4 name=$5 install=$6
  mkdir -p "$(dirname "$dest")"
  exec 9>"$dest.lock"
  flock 9
  if [ -f "$dest/.complete" ]; then
    return 0
  fi

  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/$package-build.XXXXXX")
  # The trap outlives this function, so it names the folder itself.
  trap "rm -rf '$work'" EXIT
  cd "$work"
  echo "Building $name $version (first time only)..." >&2
  apt-get source -q "$package=$version" >/dev/null 2>&1 || {
    echo "apt-get source $package=$version failed: are deb-src entries enabled (tools/setup.sh)?" >&2
    exit 1
  }
  cd "$package-$upstream"
  rm -rf "$dest"
  mkdir -p "$dest/include" "$dest/lib"
  "$install" "$work" "$dest"
  touch "$dest/.complete"
}
