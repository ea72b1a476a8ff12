// Walks of the MPEG system layers, shared by the mpg, m2ts and TiVo formats.
#pragma once
#include <cstdint>

#include "format.h"
#include "formats/cursor.h"

namespace kes {

// Where a walk stopped. `complete`: at the stream's end code, or where the medium ends
// right after a unit; otherwise the data stopped validating (the file's end, or its
// next piece lies elsewhere) or the medium ended inside a unit, and `end` is where the
// last unit that held ended (or the medium's end). `units` counts the packs or packets
// walked. `broken_at`: past `end` when the unit right after it was found broken there
// (a piece boundary lies at `end` or in the cluster before it), else 0.
struct StreamEnd {
  uint64_t end = 0;
  bool complete = false;
  uint64_t units = 0;
  uint64_t broken_at = 0;
};

// A walk's carve, marked as one that nothing says goes on past the unit that failed to
// start (Carve::open_end): a stream without an end code may end anywhere.
inline Carve open_ended(Carve c, const StreamEnd& s) {
  c.open_end = s.broken_at != 0;
  return c;
}

// Program stream: packs from `pos`, each a pack header followed by system headers and
// PES packets, up to the program end code or the last pack that held.
StreamEnd walk_program_stream(Cursor& cur, uint64_t pos);

// Transport stream of `packet` (188 or 192) byte packets from `pos`: sync bytes,
// continuity counters per PID and a PAT with a good CRC near the start.
StreamEnd walk_transport_stream(Cursor& cur, uint64_t pos, unsigned packet);

// The first packet of a transport stream at h (3 packets readable): 188 or 192 when
// the sync bytes line up and the packet opens a table on PID 0 (PAT) or 0x11, else 0.
unsigned transport_packet_size(const uint8_t* h);

}  // namespace kes
