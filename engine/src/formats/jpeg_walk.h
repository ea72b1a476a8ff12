// Following a whole JPEG stream (segments and scans) from its SOI; shared with the
// containers that embed JPEG pictures.
#pragma once
#include "format.h"
#include "formats/cursor.h"
#include "formats/jpeg_scan.h"

namespace kes::jpeg {

struct Walk {
  Verdict verdict = Verdict::corrupt;
  uint64_t end = 0;  // position after EOI (complete) or after the last valid data (truncated)
  Stop stop = Stop::end_of_scan;  // why a scan stopped validating, for truncated walks
  // Where the scan that stopped validating begins its entropy-coded data, and how many
  // of its MCUs decoded: with the decoding state, the starting point of a search for
  // the file's next fragment.
  uint64_t scan_data = 0;
  uint64_t scan_mcus = 0;
};

// Walks the JPEG whose SOI is at pos; `follow` extends a complete file to what its
// multi-picture index and EXIF directories point to after the EOI. With `state`, the
// tables, frame and scan in force at the end are left there.
Walk walk(Cursor& cur, uint64_t pos, bool follow, DecodeState* state = nullptr);

}  // namespace kes::jpeg
