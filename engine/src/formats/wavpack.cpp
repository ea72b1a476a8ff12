// WavPack: blocks of "wvpk", the block's size, version, 40-bit block index and total
// sample count, the samples in the block and flags, then metadata sub-blocks that must
// fill the block exactly. Multichannel audio spreads one stretch of samples over several
// blocks, the first and last flagged; each stretch starts where the one before ended.
// The file ends after the final block of the stretch that completes the total (which
// only the first block need know: later ones may leave it out); APE and ID3v1 tags
// may follow. A block's checksum, where the encoder wrote one, must hold.
#include <algorithm>
#include <cstring>

#include "formats/cursor.h"
#include "formats/formats.h"
#include "formats/tail_tags.h"

namespace kes {
namespace {

constexpr size_t kHeader = 32;
constexpr uint32_t kMaxBlock = 16u << 20;
constexpr uint64_t kMaxBlocks = uint64_t(1) << 30, kUnknown = UINT64_MAX;
constexpr uint32_t kFinalBlock = 1u << 12;

struct Block {
  uint64_t size = 0;   // bytes of the whole block
  uint64_t index = 0;  // first sample
  uint64_t total = 0;  // samples in the file, or kUnknown
  uint32_t samples = 0, flags = 0;
};

bool parse_block(const uint8_t* h, Block& b) {
  if (std::memcmp(h, "wvpk", 4) != 0) return false;
  const uint32_t size = le32(h + 4);
  const uint16_t version = le16(h + 8);
  if (size < kHeader - 8 || size > kMaxBlock || (size & 1) || version < 0x402 || version > 0x410) return false;
  b.size = size + 8ull;
  b.index = uint64_t(h[10]) << 32 | le32(h + 16);
  b.total = le32(h + 12) == 0xFFFFFFFFu ? kUnknown : uint64_t(h[11]) << 32 | le32(h + 12);
  b.samples = le32(h + 20);
  b.flags = le32(h + 24);
  return true;
}

// WavPack 5 closes each block with a checksum sub-block: over the little-endian words
// from the block's start up to that sub-block, each step three times the sum plus the
// word, from all ones; a two-byte checksum folds the upper half into the lower. It
// catches another file's clusters inside a block, which the sizes cannot.
constexpr uint8_t kBlockChecksum = 0x2F;

bool checksum_holds(Cursor& cur, uint64_t from, uint64_t to, uint32_t stored, unsigned bytes) {
  uint32_t c = 0xFFFFFFFF;
  for (uint64_t p = from; p < to;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(to - p, 1u << 16));
    const uint8_t* d = cur.get(p, n);
    if (!d) return false;
    for (size_t i = 0; i + 1 < n; i += 2) c = c * 3 + le16(d + i);
    p += n;
  }
  return bytes == 4 ? c == stored : ((c ^ c >> 16) & 0xFFFF) == stored;
}

// The metadata sub-blocks (id, size in words in one or three bytes, data padded to
// even) fill the block's body exactly, and a block checksum among them holds.
bool sub_blocks_fill(Cursor& cur, uint64_t pos, const Block& b) {
  uint64_t p = pos + kHeader;
  const uint64_t end = pos + b.size;
  for (unsigned n = 0; p < end && n < 4096; ++n) {
    const uint8_t* s = cur.get(p, 4);
    if (!s) return false;
    const bool large = s[0] & 0x80;
    const uint64_t words = large ? uint64_t(s[1]) | uint64_t(s[2]) << 8 | uint64_t(s[3]) << 16 : s[1];
    if (!large && s[0] == kBlockChecksum && (words == 1 || words == 2) && p + 2 + words * 2 <= end) {
      const uint8_t* v = cur.get(p + 2, words * 2);
      if (!v) return false;
      const uint32_t stored = words == 2 ? le32(v) : le16(v);
      if (!checksum_holds(cur, pos, p, stored, unsigned(words * 2))) return false;
    }
    p += (large ? 4 : 2) + words * 2;
  }
  return p == end;
}

}  // namespace

bool probe_wv(const uint8_t* h) {
  Block b;
  // The first block of a file starts at sample 0 and knows the total.
  return parse_block(h, b) && b.index == 0 && b.total != kUnknown;
}

Carve measure_wv(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, kHeader);
  Block first;
  if (!h || !parse_block(h, first) || first.index != 0) return corrupt();
  const uint64_t total = first.total;
  // `good`: the end of the last whole stretch; `vouched`: the same, once a sound block
  // header after it has shown that foreign data did not begin inside it.
  uint64_t pos = 0, stretch_end = 0, good = 0, vouched = 0;
  for (uint64_t n = 0; n < kMaxBlocks; ++n) {
    Block b;
    h = cur.get(pos, kHeader);
    if (!h && pos == cur.limit()) vouched = good;  // the medium ends after a whole block
    if (!h) break;
    if (!parse_block(h, b)) break;
    // A block opens a stretch where the last one ended, or goes on with the open one.
    const bool opens = b.index == stretch_end, continues = n > 0 && b.index + b.samples == stretch_end;
    if (!opens && !continues) break;
    vouched = good;
    if (!cur.readable(pos, b.size)) return make_carve(Verdict::truncated, cur.limit(), "wv");
    if (!sub_blocks_fill(cur, pos, b)) break;
    stretch_end = b.index + b.samples;
    pos += b.size;
    if (b.flags & kFinalBlock) {
      good = pos;
      if (total != kUnknown && stretch_end >= total)
        return make_carve(Verdict::complete, skip_tail_tags(cur, pos), "wv");
    }
  }
  return vouched ? make_carve(Verdict::truncated, vouched, "wv") : corrupt();
}

}  // namespace kes
