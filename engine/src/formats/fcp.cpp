// Project files of the video editor that uses ".fcp": a serialized property tree with
// no table of offsets, no count of its length and no end marker, so nothing in the file
// says where it ends. They are found by a strict signature (the 8-byte magic with its
// line-ending guard, the byte-order flag, the format's constant identifier and the
// root object's header), and ended by a conservative rule: at the first 512-byte
// sector after the header that is all zeros or that another format's probe claims, at
// the medium's end, or at 64 MiB. The carve runs to a sector boundary, so it may keep
// the slack after the file's last byte; it is never called complete.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

const uint8_t kMagic[8] = {0xA2, 'K', 'e', 'y', 'G', 0x0A, 0x0D, 0x0A};
const uint8_t kNode[6] = {0x00, 0x30, 0x65, 0xEC, 0xFE, 0x98};
constexpr uint64_t kSector = 512;

bool zeros(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

// Whether a format other than this one recognizes the sector.
bool claimed(const uint8_t* sector) {
  size_t count = 0;
  const Format* table = format_table(&count);
  for (size_t i = 0; i < count; ++i)
    if (table[i].probe != probe_fcp && table[i].probe(sector)) return true;
  return false;
}

}  // namespace

bool probe_fcp(const uint8_t* h) {
  if (std::memcmp(h, kMagic, 8) != 0 || h[8] > 1 || std::memcmp(h + 0x17, kNode, 6) != 0) return false;
  const bool le = h[8] == 1;
  const uint32_t version = le ? le32(h + 0x1D) : be32(h + 0x1D);
  const uint32_t fields = le ? le32(h + 0x2F) : be32(h + 0x2F);
  // The root object: id 0, its "a" slot present and zero, its field count present.
  return version == 3 && zeros(h + 0x21, 8) && h[0x29] == 1 && zeros(h + 0x2A, 4) && h[0x2E] == 1 && fields > 0 &&
         fields < 4096;
}

Carve measure_fcp(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 0x33);
  if (!h || !probe_fcp(h)) return corrupt();
  uint64_t pos = kSector;
  for (; cur.within(pos, 1); pos += kSector) {
    uint8_t sector[kSector] = {};
    size_t avail = 0;
    const uint8_t* p = cur.span(pos, &avail);
    if (!p) break;
    const size_t n = avail < kSector ? avail : kSector;
    std::memcpy(sector, p, n);
    if (n == kSector ? zeros(sector, n) || claimed(sector) : false) break;
    if (n < kSector) {  // a partial last sector at the end of the medium
      pos += n;
      break;
    }
  }
  return make_carve(Verdict::truncated, pos < cur.limit() ? pos : cur.limit(), "fcp");
}

}  // namespace kes
