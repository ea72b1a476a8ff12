#include "formats/tail_tags.h"

#include <cstring>

namespace kes {
namespace {

constexpr size_t kApeFooter = 32;
constexpr uint32_t kMaxApeTag = 16u << 20, kMaxApeItems = 4096;
constexpr unsigned kMaxLyricsFields = 64;
constexpr uint64_t kLyrics1Max = 5100;

bool magic(Cursor& cur, uint64_t pos, const char* m, size_t n) {
  const uint8_t* p = cur.get(pos, n);
  return p && std::memcmp(p, m, n) == 0;
}

bool digits(const uint8_t* p, size_t n, uint32_t& v) {
  v = 0;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    v = v * 10 + (p[i] - '0');
  }
  return true;
}

// An APE tag: an optional 32-byte header, items (value size, flags, a printable key
// ending in a zero, the value), and the 32-byte footer whose size and item count must
// match what was walked. Returns its end, or pos.
uint64_t ape_tag(Cursor& cur, uint64_t pos) {
  // The header, when there is one, repeats the footer; the size counts items and footer.
  const uint64_t items_start = magic(cur, pos, "APETAGEX", 8) ? pos + kApeFooter : pos;
  uint64_t p = items_start;
  for (uint32_t items = 0; items <= kMaxApeItems; ++items) {
    if (magic(cur, p, "APETAGEX", 8)) {
      const uint8_t* f = cur.get(p, kApeFooter);
      if (!f) return pos;
      const uint32_t version = le32(f + 8), size = le32(f + 12), count = le32(f + 16);
      const bool footer = !(le32(f + 20) & (1u << 29));
      if ((version != 1000 && version != 2000) || count != items || size != p + kApeFooter - items_start || !footer)
        return pos;
      return p + kApeFooter;
    }
    const uint8_t* h = cur.get(p, 8);
    if (!h || le32(h) > kMaxApeTag) return pos;
    const uint32_t value_size = le32(h);
    uint64_t k = p + 8, key_end = k + 256;
    for (; k < key_end; ++k) {
      uint8_t c = 0;
      if (!cur.u8(k, c)) return pos;
      if (c == 0) break;
      if (c < 0x20 || c > 0x7E) return pos;
    }
    if (k == key_end || k - (p + 8) < 2) return pos;
    p = k + 1 + value_size;
    if (p - pos > kMaxApeTag) return pos;
  }
  return pos;
}

// Lyrics3: version 2 fields (three letters, five digits of size, the text) up to the
// six-digit size of the block and "LYRICS200"; version 1 text up to "LYRICSEND".
uint64_t lyrics3(Cursor& cur, uint64_t pos) {
  if (!magic(cur, pos, "LYRICSBEGIN", 11)) return pos;
  uint64_t p = pos + 11;
  for (unsigned n = 0; n <= kMaxLyricsFields; ++n) {
    const uint8_t* f = cur.get(p, 15);
    uint32_t v = 0;
    if (f && std::memcmp(f + 6, "LYRICS200", 9) == 0 && digits(f, 6, v))
      return v == p - pos ? p + 15 : pos;
    if (!f || !digits(f + 3, 5, v) || f[0] < 'A' || f[0] > 'Z') break;
    p += 8 + v;
  }
  const uint8_t end[9] = {'L', 'Y', 'R', 'I', 'C', 'S', 'E', 'N', 'D'};
  const uint64_t at = cur.find(pos + 11, pos + kLyrics1Max, end, 9);
  // The first version is only ever followed by an ID3v1 tag.
  return at != UINT64_MAX && magic(cur, at + 9, "TAG", 3) ? at + 9 : pos;
}

}  // namespace

uint64_t skip_tail_tags(Cursor& cur, uint64_t pos) {
  for (int round = 0; round < 3; ++round) {
    uint64_t next = ape_tag(cur, pos);
    if (next == pos) next = lyrics3(cur, pos);
    if (next == pos) break;
    pos = next;
  }
  if (magic(cur, pos, "TAG+", 4) && magic(cur, pos + 227, "TAG", 3) && cur.readable(pos, 355)) return pos + 355;
  if (magic(cur, pos, "TAG", 3) && cur.readable(pos, 128)) return pos + 128;
  return pos;
}

}  // namespace kes
