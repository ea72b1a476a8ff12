// Flash movies. "FWS": uncompressed; the header's length is the file's, and the tags
// (16-bit code and length, 0x3F meaning a 32-bit length follows) walk to the End tag
// inside it. "CWS": a zlib stream after the 8-byte header; it ends where the deflate
// stream's final block and the Adler-32 after it end, and what it inflates to plus the
// header must be the header's length. "ZWS": LZMA; the header's compressed length counts
// the bytes after the 5 property bytes, so the file ends 17 bytes past it.
#include <cstring>

#include "formats/crc.h"
#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/inflate.h"

namespace kes {
namespace {

constexpr uint32_t kMinLength = 8 + 1 + 4 + 2;  // header, smallest frame rectangle, rate, count, End
constexpr uint16_t kMaxTagCode = 127;

// The frame-size rectangle: a 5-bit field width, then four signed fields; the frame's
// origin is always 0,0. Returns its size in bytes, 0 when it is no frame rectangle.
size_t frame_rect_size(const uint8_t* p) {
  unsigned bits = p[0] >> 3;
  if (bits < 2) return 0;
  uint32_t field[4] = {};
  for (unsigned f = 0, at = 5; f < 4; ++f)
    for (unsigned i = 0; i < bits; ++i, ++at)
      field[f] = field[f] << 1 | ((p[at / 8] >> (7 - at % 8)) & 1);
  const uint32_t sign = 1u << (bits - 1);
  if (field[0] != 0 || field[2] != 0 || field[1] == 0 || field[3] == 0 || field[1] & sign || field[3] & sign)
    return 0;
  return (5 + 4 * bits + 7) / 8;
}

bool tag_code_ok(const uint8_t* p) { return (le16(p) >> 6) <= kMaxTagCode; }

bool probe_fws(const uint8_t* h) {
  if (h[3] == 0 || h[3] > 50 || le32(h + 4) < kMinLength) return false;
  size_t rect = frame_rect_size(h + 8);
  return rect && tag_code_ok(h + 8 + rect + 4);
}

bool zlib_header_ok(const uint8_t* z) {
  return (z[0] & 0x0F) == 8 && (z[0] >> 4) <= 7 && (z[1] & 0x20) == 0 && (z[0] << 8 | z[1]) % 31 == 0;
}

bool probe_cws(const uint8_t* h) {
  return h[3] >= 6 && h[3] <= 50 && le32(h + 4) >= kMinLength && zlib_header_ok(h + 8) &&
         (h[10] & 6) != 6;  // the first block's type
}

// lc + lp * 9 + pb * 45 below 225, a dictionary of 4 KiB to 1 GiB, and the range coder's
// first byte, which is always zero.
bool probe_zws(const uint8_t* h) {
  uint32_t dict = le32(h + 13);
  return h[3] >= 13 && h[3] <= 50 && le32(h + 4) >= kMinLength && le32(h + 8) >= 5 && h[12] < 225 &&
         dict >= 4096 && dict <= (1u << 30) && h[17] == 0;
}

Carve measure_fws(Cursor& cur, uint32_t length) {
  const uint8_t* h = cur.get(0, 8 + 17 + 4);
  size_t rect = h ? frame_rect_size(h + 8) : 0;
  if (!rect) return corrupt();
  const uint64_t first = 8 + rect + 4;
  uint64_t pos = first;
  while (pos + 2 <= length) {
    const uint8_t* t = cur.get(pos, 2);
    if (!t) return make_carve(Verdict::truncated, cur.limit(), "swf");
    uint32_t code = le16(t) >> 6, size = le16(t) & 0x3F, head = 2;
    if (size == 0x3F) {
      if (!(t = cur.get(pos + 2, 4))) return make_carve(Verdict::truncated, cur.limit(), "swf");
      size = le32(t);
      head = 6;
    }
    if (code > kMaxTagCode || head > length - pos || size > length - pos - head) break;
    pos += head + uint64_t(size);
    if (code == 0) {
      if (cur.readable(0, length)) return make_carve(Verdict::complete, length, "swf");
      return make_carve(Verdict::truncated, cur.limit(), "swf");
    }
  }
  // A tag announced past the data that is there ends the carve where the data does.
  if (pos > cur.limit()) return make_carve(Verdict::truncated, cur.limit(), "swf");
  return pos > first ? make_carve(Verdict::truncated, pos, "swf") : corrupt();
}

// Checks what a compressed movie inflates to as it comes: the Adler-32, and the walk of
// the frame rectangle and the tag headers, so that bad data stops the decoding early.
struct MovieSink : InflateSink {
  uint32_t adler = 1;
  uint64_t seen = 0;  // bytes taken so far
  uint64_t next = 0;  // where the next header (the rectangle's first byte, then tags) starts
  uint8_t head[6];
  unsigned have = 0;  // bytes of that header gathered
  bool rect = false, ended = false;

