// The cache-file header convention: the first 16 bytes of every cached file
// (all of it when shorter) are stored bitwise complemented.
#pragma once

constexpr int kComplementedBytes = 16;

// Toggles the header on disk; applying it twice restores the file.
// Returns 0, or -1 when the file can't be opened for reading and writing.
int complement_header(const char* path);

// Toggles a header held in memory, for readers working on a copy.
void complement_bytes(unsigned char* data, unsigned long long size);
