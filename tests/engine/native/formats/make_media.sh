#!/usr/bin/env bash
# Generates the sample pictures, clips and sounds the format tests carve, with Debian's
# own tools.
# Usage: make_media.sh <out-dir> [jpeg-maker]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
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
# Two shots of one camera: the same size, quality and standard Huffman tables, so that
# each one's data decodes as the other's; one has a bar across it (edges along rows).
pic 6 1200x900 -define jpeg:optimize-coding=false -quality 88 jpg_shot_a.jpg
pic 7 1200x900 -fill white -draw "rectangle 280,420 1150,470" -define jpeg:optimize-coding=false -quality 88 jpg_shot_b.jpg
# The same shot with a restart marker every 16 MCUs, as some phones write them.
jpegtran -restart 16B jpg_shot_a.jpg > jpg_shot_a_restart.jpg
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
pic 19 200x150 -colors 64 gif_other.gif
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
# Stills in ISO base media files: HEIC and AVIF from ImageMagick (through libheif) in
# several sizes; a HEIC from heif-enc with a camera's Exif block and a thumbnail item; a
# Canon CR3 made from a camera's own (exiftool's CanonRaw.cr3) with real previews.
grown() { "$im" -seed "$1" -size 320x240 plasma:fractal -resize "$2"! "${@:3}"; }
pic 40 320x240 -quality 70 heif_small.heic
grown 41 1920x1440 -attenuate 0.2 +noise Gaussian -quality 60 heif_large.heic
pic 42 333x221 -quality 60 heif_odd.avif
grown 43 1280x960 -attenuate 0.2 +noise Gaussian -quality 90 heif_large.avif
pic 44 800x600 -quality 92 exif.jpg
exiftool -q -overwrite_original -Make=Canon "-Model=Canon EOS R6" "-DateTimeOriginal=2024:05:17 09:41:27" exif.jpg
heif-enc -q 60 -t 320 -o heif_exif.heic exif.jpg >/dev/null
grown 45 160x120 -quality 80 cr3_thmb.jpg
grown 45 1620x1080 -quality 85 cr3_prvw.jpg
grown 45 6000x4000 -quality 75 cr3_full.jpg
# exiftool's samples themselves hold stand-ins where their tables place coded data.
exiftool_samples=$("$here/../../../../tools/exiftool-samples.sh")
cp "$exiftool_samples/QuickTime.heic" heif_stripped.heic
cp "$exiftool_samples/CanonRaw.cr3" heif_stripped.cr3
python3 "$here/../../../../tools/make-cr3.py" heif_stripped.cr3 heif_canon.cr3 cr3_thmb.jpg cr3_prvw.jpg cr3_full.jpg \
  --raw 400000,1600000
