// Thumbnails: one cached file decoded and squeezed into a 117 x 82 24-bit PNG beside it.
#pragma once
#include <cstdint>
#include <vector>

#include "session/found_file.h"

class CImage;

constexpr int kThumbnailWidth = 117;
constexpr int kThumbnailHeight = 82;

// Which decoder reads a file, chosen by its lower-cased extension.
enum class ThumbnailDecoder { none, common, raw, heif };
ThumbnailDecoder thumbnail_decoder_for(const char* path);

// Writes record.thumb_path from record.file_path (read with its header restored in memory
// when record.complemented is set) and fills the record's picture facts. 0 when written,
// already there, or when only the save failed; -1 when no decoder fits or decoding failed.
int make_thumbnail(FoundFile& record);

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
