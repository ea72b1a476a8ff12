// PNG (and its MNG and JNG siblings): chunks from the signature to the end chunk, each
// chunk's CRC checked.
#include <algorithm>
#include <cstring>

#include "formats/checksum.h"
#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

const uint8_t kTail[4] = {0x0D, 0x0A, 0x1A, 0x0A};

bool chunk_type_ok(const uint8_t* t) {
  for (int i = 0; i < 4; ++i) {
    uint8_t c = t[i] & 0xDF;
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}

// CRC of the type and data of the chunk at pos; false when the bytes aren't all there.
bool chunk_crc(Cursor& cur, uint64_t pos, uint32_t len, uint32_t& crc) {
  uint32_t c = 0;
  uint64_t p = pos + 4, end = pos + 8 + uint64_t(len);
  while (p < end) {
    size_t avail = 0;
    const uint8_t* s = cur.span(p, &avail);
    if (!s) return false;
    size_t n = static_cast<size_t>(std::min<uint64_t>(avail, end - p));
    c = kes::crc32(c, s, n);
    p += n;
  }
  crc = c;
  return true;
}

}  // namespace

bool probe_png(const uint8_t* h) {
  if (std::memcmp(h + 4, kTail, 4) != 0) return false;
  bool png = h[0] == 0x89 && h[1] == 'P' && h[2] == 'N' && h[3] == 'G';
  bool mng = h[0] == 0x8A && h[1] == 'M' && h[2] == 'N' && h[3] == 'G';
  bool jng = h[0] == 0x8B && h[1] == 'J' && h[2] == 'N' && h[3] == 'G';
  if (!png && !mng && !jng) return false;
  const char* first = png ? "IHDR" : mng ? "MHDR" : "JHDR";
  uint32_t len = be32(h + 8);
  return std::memcmp(h + 12, first, 4) == 0 && len == (png ? 13u : mng ? 28u : 16u);
}

Carve measure_png(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 16);
  if (!h || !probe_png(h)) return corrupt();
  const bool mng = h[0] == 0x8A, jng = h[0] == 0x8B;
  const char* ext = mng ? "mng" : jng ? "jng" : "png";
  const char* last = mng ? "MEND" : "IEND";
  bool image = mng;  // a chunk with picture data was seen
  uint64_t pos = 8;
  for (uint32_t n = 0; n < (1u << 22); ++n) {
    const uint8_t* c = cur.get(pos, 8);
    if (!c) break;
    uint32_t len = be32(c);
    uint8_t type[4];
    std::memcpy(type, c + 4, 4);
    if (len > 0x7FFFFFFFu || !chunk_type_ok(type) || !cur.within(pos, 12 + uint64_t(len))) break;
    uint32_t crc = 0;
    if (!chunk_crc(cur, pos, len, crc)) break;
    const uint8_t* stored = cur.get(pos + 8 + len, 4);
    if (!stored || be32(stored) != crc) break;
    pos += 12 + uint64_t(len);
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "JDAT", 4) == 0 ||
        std::memcmp(type, "JDAA", 4) == 0)
      image = true;
    if (std::memcmp(type, last, 4) == 0) return make_carve(Verdict::complete, pos, ext);
  }
  // Broken or cut inside a chunk: what came before it is worth keeping once it holds
  // picture data.
  return image ? make_carve(Verdict::truncated, pos, ext) : corrupt();
}

}  // namespace kes
