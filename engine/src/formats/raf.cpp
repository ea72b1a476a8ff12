// Fujifilm RAF: a fixed header whose offset table places the embedded JPEG, the raw
// metadata block and the CFA data; the file ends with whichever ends last.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/jpeg_walk.h"

namespace kes {
namespace {
const char kMagic[] = "FUJIFILMCCD-RAW ";
constexpr size_t kTable = 84;  // JPEG, metadata and CFA offsets and lengths follow here
}  // namespace

bool probe_raf(const uint8_t* h) {
  if (std::memcmp(h, kMagic, 16) != 0) return false;
  for (int i = 16; i < 20; ++i)
    if (h[i] < '0' || h[i] > '9') return false;
  uint32_t jpeg = be32(h + kTable), jpeg_len = be32(h + kTable + 4);
  return jpeg >= kTable + 24 && jpeg_len > 0;
}

Carve measure_raf(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, kTable + 24);
  if (!h || !probe_raf(h)) return corrupt();
  uint64_t off[3], len[3];
  for (int i = 0; i < 3; ++i) {
    off[i] = be32(h + kTable + 8 * i);
    len[i] = be32(h + kTable + 8 * i + 4);
  }
  uint64_t end = kTable + 24;
  for (int i = 0; i < 3; ++i) {
    if (len[i] == 0) continue;
    if (off[i] < kTable + 24) return corrupt();
    end = std::max(end, off[i] + len[i]);
  }
  // The preview must be a JPEG that fits its slot.
  jpeg::Walk w = jpeg::walk(cur, off[0], false);
  if (w.verdict == Verdict::corrupt) return corrupt();
  if (w.verdict == Verdict::complete && w.end > off[0] + len[0]) return corrupt();
  if (!cur.readable(0, end)) {
    uint64_t have = cur.limit();
    return w.verdict == Verdict::complete ? make_carve(Verdict::truncated, have, "raf") : corrupt();
  }
  return make_carve(Verdict::complete, end, "raf");
}

}  // namespace kes
