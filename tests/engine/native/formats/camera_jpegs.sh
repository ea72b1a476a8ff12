#!/usr/bin/env bash
# Real cameras' JPEGs: the sample pictures of exiftool's test suite (its Debian source
# package, fetched once per version into the user's cache), copied as cam_<name>.jpg.
# Then previews as the cameras place them after the picture's end: a larger picture
# takes a camera's metadata, maker note included, and exiftool writes a preview too
# large for the EXIF segment, which goes into a trailer that only the maker note points
# to (cam_<name>_preview.jpg). Samsung's binary note always has it there.
# Usage: camera_jpegs.sh <out-dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
source "$here/../../../../tools/debian-source-cache.sh"
version=$(dpkg-query -W -f='${Version}' libimage-exiftool-perl)
cache=$(debian_source_cache_dir "exiftool-images-$version")
if [ ! -f "$cache/.complete" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/exiftool-images.XXXXXX")
  trap "rm -rf '$work'" EXIT
  (cd "$work" && apt-get source --download-only -q "libimage-exiftool-perl=$version" >/dev/null 2>&1) || {
    echo "apt-get source libimage-exiftool-perl failed: are deb-src entries enabled (tools/setup.sh)?" >&2
    exit 1
  }
  tar -xJf "$work"/*.orig.tar.xz -C "$work" --wildcards '*/t/images/*.jpg'
  mkdir -p "$cache"
  cp "$work"/*/t/images/*.jpg "$cache/"
  touch "$cache/.complete"
fi
cd "$out"
for f in "$cache"/*.jpg; do cp "$f" "cam_$(basename "$f")"; done

pic() { /usr/bin/convert -seed "$1" -size "$2" plasma:fractal "${@:3}"; }
pic 31 1024x768 -quality 90 main.jpg
pic 32 800x600 -quality 95 preview.jpg
with_preview() {  # with_preview <output> <exiftool arguments giving the metadata...>
  cp main.jpg "$1"
  exiftool -q -q -overwrite_original "${@:2}" "$1"
  exiftool -q -q -overwrite_original '-PreviewImage<=preview.jpg' "$1"
}
for cam in Minolta Pentax OlympusE1 NikonD70; do
  with_preview "cam_${cam}_preview.jpg" -TagsFromFile "cam_$cam.jpg" -all:all -makernotes
done
with_preview cam_KonicaMinolta_preview.jpg -TagsFromFile cam_Minolta.jpg -all:all -makernotes \
  '-Make=Konica Minolta Camera, Inc.'
for order in II MM; do
  # Version, a word, the preview's start (set, so that exiftool takes the note for one
  # with a preview) and length, then the rest of the note.
  fmt='<'; [ $order = MM ] && fmt='>'
  python3 -c "import struct, sys; sys.stdout.buffer.write(b'STMN100\0' + struct.pack('${fmt}II', 1, 0) + bytes(32))" >stmn.bin
  with_preview "cam_Samsung_${order}_preview.jpg" -Make=SAMSUNG -Model=Tester -ExifByteOrder=$order '-MakerNotes<=stmn.bin'
done
rm -f main.jpg preview.jpg stmn.bin
