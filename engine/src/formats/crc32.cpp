#include "formats/crc32.h"

#include <algorithm>

namespace kes {
namespace {

// Slicing-by-8 tables: eight bytes a step keeps CRC-checked payloads at reading speed.
struct Tables {
  uint32_t t[8][256];
  Tables() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s) t[s][i] = t[0][t[s - 1][i] & 0xFF] ^ (t[s - 1][i] >> 8);
  }
};

const Tables& tables() {
  static const Tables tables;
  return tables;
}

}  // namespace

uint32_t crc32_update(uint32_t c, const uint8_t* p, size_t n) {
  const auto& t = tables().t;
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

bool crc32_of(Cursor& cur, uint64_t from, uint64_t to, uint32_t& crc) {
  uint32_t c = 0xFFFFFFFFu;
  for (uint64_t p = from; p < to;) {
    size_t avail = 0;
    const uint8_t* s = cur.span(p, &avail);
    if (!s) return false;
    size_t n = static_cast<size_t>(std::min<uint64_t>(avail, to - p));
    c = crc32_update(c, s, n);
    p += n;
  }
  crc = c ^ 0xFFFFFFFFu;
  return true;
}

}  // namespace kes
