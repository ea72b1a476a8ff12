// The end rule for files whose structure does not say where they stop: the file runs
// on sector by sector until a sector that is all zeros, or whose start some format's
// probe takes for a file of its own, or until a cap.
#pragma once
#include <cstdint>

#include "formats/cursor.h"

namespace kes {

struct LooseEnd {
  uint64_t end = 0;       // where the file is taken to stop, on the sector grid past `from`
  uint64_t content = 0;   // `end` less the zero bytes that close its last sector (slack)
  bool stopped = false;   // a zeroed or claimed sector stopped it, not the cap or the medium
};

// Scans from the first sector boundary at or after `from` (positions relative to the
// file, whose start lies on a sector boundary), at most up to `cap`.
LooseEnd loose_end(Cursor& cur, uint64_t from, uint64_t cap);

}  // namespace kes
