// DVD navigation files: the video manager's VIDEO_TS.IFO ("DVDVIDEO-VMG") and each
// title set's VTS_nn_0.IFO ("DVDVIDEO-VTS"), and their .BUP copies. The header's last
// sector of the IFO gives the size; the set's last sector and the first table's sector
// must agree with it.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint64_t kSector = 2048;
constexpr uint32_t kMaxIfoSectors = 4096;  // 8 MiB: far more than the tables can fill

// Offset of the sector pointer to the first table after the header: the title search
// pointers of the manager, the chapter pointers of a title set.
size_t first_table_at(const uint8_t* h) { return h[11] == 'G' ? 0xC4 : 0xC8; }

}  // namespace

bool probe_ifo(const uint8_t* h) {
  if (std::memcmp(h, "DVDVIDEO-VMG", 12) != 0 && std::memcmp(h, "DVDVIDEO-VTS", 12) != 0) return false;
  const uint32_t set_last = be32(h + 0x0C), ifo_last = be32(h + 0x1C), table = be32(h + first_table_at(h));
  const bool version = h[0x20] == 0 && (h[0x21] == 0x10 || h[0x21] == 0x11);
  return version && ifo_last >= 1 && ifo_last < kMaxIfoSectors && set_last >= 2 * uint64_t(ifo_last) + 1 &&
         table >= 1 && table <= ifo_last;
}

Carve measure_ifo(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 0xD0);
  if (!h || !probe_ifo(h)) return corrupt();
  const uint64_t size = (uint64_t(be32(h + 0x1C)) + 1) * kSector;
  if (!cur.readable(0, size)) return make_carve(Verdict::truncated, cur.limit(), "ifo");
  return make_carve(Verdict::complete, size, "ifo");
}

}  // namespace kes
