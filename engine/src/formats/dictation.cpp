// Dictation recordings: a version byte and "dss" (or "ds2" for the newer codec), a
// header of `version` blocks of 512 bytes (hardware name, creation and completion
// times and the length as ASCII digits), then audio in blocks of 512 bytes, each with a
// 6-byte block header. No public description says how many blocks a file has, so the
// file runs in whole blocks up to the first zeroed or claimed sector, capped at what the
// header's length (hours, minutes, seconds) can take at the codecs' highest rate.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/loose_end.h"

namespace kes {
namespace {

constexpr uint64_t kBlock = 512;
constexpr uint64_t kMostBytesPerSecond = 4096;

bool digits(const uint8_t* p, int n) {
  for (int i = 0; i < n; ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

uint64_t two_digits(const uint8_t* p) { return uint64_t(p[0] - '0') * 10 + (p[1] - '0'); }

bool probe_dictation(const uint8_t* h, const char* kind) {
  return h[0] >= 2 && h[0] <= 8 && std::memcmp(h + 1, kind, 3) == 0 && digits(h + 38, 12) && digits(h + 62, 6);
}

Carve measure_dictation(ByteSource& src, uint64_t start, uint64_t max_length, const char* kind) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 68);
  if (!h || !probe_dictation(h, kind)) return corrupt();
  const uint64_t header = h[0] * kBlock;
  const uint64_t seconds = two_digits(h + 62) * 3600 + two_digits(h + 64) * 60 + two_digits(h + 66);
  const uint64_t cap = header + ((seconds + 2) * kMostBytesPerSecond + kBlock - 1) / kBlock * kBlock;
  if (!cur.readable(0, header + kBlock)) return make_carve(Verdict::truncated, cur.limit(), kind);
  LooseEnd loose = loose_end(cur, header + kBlock, cap);
  return make_carve(loose.stopped ? Verdict::complete : Verdict::truncated, loose.end, kind);
}

}  // namespace

bool probe_dss(const uint8_t* h) { return probe_dictation(h, "dss"); }
bool probe_ds2(const uint8_t* h) { return probe_dictation(h, "ds2"); }

Carve measure_dss(ByteSource& src, uint64_t start, uint64_t max_length) {
  return measure_dictation(src, start, max_length, "dss");
}
Carve measure_ds2(ByteSource& src, uint64_t start, uint64_t max_length) {
  return measure_dictation(src, start, max_length, "ds2");
}

}  // namespace kes
