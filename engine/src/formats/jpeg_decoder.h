// What the sequential and the progressive scan decoders share: the bit reader over the
// scan's data, the restart markers between intervals, the end of the scan, the report
// of where decoding failed, and the checkpoints. Internal to the JPEG units.
#pragma once
#include "formats/jpeg_bits.h"
#include "formats/jpeg_scan.h"

namespace kes::jpeg {

class ScanRun {
 public:
  ScanRun(Cursor& cur, uint64_t pos, DecodeState& st)
      : cur(cur), st(st), br(cur, pos), maxdc(st.precision > 8 ? 15 : 11), maxac(st.precision > 8 ? 14 : 10) {}

  // Reads the restart marker expected before `mcu` (the first of an interval).
  bool restart(uint64_t mcu, Stop& why);
  // The registers at an MCU boundary, as a checkpoint when one is due.
  void checkpoint(const Bits& b, uint64_t mcu) {
    if (st.trail.recording() && st.trail.due(br.here(b))) st.trail.record(at(b, mcu));
  }
  // The registers at the start of MCU `mcu`, as a checkpoint to resume from.
  Checkpoint at(const Bits& b, uint64_t mcu) const;
  // Every MCU decoded: the marker that ends the scan, or what went wrong after the last.
  ScanResult finish(uint64_t mcus);
  ScanResult restart_failed(Stop why, uint64_t mcu);
  // Stopped before `mcu`, as the caller asked.
  ScanResult paused(uint64_t mcu);
  // The MCU starting at mcu_start did not decode: `why`, unless it ran into a marker or
  // the end of the data.
  ScanResult mcu_failed(Stop why, uint64_t mcu, uint64_t mcu_start);
  // The scans not decoded get the marker-level look.
  ScanResult marker_level();

  Cursor& cur;
  DecodeState& st;
  BitReader br;
  uint32_t eobrun = 0;
  const int maxdc, maxac;  // largest DC and AC sizes of the precision
};

// The decoders, from MCU `first` on (0, or a checkpoint's); the reader stands at its start.
// The sequential one pauses before MCU `until`.
ScanResult decode_sequential(ScanRun& run, uint64_t first, uint64_t until = UINT64_MAX);
ScanResult decode_progressive(ScanRun& run, uint64_t first);

}  // namespace kes::jpeg
