// Standard MIDI files: the "MThd" chunk (length 6: format, track count, division), then
// as many "MTrk" chunks as the header counts, each ending with the End of Track meta
// event (FF 2F 00); chunks of other types in between are skipped by their size. The
// file ends after the last track.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint32_t kMaxOtherChunks = 1u << 12;
const uint8_t kEndOfTrack[3] = {0xFF, 0x2F, 0x00};

}  // namespace

bool probe_mid(const uint8_t* h) {
  if (std::memcmp(h, "MThd", 4) != 0 || be32(h + 4) != 6) return false;
  uint16_t format = be16(h + 8), tracks = be16(h + 10), division = be16(h + 12);
  return format <= 2 && tracks >= 1 && (format != 0 || tracks == 1) && division != 0 && printable_id(h + 14);
}

Carve measure_mid(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 18);
  if (!h || !probe_mid(h)) return corrupt();
  const uint32_t tracks = be16(h + 10);
  uint32_t seen = 0, others = 0;
  uint64_t pos = 14;
  while (others <= kMaxOtherChunks) {
    const uint8_t* c = cur.get(pos, 8);
    if (!c) return make_carve(Verdict::truncated, cur.limit(), "mid");
    const uint64_t size = be32(c + 4), body = pos + 8;
    if (!printable_id(c)) break;
    if (std::memcmp(c, "MTrk", 4) == 0) {
      if (size < 4) break;
      const uint8_t* tail = cur.get(body + size - 3, 3);
      if (!tail) return make_carve(Verdict::truncated, cur.limit(), "mid");
      if (std::memcmp(tail, kEndOfTrack, 3) != 0) break;
      pos = body + size;
      if (++seen == tracks) return make_carve(Verdict::complete, pos, "mid");
    } else {
      if (!cur.readable(body, size)) return make_carve(Verdict::truncated, cur.limit(), "mid");
      pos = body + size;
      ++others;
    }
  }
  return seen ? make_carve(Verdict::truncated, pos, "mid") : corrupt();
}

}  // namespace kes
