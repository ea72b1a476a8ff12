#!/usr/bin/env bash
# Generates the sample pictures, clips and sounds the format tests carve, with Debian's
# own tools.
# Usage: make_media.sh <out-dir> [jpeg-maker]
set -euo pipefail
out=$1
maker=${2:-}
mkdir -p "$out"
cd "$out"
im=/usr/bin/convert
pic() { "$im" -seed "$1" -size "$2" plasma:fractal "${@:3}"; }

pic 1 320x240 -quality 85 jpg_baseline.jpg
pic 2 400x300 -quality 90 -interlace Plane jpg_progressive.jpg
pic 3 333x217 -colorspace Gray -quality 80 jpg_gray.jpg
pic 4 256x256 -quality 92 -sampling-factor 1x1 jpg_444.jpg
pic 5 1200x900 -quality 88 jpg_big.jpg
pic 26 331x215 -quality 80 -sampling-factor 2x1 jpg_422_odd.jpg
pic 27 333x211 -quality 75 -interlace Plane jpg_progressive_odd.jpg
pic 6 160x120 -quality 70 thumb.jpg
cp jpg_big.jpg jpg_exif_thumb.jpg
exiftool -q -overwrite_original -Make=Kestrel -Model=Tester '-ThumbnailImage<=thumb.jpg' jpg_exif_thumb.jpg
# Previews after the EOI, as some cameras store them: exiftool moves a preview too large
# for the EXIF block into a trailer that only the maker note points to. The notes start
# as bare preview tags (Minolta: start 0x88, length 0x89; Pentax: length 3, start 4).
pic 28 1280x960 -quality 90 preview.jpg
printf '\000\002\000\210\000\004\000\000\000\001\000\000\000\000\000\211\000\004\000\000\000\001\000\000\000\000\000\000\000\000' > note_minolta.bin
printf 'PENTAX \000II\002\000\003\000\004\000\001\000\000\000\000\000\000\000\004\000\004\000\001\000\000\000\000\000\000\000\000\000\000\000' > note_pentax.bin
for note in minolta:Minolta pentax:PENTAX; do
  f=jpg_trailer_${note%%:*}.jpg
  pic 29 640x480 -quality 85 "$f"
  exiftool -q -overwrite_original "-Make=${note##*:}" -Model=Tester -ExifByteOrder=MM "-MakerNotes<=note_${note%%:*}.bin" "$f"
  exiftool -q -overwrite_original '-PreviewImage<=preview.jpg' "$f"
done
rm -f preview.jpg note_minolta.bin note_pentax.bin
if [ -n "$maker" ]; then
  "$maker" restart jpg_restart.jpg
  "$maker" progressive-restart jpg_progressive_restart.jpg
  "$maker" arithmetic jpg_arithmetic.jpg
  "$maker" cmyk jpg_cmyk.jpg
fi

pic 7 300x200 png_rgb.png
pic 8 120x90 -alpha set -channel A -evaluate set 60% png_rgba.png
pic 9 64x64 -colors 16 png_palette.png
pic 10 300x200 -define png:compression-level=0 png_stored.png
pic 11 96x64 -quality 75 jng_sample.jng
"$im" -delay 20 -size 40x30 xc:red xc:blue plasma:fractal mng_anim.mng

pic 12 200x150 -colors 64 gif_still.gif
"$im" -delay 10 -size 80x60 xc:red xc:green xc:blue plasma:fractal -loop 0 gif_anim.gif

pic 13 127x93 -type TrueColor BMP3:bmp_24.bmp
pic 14 64x48 -alpha set -type TrueColorAlpha BMP:bmp_32.bmp
pic 15 90x70 -colors 200 -type Palette BMP3:bmp_8.bmp

"$im" -seed 16 -size 64x64 plasma:fractal \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) ico_multi.ico
pic 17 48x48 ico_single.ico

pic 18 220x160 psd_rgb.psd
"$im" -seed 19 -size 100x80 plasma:fractal \( -clone 0 -negate \) psd_layers.psd

pic 20 200x150 -compress None tif_strips.tif
pic 21 256x192 -compress LZW -define tiff:tile-geometry=64x64 tif_tiles_lzw.tif
pic 22 180x120 -compress LZW -define tiff:endian=msb tif_big_endian.tif
pic 23 150x100 -compress JPEG tif_jpeg.tif
"$im" -seed 24 -size 120x90 plasma:fractal \( -clone 0 -rotate 90 \) tif_pages.tif
pic 25 100x70 TIFF64:tif_bigtiff.tif
# RIFF: an AVI clip with its index and a sound with an INFO list; the 8-bit sound's odd
# sample count leaves its data chunk padded.
av() { ffmpeg -nostdin -loglevel error -y "$@"; }
av -f lavfi -i testsrc=size=160x120:rate=10:duration=1 -c:v mjpeg -q:v 6 -fflags +bitexact riff_avi.avi
av -f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.5 -c:a pcm_s16le -metadata title=Tone riff_wav.wav
av -f lavfi -i sine=frequency=660:sample_rate=8001:duration=1 -c:a pcm_u8 -fflags +bitexact riff_wav_odd.wav
rm -f thumb.jpg
