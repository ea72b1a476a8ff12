// Canon CRW (CIFF): a short header, then one heap up to the end of the file. A heap
// keeps its record table after its data and the table's offset in its last four bytes,
// so the end is found by looking for a table that points back at itself.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

// Whether the table at pos (heap-relative offset t) lists records inside the heap.
bool table_ok(Cursor& cur, uint64_t pos, uint64_t t, uint32_t n) {
  const uint8_t* e = cur.get(pos + 2, 10 * size_t(n));
  if (!e) return false;
  int in_heap = 0;
  for (uint32_t i = 0; i < n; ++i, e += 10) {
    uint16_t tag = le16(e);
    uint64_t size = le32(e + 2), off = le32(e + 6);
    switch (tag & 0xC000) {
      case 0x0000:  // data in the heap
        if (off + size > t) return false;
        ++in_heap;
        break;
      case 0x4000:  // value inside the record itself
        break;
      default:
        return false;
    }
  }
  return in_heap > 0;
}

}  // namespace

bool probe_crw(const uint8_t* h) {
  uint32_t header = le32(h + 2);
  return h[0] == 'I' && h[1] == 'I' && header >= 14 && header <= 512 && std::memcmp(h + 6, "HEAPCCDR", 8) == 0;
}

Carve measure_crw(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 26);
  if (!h || !probe_crw(h)) return corrupt();
  const uint64_t heap = le32(h + 2);
  // Candidate table positions: a small record count whose table is followed by a
  // pointer back to it.
  for (uint64_t at = heap; at + 6 <= cur.limit(); ++at) {
    const uint8_t* p = cur.get(at, 2);
    if (!p) break;
    uint32_t n = le16(p);
    if (n == 0 || n > 300) continue;
    uint64_t t = at - heap;
    const uint8_t* ptr = cur.get(at + 2 + 10 * uint64_t(n), 4);
    if (ptr && le32(ptr) == t && table_ok(cur, at, t, n))
      return make_carve(Verdict::complete, at + 2 + 10 * uint64_t(n) + 4, "crw");
  }
  return corrupt();  // no table: the heap's end is unknown
}

}  // namespace kes