rm -f exif.jpg cr3_*.jpg
# RIFF: an AVI clip with its index and a sound with an INFO list; the 8-bit sound's odd
# sample count leaves its data chunk padded; a sound in the 64-bit form of large takes.
av() { ffmpeg -nostdin -loglevel error -y "$@"; }
av -f lavfi -i testsrc=size=160x120:rate=10:duration=1 -c:v mjpeg -q:v 6 -fflags +bitexact riff_avi.avi
av -f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.5 -c:a pcm_s16le -metadata title=Tone riff_wav.wav
av -f lavfi -i sine=frequency=660:sample_rate=8001:duration=1 -c:a pcm_u8 -fflags +bitexact riff_wav_odd.wav
av -f lavfi -i sine=frequency=550:sample_rate=8000:duration=0.5 -c:a pcm_s16le -rf64 always riff_rf64.wav
# Video containers: ISO media (moov last, moov first, fragmented, QuickTime, 3GPP, audio
# only), Matroska with CRC-32 elements and a live one of unknown size, WebM, ASF video and
# audio, FLV, RealMedia, recorded TV; DPX pictures from both tools.
clip="-f lavfi -i testsrc=size=160x120:rate=10:duration=1"
tone="-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1"
mux() { av "$@" -fflags +bitexact -map_metadata -1; }
mux $clip $tone -c:v mpeg4 -q:v 8 -c:a aac -b:a 32k mov_mp4.mp4
mux $clip $tone -c:v mpeg4 -q:v 8 -c:a aac -b:a 32k -movflags +faststart mov_faststart.mp4
mux $clip -c:v mpeg4 -q:v 8 -movflags +frag_keyframe+empty_moov mov_fragmented.mp4
mux $clip -c:v mjpeg -q:v 8 mov_qt.mov
mux $clip $tone -s 176x144 -c:v h263 -c:a aac -ar 8000 -ac 1 -b:a 12k mov_3gp.3gp
mux $clip $tone -s 176x144 -c:v h263 -c:a aac -ar 8000 -ac 1 -b:a 12k mov_3g2.3g2
mux $tone -c:a aac -b:a 32k mov_audio.m4a
mux $clip $tone -c:v mpeg4 -q:v 8 -c:a libvorbis mkv_video.mkv
mux $clip $tone -c:v mpeg4 -q:v 8 -c:a aac -f matroska -live 1 mkv_live.mkv
mux $clip $tone -c:v libvpx -b:v 100k -c:a libopus mkv_webm.webm
mux $clip $tone -c:v wmv2 -q:v 8 -c:a wmav2 -b:a 32k asf_video.wmv
mux $tone -c:a wmav2 -b:a 32k asf_audio.wma
mux $clip $tone -c:v flv -q:v 8 -c:a adpcm_swf -ar 11025 flv_video.flv
mux -f lavfi -i testsrc=size=160x128:rate=10:duration=1 $tone -c:v rv10 -q:v 8 -c:a real_144 rm_video.rm
mux $tone -c:a real_144 rm_audio.rm
mux $clip $tone -c:v mpeg2video -q:v 8 -c:a ac3 -b:a 64k wtv_sample.wtv
mux -f lavfi -i testsrc=size=64x48 -frames:v 1 -pix_fmt rgb48le dpx_rgb48.dpx
pic 28 64x48 -depth 10 dpx_rgb10.dpx
pic 29 33x20 -depth 8 dpx_rgb8.dpx
"$im" -size 40x30 gradient: -depth 16 dpx_gray16.dpx
# Sound formats: AIFF with a name chunk and AIFF-C; ".snd" audio with its size, from sox with
# an annotation, and streamed (size unknown); CAF with PCM and with ALAC packets.
sine_of() { echo "sine=frequency=$1:sample_rate=$2:duration=$3"; }
av -f lavfi -i "$(sine_of 440 8000 0.5)" -c:a pcm_s16be -metadata title=Tone aif_pcm.aif
sox -n -r 8000 -c 2 -b 16 aif_aifc.aifc synth 0.3 sine 330
av -f lavfi -i "$(sine_of 440 8000 0.5)" -c:a pcm_mulaw au_known.au
sox -n -r 8000 -c 1 au_sox.au synth 0.3 sine 500
av -f lavfi -i "$(sine_of 440 8000 0.5)" -c:a pcm_s16be -f au - > au_stream.au
av -f lavfi -i "$(sine_of 440 8000 0.5)" -c:a pcm_s16le caf_pcm.caf
av -f lavfi -i "$(sine_of 440 44100 0.5)" -c:a alac caf_alac.caf
# A Flash movie, and a tune written by an ABC notation compiler.
av -f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v flv1 -q:v 4 -f swf swf_fws.swf
printf "X:1\nT:Scale\nM:4/4\nL:1/8\nQ:1/4=120\nK:D\nDEFG ABcd|efga bc'd'e'|]\n" > scale.abc
abc2midi scale.abc -o mid_abc.mid > /dev/null
rm -f scale.abc
python3 "$here/make_music.py" .
rm -f thumb.jpg
# MPEG program streams (MPEG-1 with layer II audio; a DVD title's VOB from dvdauthor, which
# also writes the IFO files; a VOB-style stream from ffmpeg, which repeats its system
# header in later packs; H.264 video in packs), a video elementary stream closed by its
# sequence end code, transport streams with 188- and 192-byte packets, DV frames of both
# systems.
src="-f lavfi -i testsrc=size=176x144:rate=25:duration=1"
snd="-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1"
av $src $snd -c:v mpeg1video -b:v 300k -c:a mp2 -b:a 64k -fflags +bitexact -f mpeg mpg_mpeg1.mpg
av -f lavfi -i testsrc=size=352x240:rate=30000/1001:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 \
  -target ntsc-dvd -b:v 800k -maxrate 2000k -bufsize 1000k -s 352x240 -fflags +bitexact dvd_title.mpg
rm -rf dvd
VIDEO_FORMAT=NTSC dvdauthor -o dvd -t dvd_title.mpg 2>/dev/null
VIDEO_FORMAT=NTSC dvdauthor -o dvd -T 2>/dev/null
cp dvd/VIDEO_TS/VIDEO_TS.IFO ifo_vmg.ifo
cp dvd/VIDEO_TS/VTS_01_0.IFO ifo_vts.ifo
cp dvd/VIDEO_TS/VTS_01_1.VOB mpg_vob.mpg
rm -rf dvd dvd_title.mpg
av -f lavfi -i testsrc=size=176x144:rate=25:duration=3 -f lavfi -i sine=frequency=600:duration=3 \
  -pix_fmt yuv420p -c:v mpeg2video -c:a mp2 -b:a 64k -fflags +bitexact -f vob mpg_muxed.mpg
