// The marker-level look at entropy-coded data, for scans that are not decoded.
#include <cstring>

#include "formats/jpeg_bits.h"
#include "formats/jpeg_scan.h"

namespace kes::jpeg {
namespace {

// A restart marker ends every interval but the last; some encoders put one after the
// last MCU too. Lossless scans (MCUs of samples) and unknown heights are not counted.
bool restarts_fit(const DecodeState& st, uint64_t restarts) {
  uint64_t total = scan_mcus(st);
  if (st.restart_interval == 0 || st.lossless || total == UINT64_MAX) return true;
  uint64_t between = (total - 1) / st.restart_interval;
  return restarts == between || restarts == between + 1;
}

ScanResult stopped(Stop why, uint64_t valid_end) {
  ScanResult r;
  r.why = why;
  r.valid_end = valid_end;
  return r;
}

}  // namespace

uint64_t next_marker(Cursor& cur, uint64_t pos) {
  while (true) {
    size_t avail = 0;
    const uint8_t* s = cur.span(pos, &avail);
    if (!s) return UINT64_MAX;
    const void* hit = std::memchr(s, 0xFF, avail);
    if (!hit) {
      pos += avail;
      continue;
    }
    uint64_t ff = pos + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - s);
    uint64_t q = ff;
    uint8_t b = 0xFF;
    while (b == 0xFF) {  // fill bytes belong to the marker that follows them
      if (!cur.u8(++q, b)) return UINT64_MAX;
    }
    if (b != 0x00 && !is_rst(b)) return ff;
    pos = q + 1;
  }
}

ScanResult screen_scan(Cursor& cur, uint64_t pos, const DecodeState& st) {
  SectorGuard guard(pos);
  uint64_t restarts = 0;
  while (true) {
    size_t avail = 0;
    const uint8_t* s = cur.span(pos, &avail);
    if (!s) return stopped(Stop::end_of_data, pos);
    const void* hit = std::memchr(s, 0xFF, avail);
    uint64_t ff = hit ? pos + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - s) : pos + avail;
    if (!guard.clear_through(cur, hit ? ff : ff - 1)) return stopped(Stop::end_of_data, guard.next());
    if (!hit) {
      pos = ff;
      continue;
    }
    uint64_t q = ff + 1;
    uint8_t b = 0;
    if (!cur.u8(q, b)) return stopped(Stop::end_of_data, ff);
    if (b == 0x00) {
      pos = q + 1;
      continue;
    }
    while (b == 0xFF)  // fill bytes: a marker follows
      if (!cur.u8(++q, b)) return stopped(Stop::end_of_data, ff);
    if (b == 0x00) return stopped(Stop::bad_code, ff);
    if (is_rst(b)) {
      if (st.restart_interval == 0 || b != kRST0 + (restarts & 7)) return stopped(Stop::bad_restart, ff);
      ++restarts;
      pos = q + 1;
      continue;
    }
    if (!restarts_fit(st, restarts)) return stopped(Stop::bad_restart, ff);
    ScanResult r;
    r.why = Stop::end_of_scan;
    r.marker_pos = r.valid_end = ff;
    return r;
  }
}

}  // namespace kes::jpeg
