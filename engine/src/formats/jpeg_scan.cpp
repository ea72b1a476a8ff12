#include "formats/jpeg_scan.h"

#include "formats/jpeg_decoder.h"

namespace kes::jpeg {
namespace {

constexpr uint64_t kStrayBytes = 16;  // tolerated between a scan's last MCU and its marker

ScanResult scan_ended(uint64_t marker) {
  ScanResult r;
  r.why = Stop::end_of_scan;
  r.marker_pos = r.valid_end = marker;
  return r;
}

ScanResult decode(ScanRun& run, uint64_t first, uint64_t until = UINT64_MAX) {
  if (run.st.arithmetic || run.st.lossless) return run.marker_level();
  return run.st.progressive ? decode_progressive(run, first) : decode_sequential(run, first, until);
}

}  // namespace

bool ScanRun::restart(uint64_t mcu, Stop& why) {
  br.refill_slow();
  if (!br.marker()) {
    why = br.stopped() ? Stop::end_of_data : Stop::bad_restart;
    return false;
  }
  if (br.real_bits() >= 8) {
    why = Stop::bad_restart;
    return false;
  }
  uint8_t code = 0;
  uint64_t after = 0;
  if (!marker_at(cur, br.marker_pos(), code, after)) {
    why = Stop::end_of_data;
    return false;
  }
  if (!is_rst(code)) {
    why = Stop::early_marker;
    return false;
  }
  if (code != kRST0 + ((mcu / st.restart_interval - 1) & 7)) {
    why = Stop::bad_restart;
    return false;
  }
  br.seek(after);
  eobrun = 0;
  return true;
}

Checkpoint ScanRun::at(const Bits& b, uint64_t mcu) const {
  Checkpoint cp;
  cp.pos = br.here(b);
  cp.nbits = b.n;
  // Only the bits read count: below them the register may hold copies of later bytes,
  // which a resumed reading takes from the new data.
  BitWord held = b.n > 0 ? b.acc & (~BitWord(0) << (kWordBits - b.n)) : 0;
  cp.bits = static_cast<uint64_t>(held) << (64 - kWordBits);
  cp.mcu = mcu;
  cp.eobrun = eobrun;
  cp.undo = st.trail.logged();
  return cp;
}

ScanResult ScanRun::marker_level() { return screen_scan(cur, br.here(), st); }

ScanResult ScanRun::finish(uint64_t mcus) {
  auto ended = [mcus](uint64_t marker) {
    ScanResult e = scan_ended(marker);
    e.mcus = mcus;
    return e;
  };
  ScanResult r;
  r.mcus = mcus;
  br.refill_slow();
  uint64_t from = br.here();
  if (br.marker() && br.real_bits() < 8) {
    from = br.marker_pos();
    uint8_t code = 0;
    uint64_t after = 0;
    if (marker_at(cur, from, code, after) && !is_rst(code)) return ended(from);
  }
  if (!br.marker() || br.real_bits() >= 8) {
    // Data left over after the last MCU. A few stray bytes are some encoders' padding;
    // more mean the decoding went astray somewhere before.
    uint64_t done = br.consumed_pos();
    uint64_t m = next_marker(cur, done);
    if (m != UINT64_MAX && m - done <= kStrayBytes) return ended(m);
    r.why = br.stopped() && !br.marker() ? Stop::end_of_data : Stop::bad_code;
    r.valid_end = done;
    return r;
  }
  // A restart marker after the last MCU: the scan ends at the next other marker.
  uint64_t m = next_marker(cur, from);
  if (m == UINT64_MAX) {
    r.why = Stop::end_of_data;
    r.valid_end = from;
    return r;
  }
  return ended(m);
}

ScanResult ScanRun::restart_failed(Stop why, uint64_t mcu) {
  ScanResult r;
  r.why = why;
  r.valid_end = why == Stop::early_marker ? br.marker_pos() : br.consumed_pos();
  r.mcus = mcu;
  return r;
}

ScanResult ScanRun::paused(uint64_t mcu) {
  ScanResult r;
  r.why = Stop::paused;
  r.valid_end = br.consumed_pos();
  r.mcus = mcu;
  return r;
}

ScanResult ScanRun::mcu_failed(Stop why, uint64_t mcu, uint64_t mcu_start) {
  ScanResult r;
  if (br.overran()) why = br.marker() ? Stop::early_marker : Stop::end_of_data;
  // An unknown height (a DNL segment) ends the scan at a marker between MCUs.
  if (st.height == 0 && why == Stop::early_marker && mcu > 0 && br.real_bits() < 8 &&
      mcu_start + 1 >= br.marker_pos()) {
    r = scan_ended(br.marker_pos());
    r.mcus = mcu;
    return r;
  }
  r.why = why;
  r.valid_end = mcu_start;
  r.mcus = mcu;
  return r;
}

ScanResult validate_scan(Cursor& cur, uint64_t pos, DecodeState& st) {
  st.trail.clear();
  ScanRun run(cur, pos, st);
  return decode(run, 0);
}

ScanResult validate_scan(ByteSource& src, uint64_t pos, uint64_t end, DecodeState& st) {
  Cursor cur(src, 0, end);
  return validate_scan(cur, pos, st);
}

void rewind(DecodeState& st, const Checkpoint& cp) { st.trail.rewind(cp, st.nonzero); }

ScanResult resume_scan(ByteSource& src, uint64_t limit, DecodeState& st, const Checkpoint& from,
                       uint64_t until) {
  const Checkpoint cp = from;  // the trail drops later checkpoints, and may drop old ones
  rewind(st, cp);
  Cursor cur(src, 0, limit);
  ScanRun run(cur, cp.pos, st);
  run.br.resume(cp.pos, cp.bits, cp.nbits);
  run.eobrun = cp.eobrun;
  return decode(run, cp.mcu, until);
}

}  // namespace kes::jpeg