av $src -c:v libx264 -pix_fmt yuv420p -fflags +bitexact -f mpeg mpg_h264.mpg
av $src -c:v mpeg2video -b:v 300k -fflags +bitexact -f mpeg2video mpg_video.mpg
printf '\0\0\1\267' >>mpg_video.mpg
av $src $snd -c:v mpeg2video -b:v 300k -c:a mp2 -b:a 64k -fflags +bitexact -f mpegts m2ts_packets.m2t
av $src $snd -c:v mpeg2video -b:v 300k -c:a ac3 -b:a 96k -fflags +bitexact -f mpegts -mpegts_m2ts_mode 1 \
  m2ts_timecoded.m2ts
av -f lavfi -i testsrc=size=720x480:rate=30000/1001 -f lavfi -i sine=sample_rate=48000 -t 0.2 -target ntsc-dv \
  -fflags +bitexact dv_ntsc.dv
av -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=sample_rate=48000 -t 0.16 -target pal-dv \
  -fflags +bitexact dv_pal.dv
# Audio: MPEG audio with and without tags, Ogg with each codec, FLAC, WavPack.
sox -n -r 44100 -c 2 -b 16 tone.wav synth 1.5 sine 440 sine 660
sox -n -r 22050 -c 1 -b 16 tone22.wav synth 1 sine 330
lame --quiet -b 128 --tt Tone --ta Kestrel --add-id3v2 tone.wav mp3_cbr_tags.mp3
lame --quiet -V 5 --id3v2-only --tt Tone tone.wav mp3_vbr.mp3
lame --quiet -b 128 -t tone.wav mp3_bare.mp3
lame --quiet -b 32 --tt Low --add-id3v2 tone22.wav mp3_mpeg2.mp3
av -i tone.wav -c:a mp2 -b:a 128k -f mp2 mp3_layer2.mp3
av -i tone.wav -c:a mp2 -b:a 256k -f mp2 mp3_layer2_256.mp3
oggenc -Q -q 2 -o ogg_vorbis.ogg tone.wav
opusenc --quiet tone.wav ogg_opus.ogg
flac -s -f --ogg -o ogg_flac.ogg tone.wav
av $src $snd -c:v libtheora -q:v 4 -c:a libvorbis -fflags +bitexact -f ogg ogg_theora.ogm
flac -s -f -5 -o flac_stereo.flac tone.wav
flac -s -f -8 --blocksize=1152 -P 4096 -o flac_mono.flac tone22.wav
wavpack -q -y tone.wav -o wv_lossless.wv
wavpack -q -y -hh -b320 --blocksize=4410 tone22.wav -o wv_hybrid.wv
av -f lavfi -i sine=frequency=300:sample_rate=48000:duration=1 -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" \
  -c:a wavpack wv_surround.wv
rm -f tone.wav tone22.wav
# Media as devices write them, of real length (31 s) at small sizes: phone and camera
# movies with their metadata (moov last, in udta or in meta/ilst keys), HEVC in both
# sample entries, a long fragmented movie, QuickTime with PCM and with MJPEG, 3GPP;
# sound-only ISO media (AAC, ALAC, a cover); Matroska and WebM from ffmpeg's defaults
# (CRC-32, Cues, SeekHead, Void, a title), without CRCs, without Cues (streamed) and from
# mkvmerge; AVCHD-shaped M2TS; MP3 and FLAC with a large cover; BWF.
T=31
vid="-f lavfi -i testsrc2=size=320x240:rate=25:duration=$T"
small="-f lavfi -i testsrc2=size=160x120:rate=25:duration=$T"
snd="-f lavfi -i sine=frequency=440:sample_rate=44100:duration=$T"
mono="-f lavfi -i sine=frequency=330:sample_rate=22050:duration=$T"
x264="-c:v libx264 -preset veryfast -b:v 400k -pix_fmt yuv420p"
x265="-c:v libx265 -preset ultrafast -b:v 300k -x265-params log-level=error"
aac="-c:a aac -b:a 96k"
phone=(-metadata title=Holiday -metadata location=+48.8577+002.2950/ -metadata make=Apple
       -metadata "model=iPhone 12" -metadata creation_time=2024-06-01T10:00:00Z)
