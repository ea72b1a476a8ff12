// Extended modules ("Extended Module: ", version 1.04): the header's own size leads to
// the patterns, each a header (its length, packing type 0, row count, packed data size)
// and its packed data; then the instruments, each its size, sample count and sample
// header size, the sample headers and the samples' data in order. The file ends after
// the last instrument's samples.
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint16_t kMaxPatterns = 256, kMaxInstruments = 128, kMaxSamples = 128;
constexpr uint64_t kHeaderSizeAt = 60;

enum class Step { ok, cut, broken };

Step pattern(Cursor& cur, uint64_t& pos) {
  const uint8_t* p = cur.get(pos, 9);
  if (!p) return Step::cut;
  const uint32_t head = le32(p);
  const uint16_t rows = le16(p + 5);
  if (head < 9 || head > 256 || p[4] != 0 || rows == 0 || rows > 256) return Step::broken;
  pos += head + uint64_t(le16(p + 7));
  return Step::ok;
}

// ADPCM-packed samples (marked 0xAD) take a 16-byte table and half a byte per sample.
uint64_t sample_data(const uint8_t* s) {
  uint64_t length = le32(s);
  return s[17] == 0xAD ? 16 + (length + 1) / 2 : length;
}

Step instrument(Cursor& cur, uint64_t& pos) {
  const uint8_t* p = cur.get(pos, 29);
  if (!p) return Step::cut;
  const uint32_t size = le32(p);
  const uint16_t samples = le16(p + 27);
  if (size < 29 || size > 4096 || samples > kMaxSamples) return Step::broken;
  if (samples == 0) {
    pos += size;
    return Step::ok;
  }
  if (size < 33) return Step::broken;
  if (!(p = cur.get(pos, 33))) return Step::cut;
  const uint32_t header = le32(p + 29);
  if (header < 18 || header > 256) return Step::broken;
  uint64_t at = pos + size, data = 0;
  for (uint16_t i = 0; i < samples; ++i, at += header) {
    const uint8_t* s = cur.get(at, 18);
    if (!s) return Step::cut;
    if ((s[14] & 3) == 3) return Step::broken;  // no such loop type
    data += sample_data(s);
  }
  pos = at + data;
  return Step::ok;
}

}  // namespace

bool probe_xm(const uint8_t* h) {
  // Some trackers write "module" in lower case.
  if (std::memcmp(h, "Extended ", 9) != 0 || (h[9] | 0x20) != 'm' || std::memcmp(h + 10, "odule: ", 7) != 0 ||
      h[37] != 0x1A || le16(h + 58) != 0x0104)
    return false;
  uint32_t header = le32(h + kHeaderSizeAt);
  uint16_t length = le16(h + 64), channels = le16(h + 68), patterns = le16(h + 70), instruments = le16(h + 72);
  return header >= 20 && header <= 4096 && length >= 1 && length <= 256 && channels >= 1 && channels <= 128 &&
         patterns <= kMaxPatterns && instruments <= kMaxInstruments;
}

Carve measure_xm(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 80);
  if (!h || !probe_xm(h)) return corrupt();
  const uint16_t patterns = le16(h + 70), instruments = le16(h + 72);
  const uint64_t first = kHeaderSizeAt + le32(h + kHeaderSizeAt);
  uint64_t pos = first, good = first;
  Step step = Step::ok;
  for (uint16_t i = 0; i < patterns && step == Step::ok; ++i)
    if ((step = pattern(cur, pos)) == Step::ok) good = pos;
  for (uint16_t i = 0; i < instruments && step == Step::ok; ++i)
    if ((step = instrument(cur, pos)) == Step::ok) good = pos;
  if (step == Step::ok && cur.readable(0, pos)) return make_carve(Verdict::complete, pos, "xm");
  if (step != Step::broken) return make_carve(Verdict::truncated, cur.limit(), "xm");
  return good > first ? make_carve(Verdict::truncated, good, "xm") : corrupt();
}

}  // namespace kes
