// JPEG: segments from SOI, every scan validated by decoding it, to EOI. Pictures that a
// multi-picture index (APP2 "MPF") appends after the first EOI, and previews that the
// EXIF or maker-note directories place there, are kept with the file.
#include <algorithm>
#include <cstring>
#include <memory>

#include "formats/formats.h"
#include "formats/jpeg_walk.h"
#include "formats/tiff_walk.h"

namespace kes {

bool probe_jpg(const uint8_t* h) {
  using namespace jpeg;
  if (h[0] != 0xFF || h[1] != kSOI || h[2] != 0xFF) return false;
  uint8_t m = h[3];
  bool known = is_app(m) || m == kDQT || m == kDHT || m == kCOM || m == kDRI || (m >= kSOF0 && m <= kSOF2);
  return known && be16(h + 4) >= 2;
}

namespace jpeg {
namespace {

void note_pointers(uint8_t code, const uint8_t* b, size_t blen, uint64_t body, Pointers& ptr) {
  if (code == kAPP2 && ptr.mp.count == 0) parse_mp_index(b, blen, body, ptr.mp);
  if (code == kAPP1 && ptr.exif == 0 && blen > 14 && std::memcmp(b, "Exif\0\0", 6) == 0) ptr.exif = body + 6;
}

// A complete file ends after the furthest thing its directories point to: pictures of
// the multi-picture index, previews the EXIF or maker-note directories place after the
// EOI. Each must be what it says (a JPEG that walks to its given end).
uint64_t pointed_end(Cursor& cur, uint64_t soi, uint64_t end, const Pointers& ptr) {
  for (uint32_t k = 0; k < ptr.mp.count; ++k) {
    if (ptr.mp.offset[k] == 0 || ptr.mp.size[k] == 0) continue;
    uint64_t at = ptr.mp.base + ptr.mp.offset[k];
    if (at < end || at < soi) continue;
    Walk sub = walk(cur, at, false);
    if (sub.verdict == Verdict::complete && sub.end == at + ptr.mp.size[k]) end = std::max(end, sub.end);
  }
  if (ptr.exif) end = std::max(end, tiff::embedded_end(cur, soi, ptr.exif, end));
  return end;
}

}  // namespace

namespace {

// The segments from `pos` to the EOI: after the SOI, or after a scan (`frame` read).
// `w` holds the SOI's position, the scans walked and the pointers noted so far.
void segments(Cursor& cur, uint64_t pos, bool follow, bool frame, DecodeState& st, Walk& w) {
  uint64_t good_end = frame ? pos : 0;
  for (int seg = 0; seg < 65536; ++seg) {
    uint8_t code = 0;
    uint64_t after = 0;
    if (!marker_at(cur, pos, code, after)) break;
    if (code == kEOI) {
      if (w.scans == 0) break;
      // An end before the scans carried the whole picture (a progressive one's later
      // scans missing) is another file's, after a wrong continuation: the picture stops
      // there unfinished.
      w.verdict = picture_whole(st) ? Verdict::complete : Verdict::truncated;
      w.end = follow && w.verdict == Verdict::complete ? pointed_end(cur, w.soi, after, w.ptr) : after;
      return;
    }
    if (code == 0x00 || code == 0x01 || is_rst(code) || code == kSOI) break;
    const uint8_t* lp = cur.get(after, 2);
    if (!lp) break;
    uint16_t len = be16(lp);
    if (len < 2 || !cur.within(after, len)) break;
    uint64_t body = after + 2;
    size_t blen = len - 2u;
    const uint8_t* b = cur.get(body, blen);
    if (!b && blen) break;
    bool ok = true;
    if (is_frame(code)) {
      ok = !frame && parse_frame(st, code, b, blen);
      frame = true;
    } else if (code == kDHT) {
      ok = parse_tables(st, b, blen);
    } else if (code == kDRI) {
      ok = parse_restart_interval(st, b, blen);
    } else if (code == kDNL) {  // the height the frame left open
      if (blen >= 2 && st.height == 0) st.height = be16(b);
    } else if (follow && is_app(code)) {
      note_pointers(code, b, blen, body, w.ptr);
    } else if (code == kSOS) {
      if (!frame || !parse_scan(st, b, blen)) break;
      uint64_t data = after + len;
      ScanResult r = validate_scan(cur, data, st);
      if (r.why != Stop::end_of_scan) {
        w.stop = r.why;
        w.scan_data = data;
        w.scan_mcus = r.mcus;
        uint64_t cut = r.valid_end > data ? r.valid_end : good_end;
        if (cut > 0) {
          w.verdict = Verdict::truncated;
          w.end = cut;
        }
        return;
      }
      ++w.scans;
      scan_walked(st);
      good_end = pos = r.marker_pos;
      continue;
    }
    if (!ok) break;
    pos = after + len;
  }
  if (w.scans > 0) {
    w.verdict = Verdict::truncated;
    w.end = good_end;
  }
  w.held = pos;
}

}  // namespace

Walk walk(Cursor& cur, uint64_t pos, bool follow, DecodeState* state) {
  Walk w;
  std::unique_ptr<DecodeState> own;
  if (!state) own.reset(new DecodeState);  // default-initialised: the tables stay unfilled
  const uint8_t* s = cur.get(pos, 3);
  if (!s || s[0] != 0xFF || s[1] != kSOI || s[2] != 0xFF) return w;
  w.soi = pos;
  segments(cur, pos + 2, follow, false, state ? *state : *own, w);
  return w;
}

Walk walk_on(Cursor& cur, const Walk& stopped, uint64_t pos, bool follow, DecodeState& state) {
  Walk w;
  w.soi = stopped.soi;
  w.scans = stopped.scans + 1;
  w.ptr = stopped.ptr;
  scan_walked(state);
  segments(cur, pos, follow, true, state, w);
  return w;
}

}  // namespace jpeg

// Segments that held this far before they broke are a picture's own, not a chance match.
constexpr uint64_t kHeldHeaders = 512;

Carve measure_jpg(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  jpeg::Walk w = jpeg::walk(cur, 0, true);
  // A stream that breaks before its first MCU holds nothing to keep, but its headers
  // held: a fragment search may find where its data goes on. So does one whose headers
  // held a sector and more and then broke (a camera's EXIF block runs past its first
  // cluster, the piece ending inside the segments).
  if (w.verdict == Verdict::corrupt)
    return make_carve(Verdict::corrupt, w.scan_data ? w.scan_data : w.held >= kHeldHeaders ? w.held : 0, "jpg");
  return make_carve(w.verdict, w.end, "jpg");
}

}  // namespace kes
