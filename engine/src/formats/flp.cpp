// Sequencer projects: an "FLhd" chunk (little-endian length 6: format, channel count,
// pulses per quarter) and an "FLdt" chunk whose length ends the file. The events inside
// must fill it exactly: ids 0-63 carry one byte, 64-127 two, 128-191 four, and 192-255 a
// length (base-128, low bits first) and that many bytes. Events carry no checks of their
// own: foreign bytes among them show only when their sizes stop adding up.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint64_t kEvents = 22;  // where the events start

enum class Event { read, cut, broken };

// Moves pos past the event's id (and length) and gives the bytes that follow.
Event event_size(Cursor& cur, uint64_t& pos, uint64_t& size) {
  uint8_t id;
  if (!cur.u8(pos++, id)) return Event::cut;
  if (id < 192) {
    size = id < 64 ? 1 : id < 128 ? 2 : 4;
    return Event::read;
  }
  size = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    uint8_t b;
    if (!cur.u8(pos++, b)) return Event::cut;
    size |= uint64_t(b & 0x7F) << shift;
    if (!(b & 0x80)) return Event::read;
  }
  return Event::broken;
}

}  // namespace

bool probe_flp(const uint8_t* h) {
  return std::memcmp(h, "FLhd", 4) == 0 && le32(h + 4) == 6 && std::memcmp(h + 14, "FLdt", 4) == 0 &&
         le16(h + 12) != 0 && le32(h + 18) >= 2;
}

Carve measure_flp(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, kEvents);
  if (!h || !probe_flp(h)) return corrupt();
  const uint64_t end = kEvents + le32(h + 18);
  uint64_t pos = kEvents;
  while (pos < end) {
    uint64_t at = pos, size = 0;
    Event e = event_size(cur, at, size);
    if (e == Event::cut) return make_carve(Verdict::truncated, cur.limit(), "flp");
    if (e == Event::broken || at > end || size > end - at) break;
    pos = at + size;
  }
  if (pos == end) {
    if (cur.readable(0, end)) return make_carve(Verdict::complete, end, "flp");
    return make_carve(Verdict::truncated, cur.limit(), "flp");
  }
  return pos > kEvents ? make_carve(Verdict::truncated, pos, "flp") : corrupt();
}

}  // namespace kes
