// Reading whole files into memory and decoding pictures held in memory.
#pragma once
#include <cstdint>
#include <vector>

class CImage;

// The largest file read whole: 64 MiB (exactly 64 MiB is allowed).
constexpr uint64_t kMaxFileInMemory = 64ull * 1024 * 1024;

// Appends the whole file (narrow path, active code page) to `bytes`: 0, or -1 when it
// can't be opened or read, is empty or larger than 64 MiB. With `restore_header` the
// first 16 bytes of the copy are complemented, which turns a cached file (stored with a
// complemented header) back into its real content without touching the file on disk.
int read_file_to_memory(const char* path, std::vector<uint8_t>& bytes,
                        bool restore_header = false);

// Decodes the bytes through GDI+ into `image`: 0 or -1. Only BMP, GIF, JPEG, PNG and
// TIFF pictures of a size a bitmap can have reach GDI+.
int load_image_from_memory(const std::vector<uint8_t>& bytes, CImage& image);
