#!/usr/bin/env bash
# Makes a memory-card image (FAT32 by default) full of generated media, then deletes
# files from it, as a card looks after "delete all" in a camera. Keeps the originals and
# a manifest (name, format, bytes, sha256, deleted, contiguous, pieces) beside the image
# for checking.
#
#   tools/make-card.sh [options] OUTPUT.img      (or --out OUTPUT.img)
#     -s, --size N[M|G]   card size (default 64M; a plain number is MiB)
#     -m, --media LIST    media counts, e.g. "jpg=30,png=4,gif=2,bmp=2,tif=2,dng=1,avi=1,wav=1"
#                         (also mov, mp3, ogg, flac, mkv, mts, flv, mpg, wmv, and the
#                         stills of current cameras and phones: heic, avif, cr3); jpg=fill
#                         fills about 80 % of the card with
#                         camera-size JPEGs
#     --kinds             prints the kinds of media it can make, and ends
#     --demo              the demo mix (the default): a few dozen photos, a clip and a sound
#     -d, --delete WHICH  all | half | none (default all)
#     -o, --originals DIR originals and manifest.tsv (default OUTPUT.originals)
#     --fs TYPE           fat12 | fat16 | fat32 | exfat (default fat32)
#     --fragment          write files in pieces, as a card that was filled, partly
#                         deleted and written again holds them: on FAT, two thirds of the
#                         files are copied, every third of those deleted, the rest copied
#                         into the gaps (those deleted in between are not in the manifest);
#                         on exFAT, files go in one to four pieces, pairs interleaved
#     --seed N            another order of the files and of the pieces (default 7)
#     --cluster KIB       cluster size in KiB (default: what mkfs picks for the size)
set -euo pipefail

usage() { sed -n '2,25p' "$0"; exit 2; }
kinds="jpg png gif bmp tif dng heic avif cr3 avi wav mov mp3 ogg flac mkv mts flv mpg wmv"
size_mib=64
demo_media="jpg=30,png=4,gif=3,bmp=2,tif=2,dng=1,heic=2,avif=1,cr3=1,avi=1,wav=1"
media=$demo_media
delete=all
fs=fat32
fragment=0
seed=7
cluster_kib=
out_dir=""
image=""
while [ $# -gt 0 ]; do
  case $1 in
    -s|--size) size=${2:?}; shift
      case $size in
        *[Gg]) size_mib=$(( ${size%[Gg]} * 1024 )) ;;
        *[Mm]) size_mib=${size%[Mm]} ;;
        *) size_mib=$size ;;
      esac ;;
    -m|--media) media=${2:?}; shift ;;
    --demo) media=$demo_media ;;
    -d|--delete) delete=${2:?}; shift ;;
    -o|--originals) out_dir=${2:?}; shift ;;
    --fs) fs=${2:?}; shift ;;
    --fragment) fragment=1 ;;
    --seed) seed=${2:?}; shift ;;
    --cluster) cluster_kib=${2:?}; shift ;;
    --kinds) echo "$kinds"; exit 0 ;;
    --out) image=${2:?}; shift ;;
    -h|--help) usage ;;
    -*) echo "make-card: unknown option $1" >&2; usage ;;
    *) [ -z "$image" ] || usage; image=$1 ;;
  esac
  shift
done
[ -n "$image" ] || usage
case $size_mib in ''|*[!0-9]*) echo "make-card: bad size" >&2; exit 2 ;; esac
case $seed in ''|*[!0-9]*) echo "make-card: bad seed" >&2; exit 2 ;; esac
case $cluster_kib in ''|1|2|4|8|16|32|64|128) ;; *) echo "make-card: bad cluster size" >&2; exit 2 ;; esac
# FAT32 needs 65525 data clusters; its two FATs and reserved sectors take under 1 MiB.
if [ "$fs" = fat32 ] && [ -n "$cluster_kib" ] && [ $(((size_mib - 1) * 1024 / cluster_kib)) -lt 65525 ]; then
  echo "make-card: FAT32 needs at least 65525 clusters: $cluster_kib KiB clusters need a card of $((65525 * cluster_kib / 1024 + 2)) MiB or more" >&2
  exit 2
fi
case $fs in fat12|fat16|fat32|exfat) ;; *) echo "make-card: bad file system $fs" >&2; exit 2 ;; esac
out_dir=${out_dir:-$image.originals}
CONVERT=/usr/bin/convert  # Debian's ImageMagick
for tool in $CONVERT exiftool mkfs.fat mkfs.exfat mcopy mdel mshowfat python3 ffmpeg heif-enc; do
  command -v "$tool" >/dev/null || { echo "make-card: $tool is missing" >&2; exit 1; }