av $vid $snd $x264 $aac "${phone[@]}" world_phone.mp4
av $vid $snd $x264 $aac "${phone[@]}" -movflags +use_metadata_tags world_phone_keys.mp4
av $vid $snd $x264 $aac "${phone[@]}" -movflags +use_metadata_tags -f mov world_phone.mov
av $vid $snd $x264 $aac -metadata title=clip_42 world_title.mp4
av $vid $snd $x265 -tag:v hvc1 $aac "${phone[@]}" world_hvc1.mp4
av $vid $snd $x265 -tag:v hev1 $aac world_hev1.mp4
av $vid $snd $x265 -tag:v hvc1 $aac "${phone[@]}" -movflags +use_metadata_tags -f mov world_hvc1.mov
av $vid $snd $x264 $aac -movflags +frag_keyframe+empty_moov+default_base_moof world_fragmented.mp4
av $small $mono -c:v mjpeg -q:v 10 -c:a pcm_s16le -f mov world_mjpeg_pcm.mov
av $vid $mono $x264 -c:a pcm_s24le -f mov world_pcm24.mov
av -f lavfi -i testsrc2=size=176x144:rate=15:duration=$T -f lavfi -i sine=sample_rate=8000:duration=$T \
  -c:v h263 -q:v 10 -c:a aac -ar 8000 -ac 1 -b:a 12k world_phone.3gp
pic 30 1000x1000 -quality 92 cover.jpg
av $snd -c:a aac -b:a 128k -metadata title=Memo -metadata artist=Kestrel world_aac.m4a
av $snd -c:a alac world_alac.m4a
av $snd -i cover.jpg -map 0 -map 1 -c:a aac -b:a 128k -c:v copy -disposition:v attached_pic world_cover.m4a
av $vid $snd $x264 $aac world_h264_aac.mkv
av $vid $snd $x264 -c:a libvorbis -metadata title=Holiday world_h264_vorbis.mkv
av $vid $snd -c:v libvpx-vp9 -b:v 200k -deadline realtime -cpu-used 8 -c:a libopus world_vp9_opus.webm
av $vid $snd $x264 $aac -write_crc32 0 world_no_crc.mkv
av $vid $snd $x264 $aac -f matroska - > world_streamed.mkv
mkvmerge -q -o world_mkvmerge.mkv --title Holiday world_h264_vorbis.mkv
mkvmerge -q -o world_mkvmerge_no_cues.mkv --no-cues world_h264_aac.mkv
av $vid $snd $x264 -c:a ac3 -b:a 192k -f mpegts -mpegts_m2ts_mode 1 -mpegts_start_pid 0x1011 world_avchd.m2ts
sox -n -r 44100 -c 2 -b 16 tone.wav synth $T sine 440 sine 660
av -i tone.wav -i cover.jpg -map 0 -map 1 -c:a libmp3lame -b:a 128k -c:v copy -id3v2_version 3 \
  -metadata:s:v title="Album cover" -metadata:s:v comment="Cover (front)" world_cover.mp3
flac -s -f --picture=cover.jpg -o world_picture.flac tone.wav
av -i tone.wav -c:a pcm_s16le -write_bext 1 -metadata description="Take 1" -metadata originator=Kestrel \
  -metadata origination_date=2024-06-01 -metadata origination_time=10:00:00 world_bext.wav
# A phone's voice memo (speech between silences, 48 kHz mono) and a hiss that reads as
# noise from its first sample.
av -f lavfi -i "flite=text='Voice memo, the tenth of December. Remember to call the dentist on Monday morning, \
buy milk, eggs and bread on the way home, and send the photos from the holiday to Anna and Peter. The meeting \
moved to Thursday at three, in the small room on the second floor.':voice=slt" -af apad=whole_dur=$T -ar 48000 \
  -ac 1 -c:a pcm_s16le world_memo.wav
av -i world_memo.wav -c:a pcm_s16be world_memo.aif
av -f lavfi -i "anoisesrc=color=white:amplitude=0.9:sample_rate=44100:duration=$T" -ac 2 -c:a pcm_s16le world_hiss.wav
rm -f tone.wav cover.jpg
bash "$here/camera_jpegs.sh" .
# A movie of more than 4 GiB (a 64-bit mdat size, co64 chunk offsets): the bytes before
# its gap of zeros and after it, for a source that reads the gap as a sparse file would.
python3 "$here/big_movie.py" world_phone.mp4 $(((1 << 32) + 12345)) world_big.head world_big.tail
