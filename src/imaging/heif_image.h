// HEIF pictures (HEIC: HEVC-coded; AVIF: AV1-coded), which GDI+ cannot read, decoded
// through libheif for thumbnails.
#pragma once
#include "base/found_file.h"

class CImage;

// Decodes record.file_path (its header restored in memory when record.complemented is
// set) into a 24-bit `image`: the file's own thumbnail when one has at least thumbnail
// size, else the primary image, turned as the file says. Writes the primary image's
// size as shown, and the shooting time and camera of its Exif block, into the record
// before decoding. 0, or -1 with the image left empty.
int decode_heif_image(CImage& image, FoundFile& record);
