// Following a whole JPEG stream (segments and scans) from its SOI; shared with the
// containers that embed JPEG pictures.
#pragma once
#include "format.h"
#include "formats/cursor.h"
#include "formats/jpeg_scan.h"

namespace kes::jpeg {

// Where the pointers of a file's own directories lead: the multi-picture index and the
// EXIF structure (offsets from its TIFF header).
struct Pointers {
  MpIndex mp;
  uint64_t exif = 0;  // position of the first EXIF block's TIFF header, 0 when none
};

struct Walk {
  Verdict verdict = Verdict::corrupt;
  uint64_t end = 0;  // position after EOI (complete) or after the last valid data (truncated)
  Stop stop = Stop::end_of_scan;  // why a scan stopped validating, for truncated walks
  // Where the scan that stopped validating begins its entropy-coded data, and how many
  // of its MCUs decoded: with the decoding state, the starting point of a search for
  // the file's next fragment.
  uint64_t scan_data = 0;
  uint64_t scan_mcus = 0;
  // Where the segments stopped holding when the walk broke before any scan's data.
  uint64_t held = 0;
  // What the walk had read: where it began, the scans it walked whole, the pointers of
  // the segments before the end, for going on after a scan that stopped (walk_on).
  uint64_t soi = 0;
  uint64_t scans = 0;
  Pointers ptr;
};

// Walks the JPEG whose SOI is at pos; `follow` extends a complete file to what its
// multi-picture index and EXIF directories point to after the EOI. With `state`, the
// tables, frame and scan in force at the end are left there.
Walk walk(Cursor& cur, uint64_t pos, bool follow, DecodeState* state = nullptr);
// Goes on with the walk that `stopped` in a scan, once that scan was decoded to its end
// with `state` (a fragment search's continuation): from the marker at `pos` after it.
Walk walk_on(Cursor& cur, const Walk& stopped, uint64_t pos, bool follow, DecodeState& state);

}  // namespace kes::jpeg
