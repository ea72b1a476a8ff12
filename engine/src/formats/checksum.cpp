#include "formats/checksum.h"

#include "formats/cursor.h"

namespace kes {
namespace {

// Slicing by eight: one table lookup per byte, eight bytes a step.
struct Crc32Table {
  uint32_t t[8][256];
  Crc32Table() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s) t[s][i] = t[0][t[s - 1][i] & 0xFF] ^ (t[s - 1][i] >> 8);
  }
};

const Crc32Table& crc_table() {
  static const Crc32Table table;
  return table;
}

}  // namespace

uint32_t crc32(uint32_t crc, const uint8_t* p, size_t n) {
  const auto& t = crc_table().t;
  uint32_t c = ~crc;
  while (n >= 8) {
    uint32_t a = c ^ le32(p), b = le32(p + 4);
    c = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
        t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    p += 8;
    n -= 8;
  }
  while (n--) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
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
