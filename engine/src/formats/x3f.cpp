// Sigma X3F: header, then sections, then a directory of them whose position is stored
// in the file's last four bytes. The directory is found by its signature and accepted
// only when it agrees with the sections and with that final pointer.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint64_t kHeader = 40;

bool section_ok(Cursor& cur, uint64_t off, const uint8_t* type) {
  const uint8_t* s = cur.get(off, 4);
  if (!s || std::memcmp(s, "SEC", 3) != 0) return false;
  if (std::memcmp(type, "PROP", 4) == 0) return s[3] == 'p';
  if (std::memcmp(type, "IMAG", 4) == 0 || std::memcmp(type, "IMA2", 4) == 0) return s[3] == 'i';
  if (std::memcmp(type, "CAMF", 4) == 0) return s[3] == 'c';
  return true;  // newer section kinds: the signature prefix is enough
}

// The file's end when a directory at dir is genuine, else 0.
uint64_t directory_end(Cursor& cur, uint64_t dir) {
  const uint8_t* d = cur.get(dir, 12);
  if (!d) return 0;
  uint32_t n = le32(d + 8);
  if (n == 0 || n > 1000) return 0;
  uint64_t end = dir + 12 + 12 * uint64_t(n) + 4;
  const uint8_t* tail = cur.get(end - 4, 4);
  if (!tail || le32(tail) != dir) return 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* e = cur.get(dir + 12 + 12 * uint64_t(i), 12);
    if (!e) return 0;
    uint64_t off = le32(e), len = le32(e + 4);
    uint8_t type[4];
    std::memcpy(type, e + 8, 4);
    if (off < kHeader || off + len > dir || !section_ok(cur, off, type)) return 0;
  }
  return end;
}

}  // namespace

bool probe_x3f(const uint8_t* h) {
  if (std::memcmp(h, "FOVb", 4) != 0) return false;
  uint32_t major = le32(h + 4) >> 16, cols = le32(h + 28), rows = le32(h + 32), rot = le32(h + 36);
  return major >= 2 && major <= 5 && cols > 0 && cols < 65536 && rows > 0 && rows < 65536 &&
         (rot == 0 || rot == 90 || rot == 180 || rot == 270);
}

Carve measure_x3f(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, kHeader);
  if (!h || !probe_x3f(h)) return corrupt();
  static const uint8_t kDir[4] = {'S', 'E', 'C', 'd'};
  uint64_t pos = kHeader;
  for (int tries = 0; tries < 4096; ++tries) {
    uint64_t dir = cur.find(pos, cur.limit(), kDir, 4);
    if (dir == UINT64_MAX) break;
    uint64_t end = directory_end(cur, dir);
    if (end) return make_carve(Verdict::complete, end, "x3f");
    pos = dir + 1;
  }
  return corrupt();  // without its directory the file can't be delimited
}

}  // namespace kes
