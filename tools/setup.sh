#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Idempotent and quick when all is already there.
set -euo pipefail

PACKAGES=(
  g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 xvfb xauth
  cmake ninja-build googletest dpkg-dev libraw-dev libjpeg-dev
  imagemagick x11-apps fonts-liberation fonts-dejavu-core fonts-noto-cjk
  dosfstools mtools libimage-exiftool-perl ffmpeg clang libclang-rt-14-dev
  foremost scalpel python3 python3-pil librsvg2-bin
  sox flac vorbis-tools wavpack lame opus-tools exfatprogs dvdauthor abcmidi zlib1g-dev nsis
)

missing() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || echo "$p"
  done
}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

need_sources=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
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
if [ -n "$todo" ] || [ "$need_sources" = 1 ]; then
  as_root apt-get update -q
fi
if [ -n "$todo" ]; then
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $todo
fi
