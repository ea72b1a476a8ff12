#!/usr/bin/env bash
# Makes the stills of ISO base media files that the thumbnail tests decode, in <dir>:
#   halves.heic, halves.avif  300 x 200, the left half red, the right half blue (ImageMagick)
#   deep.heic      the same halves in 10 bits (heif-enc from a 16-bit picture)
#   camera.heic    a camera's HEIC: heif-enc from a JPEG with its Exif block (Canon EOS R6,
#                  shot 2024:05:17 09:41:27) and a 320-pixel thumbnail item
#   canon.cr3      a CR3 (tools/make-cr3.py from exiftool's CanonRaw.cr3, a Canon EOS M50's):
#                  THMB and the full-size JPEG all green, PRVW the red and blue halves
#   turned.cr3     the same, turned 90 degrees clockwise by its Orientation (6)
#   stripped.cr3, stripped.heic  exiftool's samples as they are: stand-ins for their pictures
#   tools/.../make_stills.sh <dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$1"
cd "$1"
halves() {
  local w=${1%x*} h=${1#*x}
  /usr/bin/convert -size "$1" xc:red -fill blue -draw "rectangle $((w / 2)),0 $((w - 1)),$((h - 1))" "${@:2}"
}
halves 300x200 -quality 90 halves.heic
halves 300x200 -quality 90 halves.avif
halves 300x200 -depth 16 PNG48:deep.png
heif-enc -b 10 -q 90 -o deep.heic deep.png >/dev/null
halves 800x600 -quality 92 camera.jpg
exiftool -q -overwrite_original -Make=Canon "-Model=Canon EOS R6" "-DateTimeOriginal=2024:05:17 09:41:27" camera.jpg
heif-enc -q 80 -t 320 -o camera.heic camera.jpg >/dev/null
/usr/bin/convert -size 160x120 xc:lime -quality 90 thmb.jpg
halves 1620x1080 -quality 90 prvw.jpg
/usr/bin/convert -size 6000x4000 xc:lime -quality 80 full.jpg
samples=$("$root/tools/exiftool-samples.sh")
python3 "$root/tools/make-cr3.py" "$samples/CanonRaw.cr3" canon.cr3 thmb.jpg prvw.jpg full.jpg --raw 200000,800000
cp canon.cr3 turned.cr3
exiftool -q -overwrite_original -Orientation#=6 turned.cr3
cp "$samples/CanonRaw.cr3" stripped.cr3
cp "$samples/QuickTime.heic" stripped.heic
rm -f deep.png camera.jpg thmb.jpg prvw.jpg full.jpg
