// CRC-32 (IEEE 802.3, reflected), as PNG chunks and Matroska's CRC-32 elements use it.
#pragma once
#include <cstddef>
#include <cstdint>
#include "formats/cursor.h"

namespace kes {

// Continues a running CRC register over n bytes (no pre- or post-inversion).
uint32_t crc32_update(uint32_t crc, const uint8_t* p, size_t n);

// The finished CRC-32 of [from, to) read through the cursor; false when the bytes
// are not all there.
bool crc32_of(Cursor& cur, uint64_t from, uint64_t to, uint32_t& crc);

}  // namespace kes
