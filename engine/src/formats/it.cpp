// IT tracker modules ("IMPM"). After the 192-byte header come the order list and
// the offset tables of the instruments, sample headers and patterns; the song message,
// edit history and MIDI configuration sit where the header says. Each sample header
// ("IMPS") gives its data's place and length (compressed samples: blocks of 0x8000
// samples, 0x4000 when 16-bit, each a 16-bit size and that many bytes), each pattern
// its packed length. The file ends at the furthest byte any of them reaches.
#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr uint64_t kTables = 0xC0;
constexpr uint16_t kMaxOrders = 256, kMaxInstruments = 255, kMaxSamples = 255, kMaxPatterns = 256;
constexpr uint64_t kInstrumentSize = 554, kSampleHeaderSize = 80, kMidiConfigSize = 4896;
enum : uint8_t { kHasData = 1, k16Bit = 2, kStereo = 4, kCompressed = 8 };

// The furthest byte reached, and the first place where the structure failed.
struct Reach {
  Cursor& cur;
  uint64_t table_end;
  uint64_t end = 0;
  uint64_t bad = UINT64_MAX;
  bool cut = false;

  void extend(uint64_t to) { end = std::max(end, to); }
  void fail(uint64_t at) { bad = std::min(bad, at); }
  const uint8_t* at(uint64_t pos, size_t n) {
    if (pos < table_end) {
      fail(pos);
      return nullptr;
    }
    const uint8_t* p = cur.get(pos, n);
    if (!p) cut = true;
    return p;
  }

  void sample(uint64_t pos) {
    const uint8_t* s = at(pos, kSampleHeaderSize);
    if (!s) return;
    if (std::memcmp(s, "IMPS", 4) != 0) return fail(pos);
    extend(pos + kSampleHeaderSize);
    const uint8_t flags = s[0x12];
    const uint64_t length = le32(s + 0x30), data = le32(s + 0x48);
    if (!(flags & kHasData) || length == 0) return;
    if (data < table_end) return fail(pos);  // sample data inside the header
    const uint64_t channels = flags & kStereo ? 2 : 1;
    if (!(flags & kCompressed)) return extend(data + length * channels * (flags & k16Bit ? 2 : 1));
    const uint64_t per_block = flags & k16Bit ? 0x4000 : 0x8000;
    uint64_t p = data;
    for (uint64_t b = 0, blocks = (length + per_block - 1) / per_block * channels; b < blocks; ++b) {
      const uint8_t* size = at(p, 2);
      if (!size) return;
      p += 2 + uint64_t(le16(size));
    }
    extend(p);
  }

  void pattern(uint64_t pos) {
    const uint8_t* p = at(pos, 8);
    if (!p) return;
    const uint16_t length = le16(p), rows = le16(p + 2);
    if (rows == 0 || rows > 1024) return fail(pos);
    extend(pos + 8 + length);
  }
};

bool channels_ok(const uint8_t* pan, const uint8_t* vol) {
  for (int i = 0; i < 64; ++i)
    if (((pan[i] & 0x7F) > 64 && (pan[i] & 0x7F) != 100) || vol[i] > 64) return false;
  return true;
}

}  // namespace

bool probe_it(const uint8_t* h) {
  return std::memcmp(h, "IMPM", 4) == 0 && le16(h + 0x20) <= kMaxOrders && le16(h + 0x22) <= kMaxInstruments &&
         le16(h + 0x24) <= kMaxSamples && le16(h + 0x26) <= kMaxPatterns && le16(h + 0x2A) >= 0x100 &&
         le16(h + 0x2A) < 0x300 && h[0x30] <= 128 && h[0x31] <= 128 && h[0x32] >= 1 && h[0x33] >= 31 &&
         h[0x34] <= 128 && channels_ok(h + 0x40, h + 0x80);
}

Carve measure_it(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, kTables);
  if (!h || !probe_it(h)) return corrupt();
  const uint32_t orders = le16(h + 0x20), instruments = le16(h + 0x22), samples = le16(h + 0x24),
                 patterns = le16(h + 0x26), special = le16(h + 0x2E), message = le16(h + 0x36);
  const uint64_t message_at = le32(h + 0x38);
  const uint64_t offsets = kTables + orders, count = instruments + samples + patterns;
  const uint64_t table_end = offsets + 4 * count;
  Reach r{cur, table_end, table_end};
  uint64_t extra = table_end;  // edit history and MIDI configuration follow the tables
  if (special & 2) {
    const uint8_t* n = cur.get(extra, 2);
    if (!n) return make_carve(Verdict::truncated, cur.limit(), "it");
    extra += 2 + 8 * uint64_t(le16(n));
  }
  if (special & 8) extra += kMidiConfigSize;
  if (!cur.within(0, extra)) return make_carve(Verdict::truncated, cur.limit(), "it");
  r.table_end = extra;
  r.extend(extra);
  if (special & 1 && message) r.extend(message_at + message);
  const uint8_t* table = cur.get(offsets, static_cast<size_t>(4 * count));
  if (!table) return make_carve(Verdict::truncated, cur.limit(), "it");
  std::vector<uint32_t> at(count);  // copied: the reads below move the cursor's buffer
  for (uint64_t i = 0; i < count; ++i) at[i] = le32(table + 4 * i);
  for (uint64_t i = 0; i < instruments; ++i) {
    const uint8_t* p = r.at(at[i], 4);
    if (p && std::memcmp(p, "IMPI", 4) != 0) r.fail(at[i]);
    if (p) r.extend(at[i] + kInstrumentSize);
  }
  for (uint64_t i = instruments; i < instruments + samples; ++i) r.sample(at[i]);
  for (uint64_t i = instruments + samples; i < count; ++i)
    if (at[i]) r.pattern(at[i]);
  if (r.bad != UINT64_MAX)
    return r.bad > table_end ? make_carve(Verdict::truncated, std::min(r.bad, r.end), "it") : corrupt();
  if (r.cut || !cur.readable(0, r.end)) return make_carve(Verdict::truncated, cur.limit(), "it");
  return make_carve(Verdict::complete, r.end, "it");
}

}  // namespace kes
