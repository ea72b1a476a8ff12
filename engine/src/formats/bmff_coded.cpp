// Checks of the coded data a still's tables place: each coding's units must fill the
// run exactly, at the offsets the tables give. Inside a HEVC NAL unit its escapes keep
// out three zero bytes in a row and 00 00 01 or 00 00 02 (which other files' headers,
// tables and silence break at once), and its last byte is never zero.
#include <algorithm>
#include <cstring>

#include "formats/bmff_still.h"
#include "formats/jpeg_walk.h"

namespace kes::bmff {
namespace {

constexpr uint64_t kUnjudged = UINT64_MAX;
// Zero bytes in a row that noise never holds (one chance in 2^64 per byte) and a zeroed
// cluster always does.
constexpr int kZeroRun = 8;

// The first byte of [from, to) that no NAL payload holds: a sequence its escapes keep
// out, before `strict_end`, or a run of kZeroRun zero bytes anywhere. Past a fragment
// search's splice only the zero run counts: the search holds each continuation against
// noise, which breaks an escape now and then, while another picture's HEVC data never
// does, and would be taken for this one's. kUnjudged when none, or when the bytes run
// past the limit.
uint64_t payload_break(Cursor& cur, uint64_t from, uint64_t to, uint64_t strict_end) {
  int zeros = 0;
  for (uint64_t pos = from; pos < to;) {
    size_t avail = 0;
    const uint8_t* p = cur.span(pos, &avail);
    if (!p) return kUnjudged;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(avail, to - pos));
    for (size_t i = 0; i < n; ++i) {
      if (zeros == 0) {  // both patterns begin with a zero byte: the bytes before the next one pass
        const void* z = std::memchr(p + i, 0, n - i);
        if (!z) break;
        i = static_cast<size_t>(static_cast<const uint8_t*>(z) - p);
      }
      if (zeros >= 2 && p[i] <= 2 && pos + i < strict_end) return pos + i - 2;
      zeros = p[i] == 0 ? zeros + 1 : 0;
      if (zeros == kZeroRun) return pos + i + 1 - kZeroRun;
    }
    pos += n;
  }
  return kUnjudged;
}

uint64_t check_nal_units(Cursor& cur, const Extent& e, uint64_t strict_end) {
  const uint64_t end = e.offset + e.length;
  const size_t field = e.nal_length;
  for (uint64_t q = e.offset; q < end;) {
    if (end - q < field + 2) return q;
    const uint8_t* l = cur.get(q, field + 2);
    if (!l) return end;
    uint64_t len = 0;
    for (size_t i = 0; i < field; ++i) len = len << 8 | l[i];
    // A NAL header: the forbidden bit clear, a temporal id above zero.
    if (len < 2 || len > end - q - field || (l[field] & 0x80) || (l[field + 1] & 7) == 0) return q;
    const uint64_t last = q + field + len - 1;
    const uint64_t broken = payload_break(cur, q + field + 2, last + 1, strict_end);
    if (broken != kUnjudged) return broken;
    uint8_t final_byte = 1;
    if (cur.u8(last, final_byte) && final_byte == 0) return last;
    q = last + 1;
  }
  return end;
}

bool known_obu(unsigned type) { return (type >= 1 && type <= 8) || type == 15; }

uint64_t check_obus(Cursor& cur, const Extent& e) {
  const uint64_t end = e.offset + e.length;
  for (uint64_t q = e.offset; q < end;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(end - q, 10));
    const uint8_t* h = cur.get(q, n);
    if (!h) return end;
    if ((h[0] & 0x81) || !known_obu(h[0] >> 3 & 15)) return q;
    const size_t header = 1 + ((h[0] & 4) ? 1 : 0);
    if (n < header) return q;
    if (!(h[0] & 2)) return end;  // no size field: it fills the rest
    uint64_t size = 0;
    size_t i = header;
    bool ended = false;
    for (int shift = 0; i < n && shift < 56 && !ended; shift += 7, ++i) {
      size |= uint64_t(h[i] & 0x7F) << shift;
      ended = !(h[i] & 0x80);
    }
    if (!ended || size > end - q - i) return q;
    q += i + size;
  }
  return end;
}

// Each check below looks at a few bytes: null from the cursor means they lie past the
// limit, where nothing is judged.
// A picture (a CR3's full-size JPEG, a HEIF's JPEG item) is walked and decoded whole by
// the measure. A fragment search's candidates (`strict_end` at the splice) look at its
// start alone: before the splice the measure decoded it already, and past it another
// picture's data with the same tables decodes as well.
uint64_t check_jpeg(Cursor& cur, const Extent& e, uint64_t strict_end) {
  const uint64_t end = e.offset + e.length;
  if (e.length < 4) return e.offset;
  const uint8_t* p = cur.get(e.offset, 3);
  if (!p) return end;
  if (p[0] != 0xFF || p[1] != 0xD8 || p[2] != 0xFF) return e.offset;
  if (strict_end != UINT64_MAX) return end;
  const jpeg::Walk w = jpeg::walk(cur, e.offset, false);
  if (w.verdict == Verdict::complete || w.end >= cur.limit()) return end;  // whole, or not judged past the limit
  return std::max(w.end, e.offset);
}

uint64_t check_exif(Cursor& cur, const Extent& e) {
  if (e.length < 12) return e.offset;
  const uint8_t* p = cur.get(e.offset, 4);
  if (!p) return e.offset + e.length;
  const uint64_t tiff = 4 + uint64_t(be32(p));
  if (tiff > e.length - 8) return e.offset;
  const uint8_t* t = cur.get(e.offset + tiff, 4);
  if (!t) return e.offset + e.length;
  const bool header = (t[0] == 'I' && t[1] == 'I' && t[2] == 42 && t[3] == 0) ||
                      (t[0] == 'M' && t[1] == 'M' && t[2] == 0 && t[3] == 42);
  return header ? e.offset + e.length : e.offset;
}

uint64_t check_ctmd(Cursor& cur, const Extent& e) {
  const uint64_t end = e.offset + e.length;
  for (uint64_t q = e.offset; q < end;) {
    if (end - q < 6) return q;
    const uint8_t* r = cur.get(q, 6);
    if (!r) return end;
    if (le32(r) < 6 || le32(r) > end - q) return q;
    q += le32(r);
  }
  return end;
}

}  // namespace

uint64_t check_extent(Cursor& cur, const Extent& e, uint64_t strict_end) {
  switch (e.coding) {
    case Coding::hevc: return check_nal_units(cur, e, strict_end);
    case Coding::av1: return check_obus(cur, e);
    case Coding::jpeg: return check_jpeg(cur, e, strict_end);
    case Coding::exif: return check_exif(cur, e);
    case Coding::ctmd: return check_ctmd(cur, e);
    case Coding::unchecked: break;
  }
  return e.offset + e.length;
}

}  // namespace kes::bmff
