// Game music in the "MUS\x1A" format: a little-endian header (score length, score start,
// primary and secondary channel counts, instrument count, then the instruments: 0-127
// melodic, 135-181 percussion) and one score of events. The file ends at score start +
// score length; the events are walked up to the score-end event, which must lie inside.
// Each event: a descriptor (bit 7: a delay follows; bits 4-6: type; bits 0-3: channel),
// the type's data bytes, then the delay as a base-128 number.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint16_t kMaxInstruments = 128 + 47;

bool instrument_ok(uint16_t i) { return i <= 127 || (i >= 135 && i <= 181); }

enum class Score { ended, cut, broken };

// Walks the events of [pos, end); `good` is left after the last whole event.
Score walk_score(Cursor& cur, uint64_t pos, uint64_t end, uint64_t& good) {
  while (pos < end) {
    uint8_t d;
    if (!cur.u8(pos, d)) return Score::cut;
    const int type = (d >> 4) & 7;
    if (type == 6) {
      good = pos + 1;
      return Score::ended;
    }
    if (type == 5 || type == 7) return Score::broken;
    uint64_t at = pos + 1;
    uint8_t b;
    if (!cur.u8(at++, b)) return Score::cut;
    if (type == 1 && (b & 0x80) && !cur.u8(at++, b)) return Score::cut;  // note with a volume
    if (type == 4 && !cur.u8(at++, b)) return Score::cut;                 // controller and value
    if (d & 0x80) {
      int n = 0;
      do {
        if (++n > 4) return Score::broken;
        if (!cur.u8(at++, b)) return Score::cut;
      } while (b & 0x80);
    }
    if (at > end) return Score::broken;
    pos = good = at;
  }
  return Score::broken;  // no score-end event
}

}  // namespace

bool probe_mus(const uint8_t* h) {
  if (std::memcmp(h, "MUS\x1A", 4) != 0) return false;
  uint16_t length = le16(h + 4), start = le16(h + 6), primary = le16(h + 8), secondary = le16(h + 10);
  uint16_t count = le16(h + 12);
  if (length == 0 || primary > 16 || secondary > 16 || count > kMaxInstruments || start < 16 + 2u * count)
    return false;
  for (uint16_t i = 0; i < count && 16 + 2u * i + 2 <= 512; ++i)
    if (!instrument_ok(le16(h + 16 + 2 * i))) return false;
  return true;
}

Carve measure_mus(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 16);
  if (!h || le16(h + 12) > kMaxInstruments) return corrupt();
  h = cur.get(0, 16 + 2 * size_t(le16(h + 12)));  // the header with its instrument list
  if (!h || !probe_mus(h)) return corrupt();
  const uint64_t score = le16(h + 6), end = score + le16(h + 4);
  uint64_t good = score;
  switch (walk_score(cur, score, end, good)) {
    case Score::ended:
      if (cur.readable(0, end)) return make_carve(Verdict::complete, end, "mus");
      return make_carve(Verdict::truncated, cur.limit(), "mus");
    case Score::cut:
      return make_carve(Verdict::truncated, cur.limit(), "mus");
    default:
      return good > score ? make_carve(Verdict::truncated, good, "mus") : corrupt();
  }
}

}  // namespace kes
