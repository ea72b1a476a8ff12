// Multitrack sessions of an audio editor: "COOLNESS", a little-endian length that ends
// the file, then blocks of a four-character id and a length ("hdr ", "vers", "stat",
// "tmpo", "trks", "blk ", "envp", "cues", ...) that must fill it exactly. The wave list
// is written "LIST" "FILE" and then its length.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint32_t kMaxBlocks = 1u << 16;
constexpr uint64_t kBlocks = 12;

}  // namespace

bool probe_ses(const uint8_t* h) {
  return std::memcmp(h, "COOLNESS", 8) == 0 && le32(h + 8) >= 8 && printable_id(h + 12) &&
         le32(h + 16) <= le32(h + 8) - 8;
}

Carve measure_ses(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 20);
  if (!h || !probe_ses(h)) return corrupt();
  const uint64_t end = kBlocks + le32(h + 8);
  uint64_t pos = kBlocks;
  for (uint32_t n = 0; end - pos >= 8 && n < kMaxBlocks; ++n) {
    const uint8_t* b = cur.get(pos, 8);
    const bool list = b && std::memcmp(b, "LISTFILE", 8) == 0;
    if (list && end - pos < 12) break;
    if (list) b = cur.get(pos, 12);
    if (!b) return make_carve(Verdict::truncated, cur.limit(), "ses");
    const uint64_t head = list ? 12 : 8, size = le32(b + head - 4);
    if (!printable_id(b) || size > end - pos - head) break;
    if (!cur.readable(pos + head, size)) return make_carve(Verdict::truncated, cur.limit(), "ses");
    pos += head + size;
  }
  if (pos == end) return make_carve(Verdict::complete, end, "ses");
  return pos > kBlocks ? make_carve(Verdict::truncated, pos, "ses") : corrupt();
}

}  // namespace kes