done

count_of() {  # count_of <fmt>: the count asked for in $media, 0 if absent
  local item
  for item in ${media//,/ }; do
    [ "${item%%=*}" = "$1" ] && { echo "${item#*=}"; return; }
  done
  echo 0
}

rm -rf "$out_dir"
mkdir -p "$out_dir/files"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=()  # names in copy order, below $out_dir/files

# Small cards get pictures of a small camera, so that a few dozen fit.
jpeg_geometry=4000x3000
[ "$size_mib" -lt 256 ] && jpeg_geometry=2048x1536

# A caption across the top of a picture of height $2, so that thumbnails show which
# way up they are (plain word splitting: no blanks in the font path).
CAPTION_FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
caption() {
  [ -f "$CAPTION_FONT" ] || return 0
  echo "-gravity North -font $CAPTION_FONT -pointsize $(( $2 / 8 )) -fill white -stroke black" \
       "-strokewidth $(( $2 / 200 + 1 )) -annotate +0+$(( $2 / 20 )) ${1// /_}"
}

# Camera-size JPEGs: a few pictures, each copy shifted and encoded anew, with its own
# EXIF (camera, shot time, unique id) and an embedded thumbnail, as cameras write them.
make_jpegs() {
  local n=$1 bases=6 i b
  [ "$n" = 0 ] && return 0
  [ "$n" != fill ] && [ "$n" -lt $bases ] && bases=$n
  for ((b = 0; b < bases; b++)); do
    $CONVERT -size "$jpeg_geometry" -seed $((b + 11)) plasma:fractal -blur 0x0.8 -attenuate 0.3 +noise Uniform \
      $(caption "Photo $((b + 1))" "${jpeg_geometry#*x}") -quality $((88 + b % 5)) "$work/base$b.jpg" &
    (( (b + 1) % 2 == 0 )) && wait
  done
  wait
  for ((b = 0; b < bases; b++)); do
    $CONVERT "$work/base$b.jpg" -resize 160x120 -quality 75 "$work/thumb$b.jpg"
  done
  if [ "$n" = fill ]; then  # about 80 % of the card, from the pictures' real sizes
    local mean; mean=$(( $(cat "$work"/base*.jpg | wc -c) / bases + 6000 ))
    n=$(( size_mib * 1024 * 1024 / 10 * 8 / mean ))
  fi
  : > "$work/exif.args"
  for ((i = 0; i < n; i++)); do
    b=$((i % bases))
    local name; name=$(printf 'IMG_%04d.JPG' $((i + 1)))
    # Each copy encoded anew from its picture shifted a few pixels: no two photos share
    # their entropy-coded data, as no two shots of a camera do.
    $CONVERT "$work/base$b.jpg" -roll +$((i / bases + 1))+0 -quality $((88 + b % 5)) "$out_dir/files/$name" &
    (( (i + 1) % 2 == 0 )) && wait
    files+=("$name")
    printf -- '-Make=Orvalin\n-Model=Card Maker %d\n-DateTimeOriginal=2024:05:%02d %02d:%02d:%02d\n-ImageUniqueID=%032x\n-ThumbnailImage<=%s\n%s\n-execute\n' \
      $((b + 1)) $((i % 28 + 1)) $((i % 24)) $((i % 60)) $(((i * 7) % 60)) $((i + 1)) "$work/thumb$b.jpg" \
      "$out_dir/files/$name" >> "$work/exif.args"
  done
  wait
  exiftool -q -q -@ "$work/exif.args" -common_args -overwrite_original >/dev/null
}

make_images() {  # make_images <fmt> <count> <ext> <geometry>
  local fmt=$1 n=$2 ext=$3 geo=$4 i
  for ((i = 0; i < n; i++)); do
    local name; name=$(printf '%s_%04d.%s' "${fmt^^}" $((i + 1)) "$ext")
    $CONVERT -size "$geo" -seed $((i + 101)) plasma:fractal -blur 0x1 $(caption "${fmt^^} $((i + 1))" "${geo#*x}") \
      "$out_dir/files/$name"
    files+=("$name")
  done
}

# A small linear DNG: TIFF structure with a 16-bit Bayer raster and the DNG tags.
make_dngs() {
  local n=$1 i
  for ((i = 0; i < n; i++)); do
    local name; name=$(printf 'DSC_%04d.DNG' $((i + 1)))
    python3 - "$out_dir/files/$name" $((i + 1)) <<'PY'
import random, struct, sys
path, seed = sys.argv[1], int(sys.argv[2])
w, h = 640, 480
rnd = random.Random(seed)
raster = bytearray()
for y in range(h):
    for x in range(w):
        v = (x * 40 + y * 30 + rnd.randrange(512)) % 4096
        raster += struct.pack('<H', v)
make, model = b'Orvalin\0', b'Card Maker DNG\0'
entries = []  # (tag, type, count, value bytes)
def short(tag, *v): entries.append((tag, 3, len(v), struct.pack('<%dH' % len(v), *v)))
def long_(tag, *v): entries.append((tag, 4, len(v), struct.pack('<%dI' % len(v), *v)))
def byte(tag, *v): entries.append((tag, 1, len(v), bytes(v)))
def ascii_(tag, s): entries.append((tag, 2, len(s), s))
def rational(tag, *pairs):
    entries.append((tag, 5, len(pairs), b''.join(struct.pack('<II', a, b) for a, b in pairs)))
def srational(tag, *pairs):
    entries.append((tag, 10, len(pairs), b''.join(struct.pack('<ii', a, b) for a, b in pairs)))
long_(254, 0); long_(256, w); long_(257, h); short(258, 16); short(259, 1); short(262, 32803)
ascii_(271, make); ascii_(272, model); long_(273, 0); short(277, 1); long_(278, h)
long_(279, len(raster)); short(284, 1)
short(33421, 2, 2); byte(33422, 0, 1, 1, 2)
byte(50706, 1, 4, 0, 0); ascii_(50708, model); long_(50717, 4095)
srational(50721, (1, 1), (0, 1), (0, 1), (0, 1), (1, 1), (0, 1), (0, 1), (0, 1), (1, 1))
rational(50728, (1, 2), (1, 1), (1, 2)); short(50778, 21)
entries.sort()
count = len(entries)
ifd_size = 2 + count * 12 + 4
data_off = 8 + ifd_size
extra = bytearray()
offsets = {}
for tag, typ, cnt, val in entries:
    if len(val) > 4:
        offsets[tag] = data_off + len(extra)
        extra += val + (b'\0' if len(val) % 2 else b'')
raster_off = data_off + len(extra)
out = bytearray(b'II*\0' + struct.pack('<I', 8) + struct.pack('<H', count))
for tag, typ, cnt, val in entries:
    if tag == 273:
        val = struct.pack('<I', raster_off)
    field = struct.pack('<I', offsets[tag]) if tag in offsets else val.ljust(4, b'\0')
    out += struct.pack('<HHI', tag, typ, cnt) + field
out += struct.pack('<I', 0) + extra + raster
open(path, 'wb').write(out)
PY
    files+=("$name")
  done
}

# The stills of current cameras and phones: HEIC as a phone names it, every other one as
# ImageMagick writes it (through libheif) and the rest as heif-enc does from a camera's
# JPEG, with its Exif block and a thumbnail item; AVIF; and Canon's CR3
# (tools/make-cr3.py: a camera's own boxes and metadata from exiftool's sample, its three
# JPEG previews from one picture, raw tracks of stand-in data).
make_stills() {
  local i geo=$jpeg_geometry
  for ((i = 0; i < $(count_of heic); i++)); do
    local name; name=$(printf 'IMG_%04d.HEIC' $((i + 5001)))
    $CONVERT -size "$geo" -seed $((i + 201)) plasma:fractal -blur 0x0.8 $(caption "HEIC $((i + 1))" "${geo#*x}") \
      -quality 90 "$work/heic.jpg"
    if ((i % 2 == 0)); then
      $CONVERT "$work/heic.jpg" -quality 70 "$out_dir/files/$name"
    else
      exiftool -q -overwrite_original -Make=Orvalin "-Model=Card Maker Phone" \
        "-DateTimeOriginal=2024:06:$((i % 28 + 1)) 18:$((i % 60)):07" "$work/heic.jpg"
      heif-enc -q 70 -t 320 -o "$out_dir/files/$name" "$work/heic.jpg" >/dev/null
    fi
    files+=("$name")
  done
  for ((i = 0; i < $(count_of avif); i++)); do
    local name; name=$(printf 'PXL_%04d.AVIF' $((i + 1)))
    $CONVERT -size 1600x1200 -seed $((i + 301)) plasma:fractal -blur 0x0.8 $(caption "AVIF $((i + 1))" 1200) \
      -quality 70 "$out_dir/files/$name"
    files+=("$name")
  done
  local samples=""
  [ "$(count_of cr3)" = 0 ] || samples=$("$(dirname "$0")/exiftool-samples.sh")
  for ((i = 0; i < $(count_of cr3); i++)); do
    local name; name=$(printf 'IMG_%04d.CR3' $((i + 7001)))
    $CONVERT -size 1620x1080 -seed $((i + 401)) plasma:fractal -blur 0x0.8 $(caption "CR3 $((i + 1))" 1080) \
      -quality 90 "$work/prvw.jpg"
    $CONVERT "$work/prvw.jpg" -resize 160x120! -quality 80 "$work/thmb.jpg"
    $CONVERT "$work/prvw.jpg" -resize 6000x4000! -quality 85 "$work/full.jpg"
    python3 "$(dirname "$0")/make-cr3.py" --seed $((i + 1)) "$samples/CanonRaw.cr3" "$out_dir/files/$name" \
      "$work/thmb.jpg" "$work/prvw.jpg" "$work/full.jpg" --raw 1700000,6000000
    files+=("$name")
  done
}

make_clips() {  # short camera clips and voice memos, when asked for
  local i
  for ((i = 0; i < $(count_of avi); i++)); do  # a compact camera's clip: video and a tone
    local name; name=$(printf 'MOV_%04d.AVI' $((i + 1)))
    ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc=size=320x240:rate=15:duration=$((3 + i))" \
      -f lavfi -i "sine=frequency=$((500 + 100 * i)):sample_rate=22050:duration=$((3 + i))" \
      -pix_fmt yuv420p -c:v mpeg4 -q:v 5 -c:a pcm_s16le -ac 1 "$out_dir/files/$name"
    files+=("$name")
  done
  for ((i = 0; i < $(count_of wav); i++)); do
    local name; name=$(printf 'VOICE%03d.WAV' $((i + 1)))
    ffmpeg -nostdin -loglevel error -f lavfi \
      -i "sine=frequency=$((220 + 55 * i)):sample_rate=16000:duration=$((4 + i)),volume=0.5" \
      -c:a pcm_s16le -ac 1 "$out_dir/files/$name"
    files+=("$name")
  done
  for ((i = 0; i < $(count_of mov); i++)); do
    local name; name=$(printf 'MVI_%04d.MOV' $((i + 1)))
    ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc=size=640x480:rate=25:duration=$((2 + i))" \
      -pix_fmt yuv420p -c:v mpeg4 -q:v 4 "$out_dir/files/$name"
    files+=("$name")
  done
  for ((i = 0; i < $(count_of mp3); i++)); do
    local name; name=$(printf 'REC_%04d.MP3' $((i + 1)))
    ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=$((300 + 50 * i)):duration=$((3 + i))" \
      -c:a libmp3lame -b:a 128k "$out_dir/files/$name"
    files+=("$name")
  done
  # Sound and video streams as phones, recorders and players keep them.
  local kind
  for kind in ogg+-c:a+libvorbis flac+-c:a+flac; do
    local ext=${kind%%+*} codec=${kind#*+}
    for ((i = 0; i < $(count_of "$ext"); i++)); do
      local name; name=$(printf 'SND_%04d.%s' $((i + 1)) "${ext^^}")
      ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=$((400 + 60 * i)):duration=$((4 + i))" \
        ${codec//+/ } "$out_dir/files/$name"
      files+=("$name")
    done
  done
  for kind in mkv+-c:v+mpeg4+-c:a+libvorbis mts+-c:v+mpeg2video+-c:a+mp2+-f+mpegts flv+-c:v+flv+-c:a+libmp3lame \
              mpg+-c:v+mpeg2video+-c:a+mp2+-f+vob wmv+-c:v+wmv2+-c:a+wmav2; do
    local ext=${kind%%+*} codec=${kind#*+}
    for ((i = 0; i < $(count_of "$ext"); i++)); do
      local name; name=$(printf 'CLIP%04d.%s' $((i + 1)) "${ext^^}")
      ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc=size=320x240:rate=25:duration=$((2 + i))" \
        -f lavfi -i "sine=frequency=$((600 + 40 * i)):sample_rate=44100:duration=$((2 + i))" \
        -pix_fmt yuv420p ${codec//+/ } -ar 44100 "$out_dir/files/$name"
      files+=("$name")
    done
  done
}

make_jpegs "$(count_of jpg)"
make_images png "$(count_of png)" png 1024x768
make_images gif "$(count_of gif)" gif 640x480
make_images bmp "$(count_of bmp)" bmp 800x600
make_images tif "$(count_of tif)" tif 1200x900
make_dngs "$(count_of dng)"
make_stills
make_clips

# Interleave the kinds as a camera's day would, then fill the card in that order.
mapfile -t files < <(printf '%s\n' "${files[@]}" | awk -v m=$((389 + 10 * (seed - 7))) '{ printf "%d\t%s\n", (NR * m) % 1009, $0 }' | sort -n | cut -f2)
deleted_by() {  # deleted_by <index>: 1 when the delete policy deletes the file
  case $delete in
    all) echo 1 ;;
    half) echo $(($1 % 2)) ;;
    *) echo 0 ;;
  esac
}
manifest=$out_dir/manifest.tsv
printf 'name\tformat\tbytes\tsha256\tdeleted\tcontiguous\tpieces\n' > "$manifest"
rm -f "$image"

