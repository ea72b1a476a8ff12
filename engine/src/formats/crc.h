// Checksums the formats verify: the zlib CRC-32 (PNG, Matroska, gzip) and Adler-32 from
// libdeflate; the unreflected CRC-32 of Ogg pages and MPEG tables and the CRC-8/CRC-16
// of FLAC frames, which no library offers, from tables here.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "formats/cursor.h"

namespace kes {

// The finished reflected CRC-32 (polynomial 0xEDB88320, as zlib), chained from 0.
uint32_t crc32(uint32_t crc, const uint8_t* p, size_t n);
// Unreflected CRC-32 with polynomial 0x04C11DB7, no final inversion: Ogg starts it at 0,
// MPEG tables at 0xFFFFFFFF.
uint32_t crc32_msb_update(uint32_t crc, const uint8_t* p, size_t n);
// Unreflected CRC-8 (polynomial 0x07) and CRC-16 (polynomial 0x8005), both from 0.
uint8_t crc8(const uint8_t* p, size_t n);
uint16_t crc16_update(uint16_t crc, const uint8_t* p, size_t n);
// The CRC-16 table, for loops that look at the CRC after every byte.
const uint16_t* crc16_table();
inline uint16_t crc16_byte(const uint16_t* table, uint16_t crc, uint8_t b) {
  return static_cast<uint16_t>((crc << 8) ^ table[(crc >> 8) ^ b]);
}

// Adler-32 of zlib streams; chain it from 1 across pieces.
uint32_t adler32(uint32_t adler, const uint8_t* p, size_t n);

// The CRC-32 of [from, to) read through the cursor; false when the bytes are not all
// there.
bool crc32_of(Cursor& cur, uint64_t from, uint64_t to, uint32_t& crc);

// Feeds the bytes of [from, to) to `f(p, n)` in buffered pieces; false when they are
// not all readable.
template <class F>
bool for_each_span(Cursor& cur, uint64_t from, uint64_t to, F f) {
  for (uint64_t p = from; p < to;) {
    size_t avail = 0;
    const uint8_t* s = cur.span(p, &avail);
    if (!s) return false;
    size_t n = static_cast<size_t>(std::min<uint64_t>(avail, to - p));
    f(s, n);
    p += n;
  }
  return true;
}

}  // namespace kes
