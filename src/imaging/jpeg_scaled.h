// Fast JPEG decoding for thumbnails: libjpeg scales in the DCT domain (each output pixel
// the mean of a 2x2 to 8x8 block), so a camera picture never has to be decoded whole.
#pragma once
#include <cstdint>
#include <vector>

class CImage;

// True when the bytes start like a JPEG file.
bool looks_like_jpeg(const std::vector<uint8_t>& bytes);

// Decodes the JPEG at the smallest 1/1, 1/2, 1/4 or 1/8 scale that still has at least
// min_width x min_height pixels, into a 24-bit `image`; the picture's full size goes to
// full_width and full_height. 0, or -1 (image left empty) for anything that libjpeg
// doesn't decode cleanly, warnings included, so that such files take the general path.
int decode_jpeg_scaled(const std::vector<uint8_t>& bytes, int min_width, int min_height,
                       CImage& image, int& full_width, int& full_height);
