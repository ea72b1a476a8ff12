// Preview pictures for the DNG writer: the top half green with its left half yellow, the
// bottom half blue. The mosaic's top is red: a test sees which picture a decoder showed,
// which way up and whether mirrored.
#pragma once
#include "dng_writer.h"

// 8-bit RGB rows, or a JPEG encoded through GDI+.
DngPreview marked_preview(int width, int height, bool jpeg);

// The bytes of a whole file (empty when it cannot be read).
std::vector<uint8_t> file_bytes(const char* path);