if [ "$fs" = exfat ]; then
  # No mounting here: the placer writes the files into the clusters and sets the
  # allocation (bitmap and chains) of those that stay listed.
  truncate -s "${size_mib}M" "$image"
  mkfs.exfat -L KESCARD ${cluster_kib:+-c ${cluster_kib}K} "$image" >/dev/null
  placements=()
  room=$((size_mib * 1024 * 1024 / 10 * 9))
  i=0
  for f in "${files[@]}"; do
    bytes=$(stat -c %s "$out_dir/files/$f")
    [ "$bytes" -gt "$room" ] && { echo "make-card: no room for $f" >&2; continue; }
    room=$((room - bytes))
    del=$(deleted_by $i)
    placements+=("$out_dir/files/$f:$([ $fragment = 1 ] && echo $((1 + i % 4)) || echo 1):$((1 - del))")
    i=$((i + 1))
  done
  python3 "$(dirname "$0")/place-fragments.py" --seed "$seed" "$image" "$manifest" "${placements[@]}"
  sed -i '2,$ s/\t[^\t]*$//' "$manifest"  # the medium offsets of the pieces: not for the manifest
  echo "make-card: $image ($size_mib MiB, exFAT): $i files, manifest $manifest" >&2
  exit 0
fi

mkfs.fat -F "${fs#fat}" -n KESCARD ${cluster_kib:+-s $((cluster_kib * 2))} -C "$image" $((size_mib * 1024)) >/dev/null
mmd -i "$image" ::/DCIM ::/DCIM/100KESTR
copy_files() {  # copy_files <name>...: into the card, dropping what does not fit
  local f
  for f in "$@"; do
    if ! mcopy -i "$image" "$out_dir/files/$f" "::/DCIM/100KESTR/$f" 2>/dev/null; then
      echo "make-card: no room for $f" >&2
      mdel -i "$image" "::/DCIM/100KESTR/$f" 2>/dev/null || true
    fi
  done
}
if [ $fragment = 1 ]; then
  first=$(( ${#files[@]} * 2 / 3 ))
  copy_files "${files[@]:0:$first}"
  kept=()
  for ((i = 0; i < first; i++)); do
    if [ $((i % 3)) = 1 ]; then
      mdel -i "$image" "::/DCIM/100KESTR/${files[i]}" 2>/dev/null || true
    else
      kept+=("${files[i]}")
    fi
  done
  # FAT32 keeps a hint where the next free cluster is: pointing it at the start makes
  # new files fill the gaps first, as a camera's file system does.
  [ "$fs" = fat32 ] && printf '\377\377\377\377\002\000\000\000' |
    dd of="$image" bs=1 seek=$((512 + 488)) conv=notrunc 2>/dev/null
  copy_files "${files[@]:$first}"
  files=("${kept[@]}" "${files[@]:$first}")
else
  copy_files "${files[@]}"
fi

# Record each file's cluster chain before deleting it: one run means contiguous.
i=0
for f in "${files[@]}"; do
  mdir -i "$image" "::/DCIM/100KESTR/$f" >/dev/null 2>&1 || continue
  runs=$(mshowfat -i "$image" "::/DCIM/100KESTR/$f" | grep -o '<[0-9-]*>' | wc -l)
  del=$(deleted_by $i)
  ext=${f##*.}
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$f" "${ext,,}" "$(stat -c %s "$out_dir/files/$f")" \
    "$(sha256sum "$out_dir/files/$f" | cut -d' ' -f1)" "$del" $([ "$runs" -eq 1 ] && echo 1 || echo 0) "$runs" \
    >> "$manifest"
  [ "$del" = 1 ] && mdel -i "$image" "::/DCIM/100KESTR/$f"
  i=$((i + 1))
done
echo "make-card: $image ($size_mib MiB, ${fs^^}): $((i)) files, manifest $manifest" >&2
