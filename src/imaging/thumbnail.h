// Thumbnails: a decoded picture squeezed into a 117 x 82 24-bit PNG, and the common
// decoder (the thumbnail worker chooses between it, the HEIF decoder, heif_image.h, and
// the RAW decoder, src/raw).
#pragma once
#include <cstdint>
#include <vector>

#include "base/found_file.h"

class CImage;

constexpr int kThumbnailWidth = 117;
constexpr int kThumbnailHeight = 82;

// GDI+ decoding of bmp/gif/jpeg/png/tiff into `image`; sets width and height. 0 or -1.
int decode_common_image(CImage& image, FoundFile& record);

// A picture held in memory into `image`: a clean JPEG at the smallest reduced scale that
// still has min_width x min_height pixels, anything else whole through GDI+. The
// picture's own size goes to full_width and full_height. 0, or -1 (image left empty).
int decode_picture_bytes(const std::vector<uint8_t>& bytes, int min_width, int min_height,
                         CImage& image, int& full_width, int& full_height);

// Halftone-scales the whole source onto a 117 x 82 24-bit picture and saves it by the
// path's extension. Always 0: a failed save leaves no file and is not retried.
int save_thumbnail(const CImage& source, const char* thumb_path);
