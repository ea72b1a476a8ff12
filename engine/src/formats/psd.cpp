// PSD (and the large-document variant): header, colour mode data, image resources,
// layer and mask information, then the merged image, whose size comes from the header
// (raw) or from the row byte counts (RLE).
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {

bool probe_psd(const uint8_t* h) {
  if (std::memcmp(h, "8BPS", 4) != 0) return false;
  uint16_t version = be16(h + 4);
  if (version != 1 && version != 2) return false;
  for (int i = 6; i < 12; ++i)
    if (h[i]) return false;
  uint16_t channels = be16(h + 12), depth = be16(h + 22), mode = be16(h + 24);
  uint32_t height = be32(h + 14), width = be32(h + 18);
  uint32_t max_side = version == 1 ? 30000 : 300000;
  bool depth_ok = depth == 1 || depth == 8 || depth == 16 || depth == 32;
  bool mode_ok = mode <= 4 || mode == 7 || mode == 8 || mode == 9;
  return channels >= 1 && channels <= 56 && height >= 1 && height <= max_side && width >= 1 &&
         width <= max_side && depth_ok && mode_ok;
}

Carve measure_psd(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 26);
  if (!h || !probe_psd(h)) return corrupt();
  const bool big = be16(h + 4) == 2;
  const uint64_t channels = be16(h + 12), height = be32(h + 14), width = be32(h + 18);
  const uint64_t depth = be16(h + 22);
  uint64_t pos = 26;
  // Colour mode data, then image resources: 32-bit lengths.
  for (int section = 0; section < 2; ++section) {
    const uint8_t* p = cur.get(pos, 4);
    if (!p) return corrupt();
    uint64_t len = be32(p);
    if (section == 1 && len > 0) {
      const uint8_t* sig = cur.get(pos + 4, 4);
      if (!sig || (std::memcmp(sig, "8BIM", 4) != 0 && std::memcmp(sig, "MeSa", 4) != 0)) return corrupt();
    }
    pos += 4 + len;
  }
  // Layer and mask information: 32-bit length, 64-bit in large documents.
  const uint8_t* p = cur.get(pos, big ? 8 : 4);
  if (!p) return corrupt();
  pos += big ? 8 + be64(p) : 4 + uint64_t(be32(p));
  const uint8_t* c = cur.get(pos, 2);
  if (!c) return corrupt();
  const uint16_t compression = be16(c);
  const uint64_t data = pos + 2;
  const uint64_t rows = channels * height;
  uint64_t end = 0;
  if (compression == 0) {
    end = data + rows * ((width * depth + 7) / 8);
  } else if (compression == 1) {
    // One byte count per row and channel, then the PackBits rows themselves.
    const uint64_t entry = big ? 4 : 2;
    uint64_t sum = 0, at = data;
    const uint64_t max_row = (width * depth + 7) / 8;
    for (uint64_t r = 0; r < rows; ++r, at += entry) {
      const uint8_t* e = cur.get(at, entry);
      if (!e) return make_carve(Verdict::truncated, data, "psd");
      uint64_t n = big ? be32(e) : be16(e);
      if (n > max_row + max_row / 64 + 2) return make_carve(Verdict::truncated, data, "psd");
      sum += n;
    }
    end = at + sum;
  } else {
    // Deflated merged data carries no length of its own; the layers hold the picture.
    return make_carve(Verdict::truncated, data, "psd");
  }
  if (!cur.readable(0, end)) {
    uint64_t have = cur.limit();
    return have > data ? make_carve(Verdict::truncated, have, "psd") : corrupt();
  }
  return make_carve(Verdict::complete, end, "psd");
}

}  // namespace kes
