#include "formats/crc.h"

#include <libdeflate.h>

namespace kes {
namespace {

// An unreflected CRC of W's width, eight bytes per step (slicing-by-8): t[k][b] is the
// CRC of byte b followed by k zero bytes. Built at compile time.
template <class W, uint32_t kPoly>
class MsbCrc {
  static constexpr int kBits = 8 * sizeof(W);
  static constexpr int kBytes = sizeof(W);

 public:
  constexpr MsbCrc() {
    for (uint32_t i = 0; i < 256; ++i) {
      W c = static_cast<W>(W(i) << (kBits - 8));
      for (int k = 0; k < 8; ++k) c = static_cast<W>(c >> (kBits - 1) ? W(c << 1) ^ W(kPoly) : W(c << 1));
      t[0][i] = c;
    }
    for (int s = 1; s < 8; ++s)
      for (uint32_t i = 0; i < 256; ++i) t[s][i] = step(t[s - 1][i], 0);
  }
  constexpr W step(W c, uint8_t b) const { return static_cast<W>(W(c << 8) ^ t[0][uint8_t(c >> (kBits - 8)) ^ b]); }
  W update(W c, const uint8_t* p, size_t n) const {
    for (; n >= 8; p += 8, n -= 8) {
      W x = 0;
      for (int j = 0; j < 8; ++j) {
        uint8_t b = p[j];
        if (j < kBytes) b ^= static_cast<uint8_t>(c >> (kBits - 8 - 8 * j));
        x ^= t[7 - j][b];
      }
      c = x;
    }
    while (n--) c = step(c, *p++);
    return c;
  }
  W t[8][256] = {};
};

constexpr MsbCrc<uint32_t, 0x04C11DB7u> crc32_msb_tables;
constexpr MsbCrc<uint16_t, 0x8005u> crc16_tables;
constexpr MsbCrc<uint8_t, 0x07u> crc8_tables;

}  // namespace

uint32_t crc32(uint32_t crc, const uint8_t* p, size_t n) { return libdeflate_crc32(crc, p, n); }

uint32_t adler32(uint32_t adler, const uint8_t* p, size_t n) { return libdeflate_adler32(adler, p, n); }

uint32_t crc32_msb_update(uint32_t c, const uint8_t* p, size_t n) { return crc32_msb_tables.update(c, p, n); }

uint8_t crc8(const uint8_t* p, size_t n) { return crc8_tables.update(0, p, n); }

uint16_t crc16_update(uint16_t c, const uint8_t* p, size_t n) { return crc16_tables.update(c, p, n); }

const uint16_t* crc16_table() { return crc16_tables.t[0]; }

bool crc32_of(Cursor& cur, uint64_t from, uint64_t to, uint32_t& crc) {
  uint32_t c = 0;
  if (!for_each_span(cur, from, to, [&](const uint8_t* s, size_t n) { c = crc32(c, s, n); })) return false;
  crc = c;
  return true;
}

}  // namespace kes
