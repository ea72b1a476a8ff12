#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Idempotent and quick when all is already there.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/editions.sh
. "$ROOT/tools/editions.sh"

PACKAGES=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xauth
  cmake ninja-build googletest dpkg-dev libraw-dev libjpeg-dev
  imagemagick x11-apps fonts-liberation fonts-dejavu-core fonts-noto-cjk
  dosfstools mtools libimage-exiftool-perl ffmpeg clang libclang-rt-14-dev
  foremost scalpel python3 python3-pil librsvg2-bin
  sox flac vorbis-tools wavpack lame opus-tools exfatprogs dvdauthor abcmidi zlib1g-dev nsis file mkvtoolnix
  meson nasm libheif-examples
  libz-mingw-w64-dev libdeflate-dev libjpeg-turbo-progs
)
# Wine's 32-bit loader only where this kernel runs 32-bit code at all.
if runs_32bit_code; then PACKAGES+=(wine32:i386); fi

missing() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || echo "$p"
  done
}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

need_sources=0
if runs_32bit_code && ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_sources=1
fi
# LibRaw is built from Debian's source package, so deb-src must be enabled.
if [ -f /etc/apt/sources.list.d/debian.sources ] && grep -q '^Types: deb$' /etc/apt/sources.list.d/debian.sources; then
  as_root sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  need_sources=1
fi
if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list && ! grep -q '^deb-src ' /etc/apt/sources.list; then
  grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | as_root tee -a /etc/apt/sources.list >/dev/null
  need_sources=1
fi

todo=$(missing)
[ -n "$todo" ] || [ "$need_sources" = 1 ] || exit 0

# A mirror in the middle of a sync serves an index that does not match its Release file,
# and apt-get update fails. Once more after a moment; if an index still fails, every
# package comes from the release suite, so that both architectures take the same version
# (an i386 library must be at its amd64 twin's version, which a missing index would break).
from_release=()
if ! as_root apt-get update -q; then
  sleep 10
  if ! as_root apt-get update -q; then
    release=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    echo "setup: a package index failed to download (mirror sync?); installing from the $release release suite" >&2
    from_release=(-t "$release")
  fi
fi
todo=$(missing)
if [ -n "$todo" ]; then
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${from_release[@]}" $todo
fi
