// Preview pictures for the DNG writer: the top half green and the bottom half blue, unlike
// the mosaic's red top, so a test sees which picture a decoder showed and which way up.
#pragma once
#include "dng_writer.h"

// 8-bit RGB rows, or a JPEG encoded through GDI+.
DngPreview two_colour_preview(int width, int height, bool jpeg);

// The bytes of a whole file (empty when it cannot be read).
std::vector<uint8_t> file_bytes(const char* path);
