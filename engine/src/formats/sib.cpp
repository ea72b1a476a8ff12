// Music notation scores beginning "\x0FSIBELIUS". Their content is compressed and not
// publicly described, so a score is taken to run up to the first zeroed or claimed
// sector, less the zero bytes closing its last sector, and at most 64 MiB.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/loose_end.h"

namespace kes {
namespace {

constexpr uint64_t kCap = uint64_t(64) << 20;

}  // namespace

bool probe_sib(const uint8_t* h) { return std::memcmp(h, "\x0FSIBELIUS", 9) == 0; }

Carve measure_sib(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 9);
  if (!h || !probe_sib(h)) return corrupt();
  LooseEnd loose = loose_end(cur, 9, kCap);
  return make_carve(loose.stopped ? Verdict::complete : Verdict::truncated, loose.content, "sib");
}

}  // namespace kes
