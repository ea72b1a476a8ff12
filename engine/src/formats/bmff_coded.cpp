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

uint64_t check_nal_units(Cursor& cur, const Extent& e, uint64_t strict_end, uint64_t checked_to) {
  // What a payload's escapes and zero runs depend on reaches this far back.
  const uint64_t rescan_from = checked_to > kZeroRun ? checked_to - kZeroRun : 0;
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
    const uint64_t broken = payload_break(cur, std::max(q + field + 2, rescan_from), last + 1, strict_end);
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

// Another file's data amid coded data. HEVC's and AV1's arithmetic coders write bytes
// spread as evenly as noise's, and follow a 0xFF with any byte; pixel rows, raw samples,
// sound and tables are spread far less evenly, and JPEG's coded data follows every 0xFF
// with a stuffed 0x00 or a restart marker. The spread is counted over the first KiB of a
// window, as a chi-square over the byte values: about 255 for noise and at most 350 for
// the bench cards' HEIC and AVIF pictures, where photos' pixel rows give some 16,000, a
// DNG's 16-bit samples 3,800 and PCM sound 5,700. (Another
// file's data that begins inside a window fills the next one.) CRX's packed Rice codes
// are not known to be spread as evenly, so a CR3's raw track is held to a looser bound,
// which only uncoded data exceeds. Bytes 0x00 and 0x03 are left out of the count: HEVC
// pads a picture's data with 00 00 03, so a window of HEVC data that holds little else is
// not judged here (eight zero bytes in a row fail a NAL unit on their own); of the other
// codings such a window is zeroed or padded, another file's.
constexpr size_t kCounted = 1024;
constexpr uint64_t kMostSpread = 1024;
constexpr uint64_t kMostSpreadCrx = 2048;
constexpr int kStuffedMarks = 8;  // 0xFF bytes, each stuffed, that make a window JPEG data
// Extents a table places past this are not judged (the measure finds them wrong).
constexpr uint64_t kMaxWindowed = uint64_t(1) << 62;

bool even_coder(Coding c) { return c == Coding::hevc || c == Coding::av1 || c == Coding::crx; }

bool jpeg_coded(const uint8_t* w) {
  int marks = 0;
  for (const uint8_t* p = w; (p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, w + kWindow - 1 - p)));) {
    if (p[1] != 0 && (p[1] & 0xF8) != 0xD0) return false;
    ++marks;
    ++p;
  }
  return marks >= kStuffedMarks;
}

bool foreign(const uint8_t* w, uint64_t most_spread, bool hevc) {
  uint32_t count[4][256] = {};
  for (size_t i = 0; i < kCounted; i += 4) {
    ++count[0][w[i]];
    ++count[1][w[i + 1]];
    ++count[2][w[i + 2]];
    ++count[3][w[i + 3]];
  }
  uint64_t n = 0, squares = 0;
  for (int b = 0; b < 256; ++b) {
    if (b == 0 || b == 3) continue;
    const uint64_t c = count[0][b] + count[1][b] + count[2][b] + count[3][b];
    n += c;
    squares += c * c;
  }
  if (n < kCounted / 2) return !hevc;
  const uint64_t chi_square = 254 * squares / n - n;  // of n bytes over 254 values
  return chi_square > most_spread || jpeg_coded(w);
}

// Whether the window at `w` holds another file's data (1 or 0), from `known` when it was
// judged at the same place on the medium; -1 when its bytes are not all there.
int judge_window(Cursor& cur, uint64_t w, bool crx, bool hevc, WindowVerdicts* known) {
  if (!cur.within(w, kWindow)) return -1;
  const uint64_t at = known ? cur.medium_offset(w, kWindow) : UINT64_MAX;
  const bool keyed = at < (uint64_t(1) << 62);
  const uint64_t key = at << 2 | uint64_t(crx) << 1 | uint64_t(hevc);
  if (keyed) {
    const auto seen = known->find(key);
    if (seen != known->end()) return seen->second;
  }
  const uint8_t* p = cur.get(w, kWindow);
  if (!p) return -1;
  const bool verdict = foreign(p, crx ? kMostSpreadCrx : kMostSpread, hevc);
  if (keyed) known->emplace(key, verdict);
  return verdict;
}

}  // namespace

uint64_t first_foreign_window(Cursor& cur, const std::vector<Extent>& sorted, uint64_t from, uint64_t to,
                              WindowVerdicts* known) {
  auto judged = [&](size_t i) {
    return i < sorted.size() && even_coder(sorted[i].coding) && sorted[i].offset <= kMaxWindowed &&
           sorted[i].length <= kMaxWindowed - sorted[i].offset;
  };
  for (size_t i = 0; i < sorted.size();) {
    if (!judged(i)) {
      ++i;
      continue;
    }
    // A run of such extents that follow each other (a grid's tiles), judged as one: a
    // window may hold the end of one tile and the start of the next.
    const uint64_t first = sorted[i].offset;
    uint64_t last = first;
    bool crx = false, hevc = true;
    do {
      last = std::max(last, sorted[i].offset + sorted[i].length);
      crx = crx || sorted[i].coding == Coding::crx;
      hevc = hevc && sorted[i].coding == Coding::hevc;
    } while (judged(++i) && sorted[i].offset <= last);
    if (from >= last) continue;
    for (uint64_t w = std::max(from, first + kWindow - 1) / kWindow * kWindow; w < to && w + kWindow <= last;
         w += kWindow) {
      const int verdict = judge_window(cur, w, crx, hevc, known);
      if (verdict < 0) return UINT64_MAX;
      if (verdict) return w;
    }
  }
  return UINT64_MAX;
}

uint64_t nal_unit_end(Cursor& cur, const Extent& e, uint64_t at) {
  const uint64_t end = e.offset + e.length, field = e.nal_length;
  for (uint64_t q = e.offset; q < end && q + field + 2 <= at;) {
    const uint8_t* l = cur.get(q, field);
    if (!l) break;
    uint64_t len = 0;
    for (size_t i = 0; i < field; ++i) len = len << 8 | l[i];
    if (len < 2 || len > end - q - field) break;
    q += field + len;
    if (q > at) return q;
  }
  return at;
}

uint64_t check_extent(Cursor& cur, const Extent& e, uint64_t strict_end, uint64_t checked_to) {
  switch (e.coding) {
    case Coding::hevc: return check_nal_units(cur, e, strict_end, checked_to);
    case Coding::av1: return check_obus(cur, e);
    case Coding::jpeg: return check_jpeg(cur, e, strict_end);
    case Coding::exif: return check_exif(cur, e);
    case Coding::ctmd: return check_ctmd(cur, e);
    case Coding::crx:  // its bytes' spread alone, by first_foreign_window()
    case Coding::unchecked: break;
  }
  return e.offset + e.length;
}

}  // namespace kes::bmff
