// The pictures LibRaw hands over, made into 24-bit bitmaps: the preview a camera embeds
// in its RAW file, turned upright, and LibRaw's own processed images.
#pragma once
#include <cstdint>
#include <vector>

#include <libraw/libraw.h>

class CImage;

// The embedded preview of an opened file (`file`, its bytes), decoded and turned by the
// file's orientation into a new 24-bit `image`: LibRaw's, or of a CR3 the one of its
// previews that is small enough (cr3_previews.h). False, the image left empty, when the
// file has none, or only one smaller than a thumbnail, or one that doesn't decode.
bool decode_embedded_preview(libraw_data_t* raw, const std::vector<uint8_t>& file, CImage& image);

// LibRaw's memory image (8-bit RGB or grey rows, top row first) into a new 24-bit `image`.
bool copy_processed_image(const libraw_processed_image_t& picture, CImage& image);
