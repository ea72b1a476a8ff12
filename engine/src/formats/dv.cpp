// Raw DV: frames of 80-byte DIF blocks, 150 to a DIF sequence, 10 sequences a frame
// for 525/60 and 12 for 625/50. Every block's id is checked: its section type
// (header, subcode, VAUX, audio, video) in its place, the sequence number and the block
// number. Whole frames are walked; the stream ends at the first frame that is no frame.
#include <algorithm>

#include "formats/cursor.h"
#include "formats/formats.h"

namespace kes {
namespace {

constexpr unsigned kBlock = 80, kBlocksPerSequence = 150;
constexpr uint64_t kMaxFrames = uint64_t(1) << 24;

struct BlockId {
  uint8_t section, number;
};

// Section type and block number of each block of a DIF sequence: header, 2 subcode,
// 3 VAUX, then 9 times one audio block and 15 video blocks.
struct SequenceLayout {
  BlockId id[kBlocksPerSequence];
  SequenceLayout() {
    id[0] = {0, 0};
    for (uint8_t i = 0; i < 2; ++i) id[1 + i] = {1, i};
    for (uint8_t i = 0; i < 3; ++i) id[3 + i] = {2, i};
    for (unsigned b = 6; b < kBlocksPerSequence; ++b) {
      const unsigned k = b - 6, group = k / 16, r = k % 16;
      id[b] = r == 0 ? BlockId{3, uint8_t(group)} : BlockId{4, uint8_t(group * 15 + r - 1)};
    }
  }
};

const SequenceLayout& layout() {
  static const SequenceLayout l;
  return l;
}

bool block_ok(const uint8_t* b, unsigned sequence, unsigned index) {
  const BlockId& want = layout().id[index];
  return (b[0] >> 5) == want.section && (b[1] >> 4) == sequence && b[2] == want.number;
}

// Sequences per frame from the header block: 12 with the 625/50 flag, else 10.
unsigned sequences(const uint8_t* header) { return header[3] & 0x80 ? 12 : 10; }

// How many leading blocks of the frame at pos hold, up to all of them.
uint64_t good_blocks(Cursor& cur, uint64_t pos, unsigned seqs) {
  uint64_t n = 0;
  for (unsigned s = 0; s < seqs; ++s) {
    for (unsigned i = 0; i < kBlocksPerSequence; ++i, ++n) {
      const uint8_t* b = cur.get(pos + n * kBlock, 4);
      if (!b || !block_ok(b, s, i) || (i == 0 && sequences(b) != seqs)) return n;
    }
  }
  return n;
}

}  // namespace

bool probe_dv(const uint8_t* h) {
  if (h[3] & 0x40) return false;  // the header block's bit after the system flag is zero
  for (unsigned i = 0; i < 7; ++i)
    if (!block_ok(h + i * kBlock, 0, i)) return false;
  return true;
}

Carve measure_dv(ByteSource& src, uint64_t start, uint64_t max_length) {
  Cursor cur(src, start, max_length);
  const uint8_t* h = cur.get(0, 7 * kBlock);
  if (!h || !probe_dv(h)) return corrupt();
  const unsigned seqs = sequences(h);
  const uint64_t blocks = uint64_t(seqs) * kBlocksPerSequence, frame = blocks * kBlock;
  uint64_t pos = 0;
  for (uint64_t n = 0; n < kMaxFrames; ++n, pos += frame) {
    const uint64_t good = good_blocks(cur, pos, seqs);
    if (good == blocks) continue;
    if (good == 0 && pos > 0) return make_carve(Verdict::complete, pos, "dv");
    // A frame cut by the medium is kept up to the cut, once a whole frame came before.
    // The first frame broken: a file's first piece, maybe, as far as its blocks held.
    if (pos == 0) return short_start(std::min(good * kBlock, cur.limit()));
    return make_carve(Verdict::truncated, cur.within(pos, frame) ? pos : cur.limit(), "dv");
  }
  return make_carve(Verdict::truncated, pos, "dv");
}

}  // namespace kes
