#include "formats/loose_end.h"

#include "format.h"

namespace kes {
namespace {

constexpr uint64_t kSector = 512;

bool all_zero(const uint8_t* p) {
  for (uint64_t i = 0; i < kSector; ++i)
    if (p[i]) return false;
  return true;
}

bool claimed(const uint8_t* head) {
  size_t n = 0;
  const Format* table = format_table(&n);
  for (size_t i = 0; i < n; ++i)
    if (table[i].probe(head)) return true;
  return false;
}

}  // namespace

// The end less the zero bytes before it, looking back one sector at most.
uint64_t without_slack(Cursor& cur, uint64_t from, uint64_t end) {
  const uint64_t low = end - from > kSector ? end - kSector : from;
  uint8_t b = 0;
  while (end > low && cur.u8(end - 1, b) && b == 0) --end;
  return end;
}

LooseEnd loose_end(Cursor& cur, uint64_t from, uint64_t cap) {
  LooseEnd r;
  r.end = cap;
  for (uint64_t pos = (from + kSector - 1) / kSector * kSector; pos < cap; pos += kSector) {
    const uint8_t* s = cur.get(pos, kSector);
    if (!s) {
      r.end = cur.limit() < cap ? cur.limit() : cap;
      break;
    }
    if (all_zero(s) || claimed(s)) {
      r.end = pos;
      r.stopped = true;
      break;
    }
  }
  r.content = r.end > from ? without_slack(cur, from, r.end) : r.end;
  return r;
}

}  // namespace kes
