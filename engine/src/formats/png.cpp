// PNG (and its MNG and JNG siblings): chunks from the signature to the end chunk, each
// chunk's CRC checked.
#include <cstring>

#include "formats/crc.h"
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

Carve resume_png(ByteSource& src, uint64_t start, uint64_t max_length, uint64_t trusted) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 16);
  if (!h || !probe_png(h)) return corrupt();
  const bool mng = h[0] == 0x8A, jng = h[0] == 0x8B;
  const char* ext = mng ? "mng" : jng ? "jng" : "png";
  const char* last = mng ? "MEND" : "IEND";
  bool image = mng;  // a chunk with picture data was seen
  uint64_t pos = 8, broken = 0;
  for (uint32_t n = 0; n < (1u << 22); ++n) {
    cur.set_block(pos < trusted ? 16 : Cursor::kBlock);  // trusted chunks: their headers only
    const uint8_t* c = cur.get(pos, 8);
    if (!c) break;
    uint32_t len = be32(c);
    uint8_t type[4];
    std::memcpy(type, c + 4, 4);
    if (len > 0x7FFFFFFFu || !chunk_type_ok(type) || !cur.within(pos, 12 + uint64_t(len))) break;
    if (pos + 12 + uint64_t(len) > trusted) {  // chunks inside the trusted bytes held before
      uint32_t crc = 0;
      const uint8_t* stored = nullptr;
      if (!crc32_of(cur, pos + 4, pos + 8 + uint64_t(len), crc) || !(stored = cur.get(pos + 8 + len, 4)) ||
          be32(stored) != crc) {
        broken = pos + 12 + uint64_t(len);
        break;
      }
    }
    pos += 12 + uint64_t(len);
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "JDAT", 4) == 0 ||
        std::memcmp(type, "JDAA", 4) == 0)
      image = true;
    if (std::memcmp(type, last, 4) == 0) return make_carve(Verdict::complete, pos, ext);
  }
  // Broken or cut inside a chunk: what came before it is worth keeping once it holds
  // picture data.
  return make_carve(image ? Verdict::truncated : Verdict::corrupt, pos, ext, broken);
}

Carve measure_png(ByteSource& src, uint64_t start, uint64_t max_length) {
  return resume_png(src, start, max_length, 0);
}

}  // namespace kes
