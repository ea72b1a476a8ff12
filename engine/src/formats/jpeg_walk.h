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
};

// Walks the JPEG whose SOI is at pos; follow_mp adds pictures listed in an MPF index.
Walk walk(Cursor& cur, uint64_t pos, bool follow_mp);

// The marker code behind the 0xFF (and fill bytes) at pos, and the position after it.
bool marker_at(Cursor& cur, uint64_t pos, uint8_t& code, uint64_t& after);

}  // namespace kes::jpeg
