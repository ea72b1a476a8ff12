// Live sets of a music sequencer: a gzip member (1F 8B 08, flags, optional extra field,
// name, comment and header CRC) holding XML whose root element names the sequencer.
// The file ends after the deflate stream's final block and the 8-byte trailer, whose
// CRC-32 and length (modulo 2^32) must match what was inflated.
#include <algorithm>
#include <cstring>

#include "formats/crc.h"
#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/inflate.h"

namespace kes {
namespace {

enum : uint8_t { kHeaderCrc = 2, kExtra = 4, kName = 8, kComment = 16 };
constexpr uint64_t kMaxField = 4096;          // longest name or comment accepted
constexpr uint64_t kMaxXml = uint64_t(4) << 30;  // largest document inflated

// Where the deflate stream starts: past the optional fields; 0 when they don't hold.
uint64_t deflate_start(Cursor& cur, uint8_t flags) {
  uint64_t pos = 10;
  if (flags & kExtra) {
    const uint8_t* x = cur.get(pos, 2);
    if (!x) return 0;
    pos += 2 + uint64_t(le16(x));
  }
  const uint8_t zero = 0;
  for (uint8_t field : {kName, kComment}) {
    if (!(flags & field)) continue;
    uint64_t nul = cur.find(pos, pos + kMaxField, &zero, 1);
    if (nul == UINT64_MAX) return 0;
    pos = nul + 1;
  }
  if (flags & kHeaderCrc) pos += 2;
  return cur.within(pos, 1) ? pos : 0;
}

// Checksums the document, looks at its start (an XML declaration, then the root) and
// refuses bytes no text holds, so that bad data stops the decoding early.
struct LiveSet : InflateSink {
  static constexpr size_t kLook = 512;
  uint32_t crc = 0;
  uint8_t head[kLook];
  size_t have = 0;
  bool judged = false, ours = false, text = true;

  bool take(const uint8_t* p, size_t n) override {
    crc = crc32(crc, p, n);
    for (size_t i = 0; i < n && text; ++i)
      text = p[i] >= 0x20 || p[i] == '\n' || p[i] == '\r' || p[i] == '\t';
    if (!text) return false;
    if (!judged) {
      size_t k = std::min(n, kLook - have);
      std::memcpy(head + have, p, k);
      have += k;
      if (have == kLook) judge();
    }
    return !judged || ours;
  }
  void judge() {
    judged = true;
    const char* start = reinterpret_cast<const char*>(head);
    const char decl[] = "<?xml";
    if (have < sizeof decl || std::memcmp(start, decl, sizeof decl - 1) != 0) return;
    const char* close = static_cast<const char*>(std::memchr(start, '>', have));
    if (!close) return;
    size_t at = static_cast<size_t>(close - start) + 1;
    while (at < have && (head[at] == '\r' || head[at] == '\n' || head[at] == ' ' || head[at] == '\t')) ++at;
    const char root[] = "<Ableton ";
    ours = have - at >= sizeof root - 1 && std::memcmp(start + at, root, sizeof root - 1) == 0;
  }
};

}  // namespace

bool probe_als(const uint8_t* h) {
  return h[0] == 0x1F && h[1] == 0x8B && h[2] == 8 && (h[3] & 0xE0) == 0 &&
         (h[8] == 0 || h[8] == 2 || h[8] == 4) && (h[9] <= 13 || h[9] == 255);
}

Carve measure_als(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 10);
  if (!h || !probe_als(h)) return corrupt();
  uint64_t pos = deflate_start(cur, h[3]);
  if (!pos) return corrupt();
  LiveSet doc;
  Inflated z = inflate(cur, pos, kMaxXml, doc);
  if (!doc.judged) doc.judge();  // a document shorter than the look
  if (!doc.ours) return corrupt();
  if (z.status == Inflated::done) {
    const uint8_t* tail = cur.get(z.end, 8);
    if (!tail) return make_carve(Verdict::truncated, cur.limit(), "als");
    if (le32(tail) == doc.crc && le32(tail + 4) == static_cast<uint32_t>(z.out))
      return make_carve(Verdict::complete, z.end + 8, "als");
    // Which block went wrong is unknown: keep those before the last.
    return z.last_start > pos ? make_carve(Verdict::truncated, z.last_start, "als") : corrupt();
  }
  if (z.status == Inflated::cut) return make_carve(Verdict::truncated, cur.limit(), "als");
  return z.block_end > pos ? make_carve(Verdict::truncated, z.block_end, "als") : corrupt();
}

}  // namespace kes
