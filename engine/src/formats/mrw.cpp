// Minolta MRW: a block list (picture dimensions, an embedded TIFF, white balance ...)
// followed by the raw data, whose size comes from the dimensions block.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/tiff_walk.h"

namespace kes {

bool probe_mrw(const uint8_t* h) {
  return std::memcmp(h, "\0MRM", 4) == 0 && be32(h + 4) >= 8 && be32(h + 4) < (1u << 20) &&
         std::memcmp(h + 8, "\0PRD", 4) == 0;
}

Carve measure_mrw(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 16);
  if (!h || !probe_mrw(h)) return corrupt();
  const uint64_t data = 8 + uint64_t(be32(h + 4));
  uint64_t raw_size = 0, end = data;
  uint64_t pos = 8;
  for (int blocks = 0; pos + 8 <= data && blocks < 64; ++blocks) {
    const uint8_t* b = cur.get(pos, 8);
    if (!b || b[0] != 0 || b[1] < 'A' || b[1] > 'Z') return corrupt();
    uint64_t len = be32(b + 4), body = pos + 8;
    if (body + len > data) return corrupt();
    if (std::memcmp(b + 1, "PRD", 3) == 0) {
      const uint8_t* p = cur.get(body, 24);
      if (!p || len < 24) return corrupt();
      uint64_t rows = be16(p + 8), cols = be16(p + 10);
      uint8_t bits = p[16], storage = p[18];
      // Packed storage keeps 12 bits per pixel, unpacked storage takes 16.
      uint64_t bpp = storage == 0x52 ? 12 : 16;
      if (rows == 0 || cols == 0 || (bits != 12 && bits != 16) || (storage != 0x52 && storage != 0x59))
        return corrupt();
      raw_size = rows * cols * bpp / 8;
    } else if (std::memcmp(b + 1, "TTW", 3) == 0) {
      tiff::Info in = tiff::walk(cur, body, tiff::Flavor::standard);
      if (in.ifd0_ok && !in.truncated) end = std::max(end, in.end);
    }
    pos = body + len;
  }
  if (raw_size == 0) return corrupt();
  end = std::max(end, data + raw_size);
  if (!cur.readable(0, end)) {
    uint64_t have = cur.limit();
    return have > data ? make_carve(Verdict::truncated, have, "mrw") : corrupt();
  }
  return make_carve(Verdict::complete, end, "mrw");
}

}  // namespace kes
