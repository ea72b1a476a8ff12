// Checksums the parsers check stored values against.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kes {

// CRC-32 of PNG, gzip and zlib (reflected 0xEDB88320); chain it from 0 across pieces.
uint32_t crc32(uint32_t crc, const uint8_t* p, size_t n);
// Adler-32 of zlib streams; chain it from 1 across pieces.
uint32_t adler32(uint32_t adler, const uint8_t* p, size_t n);

}  // namespace kes
