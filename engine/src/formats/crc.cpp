#include "formats/crc.h"

namespace kes {
namespace {

// Slicing-by-8 tables for the reflected CRC-32.
struct Crc32Tables {
  uint32_t t[8][256];
  Crc32Tables() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s) t[s][i] = t[0][t[s - 1][i] & 0xFF] ^ (t[s - 1][i] >> 8);
  }
};

// Byte tables of the unreflected CRCs, and for CRC-32 and CRC-16 the tables that
// advance a byte by a further one to three bytes (slicing).
struct MsbTables {
  uint32_t crc32[4][256];
  uint16_t crc16[2][256];
  uint8_t crc8[256];
  MsbTables() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c32 = i << 24;
      uint16_t c16 = static_cast<uint16_t>(i << 8);
      uint8_t c8 = static_cast<uint8_t>(i);
      for (int k = 0; k < 8; ++k) {
        c32 = c32 & 0x80000000u ? (c32 << 1) ^ 0x04C11DB7u : c32 << 1;
        c16 = static_cast<uint16_t>(c16 & 0x8000 ? (c16 << 1) ^ 0x8005 : c16 << 1);
        c8 = static_cast<uint8_t>(c8 & 0x80 ? (c8 << 1) ^ 0x07 : c8 << 1);
      }
      crc32[0][i] = c32;
      crc16[0][i] = c16;
      crc8[i] = c8;
    }
    for (uint32_t i = 0; i < 256; ++i) {
      for (int s = 1; s < 4; ++s) crc32[s][i] = crc32[s - 1][i] << 8 ^ crc32[0][crc32[s - 1][i] >> 24];
      crc16[1][i] = static_cast<uint16_t>(crc16[0][i] << 8 ^ crc16[0][crc16[0][i] >> 8]);
    }
  }
};

const Crc32Tables& crc32_tables() {
  static const Crc32Tables tables;
  return tables;
}

const MsbTables& msb_tables() {
  static const MsbTables tables;
  return tables;
}

}  // namespace

uint32_t crc32_update(uint32_t c, const uint8_t* p, size_t n) {
  const auto& t = crc32_tables().t;
  while (n >= 8) {
    uint32_t a = c ^ le32(p), b = le32(p + 4);
    c = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
        t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    p += 8;
    n -= 8;
  }
  while (n--) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return c;
}

uint32_t crc32_msb_update(uint32_t c, const uint8_t* p, size_t n) {
  const auto& t = msb_tables().crc32;
  while (n >= 4) {
    c ^= be32(p);
    c = t[3][c >> 24] ^ t[2][(c >> 16) & 0xFF] ^ t[1][(c >> 8) & 0xFF] ^ t[0][c & 0xFF];
    p += 4;
    n -= 4;
  }
  while (n--) c = (c << 8) ^ t[0][(c >> 24) ^ *p++];
  return c;
}

uint8_t crc8(const uint8_t* p, size_t n) {
  const uint8_t* t = msb_tables().crc8;
  uint8_t c = 0;
  while (n--) c = t[c ^ *p++];
  return c;
}

uint16_t crc16_update(uint16_t c, const uint8_t* p, size_t n) {
  const auto& t = msb_tables().crc16;
  for (; n >= 2; p += 2, n -= 2) {
    c ^= be16(p);
    c = static_cast<uint16_t>(t[1][c >> 8] ^ t[0][c & 0xFF]);
  }
  if (n) c = static_cast<uint16_t>((c << 8) ^ t[0][(c >> 8) ^ *p]);
  return c;
}

const uint16_t* crc16_table() { return msb_tables().crc16[0]; }

bool crc32_of(Cursor& cur, uint64_t from, uint64_t to, uint32_t& crc) {
  uint32_t c = 0xFFFFFFFFu;
  if (!for_each_span(cur, from, to, [&](const uint8_t* s, size_t n) { c = crc32_update(c, s, n); })) return false;
  crc = c ^ 0xFFFFFFFFu;
  return true;
}

uint32_t adler32(uint32_t adler, const uint8_t* p, size_t n) {
  constexpr uint32_t kMod = 65521;
  uint32_t a = adler & 0xFFFF, b = adler >> 16;
  while (n > 0) {
    size_t step = n < 5552 ? n : 5552;  // the most bytes before b can overflow 32 bits
    n -= step;
    while (step--) {
      a += *p++;
      b += a;
    }
    a %= kMod;
    b %= kMod;
  }
  return b << 16 | a;
}

}  // namespace kes