  bool take(const uint8_t* p, size_t n) override {
    adler = adler32(adler, p, n);
    const uint64_t stop = seen + n;
    while (!ended && next != UINT64_MAX && next + have < stop) {
      head[have] = p[next + have - seen];
      ++have;
      read_header();
    }
    seen = stop;
    return next != UINT64_MAX;
  }
  // Interprets the header gathered so far; once it is whole, moves `next` past what it
  // announces (UINT64_MAX for a tag code that doesn't exist).
  void read_header() {
    if (!rect) {
      rect = true;
      next += (5 + 4 * (head[0] >> 3) + 7) / 8 + 4;  // rectangle, frame rate and count
      have = 0;
      return;
    }
    if (have < 2) return;
    const uint32_t code = le16(head) >> 6;
    uint32_t size = le16(head) & 0x3F, length = 2;
    if (size == 0x3F) {
      if (have < 6) return;
      size = le32(head + 2);
      length = 6;
    }
    ended = code == 0;
    next = code > kMaxTagCode ? UINT64_MAX : next + length + size;
    have = 0;
  }
};

Carve measure_cws(Cursor& cur, uint32_t length) {
  MovieSink movie;
  Inflated z = inflate(cur, 10, length - 8, movie);
  if (z.status == Inflated::done) {
    const uint8_t* sum = cur.get(z.end, 4);
    if (!sum) return make_carve(Verdict::truncated, cur.limit(), "swf");
    if (be32(sum) == movie.adler && z.out + 8 == length && movie.ended)
      return make_carve(Verdict::complete, z.end + 4, "swf");
    // Which block went wrong is unknown: keep those before the last.
    return z.last_start > 10 ? make_carve(Verdict::truncated, z.last_start, "swf") : corrupt();
  }
  if (z.status == Inflated::cut) return make_carve(Verdict::truncated, cur.limit(), "swf");
  return z.block_end > 10 ? make_carve(Verdict::truncated, z.block_end, "swf") : corrupt();
}

Carve measure_zws(Cursor& cur, const uint8_t* h) {
  uint64_t end = 17 + uint64_t(le32(h + 8));
  if (cur.readable(0, end)) return make_carve(Verdict::complete, end, "swf");
  return make_carve(Verdict::truncated, cur.limit(), "swf");
}

}  // namespace

bool probe_swf(const uint8_t* h) {
  if (h[1] != 'W' || h[2] != 'S') return false;
  if (h[0] == 'F') return probe_fws(h);
  if (h[0] == 'C') return probe_cws(h);
  return h[0] == 'Z' && probe_zws(h);
}

Carve measure_swf(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 32);
  if (!h || !probe_swf(h)) return corrupt();
  const uint32_t length = le32(h + 4);
  if (h[0] == 'F') return measure_fws(cur, length);
  if (h[0] == 'C') return measure_cws(cur, length);
  return measure_zws(cur, h);
}

}  // namespace kes
