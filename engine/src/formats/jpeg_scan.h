// Validation of JPEG entropy-coded data by decoding it: Huffman codes, coefficient
// positions and restart markers are checked MCU by MCU, without reconstructing pixels.
// Kept apart from the JPEG carver so that fragment searches can re-enter it.
//
// Re-entry, for a search that suspects a file's data continues elsewhere on the medium:
//   DecodeState st;
//   st.trail.enable(4096);                    // a checkpoint about every 4 KiB
//   Walk w = walk(cur, 0, false, &st);         // stops validating at some position F
//   const Checkpoint* cp = st.trail.at_or_before(b);   // b: a cluster boundary <= F
//   for each candidate continuation c:
//     SplicedView v(...);                      // bytes [0, b) of the file, then c onward
//     ScanResult r = resume_scan(v, limit, st, *cp);
// Each resume decodes from the checkpoint only (a few KiB before b), never from the
// file's start, and starts from the state the checkpoint holds: the non-zero masks of a
// progressive refinement are put back through an undo log, so a rejected candidate
// leaves nothing behind for the next. rewind() does the same on its own. The view's
// offsets must be those of the data the checkpoint was taken in (the file's bytes up to
// the checkpoint sit where they were).
#pragma once
#include <cstdint>
#include "formats/cursor.h"
#include "formats/jpeg_headers.h"

namespace kes::jpeg {

enum class Stop : uint8_t {
  end_of_scan,      // every MCU decoded; marker_pos holds the marker that follows
  bad_code,         // a bit pattern that is no code of the table in use
  bad_coefficient,  // a coefficient beyond the block or a size out of range
  early_marker,     // a marker before the scan's last MCU
  bad_restart,      // a missing, misplaced or out-of-order restart marker
  end_of_data,      // the medium (or the size limit) ended inside the scan
  paused,           // the MCU the caller had it stop before was reached
};

struct ScanResult {
  Stop why = Stop::end_of_data;
  uint64_t valid_end = 0;   // the data is valid at least up to here (start of the failing MCU)
  uint64_t marker_pos = 0;  // position of the marker that ends the scan (end_of_scan)
  uint64_t mcus = 0;        // MCUs decoded in full (counted from the scan's start)
};

// Validates the entropy-coded data of the current scan, starting at pos (just after
// the SOS segment), recording checkpoints when st.trail is enabled. Arithmetic and
// lossless scans, which it does not decode, get the marker-level look of screen_scan.
ScanResult validate_scan(Cursor& cur, uint64_t pos, DecodeState& st);

// The same over a byte source: positions are absolute, nothing is read at or past end.
ScanResult validate_scan(ByteSource& src, uint64_t pos, uint64_t end, DecodeState& st);

// Goes on with the current scan from `from`, one of st.trail's checkpoints, over src up
// to limit, and records further checkpoints as validate_scan does. A sequential scan
// pauses before MCU `until`.
ScanResult resume_scan(ByteSource& src, uint64_t limit, DecodeState& st, const Checkpoint& from,
                       uint64_t until = UINT64_MAX);

// Puts the state back as it was at `cp` (the masks, the checkpoints after it).
void rewind(DecodeState& st, const Checkpoint& cp);

// The marker-level look at a scan's entropy-coded data: stuffed 0xFF00 pairs, restart
// markers in order and as many as the scan's MCUs ask for, no zeroed sector. end_of_scan
// with the marker that ends the scan, or what went wrong with valid_end where it did.
ScanResult screen_scan(Cursor& cur, uint64_t pos, const DecodeState& st);

// Skips entropy-coded bytes (stuffed 0xFF00, restart markers, fill bytes) from pos and
// returns the position of the next other marker, or UINT64_MAX when the data ends first.
uint64_t next_marker(Cursor& cur, uint64_t pos);

}  // namespace kes::jpeg
