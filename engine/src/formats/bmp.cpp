// BMP: the file header's size, checked against the size the DIB header implies.
#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

struct Dib {
  uint32_t header = 0, compression = 0, image_size = 0, profile_end = 0;
  int64_t width = 0, height = 0;
  uint32_t bpp = 0, planes = 0;
};

bool read_dib(const uint8_t* h, Dib& d) {
  d.header = le32(h + 14);
  const uint8_t* p = h + 18;
  if (d.header == 12) {
    d.width = le16(p);
    d.height = le16(p + 2);
    d.planes = le16(p + 4);
    d.bpp = le16(p + 6);
  } else if (d.header == 40 || d.header == 52 || d.header == 56 || d.header == 64 ||
             d.header == 108 || d.header == 124) {
    d.width = static_cast<int32_t>(le32(p));
    d.height = static_cast<int32_t>(le32(p + 4));
    d.planes = le16(p + 8);
    d.bpp = le16(p + 10);
    d.compression = le32(p + 12);
    d.image_size = le32(p + 16);
  } else {
    return false;
  }
  if (d.height < 0) d.height = -d.height;
  bool bpp_ok = d.bpp == 1 || d.bpp == 2 || d.bpp == 4 || d.bpp == 8 || d.bpp == 16 || d.bpp == 24 ||
                d.bpp == 32 || d.bpp == 64;
  return d.width > 0 && d.width <= 100000 && d.height > 0 && d.height <= 100000 && d.planes == 1 &&
         bpp_ok && d.compression <= 6;
}

}  // namespace

bool probe_bmp(const uint8_t* h) {
  if (h[0] != 'B' || h[1] != 'M' || le32(h + 6) != 0) return false;
  uint32_t size = le32(h + 2), off = le32(h + 10);
  Dib d;
  if (!read_dib(h, d)) return false;
  return off >= 14 + d.header && off < size;
}

Carve measure_bmp(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 54);
  if (!h || !probe_bmp(h)) return corrupt();
  Dib d;
  read_dib(h, d);
  uint64_t size = le32(h + 2), off = le32(h + 10);
  uint64_t end = size;
  bool plain = d.compression == 0 || d.compression == 3 || d.compression == 6;
  if (plain) {
    uint64_t row = (uint64_t(d.width) * d.bpp + 31) / 32 * 4;
    uint64_t pixels_end = off + row * uint64_t(d.height);
    // A few writers leave the size field short or zero; the pixels tell the truth then.
    // Larger sizes hold an embedded colour profile or padding after the pixels.
    if (size < pixels_end) end = pixels_end;
    if (end - pixels_end > 16 * 1024 * 1024) return corrupt();
  } else if (d.image_size && off + d.image_size > size) {
    return corrupt();
  }
  if (end > cur.limit() || !cur.readable(0, end)) {
    uint64_t have = cur.limit();
    return have > off ? make_carve(Verdict::truncated, have, "bmp") : corrupt();
  }
  return make_carve(Verdict::complete, end, "bmp");
}

}  // namespace kes
