// ICO: the directory of images; the file ends with the image that ends last.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

bool entry_ok(const uint8_t* e, uint32_t first_data) {
  uint16_t planes = le16(e + 4), bpp = le16(e + 6);
  uint32_t size = le32(e + 8), off = le32(e + 12);
  bool bpp_ok = bpp == 0 || bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
  return (e[3] == 0 || e[3] == 255) && planes <= 1 && bpp_ok && size >= 40 && off >= first_data;
}

}  // namespace

bool probe_ico(const uint8_t* h) {
  if (le16(h) != 0 || le16(h + 2) != 1) return false;
  uint16_t count = le16(h + 4);
  if (count < 1 || count > 64) return false;
  uint32_t first_data = 6 + 16u * count;
  for (uint32_t i = 0; i < count && 6 + 16 * (i + 1) <= 512; ++i)
    if (!entry_ok(h + 6 + 16 * i, first_data)) return false;
  return true;
}

Carve measure_ico(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 6);
  if (!h || le16(h) != 0 || le16(h + 2) != 1) return corrupt();
  uint16_t count = le16(h + 4);
  if (count < 1 || count > 64) return corrupt();
  uint32_t first_data = 6 + 16u * count;
  uint8_t dir[6 + 16 * 64];
  const uint8_t* d = cur.get(0, first_data);
  if (!d) return corrupt();
  std::memcpy(dir, d, first_data);
  uint64_t end = first_data, first_end = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = dir + 6 + 16 * i;
    if (!entry_ok(e, first_data)) return corrupt();
    uint64_t off = le32(e + 12), size = le32(e + 8);
    end = std::max(end, off + size);
    if (i == 0) first_end = off + size;
    // Each image is a PNG or a DIB whose header says 40 bytes.
    const uint8_t* img = cur.get(off, 8);
    if (!img) {
      if (i == 0 || end > cur.limit()) continue;
      return corrupt();
    }
    if (!(img[0] == 0x89 && img[1] == 'P' && img[2] == 'N' && img[3] == 'G') && le32(img) != 40)
      return corrupt();
  }
  if (!cur.readable(0, end)) {
    // Cut short: worth keeping only when the first image made it.
    return cur.limit() >= first_end ? make_carve(Verdict::truncated, cur.limit(), "ico") : corrupt();
  }
  return make_carve(Verdict::complete, end, "ico");
}

}  // namespace kes
