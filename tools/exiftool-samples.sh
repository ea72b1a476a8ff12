#!/usr/bin/env bash
# Fetches the sample pictures of Debian's exiftool source package into a cache folder
# once (see tools/debian-source-cache.sh) and prints that folder. Two of them are real
# files of the formats current cameras write, their pictures replaced by short stand-ins:
#   CanonRaw.cr3    a Canon EOS M50's CR3 (boxes, metadata and sample tables as written)
#   QuickTime.heic  a HEIF's boxes and item tables
#   tools/exiftool-samples.sh [cache-dir]
set -euo pipefail
VERSION=12.57+dfsg-1
UPSTREAM=12.57+dfsg
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/debian-source-cache.sh"
DEST=${1:-$(debian_source_cache_dir "samples/libimage-exiftool-perl-$VERSION")}

copy_samples() {
  cp t/images/CanonRaw.cr3 t/images/QuickTime.heic "$2/"
  rmdir "$2/include" "$2/lib"
}

(cross_build_debian_source libimage-exiftool-perl "$VERSION" "$UPSTREAM" "$DEST" "exiftool's samples" copy_samples)
echo "$DEST"
