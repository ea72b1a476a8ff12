// GIF: header, colour tables and blocks (extensions and images with their data
// sub-blocks) to the trailer.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

// Skips a chain of data sub-blocks from pos; false when it runs off the data.
bool skip_sub_blocks(Cursor& cur, uint64_t& pos) {
  for (;;) {
    uint8_t n = 0;
    if (!cur.u8(pos, n)) return false;
    if (n == 0) {
      ++pos;
      return true;
    }
    pos += 1 + uint64_t(n);
    if (!cur.within(pos, 1)) return false;
  }
}

}  // namespace

bool probe_gif(const uint8_t* h) {
  if (std::memcmp(h, "GIF8", 4) != 0 || (h[4] != '7' && h[4] != '9') || h[5] != 'a') return false;
  return le16(h + 6) != 0 && le16(h + 8) != 0;
}

Carve measure_gif(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 13);
  if (!h || !probe_gif(h)) return corrupt();
  uint64_t pos = 13;
  if (h[10] & 0x80) pos += 3u * (2u << (h[10] & 7));
  uint64_t images = 0, good = 0;
  for (uint32_t blocks = 0; blocks < (1u << 24); ++blocks) {
    uint8_t tag = 0;
    if (!cur.u8(pos, tag)) break;
    if (tag == 0x3B) {
      if (images == 0) return corrupt();
      return make_carve(Verdict::complete, pos + 1, "gif");
    }
    if (tag == 0x21) {
      uint64_t p = pos + 2;
      if (!cur.within(pos, 2) || !skip_sub_blocks(cur, p)) break;
      pos = good = p;
      continue;
    }
    if (tag != 0x2C) break;
    const uint8_t* d = cur.get(pos, 10);
    if (!d || le16(d + 5) == 0 || le16(d + 7) == 0) break;
    uint64_t p = pos + 10;
    if (d[9] & 0x80) p += 3u * (2u << (d[9] & 7));
    uint8_t code_size = 0;
    if (!cur.u8(p, code_size) || code_size < 1 || code_size > 11) break;
    ++p;
    if (!skip_sub_blocks(cur, p)) break;
    ++images;
    pos = good = p;
  }
  // Broken or cut: keep the complete blocks once a picture is among them.
  return images > 0 ? make_carve(Verdict::truncated, good, "gif") : corrupt();
}

}  // namespace kes
